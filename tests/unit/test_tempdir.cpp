#include "files/tempdir.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "scratch_directory.h"
#include "stream_fixture.h"

namespace {

using fixture::ScratchDirectory;
using fixture::writeFile;

std::string tempDir() {
    return chooseTempDir().value_or("");
}

TEST(TempDir, TempFileNameIsANewEmptyFileInTheTempDir) {
    TempFile tempFile = makeTempFileName();
    ASSERT_EQ(tempFile.failure, TempFileFailure::None);
    const char* name = tempFile.name.c_str();
    std::string directory = tempDir();
    EXPECT_EQ(std::string(name).rfind(directory, 0), 0u) << name;
    EXPECT_TRUE(std::regex_match(name + directory.size(), std::regex(R"(\\?brt[0-9A-Fa-f]{1,4}\.tmp)")))
        << name;
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(name, GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 0u);
    DeleteFileA(name);
}

TEST(TempDir, ProcessCommFileNameIsInTheSystemTempPath) {
    char systemPath[MAX_PATH];
    GetTempPathA(sizeof systemPath, systemPath);
    char name[8192];
    makeProcessCommFileName(name, 1234);
    EXPECT_EQ(std::string(name), std::string(systemPath) + "brt_p1234.tmp");
}

// Points TMP and TEMP somewhere else for one test.
class TempVariables {
  public:
    explicit TempVariables(const std::wstring& value) {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t saved[MAX_PATH] = L"";
            GetEnvironmentVariableW(name, saved, MAX_PATH);
            saved_.emplace_back(name, saved);
            SetEnvironmentVariableW(name, value.c_str());
        }
    }
    ~TempVariables() {
        for (const auto& [name, value] : saved_)
            SetEnvironmentVariableW(name.c_str(), value.c_str());
    }

  private:
    std::vector<std::pair<std::wstring, std::wstring>> saved_;
};

std::string windowsTemp() {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\temp";
}

TEST(TempDir, SystemTempPathOutsideTheAnsiCodePageFallsBackToWindowsTemp) {
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    // CJK characters: no single-byte ANSI code page holds them.
    std::wstring unrepresentable = std::wstring(current) + L"\\tmp-\u6f22\u5b57";
    CreateDirectoryW(unrepresentable.c_str(), nullptr);
    {
        TempVariables temp(unrepresentable);
        EXPECT_EQ(chooseTempDir(), windowsTemp());
    }
    RemoveDirectoryW(unrepresentable.c_str());
}

TEST(TempDir, UnusableSystemTempPathStillGivesATempFile) {
    ScratchDirectory scratch;
    TempVariables temp(L"C:\\brolt-no-such-directory\\");
    TempFile tempFile = makeTempFileName();
    ASSERT_EQ(tempFile.failure, TempFileFailure::None);
    const char* name = tempFile.name.c_str();
    EXPECT_EQ(std::string(name).rfind(windowsTemp() + "\\brt", 0), 0u) << name;
    EXPECT_NE(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(name);
}

TEST(TempDir, LeftoverWriteTestDirectory) {
    struct Case {
        const char* leftover;  // nullptr: none
        const char* leftoverFile;
        bool writable;
        bool leftoverRemains;
    };
    const Case cases[] = {
        {nullptr, nullptr, true, false},
        {"brt_w_testdir", nullptr, true, false},
        {"brt_w_testdir", "content.txt", false, true},
    };
    for (const Case& c : cases) {
        ScratchDirectory scratch;
        std::string leftover = scratch / "brt_w_testdir";
        if (c.leftover != nullptr)
            CreateDirectoryA(leftover.c_str(), nullptr);
        if (c.leftoverFile != nullptr)
            writeFile(leftover + "\\" + c.leftoverFile, "x");

        EXPECT_EQ(isWritableDirectory(scratch.path.c_str()), c.writable)
            << (c.leftoverFile ? c.leftoverFile : "");
        EXPECT_EQ(GetFileAttributesA(leftover.c_str()) != INVALID_FILE_ATTRIBUTES, c.leftoverRemains);
    }
    EXPECT_FALSE(isWritableDirectory("C:\\brolt-no-such-directory"));
}

}  // namespace
