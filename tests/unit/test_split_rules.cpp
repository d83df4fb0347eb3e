#include "launch/split_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::wstring>;

struct SplitCase {
    const wchar_t* text;
    Arguments expected;
    bool closed;  // false: an opening quote without its partner
};

const SplitCase kSplitCases[] = {
    {L"", {}, true},
    {L"   ", {}, true},
    {L"a  b", {L"a", L"b"}, true},
    {L" a ", {L"a"}, true},
    {L"a\tb c", {L"a\tb", L"c"}, true},
    {LR"(C:\Program Files\x.jar)", {LR"(C:\Program)", LR"(Files\x.jar)"}, true},
    {LR"("C:\Program Files\x.jar")", {LR"(C:\Program Files\x.jar)"}, true},
    {LR"("C:\Program Files\" next)", {LR"(C:\Program Files\)", L"next"}, true},
    {LR"('it"s')", {LR"(it"s)"}, true},
    {LR"("it's")", {L"it's"}, true},
    {LR"("a b"c)", {L"a b", L"c"}, true},
    {LR"("")", {L""}, true},
    {LR"("" "")", {L"", L""}, true},
    {LR"(-Dname="a b" -Xmx1m)", {L"-Dname=a b", L"-Xmx1m"}, true},
    {LR"(ab"c d")", {L"abc d"}, true},
    {LR"(x 'a "b' y)", {L"x", LR"(a "b)", L"y"}, true},
    {LR"(a "b)", {L"a"}, false},
    {L"'abc", {}, false},
    {LR"("a' b)", {}, false},
    {LR"('a' "b)", {L"a"}, false},
};

TEST(Split, Rule) {
    for (const SplitCase& c : kSplitCases) {
        Arguments list;
        bool closed = splitArguments(c.text, list);
        EXPECT_EQ(closed, c.closed) << c.text;
        EXPECT_EQ(list, c.expected) << c.text;
    }
}

}  // namespace
