// Version texts: the range tests, the order used to pick the greatest, and the version a runtime
// printed for "-version".
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "jvm/version_rules.h"

namespace jvm = brolt::jvm;

namespace {

struct RangeCase {
    const char* version;
    const char* minimum;
    const char* maximum;
    bool inRange;     // versionInRange, pre-releases not allowed
    bool keyInRange;  // versionKeyInRange
};

const RangeCase kRangeCases[] = {
    // Runtimes up to 1.8: compared byte by byte over the bound (or the shorter of key and bound).
    {"1.5.0_06", "1.5", "", true, true},
    {"1.4.2_10", "1.5", "", false, false},
    {"1.5.0_22", "1.5", "1.5", true, true},
    {"1.6.0", "1.5", "1.5", false, false},
    {"1.5", "1.5.0_06", "", false, true},
    {"1.5.0", "1.5.0_06", "", false, true},
    {"1.10.0", "1.5", "", false, false},  // the third byte 1 sorts below 5
    {"1.6.0-beta2", "1.5", "", false, true},
    {"1.0.0", "", "", true, true},
    {"1.8.0_60", "1.8.0_300", "", true, true},  // byte-wise: 6 above 3
    // A version or a bound not beginning with "1.": number by number over the bound's numbers.
    {"11.0.21", "11", "", true, true},
    {"9.0.4", "11", "", false, false},
    {"1.8.0_392", "11", "", false, false},
    {"10.0.1", "9", "", true, true},
    {"17.0.9", "1.8", "", true, true},
    {"17.0.9", "11", "17", true, true},
    {"21.0.1", "1.8", "17", false, false},
    {"1.8.0_392", "", "11", true, true},
    {"11", "11.0.2", "", false, true},  // 11 is 11.0.0; the key only decides on its one number
    {"11.0.21", "11.0.22", "", false, false},
    {"17", "", "17.0.9", true, true},
    {"9", "1.8", "", true, true},
    {"1.0.0", "11", "", false, false},  // the failure marker stays below any minimum
    {"1.0.0", "1.5", "", false, false},
    {"21-ea", "17", "", false, true},
    {"123456789012345678901234567890.1", "99", "", true, true},  // no number type to overflow
    {"99.1", "123456789012345678901234567890", "", false, false},
    {"007", "7", "7", true, true},  // leading zeros do not make a number greater
};

TEST(VersionRange, WorkedExamplesAndModernNumbers) {
    for (const RangeCase& c : kRangeCases) {
        jvm::VersionRange range{c.minimum, c.maximum, false};
        std::string label = std::string(c.version) + " in [" + c.minimum + ", " + c.maximum + "]";
        jvm::Verdict version = jvm::versionInRange(c.version, range, false);
        EXPECT_EQ(version.accepted, c.inRange) << label << ": " << version.reason;
        EXPECT_EQ(version.reason.empty(), c.inRange) << label;
        jvm::Verdict key = jvm::versionKeyInRange(c.version, range);
        EXPECT_EQ(key.accepted, c.keyInRange) << "key " << label << ": " << key.reason;
    }
}

TEST(VersionRange, ReasonsNameTheBoundThatFailed) {
    jvm::VersionRange range{"11", "17", false};
    EXPECT_EQ(jvm::versionInRange("9.0.4", range, false).reason, "version 9.0.4 is below the minimum 11");
    EXPECT_EQ(jvm::versionInRange("21.0.1", range, false).reason, "version 21.0.1 is above the maximum 17");
    EXPECT_EQ(jvm::versionKeyInRange("1.8", range).reason, "key 1.8 is below the minimum 11");
    EXPECT_EQ(jvm::versionInRange("17-ea", range, false).reason, "beta vm not allowed");
}

struct PrereleaseCase {
    const char* version;
    bool skipCheck;
    bool allowed;  // key 130
    bool inRange;
};

TEST(VersionRange, PrereleasesPassOnlyWhenSkippedOrAllowed) {
    const PrereleaseCase cases[] = {
        {"1.6.0-beta2", false, false, false}, {"1.6.0-beta2", true, false, true},
        {"1.6.0-beta2", false, true, true},   {"1.7.0-rc1", false, false, false},
        {"22-ea", false, false, false},       {"22-ea", true, false, true},
        {"1.6.0_45", false, false, true},
    };
    for (const PrereleaseCase& c : cases) {
        jvm::VersionRange range{"1.5", "", c.allowed};
        EXPECT_EQ(jvm::versionInRange(c.version, range, c.skipCheck).accepted, c.inRange)
            << c.version << " skip " << c.skipCheck << " allowed " << c.allowed;
    }
}

struct MarkerCase {
    const char* version;
    bool prerelease;
};

TEST(VersionRange, PrereleaseMarkersCountOnlyAsTheirOwnPart) {
    const MarkerCase cases[] = {
        // A marker part, optionally numbered, optionally with a build number after "+".
        {"17-ea", true},
        {"1.8.0-ea", true},
        {"21-rc1", true},
        {"21-rc", true},
        {"1.7.0-rc12", true},
        {"9-ea+181", true},
        {"1.6.0-beta2", true},
        {"1.6.0-beta", true},
        {"1.7.0-ea-b12", true},
        {"17.0.9-vendor-rc2", true},
        // Vendor suffixes that hold the letters without being a marker part.
        {"17.0.9-release", false},
        {"21.0.1-orca", false},
        {"11.0.2-search", false},
        {"1.8.0_392-betamax", false},
        {"17-rcx", false},
        {"17-rc1a", false},
        {"17-ea1x", false},
        {"17-xea", false},
        {"17-EA", false},  // runtimes print markers in lower case
        {"17-+ea", false},
        {"ea", false},  // the number itself is never a marker
        {"rc1", false},
        {"17-", false},
        {"17ea", false},
        {"1.8.0_392", false},
    };
    const jvm::VersionRange unbounded{"", "", false};
    for (const MarkerCase& c : cases) {
        EXPECT_EQ(jvm::isPrerelease(c.version), c.prerelease) << c.version;
        EXPECT_EQ(jvm::versionInRange(c.version, unbounded, false).accepted, !c.prerelease) << c.version;
    }
}

TEST(VersionOrder, ByteWiseAmongOldNumbersNumericOtherwiseAndTotal) {
    // Each list ascending; every pair must compare the way the list orders it, both ways round.
    const std::vector<std::vector<std::string>> ascending = {
        {"1.10.0", "1.5", "1.5.0", "1.5.0_06", "1.6.0"},
        {"", "1.8.0_392", "1.9", "1_8", "9", "9.0.4", "11", "11.0", "11.0.2", "17.0.9", "17.0.10", "21-ea"},
        {"0.9", "1.0.0", "1.8", "2"},
    };
    for (const std::vector<std::string>& list : ascending) {
        for (size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(jvm::compareVersions(list[i], list[i]), 0) << list[i];
            for (size_t j = i + 1; j < list.size(); ++j) {
                EXPECT_LT(jvm::compareVersions(list[i], list[j]), 0) << list[i] << " < " << list[j];
                EXPECT_GT(jvm::compareVersions(list[j], list[i]), 0) << list[j] << " > " << list[i];
            }
        }
    }
}

struct OutputCase {
    std::string output;
    std::optional<std::string> version;
};

const std::string kLongOption(40000, 'x');

const OutputCase kOutputCases[] = {
    {"java version \"1.5.0_06\"\nJava(TM) 2 Runtime Environment\n", "1.5.0_06"},
    {"java version \"1.8.0_392\"\r\nJava(TM) SE Runtime Environment\r\n", "1.8.0_392"},
    {"java version \"1.6.0_45\"", "1.6.0_45"},  // no line end at all
    {"openjdk version \"17.0.9\" 2023-10-17\nOpenJDK Runtime Environment\n", "17.0.9"},
    {"java version \"21.0.1\" 2023-10-17 LTS\r\n", "21.0.1"},
    {"openjdk version \"1.8.0_392\"\n", "1.8.0_392"},
    {"Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=UTF-8\r\nPicked up _JAVA_OPTIONS: -Xmx1g\r\n"
     "openjdk version \"11.0.21\" 2023-10-17\r\n",
     "11.0.21"},
    {"NOTE: Picked up JDK_JAVA_OPTIONS: -Xss1m\njava version \"22-ea\" 2024-03-19\n", "22-ea"},
    {"Picked up JAVA_TOOL_OPTIONS: " + kLongOption + "\njava version \"1.8.0_392\"\n", "1.8.0_392"},
    {"Picked up _JAVA_OPTIONS: a\nPicked up _JAVA_OPTIONS: b\nPicked up _JAVA_OPTIONS: c\n"
     "Picked up _JAVA_OPTIONS: d\njava version \"1.8.0\"\n",
     "1.8.0"},
    // Refused: nothing read, a fifth notice line, a notice without a version line after it, another
    // first line, no closing quotation mark (within the 99 characters looked at), nothing between
    // the quotation marks, a control character in the version.
    {"", std::nullopt},
    {"Picked up _JAVA_OPTIONS: a\nPicked up _JAVA_OPTIONS: b\nPicked up _JAVA_OPTIONS: c\n"
     "Picked up _JAVA_OPTIONS: d\nPicked up _JAVA_OPTIONS: e\njava version \"1.8.0\"\n",
     std::nullopt},
    {"Picked up JAVA_TOOL_OPTIONS: -Xmx1g", std::nullopt},
    {"Error occurred during initialization of VM\njava version \"1.8.0\"\n", std::nullopt},
    {"Java HotSpot(TM) Client VM warning: ignoring option\n", std::nullopt},
    {" java version \"1.8.0\"\n", std::nullopt},
    {"java version 1.8.0\n", std::nullopt},
    {"java version \"1.5.0_06\n\"", std::nullopt},
    {"java version \"" + std::string(84, '1') + "\"\n", std::string(84, '1')},  // closes at character 99
    {"java version \"" + std::string(85, '1') + "\"\n", std::nullopt},
    {"java version \"\"\n", std::nullopt},
    {std::string("java version \"1.8\0\"\n", 20), std::nullopt},
    {"java version \"1.8\t0\"\n", std::nullopt},
};

TEST(VersionLine, TakesTheTextBetweenTheQuotesAfterNoticeLines) {
    for (const OutputCase& c : kOutputCases) {
        jvm::TextOutcome outcome = jvm::versionFromOutput(c.output);
        std::string label = jvm::logExcerpt(c.output);
        EXPECT_EQ(outcome.text, c.version) << label;
        EXPECT_EQ(outcome.reason.empty(), c.version.has_value()) << label << ": " << outcome.reason;
    }
}

}  // namespace
