#include "launch/split.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "config/messages.h"
#include "config/keys.h"
#include "stream_fixture.h"

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

TEST(Split, AppendsToWhatTheListHolds) {
    Arguments list = {L"program"};
    splitCommandLine(L"a 'b c'", list);
    EXPECT_EQ(list, (Arguments{L"program", L"a", L"b c"}));
}

std::string ansi(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), bytes, nullptr, &usedDefault);
    EXPECT_FALSE(usedDefault) << "code page " << GetACP() << " cannot hold the fixture text";
    out.resize(static_cast<size_t>(bytes - 1));
    return out;
}

TEST(Split, NarrowFormKeepsAnsiCharacters) {
    const SplitCase cases[] = {
        {L"caf\u00e9 '\u00fcber alles' \u00c5", {L"caf\u00e9", L"\u00fcber alles", L"\u00c5"}, true},
        {L"-Dp=\"\u00e9 \u00e8\" \u00a7", {L"-Dp=\u00e9 \u00e8", L"\u00a7"}, true},
        {L"", {}, true},
    };
    for (const SplitCase& c : cases) {
        std::vector<std::string> list;
        splitNarrowCommandLine(ansi(c.text).c_str(), list);
        std::vector<std::string> expected;
        for (const std::wstring& argument : c.expected)
            expected.push_back(ansi(argument));
        EXPECT_EQ(list, expected) << ansi(c.text);
    }
}

// The launcher's configuration with the message an unclosed quote shows, on standard error.
void loadMessages() {
    std::string path = fixture::ownDirectory() + "split_fixture.exe";
    fixture::writeLauncher(
        fixture::ownPath(), path,
        fixture::streamBytes({{{brolt::keys::kMsgWrongParameterUsage, "Wrong Parameter Usage"}}, {}}));
    loadConfigurationFrom(path.c_str());
    configureErrorPresentation();
}

TEST(SplitDeathTest, UnclosedQuoteEndsTheProcessWithItsMessage) {
    EXPECT_EXIT(
        {
            loadMessages();
            Arguments list;
            splitCommandLine(L"a \"b c", list);
        },
        testing::ExitedWithCode(1), "Wrong Parameter Usage");
    EXPECT_EXIT(
        {
            loadMessages();
            std::vector<std::string> list;
            splitNarrowCommandLine("x 'y", list);
        },
        testing::ExitedWithCode(1), "Wrong Parameter Usage");
}

}  // namespace
