#include "files/tempdir.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "config/config.h"
#include "config/keys.h"
#include "scratch_directory.h"
#include "stream_fixture.h"

namespace {

using brolt::test::readWholeFile;
using brolt::test::ScratchDirectory;
using brolt::test::StreamFixture;
using brolt::test::writeWholeFile;
namespace keys = brolt::keys;

std::string tempDir() {
    char directory[8192];
    chooseTempDir(directory);
    return directory;
}

// Extraction directories are named after a fresh temporary file: <temp>\brtXXXX.tmp_dir<number>.
std::set<std::string> extractionDirectoriesIn(const std::string& directory) {
    std::set<std::string> found;
    std::string base = directory.back() == '\\' ? directory : directory + "\\";
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((base + "brt*.tmp_dir*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return found;
    do found.insert(base + entry.cFileName);
    while (FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

std::string patterned(size_t size, unsigned seed) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        content[i] = static_cast<char>(seed >> 16);
    }
    return content;
}

struct Extraction {
    int result;
    std::string directory;
};

// Loads the fixture as the configuration and extracts what it includes.
Extraction extractFrom(StreamFixture& fixture, const std::string& launcherPath) {
    EXPECT_TRUE(fixture.write(launcherPath)) << launcherPath;
    loadConfigurationFrom(launcherPath.c_str());
    int result = extractIncludedFiles(getExtractionDirectory());
    return {result, getExtractionDirectory()};
}

class Extract : public testing::Test {
protected:
    ScratchDirectory scratch;
    std::set<std::string> before = extractionDirectoriesIn(tempDir());

    void TearDown() override {
        for (const std::string& directory : extractionDirectoriesIn(tempDir())) {
            if (!before.count(directory)) brolt::test::removeTree(directory);
        }
    }
    std::set<std::string> created() {
        std::set<std::string> now = extractionDirectoriesIn(tempDir());
        for (const std::string& directory : before) now.erase(directory);
        return now;
    }
};

TEST_F(Extract, NothingIncludedCreatesNothing) {
    StreamFixture fixture;
    fixture.values[keys::kServiceName] = "svc";
    getExtractionDirectory()[0] = 'x';  // must be cleared

    Extraction extraction = extractFrom(fixture, scratch / "launcher.exe");

    EXPECT_EQ(extraction.result, 0);
    EXPECT_EQ(extraction.directory, "");
    EXPECT_EQ(getUnextractedPosition(), 0u);
    EXPECT_TRUE(created().empty());
}

TEST_F(Extract, CountLimitsTheNamesAndThePositionStopsAtTheFirstEntryLeft) {
    StreamFixture fixture;
    fixture.values[keys::kIncludedFileCount] = "2";
    fixture.values[keys::kIncludedFileNames] = "a.txt;b.bin;c.txt";
    fixture.includedFiles = {"first file\r\n", patterned(300, 1), "third"};

    Extraction extraction = extractFrom(fixture, scratch / "launcher.exe");

    ASSERT_EQ(extraction.result, 0);
    EXPECT_EQ(created(), std::set<std::string>{extraction.directory});
    EXPECT_TRUE(std::regex_match(extraction.directory, std::regex(R"(.*\\brt[0-9A-Fa-f]{1,4}\.tmp_dir\d{1,5})")))
        << extraction.directory;
    EXPECT_EQ(readWholeFile(extraction.directory + "\\a.txt"), "first file\r\n");
    EXPECT_EQ(readWholeFile(extraction.directory + "\\b.bin"), patterned(300, 1));
    EXPECT_EQ(GetFileAttributesA((extraction.directory + "\\c.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(getUnextractedPosition(), fixture.entryOffsets[2]);
}

TEST_F(Extract, EmptyFileIsSkippedAndLargeFileArrivesWhole) {
    StreamFixture fixture;
    fixture.values[keys::kIncludedFileCount] = "2";
    fixture.values[keys::kIncludedFileNames] = "empty.txt;large.bin";
    // Three full chunks and a part; the pattern includes bytes equal to the scrambling value.
    std::string large = patterned(3 * 8192 + 123, 7);
    fixture.includedFiles = {"", large};

    Extraction extraction = extractFrom(fixture, scratch / "launcher.exe");

    ASSERT_EQ(extraction.result, 0);
    EXPECT_EQ(GetFileAttributesA(extraction.directory.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA((extraction.directory + "\\empty.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(readWholeFile(extraction.directory + "\\large.bin") == large);
    EXPECT_EQ(getUnextractedPosition(), fixture.entriesEnd);
}

TEST_F(Extract, ContentEndingEarlyFailsAndLeavesNothing) {
    StreamFixture fixture;
    fixture.values[keys::kIncludedFileCount] = "2";
    fixture.values[keys::kIncludedFileNames] = "whole.txt;cut.bin";
    fixture.includedFiles = {"whole", patterned(20000, 3)};
    std::string bytes = fixture.bytes();
    bytes.resize(fixture.entryOffsets[1] + 8 + 9000);  // the second file breaks off after a chunk and more
    ASSERT_TRUE(writeWholeFile(scratch / "launcher.exe", bytes));
    loadConfigurationFrom((scratch / "launcher.exe").c_str());

    EXPECT_EQ(extractIncludedFiles(getExtractionDirectory()), 1);
    EXPECT_TRUE(created().empty());
}

TEST(TempDir, TempFileNameIsANewEmptyFileInTheTempDir) {
    char name[8192];
    ASSERT_TRUE(makeTempFileName(name));
    std::string directory = tempDir();
    EXPECT_EQ(std::string(name).rfind(directory, 0), 0u) << name;
    EXPECT_TRUE(std::regex_match(name + directory.size(), std::regex(R"(\\?brt[0-9A-Fa-f]{1,4}\.tmp)"))) << name;
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
        for (const auto& [name, value] : saved_) SetEnvironmentVariableW(name.c_str(), value.c_str());
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
        char chosen[8192];
        chooseTempDir(chosen);
        EXPECT_EQ(std::string(chosen), windowsTemp());
    }
    RemoveDirectoryW(unrepresentable.c_str());
}

TEST(TempDir, UnusableSystemTempPathStillGivesATempFile) {
    ScratchDirectory scratch;
    TempVariables temp(L"C:\\brolt-no-such-directory\\");
    char name[8192];
    ASSERT_TRUE(makeTempFileName(name));
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
        if (c.leftover != nullptr) CreateDirectoryA(leftover.c_str(), nullptr);
        if (c.leftoverFile != nullptr) writeWholeFile(leftover + "\\" + c.leftoverFile, "x");

        EXPECT_EQ(isWritableDirectory(scratch.path.c_str()), c.writable) << (c.leftoverFile ? c.leftoverFile : "");
        EXPECT_EQ(GetFileAttributesA(leftover.c_str()) != INVALID_FILE_ATTRIBUTES, c.leftoverRemains);
    }
    EXPECT_FALSE(isWritableDirectory("C:\\brolt-no-such-directory"));
}

TEST(TempDir, EmptyDirectoryRemovesPlainEntriesOnly) {
    ScratchDirectory scratch;
    writeWholeFile(scratch / "a.txt", "a");
    writeWholeFile(scratch / "b.jar", "b");
    CreateDirectoryA((scratch / "empty").c_str(), nullptr);
    CreateDirectoryA((scratch / "full").c_str(), nullptr);
    writeWholeFile(scratch / "full\\inner.txt", "inner");

    emptyDirectory((scratch.path + "\\").c_str());

    EXPECT_EQ(GetFileAttributesA((scratch / "a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((scratch / "b.jar").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((scratch / "empty").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(readWholeFile(scratch / "full\\inner.txt"), "inner");
}

TEST(TempDir, EmptyDirectoryLeavesDotPathsAlone) {
    ScratchDirectory scratch;
    CreateDirectoryA((scratch / "work").c_str(), nullptr);
    CreateDirectoryA((scratch / "sibling").c_str(), nullptr);
    writeWholeFile(scratch / "work\\keep.txt", "k");
    writeWholeFile(scratch / "sibling\\keep.txt", "s");
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA((scratch / "work").c_str());
    for (const char* path : {".", ".\\", "..\\sibling", ""}) {
        emptyDirectory(path);
        EXPECT_EQ(readWholeFile(scratch / "work\\keep.txt"), "k") << path;
        EXPECT_EQ(readWholeFile(scratch / "sibling\\keep.txt"), "s") << path;
    }
    SetCurrentDirectoryA(current);
}

}  // namespace
