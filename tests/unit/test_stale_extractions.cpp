// Extraction folders of earlier runs: the owner marker, the liveness of its process, and the sweep.
#include "files/stale_extractions.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "scratch_directory.h"
#include "stream_fixture.h"

namespace {

using brolt::ExtractionOwner;
using brolt::OwnerState;
using fixture::ScratchDirectory;

// A process that has run and ended, as the marker of a run before this one would name it.
ExtractionOwner endedProcess(const std::string& modulePath) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    char commandLine[] = "cmd.exe /c exit 0";
    EXPECT_TRUE(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    FILETIME creation, exit, kernel, user;
    GetProcessTimes(process.hProcess, &creation, &exit, &kernel, &user);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ExtractionOwner owner;
    owner.modulePath = modulePath;
    owner.processId = process.dwProcessId;
    owner.creationTime = (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
    return owner;
}

TEST(ExtractionMarker, RoundTripAndWhatIsNotAMarker) {
    ExtractionOwner owner{"C:\\Program Files\\app\\MyService.exe", 4242, 133000000000000000ull};
    std::string text = brolt::formatExtractionMarker(owner);
    std::optional<ExtractionOwner> parsed = brolt::parseExtractionMarker(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->modulePath, owner.modulePath);
    EXPECT_EQ(parsed->processId, owner.processId);
    EXPECT_EQ(parsed->creationTime, owner.creationTime);

    const std::string notMarkers[] = {
        "",
        "PK\x03\x04",
        "brolt extraction owner\nprocess=12\ncreated=5\n",                             // no module
        "brolt extraction owner\nprocess=x\ncreated=5\nmodule=C:\\a.exe\n",            // pid not a number
        "brolt extraction owner\nprocess=99999999999\ncreated=5\nmodule=C:\\a.exe\n",  // pid too large
        "owner\nprocess=12\ncreated=5\nmodule=C:\\a.exe\n",
    };
    for (const std::string& notMarker : notMarkers)
        EXPECT_FALSE(brolt::parseExtractionMarker(notMarker)) << notMarker;
    EXPECT_TRUE(brolt::parseExtractionMarker(
        "brolt extraction owner\r\nprocess=12\r\ncreated=5\r\nmodule=C:\\a.exe"));
}

TEST(ExtractionMarker, OnlyThisLaunchersFoldersOfEndedProcessesGo) {
    ExtractionOwner self{"C:\\app\\MyService.exe", 10, 20};
    struct Case {
        const char* modulePath;
        OwnerState state;
        bool stale;
    };
    const Case cases[] = {
        {"C:\\app\\MyService.exe", OwnerState::Gone, true},
        {"c:\\APP\\myservice.EXE", OwnerState::Gone, true},
        {"C:\\app\\MyService.exe", OwnerState::Running, false},
        {"C:\\app\\MyService.exe", OwnerState::Unknown, false},
        {"C:\\other\\MyService.exe", OwnerState::Gone, false},
        {"C:\\app\\MyService.ex", OwnerState::Gone, false},
    };
    for (const Case& c : cases) {
        ExtractionOwner marker{c.modulePath, 11, 21};
        EXPECT_EQ(brolt::isStaleExtraction(marker, self, c.state), c.stale) << c.modulePath;
    }
}

TEST(ExtractionOwnerProcess, RunningEndedOrAnotherProcessUnderTheSameId) {
    ExtractionOwner self = brolt::currentExtractionOwner();
    EXPECT_EQ(self.processId, GetCurrentProcessId());
    EXPECT_EQ(brolt::processState(self.processId, self.creationTime), OwnerState::Running);
    EXPECT_EQ(brolt::processState(self.processId, self.creationTime + 1), OwnerState::Gone);
    ExtractionOwner ended = endedProcess(self.modulePath);
    EXPECT_EQ(brolt::processState(ended.processId, ended.creationTime), OwnerState::Gone);
}

void makeFolder(const std::string& folder, const std::string& marker) {
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(fixture::writeFile(folder + "\\app.jar", "PK"));
    if (!marker.empty()) {
        ASSERT_TRUE(fixture::writeFile(folder + "\\brolt-extraction.owner", marker));
    }
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(StaleExtractions, SweepRemovesOnlyTheFoldersOfThisLaunchersEndedRuns) {
    ScratchDirectory temp;
    ExtractionOwner self = brolt::currentExtractionOwner();
    ExtractionOwner ended = endedProcess(self.modulePath);
    ExtractionOwner endedElsewhere = endedProcess("C:\\other\\launcher.exe");

    makeFolder(temp / "ended", brolt::formatExtractionMarker(ended));
    // Whatever an application left there goes with it: nested folders, read-only files.
    CreateDirectoryA((temp / "ended\\nested").c_str(), nullptr);
    ASSERT_TRUE(fixture::writeFile(temp / "ended\\nested\\kept.txt", "x"));
    SetFileAttributesA((temp / "ended\\nested\\kept.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    makeFolder(temp / "running", brolt::formatExtractionMarker(self));
    makeFolder(temp / "unmarked", "");
    makeFolder(temp / "foreign", brolt::formatExtractionMarker(endedElsewhere));
    makeFolder(temp / "garbled", "brolt extraction owner\nprocess=");
    makeFolder(temp / "held", "");
    DeleteFileA((temp / "held\\app.jar").c_str());
    brolt::UniqueFile held = brolt::writeExtractionMarker((temp / "held").c_str(), self);
    ASSERT_TRUE(held);

    EXPECT_EQ(brolt::sweepStaleExtractions(temp.path.c_str(), self), 1);

    EXPECT_FALSE(exists(temp / "ended"));
    for (const char* kept : {"running", "unmarked", "foreign", "garbled"})
        EXPECT_TRUE(exists(temp / (std::string(kept) + "\\app.jar"))) << kept;
    EXPECT_TRUE(exists(temp / "held\\brolt-extraction.owner"));
}

TEST(StaleExtractions, MarkerIsHeldAgainstDeletionAndNeverOverwritesAFile) {
    ScratchDirectory folder;
    ExtractionOwner self = brolt::currentExtractionOwner();
    brolt::UniqueFile marker = brolt::writeExtractionMarker(folder.path.c_str(), self);
    ASSERT_TRUE(marker);
    std::string path = folder / "brolt-extraction.owner";
    EXPECT_FALSE(DeleteFileA(path.c_str()));  // a clean-up of the folder while this process runs
    std::optional<ExtractionOwner> written = brolt::parseExtractionMarker(fixture::readFile(path));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->processId, self.processId);
    EXPECT_EQ(written->creationTime, self.creationTime);
    marker.reset();

    // An included file of that name stays as it was.
    ASSERT_TRUE(fixture::writeFile(path, "included"));
    EXPECT_FALSE(brolt::writeExtractionMarker(folder.path.c_str(), self));
    EXPECT_EQ(fixture::readFile(path), "included");
    EXPECT_FALSE(brolt::writeExtractionMarker("", self));
}

}  // namespace
