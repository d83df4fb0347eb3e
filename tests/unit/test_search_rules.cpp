// The places the runtime search walks: the search sequence and its fallback pass, the location files,
// the variables and the message by kind of place.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "jvm/registry_rules.h"
#include "jvm/search_rules.h"

namespace jvm = brolt::jvm;

namespace {

using Entries = std::vector<std::pair<char, std::string>>;

Entries entriesOf(const jvm::SearchSequence& sequence) {
    Entries entries;
    for (const jvm::SearchEntry& entry : sequence.entries)
        entries.emplace_back(entry.letter, entry.value);
    return entries;
}

struct SequenceCase {
    std::string text;
    Entries entries;
    size_t refused;
};

TEST(SearchSequence, SplitsIntoLetterAndValueSkippingEmptyAndOverlongEntries) {
    const std::string longest(jvm::kPathLimit, 'd');
    const SequenceCase cases[] = {
        {"", {}, 0},
        {";;", {}, 0},
        {"B.\\jre;Y;EJAVA_HOME;EJDK_HOME;",
         {{'B', ".\\jre"}, {'Y', ""}, {'E', "JAVA_HOME"}, {'E', "JDK_HOME"}},
         0},
        {"Ac:\\java;;S;Xunknown;b.\\lower",
         {{'A', "c:\\java"}, {'S', ""}, {'X', "unknown"}, {'b', ".\\lower"}},
         0},
        {"R a b ", {{'R', " a b "}}, 0},
        {"B" + longest + ";Y", {{'B', longest}, {'Y', ""}}, 0},
        {"B" + longest + "d;Y;EX", {{'Y', ""}, {'E', "X"}}, 1},
    };
    for (const SequenceCase& c : cases) {
        jvm::SearchSequence sequence = jvm::parseSearchSequence(c.text);
        EXPECT_EQ(entriesOf(sequence), c.entries) << jvm::logExcerpt(c.text);
        EXPECT_EQ(sequence.refused.size(), c.refused) << jvm::logExcerpt(c.text);
    }
}

TEST(SearchSequence, LettersAndTheirPlaces) {
    struct LetterCase {
        char letter;
        std::optional<jvm::LocationKind> kind;  // nullopt: skipped
    };
    const LetterCase cases[] = {
        {'A', jvm::LocationKind::Directory},
        {'B', jvm::LocationKind::Directory},
        {'R', jvm::LocationKind::Directory},
        {'S', jvm::LocationKind::SystemPath},
        {'E', jvm::LocationKind::EnvironmentVariable},
        {'Y', jvm::LocationKind::Registry},
        {'b', std::nullopt},
        {'X', std::nullopt},
    };
    for (const LetterCase& c : cases) {
        const jvm::SearchLetter* row = jvm::searchLetter(c.letter);
        ASSERT_EQ(row != nullptr, c.kind.has_value()) << c.letter;
        if (row != nullptr)
            EXPECT_EQ(row->kind, *c.kind) << c.letter;
    }
    EXPECT_FALSE(jvm::searchLetter('Y')->valueIsLocationText);
    EXPECT_TRUE(jvm::searchLetter('E')->valueIsLocationText);
}

TEST(SearchSequence, FallbackPassTriesBAlwaysAndAOrROnlyWhenRelative) {
    struct FallbackCase {
        char letter;
        const char* value;
        bool tried;
    };
    const FallbackCase cases[] = {
        {'A', "c:\\java", false},
        {'A', "\\\\server\\java", false},
        {'A', "c:", false},
        {'A', ".\\jre", true},
        {'A', "\\java", true},
        {'A', "c", true},
        {'A', "", true},
        {'R', "d:\\jre", false},
        {'R', "jre", true},
        {'B', "c:\\java", true},
        {'B', "\\\\server\\java", true},
        {'B', ".\\jre", true},
        {'S', "", false},
        {'E', "JAVA_HOME", false},
        {'Y', "", false},
        {'X', ".\\jre", false},
    };
    for (const FallbackCase& c : cases) {
        jvm::Verdict verdict = jvm::fallbackCandidate({c.letter, c.value});
        EXPECT_EQ(verdict.accepted, c.tried) << c.letter << c.value;
        EXPECT_EQ(verdict.reason.empty(), c.tried) << c.letter << c.value;
    }
}

TEST(FailureMessage, ChosenByTheKindOfPlaceAndTheWordSize) {
    struct MessageCase {
        const brolt::WordSize& wordSize;
        jvm::LocationKind kind;
        int32_t key;
        bool hasArgument;
        const char* argument;
    };
    const MessageCase cases[] = {
        {brolt::kWordSize32, jvm::LocationKind::None, 1016, true, "32"},
        {brolt::kWordSize32, jvm::LocationKind::SystemPath, 1016, true, "32"},
        {brolt::kWordSize32, jvm::LocationKind::Directory, 1020, true, ".\\jre"},
        {brolt::kWordSize32, jvm::LocationKind::EnvironmentVariable, 1018, true, ".\\jre"},
        {brolt::kWordSize32, jvm::LocationKind::Registry, 1005, false, ""},
        {brolt::kWordSize64, jvm::LocationKind::None, 1016, true, "64"},
        {brolt::kWordSize64, jvm::LocationKind::SystemPath, 1016, true, "64"},
        {brolt::kWordSize64, jvm::LocationKind::Directory, 1021, true, ".\\jre"},
        {brolt::kWordSize64, jvm::LocationKind::EnvironmentVariable, 1019, true, ".\\jre"},
        {brolt::kWordSize64, jvm::LocationKind::Registry, 1005, false, ""},
    };
    for (const MessageCase& c : cases) {
        jvm::FailureMessage message = jvm::failureMessage(c.kind, ".\\jre", c.wordSize);
        const std::string what =
            std::to_string(c.wordSize.bits) + " bits, kind " + std::to_string(static_cast<int>(c.kind));
        EXPECT_EQ(message.key, c.key) << what;
        EXPECT_EQ(message.hasArgument, c.hasArgument) << what;
        EXPECT_EQ(message.argument, c.argument) << what;
    }
}

TEST(LauncherKind, NamesItsVariable) {
    EXPECT_EQ(jvm::launcherKindVariable('b'), "BROLT_JAVA_HOME");
    EXPECT_EQ(jvm::launcherKindVariable('q'), "QUENDRIAL_JAVA_HOME");
    EXPECT_EQ(jvm::launcherKindVariable('B'), "");
    EXPECT_EQ(jvm::launcherKindVariable('\0'), "");
}

struct TextCase {
    std::string input;
    std::optional<std::string> output;
};

TEST(LocationFile, FirstLineWithoutItsLineEnds) {
    const TextCase cases[] = {
        {"c:\\java\\jre\r\nsecond line\r\n", "c:\\java\\jre"},
        {"c:\\java\\jre", "c:\\java\\jre"},
        {"c:\\java\\jre\r\r\n", "c:\\java\\jre"},
        {" .\\jre \n", " .\\jre "},
        {"\n", ""},
        {"\r\nc:\\java", ""},
        {"", std::nullopt},
        {std::string(jvm::kPathLimit, 'x') + "\r\n", std::string(jvm::kPathLimit, 'x')},
        {std::string(jvm::kPathLimit + 1, 'x'), std::nullopt},
    };
    for (const TextCase& c : cases) {
        jvm::TextOutcome line = jvm::locationFileLine(c.input);
        EXPECT_EQ(line.text, c.output) << jvm::logExcerpt(c.input);
        EXPECT_EQ(line.reason.empty(), c.output.has_value()) << jvm::logExcerpt(c.input);
    }
}

TEST(EnvironmentVariable, ForwardSlashesBecomeBackslashes) {
    const TextCase cases[] = {
        {"c:/java/jre", "c:\\java\\jre"},
        {"c:\\java/jre/", "c:\\java\\jre\\"},
        {"//server/java", "\\\\server\\java"},
        {"", std::nullopt},
        {std::string(jvm::kPathLimit, '/'), std::string(jvm::kPathLimit, '\\')},
        {std::string(jvm::kPathLimit + 1, 'x'), std::nullopt},
    };
    for (const TextCase& c : cases) {
        jvm::TextOutcome home = jvm::environmentJavaHome(c.input);
        EXPECT_EQ(home.text, c.output) << jvm::logExcerpt(c.input);
        EXPECT_EQ(home.reason.empty(), c.output.has_value()) << jvm::logExcerpt(c.input);
    }
    EXPECT_EQ(jvm::locatedRuntimePath("c:/program files/java/bin/java.exe").text,
              "c:\\program files\\java\\bin\\java.exe");
    EXPECT_FALSE(jvm::locatedRuntimePath(std::string(jvm::kPathLimit + 1, 'x')));
}

}  // namespace
