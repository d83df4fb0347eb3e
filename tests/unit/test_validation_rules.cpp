// One candidate java executable: where an installation keeps it, its windowless sibling, its version
// cache entry and its word size.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "jvm/validation_rules.h"

namespace jvm = brolt::jvm;

namespace {

jvm::FileProbe filesAt(std::set<std::string> files) {
    return [files = std::move(files)](const std::string& path) { return files.count(path) > 0; };
}

TEST(JavaExeForHome, RuntimeFirstThenBinAndKitsByToolsArchive) {
    struct HomeCase {
        const char* what;
        std::set<std::string> files;
        bool requireKit;
        bool usable;
        const char* javaExecutable;
    };
    const HomeCase cases[] = {
        {"a kit with its runtime",
         {"c:\\jdk\\jre\\bin\\java.exe", "c:\\jdk\\bin\\java.exe"},
         false,
         true,
         "c:\\jdk\\jre\\bin\\java.exe"},
        {"a runtime", {"c:\\jdk\\bin\\java.exe"}, false, true, "c:\\jdk\\bin\\java.exe"},
        {"nothing there: the check of the executable decides", {}, false, true, "c:\\jdk\\bin\\java.exe"},
        {"kits only, a kit", {"c:\\jdk\\lib\\tools.jar"}, true, true, "c:\\jdk\\jre\\bin\\java.exe"},
        {"kits only, a runtime",
         {"c:\\jdk\\bin\\java.exe", "c:\\jdk\\jre\\bin\\java.exe"},
         true,
         false,
         "c:\\jdk\\jre\\bin\\java.exe"},
    };
    for (const HomeCase& c : cases) {
        jvm::HomeExecutable home = jvm::javaExeForHome("c:\\jdk", c.requireKit, filesAt(c.files));
        EXPECT_EQ(home.usable, c.usable) << c.what;
        EXPECT_EQ(home.javaExecutable, c.javaExecutable) << c.what;
        EXPECT_EQ(home.reason.empty(), c.usable) << c.what;
    }

    const std::string longest(jvm::kPathLimit - 17, 'd');
    EXPECT_TRUE(jvm::javaExeForHome(longest, false, filesAt({})).usable);
    jvm::HomeExecutable tooLong = jvm::javaExeForHome(longest + "d", false, filesAt({}));
    EXPECT_FALSE(tooLong.usable);
    EXPECT_EQ(tooLong.javaExecutable, "");
}

struct TextCase {
    std::string input;
    std::optional<std::string> output;
};

TEST(WindowlessExecutable, SiblingOfJavaExe) {
    const TextCase cases[] = {
        {"c:\\jre\\bin\\java.exe", "c:\\jre\\bin\\javaw.exe"},
        {"C:\\JRE\\BIN\\JAVA.EXE", "C:\\JRE\\BIN\\JAVAw.exe"},
        {"c:\\jre\\bin\\javaw.exe", "c:\\jre\\bin\\javaw.exe"},
        {"c:\\jre\\bin\\java", std::nullopt},
        {"", std::nullopt},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(jvm::windowlessExecutable(c.input).text, c.output) << c.input;
}

TEST(VersionCache, KeyNameIsTheLowerCasePathWithSlashes) {
    const TextCase cases[] = {
        {"c:\\program files\\java\\jre1.5.0_06\\bin\\java.exe",
         "SOFTWARE\\kelvar-dynamics\\brolt\\jvms\\c:/program files/java/jre1.5.0_06/bin/java.exe"},
        {"C:\\Java\\BIN\\java.exe", "SOFTWARE\\kelvar-dynamics\\brolt\\jvms\\c:/java/bin/java.exe"},
        {std::string(jvm::kRegistryNameLimit, 'x'),
         "SOFTWARE\\kelvar-dynamics\\brolt\\jvms\\" + std::string(jvm::kRegistryNameLimit, 'x')},
        {std::string(jvm::kRegistryNameLimit + 1, 'x'), std::nullopt},
        {"", std::nullopt},
    };
    for (const TextCase& c : cases) {
        jvm::TextOutcome name = jvm::cacheKeyName(c.input);
        EXPECT_EQ(name.text, c.output) << jvm::logExcerpt(c.input);
        EXPECT_EQ(name.reason.empty(), c.output.has_value()) << jvm::logExcerpt(c.input);
    }
}

TEST(VersionCache, TimeIsStoredLowHalfFirstLittleEndian) {
    EXPECT_EQ(jvm::cacheTimeBytes(0x0102030405060708ull), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
    EXPECT_EQ(jvm::cacheTimeBytes(0), std::string(8, '\0'));
}

TEST(VersionCache, HitOnlyForTheSameTimeAndAVersionThatFits) {
    const uint64_t written = 0x01D9F00DCAFEBABEull;
    const std::string time = jvm::cacheTimeBytes(written);
    const std::string largest(jvm::kCachedVersionBufferSize - 1, '1');
    struct CacheCase {
        const char* what;
        jvm::CacheEntry entry;
        std::optional<std::string> version;
    };
    const CacheCase cases[] = {
        {"matching entry", {time, "1.8.0_392"}, "1.8.0_392"},
        {"failure marker", {time, "1.0.0"}, "1.0.0"},
        {"terminator stored with the text", {time, std::string("17.0.9\0", 7)}, "17.0.9"},
        {"executable touched since", {jvm::cacheTimeBytes(written + 1), "1.8.0_392"}, std::nullopt},
        {"time of 7 bytes", {time.substr(0, 7), "1.8.0_392"}, std::nullopt},
        {"time of 9 bytes", {time + "x", "1.8.0_392"}, std::nullopt},
        {"no time", {std::nullopt, "1.8.0_392"}, std::nullopt},
        {"no version", {time, std::nullopt}, std::nullopt},
        {"empty version", {time, ""}, std::nullopt},
        {"largest version that fits", {time, largest}, largest},
        {"version filling the whole buffer", {time, largest + "1"}, std::nullopt},
    };
    for (const CacheCase& c : cases) {
        jvm::TextOutcome cached = jvm::cachedVersion(c.entry, written);
        EXPECT_EQ(cached.text, c.version) << c.what;
        EXPECT_EQ(cached.reason.empty(), c.version.has_value()) << c.what;
    }
}

TEST(RuntimeWordSize, OnlyTheLaunchersOwnMachineIsTaken) {
    struct WordSizeCase {
        const brolt::WordSize& launcher;
        brolt::ImageMachine javaExecutable;
        bool taken;
        const char* reason;  // the log's reason, also for a library that failed to load
    };
    const brolt::ImageMachine i386{brolt::kMachineI386, {}};
    const brolt::ImageMachine x64{brolt::kMachineAmd64, {}};
    const brolt::ImageMachine arm{0xAA64, {}};
    const brolt::ImageMachine text{0, "no MZ header"};
    const WordSizeCase cases[] = {
        {brolt::kWordSize32, i386, true, "built for i386, as this 32-bit launcher"},
        {brolt::kWordSize32, x64, false, "built for x86-64, a 64-bit runtime; this launcher is 32-bit"},
        {brolt::kWordSize64, x64, true, "built for x86-64, as this 64-bit launcher"},
        {brolt::kWordSize64, i386, false, "built for i386, a 32-bit runtime; this launcher is 64-bit"},
        {brolt::kWordSize64, arm, false, "built for 0xAA64; this launcher is 64-bit (x86-64)"},
        {brolt::kWordSize32, text, false, "not a Windows program: no MZ header"},
    };
    for (const WordSizeCase& c : cases) {
        const std::string what = std::to_string(c.launcher.bits) + "-bit launcher, " + c.reason;
        jvm::Verdict verdict = jvm::runtimeWordSize(c.javaExecutable, c.launcher);
        EXPECT_EQ(verdict.accepted, c.taken) << what;
        EXPECT_EQ(verdict.reason, c.taken ? "" : c.reason) << what;
        EXPECT_EQ(jvm::machineNote(c.javaExecutable, c.launcher), c.reason) << what;
    }
}

}  // namespace
