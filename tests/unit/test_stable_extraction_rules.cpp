// The decisions behind a launcher's stable extraction folder: its name, which files a start writes
// again or removes, and what the sweep does with the folder.
#include "files/stable_extraction_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

using brolt::FileStamp;
using brolt::LauncherIdentity;
using brolt::StableFolderVerdict;

TEST(StableFolderName, OneNamePerLauncherFileAndContents) {
    const LauncherIdentity launcher{"C:\\Program Files\\App\\svc.exe", 1000, 133000000000000000ull};
    const std::string name = brolt::stableFolderName(launcher);
    EXPECT_TRUE(std::regex_match(name, std::regex("brt_s[0-9a-f]{16}\\.tmp"))) << name;
    // The system does not tell paths apart by ASCII case; the same launcher gets the same folder.
    EXPECT_EQ(brolt::stableFolderName({"c:\\PROGRAM FILES\\app\\SVC.EXE", 1000, 133000000000000000ull}),
              name);

    // Anything else that differs gives another folder: another place, a rebuilt launcher, and a path
    // and number pair that would run together without the path's end marked.
    const LauncherIdentity others[] = {
        {"C:\\Program Files\\App\\svc2.exe", 1000, 133000000000000000ull},
        {"D:\\Program Files\\App\\svc.exe", 1000, 133000000000000000ull},
        {"C:\\Program Files\\App\\svc.exe", 1001, 133000000000000000ull},
        {"C:\\Program Files\\App\\svc.exe", 1000, 133000000000000001ull},
        {"C:\\Program Files\\App\\svc.exe", 0, 0},
        {std::string("C:\\Program Files\\App\\svc.exe") + '\xe8', 1000 >> 8, 133000000000000000ull},
    };
    std::set<std::string> names{name};
    for (const LauncherIdentity& other : others)
        EXPECT_TRUE(names.insert(brolt::stableFolderName(other)).second)
            << other.modulePath << " " << other.size;
}

TEST(StableFolderFiles, WhatAStartWritesAgain) {
    const std::vector<brolt::WantedFile> wanted{{"app.jar", 100}, {"conf.txt", 20}, {"empty.txt", 0}};
    const std::vector<brolt::ManifestEntry> manifest{{"app.jar", {100, 5000}}, {"CONF.TXT", {20, 6000}}};
    const FileStamp jar{100, 5000}, conf{20, 6000};
    struct Case {
        const char* what;
        std::vector<brolt::ManifestEntry> manifest;
        std::vector<std::optional<FileStamp>> onDisk;
        std::vector<size_t> rewrite;
    };
    const Case cases[] = {
        {"all as extracted (names compare without case)", manifest, {jar, conf, std::nullopt}, {}},
        {"no manifest: a first start, or one that was cut", {}, {jar, conf, std::nullopt}, {0, 1}},
        {"a file gone", manifest, {std::nullopt, conf, std::nullopt}, {0}},
        {"a file written since (its time)", manifest, {FileStamp{100, 5001}, conf, std::nullopt}, {0}},
        {"a file cut or grown, time kept", manifest, {jar, FileStamp{19, 6000}, std::nullopt}, {1}},
        {"a manifest line of another size than the launcher's",
         {{"app.jar", {99, 5000}}, {"conf.txt", {20, 6000}}},
         {FileStamp{99, 5000}, conf, std::nullopt},
         {0}},
        {"a file the manifest does not list", {{"conf.txt", {20, 6000}}}, {jar, conf, std::nullopt}, {0}},
        {"an empty included file is never written, even when something has its name",
         manifest,
         {jar, conf, FileStamp{3, 1}},
         {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(brolt::filesToRewrite(wanted, c.manifest, c.onDisk), c.rewrite) << c.what;
}

TEST(StableFolderFiles, WhatAStartRemoves) {
    const std::vector<brolt::WantedFile> wanted{{"app.jar", 100}, {"empty.txt", 0}};
    const std::vector<std::string> present{"app.jar",
                                           "App.jar.brolt-part",
                                           "old.jar",
                                           "empty.txt",
                                           "brolt-extraction.owner",
                                           "brolt-extraction.manifest",
                                           "brolt-extraction.lock"};
    EXPECT_EQ(brolt::filesToRemove(present, wanted, false),
              (std::vector<std::string>{"App.jar.brolt-part", "old.jar", "empty.txt"}));
    // A running application may use its own files; a half-written file is no one's.
    EXPECT_EQ(brolt::filesToRemove(present, wanted, true), (std::vector<std::string>{"App.jar.brolt-part"}));
}

TEST(StableFolderSweep, KeptWhileItsLauncherIsThereUnchanged) {
    const LauncherIdentity launcher{"C:\\app\\svc.exe", 1000, 7};
    const brolt::StableMarker marker{launcher, {{12, 34}}};
    const std::string folder = brolt::stableFolderName(launcher);
    std::string upper = folder;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    struct Case {
        const char* what;
        std::string folder;
        std::optional<LauncherIdentity> now;
        bool anyUserMayRun;
        StableFolderVerdict verdict;
    };
    const Case cases[] = {
        {"launcher unchanged, no user", folder, launcher, false, StableFolderVerdict::Keep},
        {"launcher unchanged, a user runs", folder, launcher, true, StableFolderVerdict::Keep},
        {"the name's case aside", upper, launcher, false, StableFolderVerdict::Keep},
        {"launcher gone", folder, std::nullopt, false, StableFolderVerdict::Remove},
        {"launcher rebuilt", folder, LauncherIdentity{launcher.modulePath, 1000, 8}, false,
         StableFolderVerdict::Remove},
        {"launcher of another size", folder, LauncherIdentity{launcher.modulePath, 999, 7}, false,
         StableFolderVerdict::Remove},
        {"launcher gone, a user may run", folder, std::nullopt, true, StableFolderVerdict::InUse},
        {"a name its marker does not give", "brt_s0000000000000000.tmp", std::nullopt, false,
         StableFolderVerdict::NotOurs},
    };
    for (const Case& c : cases)
        EXPECT_EQ(brolt::judgeStableFolder(c.folder, marker, c.now, c.anyUserMayRun), c.verdict) << c.what;
}

}  // namespace
