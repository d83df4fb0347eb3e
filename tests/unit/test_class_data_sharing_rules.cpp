// The rules of class-data sharing for the application's classes, without any file or VM.
#include "launch/class_data_sharing_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using brolt::ArchiveStamp;
using brolt::ArchiveUse;
using brolt::CacheFile;
using brolt::ClassPathFile;
using brolt::SharingMode;

TEST(ClassDataSharing, FeatureVersionOfEveryVersionForm) {
    const std::pair<const char*, int> cases[] = {
        {"1.8.0_392", 8}, {"1.7.0-rc1", 7}, {"11.0.21", 11}, {"12", 12},        {"13.0.2", 13},
        {"17.0.9", 17},   {"19-ea", 19},    {"21", 21},      {"21.0.1+12", 21}, {"", 0},
        {"x17", 0},       {"1.", 0},        {"9999", 0},     {"100.1", 100},
    };
    for (const auto& [version, feature] : cases)
        EXPECT_EQ(brolt::javaFeatureVersion(version), feature) << version;
}

TEST(ClassDataSharing, OnlyA64BitRuntimeOfJava13OrLaterWithoutTheUsersOwnSettingShares) {
    struct Case {
        bool enabled;
        int wordSize;
        const char* version;
        std::vector<std::string> options;
        SharingMode mode;
    };
    const std::vector<std::string> plain = {"-Xmx256m", "-Dbrolt.tempDir=C:\\t", "-Xlog:class+load"};
    const Case cases[] = {
        {true, 64, "17.0.9", plain, SharingMode::AtExit},
        {true, 64, "13", plain, SharingMode::AtExit},
        {true, 64, "18.0.2", plain, SharingMode::AtExit},
        {true, 64, "19", plain, SharingMode::Automatic},
        {true, 64, "21.0.1", plain, SharingMode::Automatic},
        {true, 64, "12.0.2", plain, SharingMode::Off},
        {true, 64, "1.8.0_392", plain, SharingMode::Off},
        {true, 64, "", plain, SharingMode::Off},
        {true, 32, "17.0.9", plain, SharingMode::Off},
        {false, 64, "17.0.9", plain, SharingMode::Off},
        {false, 64, "21", plain, SharingMode::Off},
        {true, 64, "17", {"-Xshare:off"}, SharingMode::Off},
        {true, 64, "17", {"-Xmx1g", "-XX:SharedArchiveFile=C:\\my.jsa"}, SharingMode::Off},
        {true, 64, "17", {"-XX:ArchiveClassesAtExit=C:\\my.jsa"}, SharingMode::Off},
        {true, 64, "21", {"-XX:-AutoCreateSharedArchive"}, SharingMode::Off},
        {true, 64, "21", {"-XX:+AutoCreateSharedArchive"}, SharingMode::Off},
        {true, 64, "17", {"-XX:SharedClassListFile=c.lst"}, SharingMode::Off},
        {true, 64, "25", {"-XX:AOTCache=app.aot"}, SharingMode::Off},
        {true, 64, "25", {"-XX:AOTCacheOutput=app.aot"}, SharingMode::Off},
        {true, 64, "25", {"-XX:AOTConfiguration=app.aotconf"}, SharingMode::Off},
        {true, 64, "25", {"-XX:AOTMode=record"}, SharingMode::Off},
        // The VM writes no archive with an agent loaded: it would end at its start.
        {true, 64, "17", {"-Xmx1g", "-javaagent:C:\\agent.jar=5000"}, SharingMode::Off},
        {true, 64, "21", {"-agentlib:jdwp=transport=dt_socket"}, SharingMode::Off},
        {true, 64, "17", {"-agentpath:C:\\a.dll"}, SharingMode::Off},
        // Mentioning an archive inside another option settles nothing.
        {true, 64, "17", {"-Dx=-Xshare:off"}, SharingMode::AtExit},
    };
    for (const Case& c : cases) {
        brolt::SharingChoice choice = brolt::chooseSharing(c.enabled, c.wordSize, c.version, c.options);
        EXPECT_EQ(choice.mode, c.mode) << c.version << " " << c.wordSize << " " << choice.reason;
        EXPECT_FALSE(choice.reason.empty());
    }
    EXPECT_EQ(brolt::chooseSharing(true, 64, "17", {"-Xshare:off"}).reason, "left to the option -Xshare:off");
}

// The VM's options from elsewhere, as the launcher finds them: variables of a fake environment and files
// of a fake disk, read through the shipped orchestration.
struct Elsewhere {
    std::map<std::string, std::string> variables;
    std::map<std::string, std::string> files;  // a file missing here cannot be read
};

std::vector<brolt::VmOptionSource> sourcesFrom(const Elsewhere& elsewhere,
                                               const std::vector<std::string>& launcherOptions,
                                               std::vector<std::string>* filesRead = nullptr) {
    brolt::VmOptionReaders readers;
    readers.variable = [&elsewhere](std::string_view name) -> std::optional<std::string> {
        auto found = elsewhere.variables.find(std::string(name));
        return found == elsewhere.variables.end() ? std::nullopt : std::optional(found->second);
    };
    readers.file = [&elsewhere, filesRead](const std::string& path) -> brolt::OptionsFileText {
        if (filesRead != nullptr)
            filesRead->push_back(path);
        auto found = elsewhere.files.find(path);
        if (found == elsewhere.files.end())
            return {std::nullopt, "it could not be opened (error 2)"};
        return {found->second, {}};
    };
    return brolt::otherVmOptionSources(launcherOptions, readers);
}

TEST(ClassDataSharing, AnAgentOrArchiveOptionFromTheEnvironmentOrAnOptionsFileTurnsSharingOff) {
    struct Case {
        const char* what;
        Elsewhere elsewhere;
        std::vector<std::string> launcherOptions;
        SharingMode mode;
        const char* reason;  // the whole reason, or a part of it for an unreadable file
    };
    const std::string agent = "-javaagent:C:\\mon\\agent.jar=port=5000";
    const Case cases[] = {
        {"nothing elsewhere", {}, {"-Xmx256m"}, SharingMode::Automatic, "automatic archive"},
        {"harmless variables",
         {{{"JAVA_TOOL_OPTIONS", " -Xss2m\t-Dmon=on "}, {"_JAVA_OPTIONS", ""}}, {}},
         {},
         SharingMode::Automatic,
         "automatic archive"},
        {"an agent in JAVA_TOOL_OPTIONS",
         {{{"JAVA_TOOL_OPTIONS", "-Dx=1 " + agent}}, {}},
         {},
         SharingMode::Off,
         "not with an agent: -javaagent:C:\\mon\\agent.jar=port=5000 from JAVA_TOOL_OPTIONS"},
        {"a quoted agent path with a blank in _JAVA_OPTIONS",
         {{{"_JAVA_OPTIONS", "'-agentpath:C:\\Program Files\\prof.dll'"}}, {}},
         {},
         SharingMode::Off,
         "not with an agent: -agentpath:C:\\Program Files\\prof.dll from _JAVA_OPTIONS"},
        {"a debugger in _JAVA_OPTIONS",
         {{{"_JAVA_OPTIONS", "-agentlib:jdwp=transport=dt_socket,server=y"}}, {}},
         {},
         SharingMode::Off,
         "not with an agent: -agentlib:jdwp=transport=dt_socket,server=y from _JAVA_OPTIONS"},
        {"sharing turned off in JAVA_TOOL_OPTIONS",
         {{{"JAVA_TOOL_OPTIONS", "-Xshare:off"}}, {}},
         {},
         SharingMode::Off,
         "left to the option -Xshare:off from JAVA_TOOL_OPTIONS"},
        {"an ahead-of-time cache in _JAVA_OPTIONS",
         {{{"_JAVA_OPTIONS", "-XX:AOTCache=C:\\app.aot"}}, {}},
         {},
         SharingMode::Off,
         "left to the option -XX:AOTCache=C:\\app.aot from _JAVA_OPTIONS"},
        {"the user's archive wins over an agent, wherever each is",
         {{{"JAVA_TOOL_OPTIONS", agent}, {"_JAVA_OPTIONS", "-XX:SharedArchiveFile=C:\\my.jsa"}}, {}},
         {},
         SharingMode::Off,
         "left to the option -XX:SharedArchiveFile=C:\\my.jsa from _JAVA_OPTIONS"},
        {"an agent in the launcher's options file",
         {{}, {{"C:\\app\\more.opts", "-Xmx1g\r\n" + agent + "\r\n"}}},
         {"-XX:VMOptionsFile=C:\\app\\more.opts"},
         SharingMode::Off,
         "not with an agent: -javaagent:C:\\mon\\agent.jar=port=5000 from the options file "
         "\"C:\\app\\more.opts\" (-XX:VMOptionsFile= in the launcher's options)"},
        {"an options file named in JAVA_TOOL_OPTIONS",
         {{{"JAVA_TOOL_OPTIONS", "-XX:VMOptionsFile=mon.opts"}},
          {{"mon.opts", "-XX:-AutoCreateSharedArchive"}}},
         {},
         SharingMode::Off,
         "left to the option -XX:-AutoCreateSharedArchive from the options file \"mon.opts\" "
         "(-XX:VMOptionsFile= in JAVA_TOOL_OPTIONS)"},
        {"an archive flag in a flags file",
         {{}, {{"C:\\app\\.flags", "# tuning\n+UseG1GC\n+AutoCreateSharedArchive\n"}}},
         {"-XX:Flags=C:\\app\\.flags"},
         SharingMode::Off,
         "left to the option -XX:+AutoCreateSharedArchive from the options file \"C:\\app\\.flags\" "
         "(-XX:Flags= in the launcher's options)"},
        {"a flags file of other flags",
         {{}, {{"C:\\app\\.flags", "+UseG1GC # +AutoCreateSharedArchive\nMaxHeapFreeRatio=70"}}},
         {"-XX:Flags=C:\\app\\.flags"},
         SharingMode::Automatic,
         "automatic archive"},
        {"an options file that cannot be read",
         {},
         {"-XX:VMOptionsFile=C:\\gone.opts"},
         SharingMode::Off,
         "not without reading the options file \"C:\\gone.opts\" (-XX:VMOptionsFile= in the launcher's "
         "options): it could not be opened (error 2)"},
        {"a flags file that cannot be read, named in _JAVA_OPTIONS",
         {{{"_JAVA_OPTIONS", "-XX:Flags=x.flags"}}, {}},
         {},
         SharingMode::Off,
         "not without reading the options file \"x.flags\" (-XX:Flags= in _JAVA_OPTIONS)"},
        {"a flags file named in an options file",
         {{}, {{"a.opts", "-XX:Flags=b.flags"}, {"b.flags", "AOTMode=off"}}},
         {"-XX:VMOptionsFile=a.opts"},
         SharingMode::Off,
         "left to the option -XX:AOTMode=off from the options file \"b.flags\""},
    };
    for (const Case& c : cases) {
        std::vector<brolt::VmOptionSource> others = sourcesFrom(c.elsewhere, c.launcherOptions);
        brolt::SharingChoice choice = brolt::chooseSharing(true, 64, "21.0.2", c.launcherOptions, others);
        EXPECT_EQ(choice.mode, c.mode) << c.what << ": " << choice.reason;
        EXPECT_TRUE(choice.reason.starts_with(c.reason)) << c.what << ": " << choice.reason;
    }
}

TEST(ClassDataSharing, EachOptionsFileIsReadOnceAndOnlySoMany) {
    // A file named twice, and one that names itself: each read once, and nothing read forever.
    Elsewhere elsewhere{{{"JAVA_TOOL_OPTIONS", "-XX:VMOptionsFile=a.opts"}},
                        {{"a.opts", "-XX:VMOptionsFile=a.opts -Xss1m"}}};
    std::vector<std::string> read;
    std::vector<brolt::VmOptionSource> others = sourcesFrom(elsewhere, {"-XX:VMOptionsFile=a.opts"}, &read);
    EXPECT_EQ(read, std::vector<std::string>{"a.opts"});
    EXPECT_EQ(brolt::chooseSharing(true, 64, "17", {}, others).mode, SharingMode::AtExit);

    // A chain of files longer than the bound: the first ones are read, and sharing steps aside.
    Elsewhere chain;
    for (size_t i = 0; i <= brolt::kMaxOptionsFiles + 2; ++i)
        chain.files["f" + std::to_string(i)] = "-XX:VMOptionsFile=f" + std::to_string(i + 1);
    read.clear();
    others = sourcesFrom(chain, {"-XX:VMOptionsFile=f0"}, &read);
    EXPECT_EQ(read.size(), brolt::kMaxOptionsFiles);
    brolt::SharingChoice choice = brolt::chooseSharing(true, 64, "17", {}, others);
    EXPECT_EQ(choice.mode, SharingMode::Off);
    EXPECT_NE(choice.reason.find("more than 8 options files"), std::string::npos) << choice.reason;
}

TEST(ClassDataSharing, OptionsTextSplitsAsTheVmSplitsIt) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"", {}},
        {" \t\r\n", {}},
        {"-Xmx1g -Dx=1", {"-Xmx1g", "-Dx=1"}},
        {"\t-Xmx1g\r\n\r\n-Dx=1\n", {"-Xmx1g", "-Dx=1"}},
        {"-Dname='a b' \"-javaagent:C:\\P F\\a.jar\"", {"-Dname=a b", "-javaagent:C:\\P F\\a.jar"}},
        {"-Dq=\"it's\"", {"-Dq=it's"}},
        {"'' x", {"", "x"}},
        {"-Dopen='no end -javaagent:x", {"-Dopen=no end -javaagent:x"}},
    };
    for (const auto& [text, options] : cases)
        EXPECT_EQ(brolt::splitVmOptionsText(text), options) << text;
}

TEST(ClassDataSharing, FlagsFileFlagsBecomeOptions) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"", {}},
        {"+UseG1GC\n-UseCompressedOops\r\nSharedArchiveFile=C:\\a.jsa",
         {"-XX:+UseG1GC", "-XX:-UseCompressedOops", "-XX:SharedArchiveFile=C:\\a.jsa"}},
        {"# all commented\n   #+AutoCreateSharedArchive\n", {}},
        {"+A #comment +B\n+C#D", {"-XX:+A", "-XX:+C#D"}},
        {"ErrorFile='C:\\my logs\\err.log' +B", {"-XX:ErrorFile=C:\\my logs\\err.log", "-XX:+B"}},
        // A line end ends a flag even inside quotes; a flag's first character is taken as it is.
        {"X='a\nb'", {"-XX:X=a", "-XX:b"}},
        {"'+C'", {"-XX:'+C"}},
    };
    for (const auto& [text, options] : cases)
        EXPECT_EQ(brolt::flagsFileOptions(text), options) << text;
}

TEST(ClassDataSharing, ArchiveNameKeysOnLauncherRuntimeAndVersion) {
    std::string name = brolt::archiveFileName("C:\\App\\svc.exe", "C:\\App\\jre\\bin\\java.exe", "17.0.9");
    EXPECT_EQ(name.size(), 16 + 1 + 16 + 4);
    EXPECT_TRUE(name.ends_with(".jsa"));
    // Case does not make another file of a Windows path.
    EXPECT_EQ(name, brolt::archiveFileName("c:\\app\\SVC.EXE", "c:\\app\\JRE\\bin\\java.exe", "17.0.9"));
    std::string otherLauncher =
        brolt::archiveFileName("C:\\App2\\svc.exe", "C:\\App\\jre\\bin\\java.exe", "17.0.9");
    std::string otherRuntime = brolt::archiveFileName("C:\\App\\svc.exe", "C:\\jdk\\bin\\java.exe", "17.0.9");
    std::string otherVersion =
        brolt::archiveFileName("C:\\App\\svc.exe", "C:\\App\\jre\\bin\\java.exe", "17.0.10");
    for (const std::string& other : {otherLauncher, otherRuntime, otherVersion})
        EXPECT_NE(other, name);
    // One launcher's archives share their first part, so a runtime change finds the old one.
    EXPECT_EQ(otherRuntime.substr(0, 17), name.substr(0, 17));
    EXPECT_EQ(otherVersion.substr(0, 17), name.substr(0, 17));
    EXPECT_NE(otherLauncher.substr(0, 17), name.substr(0, 17));
    // Pieces are kept apart: moving a character from one to the next is another key.
    EXPECT_NE(brolt::archiveFileName("a", "bc", "1"), brolt::archiveFileName("ab", "c", "1"));
}

TEST(ClassDataSharing, InputsChangeWithWhatTheVmChecksButNotWithThisProcesssOwnFiles) {
    const std::vector<ClassPathFile> jars = {{"C:\\app\\a.jar", 1000, 5}, {"C:\\app\\b.jar", 2000, 6}};
    const std::vector<std::string> options = {"-Xmx256m", "-Dbrolt.tempDir=C:\\t\\brt1.tmp",
                                              "-Djava.class.path=C:\\app\\a.jar;C:\\app\\b.jar;"};
    const std::string base = brolt::archiveInputs("17.0.9", jars, options);

    std::vector<std::string> otherTemp = options;
    otherTemp[1] = "-Dbrolt.tempDir=C:\\t\\brt2.tmp";
    EXPECT_EQ(brolt::archiveInputs("17.0.9", jars, otherTemp), base);

    std::vector<ClassPathFile> newerJar = jars;
    newerJar[1].writeTime = 7;
    std::vector<ClassPathFile> biggerJar = jars;
    biggerJar[0].size = 1001;
    std::vector<ClassPathFile> movedJar = jars;
    movedJar[0].path = "C:\\app\\lib\\a.jar";
    std::vector<ClassPathFile> reordered = {jars[1], jars[0]};
    std::vector<std::string> otherHeap = options;
    otherHeap[0] = "-Xmx512m";
    std::vector<std::string> otherProperty = options;
    otherProperty.push_back("-Dapp.mode=fast");
    const std::string changed[] = {
        brolt::archiveInputs("17.0.10", jars, options),
        brolt::archiveInputs("17.0.9", newerJar, options),
        brolt::archiveInputs("17.0.9", biggerJar, options),
        brolt::archiveInputs("17.0.9", movedJar, options),
        brolt::archiveInputs("17.0.9", reordered, options),
        brolt::archiveInputs("17.0.9", jars, otherHeap),
        brolt::archiveInputs("17.0.9", jars, otherProperty),
    };
    for (const std::string& inputs : changed)
        EXPECT_NE(inputs, base);
}

TEST(ClassDataSharing, StampRoundTripsAndRefusesAnythingElse) {
    ArchiveStamp stamp{"0123456789abcdef", 12345678, 133456789012345678ull};
    std::string text = brolt::formatArchiveStamp(stamp);
    EXPECT_EQ(text, "0123456789abcdef 12345678 133456789012345678\n");
    std::optional<ArchiveStamp> back = brolt::parseArchiveStamp(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->inputs, stamp.inputs);
    EXPECT_EQ(back->size, stamp.size);
    EXPECT_EQ(back->writeTime, stamp.writeTime);

    const char* refused[] = {
        "",
        "\n",
        "abc 1 2",                       // cut before its line end
        "abc 1\n",                       // no time
        "a\nbc 1 2\n",                   // two lines
        " 1 2\n",                        // no inputs
        "abc -1 2\n",                    // no size
        "abc 1 2x\n",                    // not a number
        "abc 1  2\n",                    // two spaces
        "abc 1 99999999999999999999\n",  // beyond 64 bits
    };
    for (const char* line : refused)
        EXPECT_FALSE(brolt::parseArchiveStamp(line)) << line;
}

TEST(ClassDataSharing, OnlyTheStampedArchiveIsMappedAndOnlyTheLockHolderWrites) {
    const std::optional<ArchiveStamp> stamp = ArchiveStamp{"inputs", 4096, 77};
    const std::optional<ClassPathFile> same = ClassPathFile{"a.jsa", 4096, 77};
    const std::optional<ClassPathFile> cut = ClassPathFile{"a.jsa", 1000, 77};
    const std::optional<ClassPathFile> rewritten = ClassPathFile{"a.jsa", 4096, 78};
    struct Case {
        std::optional<ArchiveStamp> stamp;
        const char* inputs;
        std::optional<ClassPathFile> archive;
        bool lock;
        ArchiveUse use;
    };
    const Case cases[] = {
        {stamp, "inputs", same, true, ArchiveUse::Map},
        {stamp, "inputs", same, false, ArchiveUse::Map},
        {stamp, "changed", same, true, ArchiveUse::Write},
        {stamp, "changed", same, false, ArchiveUse::None},
        {stamp, "inputs", cut, true, ArchiveUse::Write},
        {stamp, "inputs", rewritten, true, ArchiveUse::Write},
        {stamp, "inputs", std::nullopt, true, ArchiveUse::Write},
        {std::nullopt, "inputs", same, true, ArchiveUse::Write},
        {std::nullopt, "inputs", std::nullopt, false, ArchiveUse::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(brolt::chooseArchiveUse(c.stamp, c.inputs, c.archive, c.lock), c.use) << c.inputs;
}

TEST(ClassDataSharing, OptionsQuietTheVmFirstAndNameOneArchiveEach) {
    using Options = std::vector<std::string>;
    const std::string quiet = "-Xlog:cds*=off";
    struct Case {
        SharingMode mode;
        ArchiveUse use;
        Options options;
    };
    const Case cases[] = {
        {SharingMode::AtExit, ArchiveUse::Map, {quiet, "-Xshare:auto", "-XX:SharedArchiveFile=C:\\c\\a.jsa"}},
        {SharingMode::AtExit,
         ArchiveUse::Write,
         {quiet, "-Xshare:auto", "-XX:ArchiveClassesAtExit=C:\\c\\a.jsa.9.tmp"}},
        {SharingMode::AtExit, ArchiveUse::None, {}},
        {SharingMode::Automatic,
         ArchiveUse::Write,
         {quiet, "-Xshare:auto", "-XX:+AutoCreateSharedArchive", "-XX:SharedArchiveFile=C:\\c\\a.jsa"}},
        {SharingMode::Automatic,
         ArchiveUse::Map,
         {quiet, "-Xshare:auto", "-XX:SharedArchiveFile=C:\\c\\a.jsa"}},
        {SharingMode::Automatic,
         ArchiveUse::None,
         {quiet, "-Xshare:auto", "-XX:SharedArchiveFile=C:\\c\\a.jsa"}},
        {SharingMode::Off, ArchiveUse::Write, {}},
        {SharingMode::Off, ArchiveUse::Map, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(brolt::sharingOptions(c.mode, c.use, "C:\\c\\a.jsa", "C:\\c\\a.jsa.9.tmp"), c.options)
            << static_cast<int>(c.mode) << " " << static_cast<int>(c.use);
    }
}

constexpr uint64_t kDay = 24ull * 3600 * 10000000;
constexpr uint64_t kNow = 1000 * kDay;

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ClassDataSharing, PruningDropsOtherRuntimesStaleArchivesAndCutWrites) {
    const std::string current = "aaaa-1111.jsa";
    const std::vector<CacheFile> files = {
        {"aaaa-1111.jsa", kNow - 100 * kDay},               // current, however old
        {"aaaa-1111.jsa.stamp", kNow - 100 * kDay},         //
        {"aaaa-1111.jsa.lock", kNow - 100 * kDay},          // never listed
        {"aaaa-1111.jsa.42.tmp", kNow - kDay},              // a cut write of the current archive
        {"aaaa-1111.jsa.43.tmp", kNow - 60 * 10000000ull},  // being written now
        {"aaaa-2222.jsa", kNow},                            // this launcher, its former runtime
        {"aaaa-2222.jsa.stamp", kNow},                      //
        {"bbbb-1111.jsa", kNow - 40 * kDay},                // another launcher, used recently by its stamp
        {"bbbb-1111.jsa.stamp", kNow - 2 * kDay},           //
        {"cccc-1111.jsa", kNow - 31 * kDay},                // another launcher, gone
        {"cccc-1111.jsa.stamp", kNow - 31 * kDay},          //
        {"dddd-1111.jsa", kNow + kDay},                     // a clock set back: not old
        {"notes.txt", kNow - 400 * kDay},                   // not ours
        {"x.jsa.tmp", kNow - 400 * kDay},                   // no process number: not ours
    };
    EXPECT_EQ(sorted(brolt::filesToPrune(files, current, kNow)),
              sorted({"aaaa-1111.jsa.42.tmp", "aaaa-2222.jsa", "aaaa-2222.jsa.stamp", "cccc-1111.jsa",
                      "cccc-1111.jsa.stamp"}));
}

TEST(ClassDataSharing, PruningKeepsTheMostRecentlyUsedArchivesUpToTheLimit) {
    std::vector<CacheFile> files = {{"0000-0000.jsa", kNow - 20 * kDay}};
    // More recent archives of other launchers than the limit leaves room for besides the current one.
    for (size_t i = 1; i <= brolt::kMaxCachedArchives + 2; ++i) {
        std::string name = "l" + std::to_string(1000 + i) + "-0000.jsa";
        files.push_back({name, kNow - i * 10000000ull});
        files.push_back({name + ".stamp", kNow - i * 10000000ull});
    }
    std::vector<std::string> expected;
    for (size_t i = brolt::kMaxCachedArchives; i <= brolt::kMaxCachedArchives + 2; ++i) {
        std::string name = "l" + std::to_string(1000 + i) + "-0000.jsa";
        expected.push_back(name);
        expected.push_back(name + ".stamp");
    }
    EXPECT_EQ(sorted(brolt::filesToPrune(files, "0000-0000.jsa", kNow)), sorted(expected));
}

}  // namespace
