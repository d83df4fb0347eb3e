#include "files/tempdir.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "config/config.h"
#include "config/keys.h"
#include "included_files.h"
#include "scratch_directory.h"
#include "stream_fixture.h"

namespace {

using fixture::patternedBytes;
using fixture::readFile;
using fixture::ScratchDirectory;
using fixture::writeFile;
namespace keys = brolt::keys;

std::string tempDir() {
    return chooseTempDir().value_or("");
}

// Extraction directories are named after a fresh temporary file: <temp>\brtXXXX.tmp_dir<number>.
std::set<std::string> extractionDirectoriesIn(const std::string& directory) {
    std::set<std::string> found;
    std::string base = directory.back() == '\\' ? directory : directory + "\\";
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((base + "brt*.tmp_dir*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do
        found.insert(base + entry.cFileName);
    while (FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

// A launcher built on the test binary: its configuration records, then the included files.
struct Launcher {
    std::vector<std::pair<int32_t, std::string>> values;
    std::vector<std::string> includedFiles;
    std::string path;
    // Filled by write(): offsets in the file of each entry's size field and of the end of the entries.
    std::vector<uint32_t> entryOffsets;
    uint32_t entriesEnd = 0;

    std::string bytes() {
        std::string stream = fixture::streamBytes({values, {}});
        fixture::IncludedSection section = fixture::includedSection(includedFiles);
        std::string image = fixture::readFile(fixture::ownPath());
        uint32_t streamOffset = fixture::imageLayout(image).endOfLastSection;
        uint32_t sectionOffset = streamOffset + static_cast<uint32_t>(stream.size());
        entryOffsets.clear();
        for (uint32_t offset : section.entryOffsets)
            entryOffsets.push_back(sectionOffset + offset);
        entriesEnd = sectionOffset + section.entriesEnd;
        image.resize(streamOffset);
        return image + stream + section.bytes;
    }
};

// Writes the launcher (cut to its first `length` bytes when given), loads its configuration and
// extracts what it includes.
Extraction extract(Launcher& launcher, size_t length = std::string::npos) {
    std::string bytes = launcher.bytes();
    EXPECT_TRUE(writeFile(launcher.path, bytes.substr(0, length))) << launcher.path;
    EXPECT_TRUE(loadConfiguration(launcher.path.c_str()).ok()) << launcher.path;
    return extractIncludedFiles();
}

class Extract : public testing::Test {
  protected:
    ScratchDirectory scratch;
    std::set<std::string> before = extractionDirectoriesIn(tempDir());

    void TearDown() override {
        for (const std::string& directory : extractionDirectoriesIn(tempDir())) {
            if (!before.count(directory))
                fixture::removeTree(directory);
        }
    }
    std::set<std::string> created() {
        std::set<std::string> now = extractionDirectoriesIn(tempDir());
        for (const std::string& directory : before)
            now.erase(directory);
        return now;
    }
};

TEST_F(Extract, NothingIncludedCreatesNothing) {
    Launcher launcher{{{keys::kServiceName, "svc"}}, {}, scratch / "launcher.exe"};

    Extraction extraction = extract(launcher);

    EXPECT_EQ(extraction.failure, ExtractionFailure::None);
    EXPECT_EQ(extraction.files.directory, "");
    EXPECT_EQ(extraction.files.unextractedPosition, 0u);
    EXPECT_TRUE(created().empty());
}

TEST_F(Extract, CountLimitsTheNamesAndThePositionStopsAtTheFirstEntryLeft) {
    Launcher launcher{{{keys::kIncludedFileCount, "2"}, {keys::kIncludedFileNames, "a.txt;b.bin;c.txt"}},
                      {"first file\r\n", patternedBytes(300, 1), "third"},
                      scratch / "launcher.exe"};

    Extraction extraction = extract(launcher);
    const std::string& directory = extraction.files.directory;

    ASSERT_EQ(extraction.failure, ExtractionFailure::None);
    EXPECT_EQ(created(), std::set<std::string>{directory});
    EXPECT_TRUE(std::regex_match(directory, std::regex(R"(.*\\brt[0-9A-Fa-f]{1,4}\.tmp_dir\d{1,5})")))
        << directory;
    EXPECT_EQ(readFile(directory + "\\a.txt"), "first file\r\n");
    EXPECT_EQ(readFile(directory + "\\b.bin"), patternedBytes(300, 1));
    EXPECT_EQ(GetFileAttributesA((directory + "\\c.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(extraction.files.unextractedPosition, launcher.entryOffsets[2]);
}

TEST_F(Extract, EmptyFileIsSkippedAndLargeFileArrivesWhole) {
    // Two full copy chunks and a part; the pattern includes bytes equal to the scrambling value.
    std::string large = patternedBytes(2 * (1 << 20) + 123, 7);
    Launcher launcher{{{keys::kIncludedFileCount, "2"}, {keys::kIncludedFileNames, "empty.txt;large.bin"}},
                      {"", large},
                      scratch / "launcher.exe"};

    Extraction extraction = extract(launcher);
    const std::string& directory = extraction.files.directory;

    ASSERT_EQ(extraction.failure, ExtractionFailure::None);
    EXPECT_EQ(GetFileAttributesA(directory.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA((directory + "\\empty.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(readFile(directory + "\\large.bin") == large);
    EXPECT_EQ(extraction.files.unextractedPosition, launcher.entriesEnd);
}

// Each failure comes after a first file was written: what the extraction created must go again, and
// nothing may land beside the extraction directory.
TEST_F(Extract, FailedExtractionLeavesNothing) {
    struct Case {
        const char* what;
        std::string secondName;
        size_t cutIntoSecondEntry;  // bytes of the second entry kept; npos: the whole launcher
        ExtractionFailure expected;
    };
    const std::string tooLong(300, 'x');  // longer than any file system allows for one name
    const Case cases[] = {
        {"content ends early", "cut.bin", 8 + 9000, ExtractionFailure::CopyFailed},
        {"size field cut", "cut.bin", 3, ExtractionFailure::SizeUnreadable},
        {"name leaves the directory", "..\\esc.txt", std::string::npos, ExtractionFailure::FileNotCreated},
        {"name of a device", "nul.bin", std::string::npos, ExtractionFailure::FileNotCreated},
        {"name too long", tooLong, std::string::npos, ExtractionFailure::FileNotCreated},
    };
    for (const Case& c : cases) {
        Launcher launcher{
            {{keys::kIncludedFileCount, "2"}, {keys::kIncludedFileNames, "whole.txt;" + c.secondName}},
            {"whole", patternedBytes(20000, 3)},
            scratch / "launcher.exe"};
        launcher.bytes();  // for the offsets
        size_t length = c.cutIntoSecondEntry == std::string::npos
                            ? std::string::npos
                            : launcher.entryOffsets[1] + c.cutIntoSecondEntry;

        Extraction extraction = extract(launcher, length);

        EXPECT_EQ(extraction.failure, c.expected) << c.what;
        EXPECT_EQ(extraction.files.directory, "") << c.what;
        EXPECT_TRUE(created().empty()) << c.what;
        EXPECT_EQ(GetFileAttributesA((tempDir() + "\\esc.txt").c_str()), INVALID_FILE_ATTRIBUTES) << c.what;
    }
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

TEST(TempDir, EmptyDirectoryRemovesPlainEntriesOnly) {
    ScratchDirectory scratch;
    writeFile(scratch / "a.txt", "a");
    writeFile(scratch / "b.jar", "b");
    CreateDirectoryA((scratch / "empty").c_str(), nullptr);
    CreateDirectoryA((scratch / "full").c_str(), nullptr);
    writeFile(scratch / "full\\inner.txt", "inner");

    emptyDirectory((scratch.path + "\\").c_str());

    EXPECT_EQ(GetFileAttributesA((scratch / "a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((scratch / "b.jar").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((scratch / "empty").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(readFile(scratch / "full\\inner.txt"), "inner");
}

TEST(TempDir, EmptyDirectoryLeavesDotPathsAlone) {
    ScratchDirectory scratch;
    CreateDirectoryA((scratch / "work").c_str(), nullptr);
    CreateDirectoryA((scratch / "sibling").c_str(), nullptr);
    writeFile(scratch / "work\\keep.txt", "k");
    writeFile(scratch / "sibling\\keep.txt", "s");
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA((scratch / "work").c_str());
    for (const char* path : {".", ".\\", "..\\sibling", ""}) {
        emptyDirectory(path);
        EXPECT_EQ(readFile(scratch / "work\\keep.txt"), "k") << path;
        EXPECT_EQ(readFile(scratch / "sibling\\keep.txt"), "s") << path;
    }
    SetCurrentDirectoryA(current);
}

}  // namespace
