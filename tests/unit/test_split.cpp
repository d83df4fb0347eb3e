#include "launch/split.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/keys.h"
#include "stream_fixture.h"
#include "windows/win_loader.h"

namespace {

using Arguments = std::vector<std::wstring>;

struct NarrowCase {
    const wchar_t* text;  // in characters the ANSI code page holds
    Arguments expected;
};

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
    const NarrowCase cases[] = {
        {L"caf\u00e9 '\u00fcber alles' \u00c5", {L"caf\u00e9", L"\u00fcber alles", L"\u00c5"}},
        {L"-Dp=\"\u00e9 \u00e8\" \u00a7", {L"-Dp=\u00e9 \u00e8", L"\u00a7"}},
        {L"", {}},
    };
    for (const NarrowCase& c : cases) {
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
    loadLauncherConfiguration(path.c_str());
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
