#include "jvm/search_rules.h"

#include "config/keys.h"
#include "core/split_list.h"
#include "core/word_size.h"

namespace brolt::jvm {

namespace {

constexpr char kEntrySeparator = ';';

enum class MessageArgument { None, RuntimeBits, LocationText };

// The messages whose key differs by word size name the row's field instead of a key.
using WordSizeMessage = int32_t WordSize::*;

struct MessageRow {
    LocationKind kind;
    int32_t key;                  // when wordSizeKey is null
    WordSizeMessage wordSizeKey;  // else the key of the launcher's word size
    MessageArgument argument;
};

constexpr MessageRow kFailureMessages[] = {
    {LocationKind::None, keys::kMsgNoVmFound, nullptr, MessageArgument::RuntimeBits},
    {LocationKind::SystemPath, keys::kMsgNoVmFound, nullptr, MessageArgument::RuntimeBits},
    {LocationKind::Directory, 0, &WordSize::vmDamagedMessage, MessageArgument::LocationText},
    {LocationKind::EnvironmentVariable, 0, &WordSize::envVmNotWorkingMessage, MessageArgument::LocationText},
    {LocationKind::Registry, keys::kMsgVmCouldNotStart, nullptr, MessageArgument::None},
};

struct LauncherKindRow {
    char letter;
    std::string_view variable;
};

constexpr LauncherKindRow kLauncherKindVariables[] = {
    {'b', "BROLT_JAVA_HOME"},
    {'q', "QUENDRIAL_JAVA_HOME"},
};

}  // namespace

const SearchLetter* searchLetter(char letter) {
    for (const SearchLetter& row : kSearchLetters) {
        if (row.letter == letter)
            return &row;
    }
    return nullptr;
}

SearchSequence parseSearchSequence(std::string_view text) {
    SearchSequence sequence;
    for (std::string_view entry : splitList(text, kEntrySeparator, EmptyPieces::Skip)) {
        std::string_view value = entry.substr(1);
        if (value.size() > kPathLimit) {
            sequence.refused.push_back("search entry of type " + std::string(1, entry[0]) +
                                       " with a value of " + std::to_string(value.size()) +
                                       " characters (more than " + std::to_string(kPathLimit) +
                                       ") skipped: " + logExcerpt(value));
            continue;
        }
        sequence.entries.push_back({entry[0], std::string(value)});
    }
    return sequence;
}

bool isAbsoluteLocation(std::string_view value) {
    return value.size() > 1 && (value[1] == ':' || (value[0] == '\\' && value[1] == '\\'));
}

Verdict fallbackCandidate(const SearchEntry& entry) {
    const SearchLetter* row = searchLetter(entry.letter);
    if (row == nullptr || row->fallback == FallbackRule::Never)
        return Verdict::reject("type " + std::string(1, entry.letter) +
                               " takes no part in the relative pass");
    if (row->fallback == FallbackRule::WhenRelative && isAbsoluteLocation(entry.value))
        return Verdict::reject("absolute location " + logExcerpt(entry.value) + " of type " +
                               std::string(1, entry.letter) + " is not tried again");
    return Verdict::accept();
}

FailureMessage failureMessage(LocationKind kind, std::string_view locationText, const WordSize& wordSize) {
    const std::string bits = std::to_string(wordSize.bits);
    for (const MessageRow& row : kFailureMessages) {
        if (row.kind != kind)
            continue;
        const int32_t key = row.wordSizeKey != nullptr ? wordSize.*row.wordSizeKey : row.key;
        switch (row.argument) {
            case MessageArgument::None:
                return {key, false, {}};
            case MessageArgument::RuntimeBits:
                return {key, true, bits};
            case MessageArgument::LocationText:
                return {key, true, std::string(locationText)};
        }
    }
    return {keys::kMsgNoVmFound, true, bits};
}

std::string_view launcherKindVariable(char launcherKind) {
    for (const LauncherKindRow& row : kLauncherKindVariables) {
        if (row.letter == launcherKind)
            return row.variable;
    }
    return {};
}

TextOutcome locationFileLine(std::string_view contents) {
    if (contents.empty())
        return TextOutcome::refuse("the file is empty");
    std::string_view line = contents.substr(0, contents.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.size() > kPathLimit)
        return TextOutcome::refuse("first line longer than " + std::to_string(kPathLimit) +
                                   " characters: " + logExcerpt(line));
    return TextOutcome::of(std::string(line));
}

TextOutcome environmentJavaHome(std::string_view value) {
    if (value.empty())
        return TextOutcome::refuse("not set");
    if (value.size() > kPathLimit)
        return TextOutcome::refuse("value of " + std::to_string(value.size()) +
                                   " characters is longer than " + std::to_string(kPathLimit) + ": " +
                                   logExcerpt(value));
    return TextOutcome::of(replaceChar(value, '/', '\\'));
}

}  // namespace brolt::jvm
