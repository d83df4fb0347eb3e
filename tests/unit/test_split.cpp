#include "launch/split.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::wstring>;

struct NarrowCase {
    const wchar_t* text;  // in characters the ANSI code page holds
    Arguments expected;
};

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
    const NarrowCase cases[] = {
        {L"caf\u00e9 '\u00fcber alles' \u00c5", {L"caf\u00e9", L"\u00fcber alles", L"\u00c5"}},
        {L"-Dp=\"\u00e9 \u00e8\" \u00a7", {L"-Dp=\u00e9 \u00e8", L"\u00a7"}},
        {L"", {}},
    };
    for (const NarrowCase& c : cases) {
        std::vector<std::string> list;
        EXPECT_TRUE(splitNarrowArguments(ansi(c.text).c_str(), list));
        std::vector<std::string> expected;
        for (const std::wstring& argument : c.expected)
            expected.push_back(ansi(argument));
        EXPECT_EQ(list, expected) << ansi(c.text);
    }
}

TEST(Split, UnclosedQuoteIsRefusedWithWhatCameBefore) {
    std::vector<std::string> list = {"program"};
    EXPECT_FALSE(splitNarrowArguments("x 'y", list));
    EXPECT_EQ(list, (std::vector<std::string>{"program", "x"}));
    EXPECT_TRUE(splitNarrowArguments("z", list));
    EXPECT_EQ(list.back(), "z");
}

}  // namespace
