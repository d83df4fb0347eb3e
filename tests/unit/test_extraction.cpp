#include "files/extraction.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "config/keys.h"
#include "files/stable_extraction_rules.h"
#include "files/stale_extractions.h"
#include "files/file_locations.h"
#include "files/tempdir.h"
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

// Where stable folders are kept: the account's local application data, below "brolt".
std::string stablePlace() {
    return brolt::currentFileLocations().stableFolders.value_or("");
}

// Extraction directories: fresh ones named after a fresh temporary file, <temp>\brtXXXX.tmp_dir<number>,
// and stable ones, <temp>\brt_s<hash>.tmp.
std::set<std::string> extractionDirectoriesIn(const std::string& directory) {
    std::set<std::string> found;
    std::string base = directory.back() == '\\' ? directory : directory + "\\";
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((base + "brt*.tmp*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            found.insert(base + entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

// A launcher built on the test binary: its configuration records, then the included files.
struct Launcher {
    int count;
    std::string names;
    std::vector<std::string> includedFiles;
    std::string path;
    // Filled by bytes(): offsets in the file of each entry's size field, of the end of the entries and
    // of the end of the records.
    std::vector<uint32_t> entryOffsets;
    uint32_t entriesEnd = 0;
    uint32_t configurationEnd = 0;

    std::string bytes() {
        std::string stream = fixture::streamBytes(
            {{{keys::kIncludedFileCount, std::to_string(count)}, {keys::kIncludedFileNames, names}}, {}});
        fixture::IncludedSection section = fixture::includedSection(includedFiles);
        std::string image = fixture::readFile(fixture::ownPath());
        uint32_t streamOffset = fixture::imageLayout(image).endOfLastSection;
        uint32_t sectionOffset = streamOffset + static_cast<uint32_t>(stream.size());
        entryOffsets.clear();
        for (uint32_t offset : section.entryOffsets)
            entryOffsets.push_back(sectionOffset + offset);
        entriesEnd = sectionOffset + section.entriesEnd;
        configurationEnd = sectionOffset;
        image.resize(streamOffset);
        return image + stream + section.bytes;
    }
};

// Writes the launcher (cut to its first `length` bytes when given) and extracts what it includes, into
// a fresh directory or, reusing, into the launcher's stable folder.
Extraction extract(Launcher& launcher, size_t length = std::string::npos, bool reusing = false) {
    std::string bytes = launcher.bytes();
    EXPECT_TRUE(writeFile(launcher.path, bytes.substr(0, length))) << launcher.path;
    IncludedFiles included{launcher.path, launcher.configurationEnd, launcher.count, launcher.names};
    return reusing ? extractIncludedFilesReusing(included, brolt::currentExtractionOwner())
                   : extractIncludedFiles(included);
}

class Extract : public testing::Test {
  protected:
    ScratchDirectory scratch;
    std::set<std::string> before = extractionDirectories();

    static std::set<std::string> extractionDirectories() {
        std::set<std::string> found = extractionDirectoriesIn(tempDir());
        if (!stablePlace().empty())
            found.merge(extractionDirectoriesIn(stablePlace()));
        return found;
    }
    void TearDown() override {
        for (const std::string& directory : extractionDirectories()) {
            if (!before.count(directory))
                fixture::removeTree(directory);
        }
    }
    std::set<std::string> created() {
        std::set<std::string> now = extractionDirectories();
        for (const std::string& directory : before)
            now.erase(directory);
        return now;
    }
};

TEST_F(Extract, NothingIncludedCreatesNothing) {
    Launcher launcher{0, "a.txt", {"unread"}, scratch / "launcher.exe"};

    Extraction extraction = extract(launcher);

    EXPECT_EQ(extraction.failure, ExtractionFailure::None);
    EXPECT_EQ(extraction.files.directory, "");
    EXPECT_EQ(extraction.files.unextractedPosition, 0u);
    EXPECT_TRUE(created().empty());
}

// A count with no names behind it still makes the directory, which stays empty.
TEST_F(Extract, CountWithoutNamesMakesAnEmptyDirectory) {
    Launcher launcher{1, ";;", {}, scratch / "launcher.exe"};

    Extraction extraction = extract(launcher);

    ASSERT_EQ(extraction.failure, ExtractionFailure::None);
    EXPECT_EQ(created(), std::set<std::string>{extraction.files.directory});
    EXPECT_EQ(extraction.files.unextractedPosition, launcher.configurationEnd);
}

TEST_F(Extract, CountLimitsTheNamesAndThePositionStopsAtTheFirstEntryLeft) {
    Launcher launcher{2,
                      "a.txt;b.bin;c.txt",
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
    Launcher launcher{2, "empty.txt;large.bin", {"", large}, scratch / "launcher.exe"};

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
        // Each entry's name is checked before its size is read.
        {"size field cut under a refused name", "nul.bin", 3, ExtractionFailure::FileNotCreated},
        {"name leaves the directory", "..\\esc.txt", std::string::npos, ExtractionFailure::FileNotCreated},
        {"name of a device", "nul.bin", std::string::npos, ExtractionFailure::FileNotCreated},
        {"name too long", tooLong, std::string::npos, ExtractionFailure::FileNotCreated},
    };
    // The stable folder's failures are the fresh extraction's, and a folder the start made goes too.
    for (bool reusing : {false, true}) {
        for (const Case& c : cases) {
            Launcher launcher{2,
                              "whole.txt;" + c.secondName,
                              {"whole", patternedBytes(20000, 3)},
                              scratch / "launcher.exe"};
            launcher.bytes();  // for the offsets
            size_t length = c.cutIntoSecondEntry == std::string::npos
                                ? std::string::npos
                                : launcher.entryOffsets[1] + c.cutIntoSecondEntry;

            Extraction extraction = extract(launcher, length, reusing);

            EXPECT_EQ(extraction.failure, c.expected) << c.what << reusing;
            EXPECT_EQ(extraction.files.directory, "") << c.what << reusing;
            EXPECT_TRUE(created().empty()) << c.what << reusing;
            EXPECT_EQ(GetFileAttributesA((tempDir() + "\\esc.txt").c_str()), INVALID_FILE_ATTRIBUTES)
                << c.what << reusing;
        }
    }
}

std::optional<brolt::FileStamp> stampOf(const std::string& path) {
    return brolt::fileStampOf(path);
}

void setWriteTime(const std::string& path, uint64_t time) {
    brolt::UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FILETIME value{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    ASSERT_TRUE(file && SetFileTime(file.get(), nullptr, nullptr, &value)) << path;
}

TEST_F(Extract, StableFolderIsReusedAndWhatChangedInItIsWrittenAgain) {
    Launcher launcher{3,
                      "app.jar;conf.txt;empty.txt",
                      {patternedBytes(5000, 2), "key=value", ""},
                      scratch / "launcher.exe"};
    Extraction first = extract(launcher, std::string::npos, true);
    ASSERT_EQ(first.failure, ExtractionFailure::None);
    const std::string directory = first.files.directory;
    std::optional<brolt::LauncherIdentity> identity = brolt::launcherIdentityOf(launcher.path);
    ASSERT_TRUE(identity);
    ASSERT_FALSE(stablePlace().empty());
    EXPECT_EQ(directory, stablePlace() + "\\" + brolt::stableFolderName(*identity));
    EXPECT_TRUE(first.files.stable);
    EXPECT_EQ(first.files.unextractedPosition, launcher.entriesEnd);
    EXPECT_EQ(readFile(directory + "\\app.jar"), patternedBytes(5000, 2));
    EXPECT_FALSE(stampOf(directory + "\\empty.txt"));
    std::optional<brolt::FileStamp> jar = stampOf(directory + "\\app.jar");
    ASSERT_TRUE(jar);

    // Unchanged: nothing is written, so the files keep their times.
    const IncludedFiles included{launcher.path, launcher.configurationEnd, launcher.count, launcher.names};
    setWriteTime(directory + "\\app.jar", jar->writeTime - 10000000);  // as if extracted a second earlier
    ASSERT_TRUE(
        fixture::writeFile(directory + "\\brolt-extraction.manifest",
                           brolt::formatManifest({{"app.jar", {5000, jar->writeTime - 10000000}},
                                                  {"conf.txt", *stampOf(directory + "\\conf.txt")}})));
    Extraction second = extractIncludedFilesReusing(included, brolt::currentExtractionOwner());
    ASSERT_EQ(second.failure, ExtractionFailure::None);
    EXPECT_EQ(second.files.directory, directory);
    EXPECT_EQ(stampOf(directory + "\\app.jar")->writeTime, jar->writeTime - 10000000);

    // What the application changed or removed is written again; what the launcher does not include,
    // and a half-written file, go.
    ASSERT_TRUE(fixture::writeFile(directory + "\\conf.txt", "key=other"));  // the same size
    ASSERT_TRUE(DeleteFileA((directory + "\\app.jar").c_str()));
    ASSERT_TRUE(fixture::writeFile(directory + "\\old.jar", "PK"));
    ASSERT_TRUE(fixture::writeFile(directory + "\\conf.txt.brolt-part", "key"));
    Extraction third = extractIncludedFilesReusing(included, brolt::currentExtractionOwner());
    ASSERT_EQ(third.failure, ExtractionFailure::None);
    EXPECT_EQ(third.files.directory, directory);
    EXPECT_EQ(readFile(directory + "\\conf.txt"), "key=value");
    EXPECT_EQ(readFile(directory + "\\app.jar"), patternedBytes(5000, 2));
    for (const char* gone : {"old.jar", "conf.txt.brolt-part", "brolt-extraction.lock"})
        EXPECT_FALSE(stampOf(directory + "\\" + gone)) << gone;

    // The marker names the launcher and this process once, however often it started.
    std::optional<brolt::StableMarker> marker =
        brolt::parseStableMarker(readFile(directory + "\\brolt-extraction.owner"));
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->launcher.size, identity->size);
    EXPECT_EQ(marker->launcher.writeTime, identity->writeTime);
    ASSERT_EQ(marker->users.size(), 1u);
    EXPECT_EQ(marker->users[0].processId, GetCurrentProcessId());
    EXPECT_EQ(created(), std::set<std::string>{directory});

    // A launcher rebuilt with other contents gets another folder.
    launcher.includedFiles[1] = "key=rebuilt";
    Extraction rebuilt = extract(launcher, std::string::npos, true);
    ASSERT_EQ(rebuilt.failure, ExtractionFailure::None);
    EXPECT_NE(rebuilt.files.directory, directory);
    EXPECT_EQ(readFile(rebuilt.files.directory + "\\conf.txt"), "key=rebuilt");
}

// Wine keeps no access lists of its own: it answers one made from the file's Unix mode, and takes a
// list set on a file as that mode.
bool underWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST_F(Extract, StableFolderIsMadeProtectedAndOneOthersMayWriteIsNotUsed) {
    Launcher launcher{1, "app.jar", {patternedBytes(300, 6)}, scratch / "launcher.exe"};
    Extraction first = extract(launcher, std::string::npos, true);
    ASSERT_EQ(first.failure, ExtractionFailure::None);
    ASSERT_TRUE(first.files.stable);
    const std::string folder = first.files.directory;

    // Read back: owned by this account, and only the account, SYSTEM and the administrators may
    // write. Where the system keeps the list as asked (not Wine), it is protected from the parent's.
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                    &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    char* ownerText = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(owner, &ownerText));
    EXPECT_EQ(std::string(ownerText), brolt::currentAccount().sid);
    LocalFree(ownerText);
    ASSERT_NE(dacl, nullptr);
    ACL_SIZE_INFORMATION size{};
    ASSERT_TRUE(GetAclInformation(dacl, &size, sizeof size, AclSizeInformation));
    for (DWORD i = 0; i < size.AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        char* trustee = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(&ace->SidStart, &trustee));
        std::string who = trustee;
        LocalFree(trustee);
        if (ace->Mask & brolt::kWriteRights) {
            EXPECT_TRUE(who == brolt::currentAccount().sid || who == "S-1-5-18" || who == "S-1-5-32-544")
                << who;
        }
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    if (!underWine()) {
        EXPECT_TRUE(control & SE_DACL_PROTECTED);
    }
    LocalFree(descriptor);

    // Everyone may now write the folder: it is not used, the start extracts fresh.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                     &open, nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL everyone = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(open, &present, &everyone, &defaulted));
    ASSERT_EQ(SetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, everyone, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(open);
    Extraction second = extractIncludedFilesReusing(
        {launcher.path, launcher.configurationEnd, launcher.count, launcher.names},
        brolt::currentExtractionOwner());
    ASSERT_EQ(second.failure, ExtractionFailure::None);
    EXPECT_FALSE(second.files.stable);
    EXPECT_NE(second.files.directory, folder);
    EXPECT_EQ(readFile(second.files.directory + "\\app.jar"), patternedBytes(300, 6));
    EXPECT_EQ(second.files.names, std::vector<std::string>{"app.jar"});
}

TEST_F(Extract, StableFolderHeldByAnotherStartGivesAFreshDirectory) {
    Launcher launcher{1, "app.jar", {patternedBytes(300, 4)}, scratch / "launcher.exe"};
    Extraction first = extract(launcher, std::string::npos, true);
    ASSERT_EQ(first.failure, ExtractionFailure::None);
    const std::string lockPath = first.files.directory + "\\brolt-extraction.lock";
    brolt::UniqueFile lock(CreateFileA(lockPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);

    DWORD start = GetTickCount();
    Extraction second = extractIncludedFilesReusing(
        {launcher.path, launcher.configurationEnd, launcher.count, launcher.names},
        brolt::currentExtractionOwner());
    DWORD waited = GetTickCount() - start;

    ASSERT_EQ(second.failure, ExtractionFailure::None);
    EXPECT_FALSE(second.files.stable);
    EXPECT_NE(second.files.directory, first.files.directory);
    EXPECT_EQ(readFile(second.files.directory + "\\app.jar"), patternedBytes(300, 4));
    EXPECT_GE(waited, kStableFolderLockWaitMilliseconds - 100);
}

TEST(EmptyDirectory, RemovesPlainEntriesOnly) {
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

TEST(EmptyDirectory, LeavesDotPathsAlone) {
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
