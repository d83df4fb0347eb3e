// The registry's part of the search: which vendor keys and subkeys are examined in which order, and the
// choice among located runtimes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "jvm/registry_rules.h"

namespace jvm = brolt::jvm;

namespace {

constexpr std::string_view kRuntimeKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr std::string_view kKitKey = "SOFTWARE\\JavaSoft\\Java Development Kit";

TEST(VendorKeys, ClassicKeysFirstAndRuntimeKeysSkippedWhenOnlyKitsQualify) {
    auto describe = [](const std::vector<jvm::VendorStep>& steps) {
        std::vector<std::string> lines;
        for (const jvm::VendorStep& step : steps) {
            if (step.kind == jvm::VendorStepKind::CurrentVersion)
                lines.push_back("CurrentVersion " + std::string(step.keys->developmentKit));
            else
                lines.push_back("versions " + std::string(step.vendorKey));
        }
        return lines;
    };
    EXPECT_EQ(describe(jvm::vendorSearchSteps(false)),
              (std::vector<std::string>{
                  "CurrentVersion SOFTWARE\\JavaSoft\\Java Development Kit",
                  "versions SOFTWARE\\JavaSoft\\Java Runtime Environment",
                  "versions SOFTWARE\\JavaSoft\\Java Development Kit",
                  "CurrentVersion SOFTWARE\\JavaSoft\\JDK",
                  "versions SOFTWARE\\JavaSoft\\JRE",
                  "versions SOFTWARE\\JavaSoft\\JDK",
              }));
    EXPECT_EQ(describe(jvm::vendorSearchSteps(true)),
              (std::vector<std::string>{
                  "CurrentVersion SOFTWARE\\JavaSoft\\Java Development Kit",
                  "versions SOFTWARE\\JavaSoft\\Java Development Kit",
                  "CurrentVersion SOFTWARE\\JavaSoft\\JDK",
                  "versions SOFTWARE\\JavaSoft\\JDK",
              }));
}

TEST(VendorKeys, CurrentVersionSubkey) {
    struct CurrentCase {
        std::optional<std::string> kit;
        std::optional<std::string> runtime;
        const char* minimum;
        bool requireKit;
        std::optional<std::string> subkey;
        size_t notes;
    };
    const std::string kit = std::string(kKitKey) + "\\";
    const std::string runtime = std::string(kRuntimeKey) + "\\";
    const CurrentCase cases[] = {
        {"1.6", "1.5", "", false, kit + "1.6", 0},
        {"1.5", "1.6", "", false, runtime + "1.6", 0},
        {"1.6", "1.6", "", false, runtime + "1.6", 0},  // the runtime wins a tie
        {"1.6", std::nullopt, "", false, kit + "1.6", 0},
        {std::nullopt, "1.6", "", false, runtime + "1.6", 0},
        {"1.4", "1.6", "1.5", false, runtime + "1.6", 1},  // out of range: empty
        {"1.6", "1.4", "1.5", false, kit + "1.6", 1},
        {"1.4", "1.4", "1.5", false, std::nullopt, 3},  // nothing to open, not the vendor key itself
        {std::nullopt, std::nullopt, "", false, std::nullopt, 1},
        {"1.5", "1.6", "", true, kit + "1.5", 0},  // the runtime's value is not looked at
        {std::nullopt, "1.6", "", true, std::nullopt, 1},
        {std::string("1.6\0", 4), "1.5", "", false, kit + "1.6", 0},
        {std::string(99, '1'), std::nullopt, "", false, kit + std::string(99, '1'), 0},
        {std::string(100, '1'), "1.5", "", false, runtime + "1.5", 1},  // no room for the terminator
    };
    for (const CurrentCase& c : cases) {
        jvm::VersionRange range{c.minimum, "", false};
        jvm::SubkeyChoice choice =
            jvm::currentVersionSubkey(jvm::kVendorKeys[0], {c.kit, c.runtime}, range, c.requireKit);
        std::string label = c.kit.value_or("-") + " / " + c.runtime.value_or("-");
        EXPECT_EQ(choice.subkey, c.subkey) << label;
        EXPECT_EQ(choice.notes.size(), c.notes) << label;
    }
}

TEST(VendorKeys, VersionSubkeysInRangeGreatestFirst) {
    jvm::SubkeyOrder classic = jvm::versionSubkeysToExamine(
        kRuntimeKey, {"1.4.2", "1.5.0", "1.6.0", "1.10.0", "1.5"}, {"1.5", "", false});
    const std::string prefix = std::string(kRuntimeKey) + "\\";
    EXPECT_EQ(classic.subkeys,
              (std::vector<std::string>{prefix + "1.6.0", prefix + "1.5.0", prefix + "1.5"}));
    EXPECT_EQ(classic.notes.size(), 2u);  // 1.4.2, and 1.10.0 which sorts below 1.5

    jvm::SubkeyOrder modern = jvm::versionSubkeysToExamine(
        "SOFTWARE\\JavaSoft\\JDK", {"9", "11", "17.0.9", "17.0.10", "22", "21", "11.0.21"},
        {"11", "21.0.1", false});
    const std::string jdk = "SOFTWARE\\JavaSoft\\JDK\\";
    EXPECT_EQ(modern.subkeys, (std::vector<std::string>{jdk + "21", jdk + "17.0.10", jdk + "17.0.9",
                                                        jdk + "11.0.21", jdk + "11"}));
    EXPECT_EQ(modern.notes.size(), 2u);  // 9 and 22

    jvm::SubkeyOrder overlong =
        jvm::versionSubkeysToExamine(kKitKey, {std::string(jvm::kPathLimit + 1, '1')}, {});
    EXPECT_TRUE(overlong.subkeys.empty());
    EXPECT_EQ(overlong.notes.size(), 1u);
}

jvm::FoundRuntime runtime(const char* path, const char* version) {
    return {path, version};
}

TEST(LocatedRuntimes, FirstOfTheGreatestVersionsIsTheBestOfAList) {
    // In enumeration order, as the list is walked.
    const jvm::FoundRuntime walked[] = {
        runtime("c:\\a\\java.exe", "1.6.0"),     runtime("c:\\b\\java.exe", "1.8.0_392"),
        runtime("c:\\c\\java.exe", "1.8.0_392"), runtime("c:\\d\\java.exe", "1.7.0"),
        runtime("c:\\e\\java.exe", "9.0.4"),
    };
    std::optional<jvm::FoundRuntime> best;
    std::vector<std::string> bests;
    for (const jvm::FoundRuntime& found : walked) {
        if (jvm::replacesBest(best, found.version)) {
            best = found;
            bests.push_back(found.javaExecutable);
        }
    }
    EXPECT_EQ(bests, (std::vector<std::string>{"c:\\a\\java.exe", "c:\\b\\java.exe", "c:\\e\\java.exe"}));
}

TEST(LocatedRuntimes, ChoicesBetweenListsAndSources) {
    struct ChoiceCase {
        std::optional<jvm::FoundRuntime> first;   // current user / vendor keys
        std::optional<jvm::FoundRuntime> second;  // local machine / located runtimes
        std::optional<std::string> winner;
    };
    const auto newer = runtime("c:\\new\\java.exe", "17.0.9");
    const auto older = runtime("c:\\old\\java.exe", "9.0.4");  // byte-wise it would sort above 17
    const auto same = runtime("c:\\same\\java.exe", "17.0.9");
    const ChoiceCase cases[] = {
        {std::nullopt, std::nullopt, std::nullopt},
        {newer, std::nullopt, "c:\\new\\java.exe"},
        {std::nullopt, older, "c:\\old\\java.exe"},
        {newer, older, "c:\\new\\java.exe"},
        {older, newer, "c:\\new\\java.exe"},
        {newer, same, "c:\\same\\java.exe"},  // the second wins a tie
    };
    for (const ChoiceCase& c : cases) {
        for (auto choose : {jvm::chooseLocatedRuntime, jvm::chooseRegistryRuntime}) {
            jvm::RuntimeChoice choice = choose(c.first, c.second);
            std::optional<std::string> winner;
            if (choice.winner)
                winner = choice.winner->javaExecutable;
            EXPECT_EQ(winner, c.winner) << choice.reason;
            EXPECT_FALSE(choice.reason.empty());
        }
    }
}

}  // namespace
