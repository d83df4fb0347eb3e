// What launcher processes leave in the temporary location: the liveness of their process, the sweep,
// the "-version" output file and its removal once released.
#include "files/stale_extractions.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "files/stable_extraction_rules.h"
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

TEST(StaleExtractions, SweepRemovesWhatEndedProcessesOfAnyLauncherLeft) {
    ScratchDirectory temp;
    ExtractionOwner self = brolt::currentExtractionOwner();
    ExtractionOwner ended = endedProcess(self.modulePath);
    ExtractionOwner endedElsewhere = endedProcess("C:\\other\\launcher.exe");
    ExtractionOwner runningElsewhere = self;
    runningElsewhere.modulePath = "C:\\other\\launcher.exe";

    makeFolder(temp / "ended", brolt::formatExtractionMarker(ended));
    // Whatever an application left there goes with it: nested folders, read-only files.
    CreateDirectoryA((temp / "ended\\nested").c_str(), nullptr);
    ASSERT_TRUE(fixture::writeFile(temp / "ended\\nested\\kept.txt", "x"));
    SetFileAttributesA((temp / "ended\\nested\\kept.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    makeFolder(temp / "endedElsewhere", brolt::formatExtractionMarker(endedElsewhere));
    makeFolder(temp / "running", brolt::formatExtractionMarker(self));
    makeFolder(temp / "runningElsewhere", brolt::formatExtractionMarker(runningElsewhere));
    makeFolder(temp / "unmarked", "");
    makeFolder(temp / "garbled", "brolt extraction owner\nprocess=");
    makeFolder(temp / "held", "");
    DeleteFileA((temp / "held\\app.jar").c_str());
    brolt::UniqueFile held = brolt::writeExtractionMarker((temp / "held").c_str(), self);
    ASSERT_TRUE(held);
    // Files: a name says whose a file is; a folder of such a name is still a folder, kept without a marker.
    const std::string endedOutput = brolt::formatVersionOutputName(endedElsewhere, 0);
    const std::string runningOutput = brolt::formatVersionOutputName(self, 0);
    const std::string endedOutputFolder = brolt::formatVersionOutputName(ended, 1);
    ASSERT_TRUE(fixture::writeFile(temp / endedOutput, "java version \"1.8.0\""));
    ASSERT_TRUE(fixture::writeFile(temp / runningOutput, ""));
    ASSERT_TRUE(fixture::writeFile(temp / "brt1234.tmp", ""));
    makeFolder(temp / endedOutputFolder, "");

    EXPECT_EQ(brolt::sweepLeftovers(temp.path.c_str()), 3);

    for (const std::string& gone : {std::string("ended"), std::string("endedElsewhere"), endedOutput})
        EXPECT_FALSE(exists(temp / gone)) << gone;
    for (const char* kept : {"running", "runningElsewhere", "unmarked", "garbled"})
        EXPECT_TRUE(exists(temp / (std::string(kept) + "\\app.jar"))) << kept;
    EXPECT_TRUE(exists(temp / "held\\brolt-extraction.owner"));
    for (const std::string& kept :
         {runningOutput, std::string("brt1234.tmp"), endedOutputFolder + "\\app.jar"})
        EXPECT_TRUE(exists(temp / kept)) << kept;
}

// The sweep deletes by handle, each entry checked against the folder's resolved path: a file that has
// another name elsewhere (a hard link someone made to a file of theirs) is no file of the folder's alone,
// and stays with the folder and its marker, for nothing of it to be lost.
TEST(StaleExtractions, SweepLeavesAFileWithAnotherNameAndTheFolderAroundIt) {
    ScratchDirectory temp;
    ScratchDirectory elsewhere;
    ExtractionOwner ended = endedProcess(brolt::currentExtractionOwner().modulePath);
    makeFolder(temp / "ended", brolt::formatExtractionMarker(ended));
    ASSERT_TRUE(fixture::writeFile(elsewhere / "theirs.txt", "theirs"));
    ASSERT_TRUE(
        CreateHardLinkA((temp / "ended\\linked.txt").c_str(), (elsewhere / "theirs.txt").c_str(), nullptr));

    EXPECT_EQ(brolt::sweepLeftovers(temp.path.c_str()), 0);
    EXPECT_EQ(fixture::readFile(elsewhere / "theirs.txt"), "theirs");
    EXPECT_TRUE(exists(temp / "ended\\linked.txt"));
    EXPECT_TRUE(exists(temp / "ended\\brolt-extraction.owner"));

    // Once the other name is gone, the next sweep takes the folder whole.
    ASSERT_TRUE(DeleteFileA((elsewhere / "theirs.txt").c_str()));
    EXPECT_EQ(brolt::sweepLeftovers(temp.path.c_str()), 1);
    EXPECT_FALSE(exists(temp / "ended"));
}

// A launcher's stable folder stays while its launcher is there unchanged, for the next start to reuse;
// it goes once the launcher is gone or rebuilt, unless a process that used it may still run.
TEST(StaleExtractions, SweepKeepsAStableFolderWhileItsLauncherIsUnchanged) {
    ScratchDirectory temp;
    ExtractionOwner self = brolt::currentExtractionOwner();
    ExtractionOwner ended = endedProcess(self.modulePath);
    const brolt::FolderUser endedUser{ended.processId, ended.creationTime};
    const brolt::FolderUser selfUser{self.processId, self.creationTime};
    struct Case {
        const char* what;
        bool launcherThere;
        bool launcherRebuilt;
        bool folderNamedAfterIt;
        brolt::FolderUser user;
        bool removed;
    };
    const Case cases[] = {
        {"unchanged, its user ended", true, false, true, endedUser, false},
        {"launcher deleted", false, false, true, endedUser, true},
        {"launcher rebuilt", true, true, true, endedUser, true},
        {"launcher deleted, a user runs", false, false, true, selfUser, false},
        {"launcher deleted, a name not its own", false, false, false, endedUser, false},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::string launcherPath = temp / ("launcher" + std::to_string(index++) + ".exe");
        ASSERT_TRUE(fixture::writeFile(launcherPath, "MZ launcher"));
        std::optional<brolt::LauncherIdentity> identity = brolt::launcherIdentityOf(launcherPath);
        ASSERT_TRUE(identity) << c.what;
        std::string name = c.folderNamedAfterIt ? brolt::stableFolderName(*identity)
                                                : "brt_sforeign" + std::to_string(index) + ".tmp";
        makeFolder(temp / name, brolt::formatStableMarker({*identity, {c.user}}));
        if (!c.launcherThere) {
            ASSERT_TRUE(DeleteFileA(launcherPath.c_str())) << c.what;
        }
        if (c.launcherRebuilt) {
            ASSERT_TRUE(fixture::writeFile(launcherPath, "MZ launcher, rebuilt")) << c.what;
        }

        EXPECT_EQ(brolt::sweepLeftovers(temp.path.c_str()), c.removed ? 1 : 0) << c.what;
        EXPECT_EQ(exists(temp / name), !c.removed) << c.what;
        fixture::removeTree(temp / name);
    }
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

TEST(VersionOutputFile, EachANewFileNamedAfterItsProcess) {
    ScratchDirectory temp;
    ExtractionOwner self = brolt::currentExtractionOwner();
    brolt::VersionOutputFile first = brolt::createVersionOutputFile(temp.path, self, nullptr);
    brolt::VersionOutputFile second = brolt::createVersionOutputFile(temp.path, self, nullptr);
    ASSERT_TRUE(first.file);
    ASSERT_TRUE(second.file);
    EXPECT_NE(first.name, second.name);
    for (const std::string& name : {first.name, second.name}) {
        ASSERT_EQ(name.rfind(temp.path + "\\", 0), 0u) << name;
        std::optional<ExtractionOwner> owner =
            brolt::parseVersionOutputName(name.substr(temp.path.size() + 1));
        ASSERT_TRUE(owner) << name;
        EXPECT_EQ(owner->processId, self.processId);
        EXPECT_EQ(owner->creationTime, self.creationTime);
    }
    EXPECT_FALSE(brolt::createVersionOutputFile(temp / "missing", self, nullptr).file);
}

// A file held open without delete sharing, as a child's handle that outlives the child holds it.
brolt::UniqueFile holdOpen(const std::string& path) {
    return brolt::UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

TEST(VersionOutputFile, RemovedOnceReleasedWithinTheWait) {
    ScratchDirectory temp;
    const std::string path = temp / "brt_v1_1_0.tmp";
    struct Case {
        const char* what;
        DWORD releasedAfter;  // milliseconds; INFINITE: held throughout
        DWORD wait;
        bool removed;
    };
    const Case cases[] = {
        {"released during the wait", 300, brolt::kReleaseWaitMilliseconds, true},
        {"held beyond the wait", INFINITE, 400, false},
        {"not held", 0, 0, true},
    };
    for (const Case& c : cases) {
        brolt::UniqueFile holder = holdOpen(path);
        ASSERT_TRUE(holder) << c.what;
        std::thread releaser;
        if (c.releasedAfter == 0)
            holder.reset();
        else if (c.releasedAfter != INFINITE)
            releaser = std::thread([&holder, &c] {
                Sleep(c.releasedAfter);
                holder.reset();
            });
        DWORD start = GetTickCount();
        EXPECT_EQ(brolt::removeFileOnceReleased(path, c.wait), c.removed) << c.what;
        DWORD took = GetTickCount() - start;
        if (releaser.joinable())
            releaser.join();
        EXPECT_EQ(exists(path), !c.removed) << c.what;
        // A loaded machine may leave the waiting thread unscheduled this long; still well inside the
        // wait, so a removal at the end of the wait is told from one soon after the release.
        constexpr DWORD schedulingSlack = 1000;
        if (c.releasedAfter != INFINITE) {
            // Removed soon after the release, not at the end of the wait.
            EXPECT_LT(took, c.releasedAfter + schedulingSlack) << c.what;
        } else {
            EXPECT_GE(took, c.wait) << c.what;
            EXPECT_LT(took, c.wait + schedulingSlack) << c.what;
        }
        holder.reset();
        DeleteFileA(path.c_str());
    }
    EXPECT_TRUE(brolt::removeFileOnceReleased(temp / "never-made.tmp", 0));
}

}  // namespace
