#include "files/extraction_marker.h"

#include <charconv>
#include <utility>

#include "core/text_case.h"

namespace brolt {

namespace {

constexpr std::string_view kHeader = "brolt extraction owner";
constexpr std::string_view kProcessKey = "process=";
constexpr std::string_view kCreatedKey = "created=";
constexpr std::string_view kModuleKey = "module=";
constexpr std::string_view kVersionOutputPrefix = "brt_v";
constexpr std::string_view kVersionOutputSuffix = ".tmp";
constexpr char kVersionOutputSeparator = '_';
constexpr std::string_view kManifestHeader = "brolt extraction manifest";
constexpr std::string_view kStableHeader = "brolt stable extraction";
constexpr std::string_view kSizeKey = "size=";
constexpr std::string_view kWrittenKey = "written=";
constexpr std::string_view kUserKey = "user=";

template <typename Number>
bool parseNumber(std::string_view text, Number& value, int base = 10) {
    if (text.empty())
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// As parseNumber, and only in the one spelling formatting gives: no leading zeros.
template <typename Number>
bool parseCanonicalNumber(std::string_view text, Number& value, int base = 10) {
    return (text.size() == 1 || !text.starts_with('0')) && parseNumber(text, value, base);
}

template <typename Number>
std::string formatNumber(Number value, int base = 10) {
    char digits[24];  // a 64-bit number in decimal, with room to spare
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value, base);
    return std::string(digits, end);
}

// The field of text up to the separator, taken off text; nullopt without a separator.
std::optional<std::string_view> takeField(std::string_view& text) {
    size_t end = text.find(kVersionOutputSeparator);
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string_view field = text.substr(0, end);
    text.remove_prefix(end + 1);
    return field;
}

// A path never holds control characters; a marker line that does is not ours.
bool hasControlCharacter(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            return true;
    }
    return false;
}

// The next line of text, taken off text, without its line end ("\n" or "\r\n").
std::string_view takeLine(std::string_view& text) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// "<a> <b>": two numbers and the rest after a blank each; nullopt unless both numbers are whole.
template <typename First>
std::optional<std::string_view> takeTwoNumbers(std::string_view line, First& first, uint64_t& second,
                                               bool restExpected) {
    size_t blank = line.find(' ');
    if (blank == std::string_view::npos || !parseCanonicalNumber(line.substr(0, blank), first))
        return std::nullopt;
    line.remove_prefix(blank + 1);
    size_t end = restExpected ? line.find(' ') : line.size();
    if (end == std::string_view::npos || !parseCanonicalNumber(line.substr(0, end), second))
        return std::nullopt;
    return restExpected ? line.substr(end + 1) : std::string_view();
}

}  // namespace

std::string formatExtractionMarker(const ExtractionOwner& owner) {
    std::string text(kHeader);
    text += "\n";
    text += std::string(kProcessKey) + std::to_string(owner.processId) + "\n";
    text += std::string(kCreatedKey) + std::to_string(owner.creationTime) + "\n";
    text += std::string(kModuleKey) + owner.modulePath + "\n";
    return text;
}

std::optional<ExtractionOwner> parseExtractionMarker(std::string_view text) {
    ExtractionOwner owner;
    bool header = false, process = false, created = false, module = false;
    while (!text.empty()) {
        std::string_view line = takeLine(text);
        if (!header) {
            if (line != kHeader)
                return std::nullopt;
            header = true;
        } else if (line.starts_with(kProcessKey)) {
            process = parseNumber(line.substr(kProcessKey.size()), owner.processId);
        } else if (line.starts_with(kCreatedKey)) {
            created = parseNumber(line.substr(kCreatedKey.size()), owner.creationTime);
        } else if (line.starts_with(kModuleKey)) {
            owner.modulePath = std::string(line.substr(kModuleKey.size()));
            module = !owner.modulePath.empty() && !hasControlCharacter(owner.modulePath);
        }
    }
    if (!header || !process || !created || !module)
        return std::nullopt;
    return owner;
}

std::string formatVersionOutputName(const ExtractionOwner& owner, uint32_t sequence) {
    std::string name(kVersionOutputPrefix);
    name += formatNumber(owner.processId) + kVersionOutputSeparator;
    name += formatNumber(owner.creationTime, 16) + kVersionOutputSeparator;
    name += formatNumber(sequence);
    name += kVersionOutputSuffix;
    return name;
}

std::optional<ExtractionOwner> parseVersionOutputName(std::string_view name) {
    if (name.size() < kVersionOutputPrefix.size() + kVersionOutputSuffix.size() ||
        !equalIgnoringCase(name.substr(0, kVersionOutputPrefix.size()), kVersionOutputPrefix) ||
        !equalIgnoringCase(name.substr(name.size() - kVersionOutputSuffix.size()), kVersionOutputSuffix))
        return std::nullopt;
    std::string_view fields = name.substr(
        kVersionOutputPrefix.size(), name.size() - kVersionOutputPrefix.size() - kVersionOutputSuffix.size());
    ExtractionOwner owner;
    uint32_t sequence = 0;
    std::optional<std::string_view> process = takeField(fields);
    std::optional<std::string_view> created = takeField(fields);
    if (!process || !created || !parseCanonicalNumber(*process, owner.processId) ||
        !parseCanonicalNumber(*created, owner.creationTime, 16) || !parseCanonicalNumber(fields, sequence))
        return std::nullopt;
    return owner;
}

std::string formatManifest(const std::vector<ManifestEntry>& entries) {
    std::string text(kManifestHeader);
    text += "\n";
    for (const ManifestEntry& entry : entries)
        text += formatNumber(entry.stamp.size) + " " + formatNumber(entry.stamp.writeTime) + " " +
                entry.name + "\n";
    return text;
}

std::optional<std::vector<ManifestEntry>> parseManifest(std::string_view text) {
    // The header and a line end after each line: a manifest cut anywhere while being written is refused.
    if (!text.empty() && text.back() != '\n')
        return std::nullopt;
    if (takeLine(text) != kManifestHeader)
        return std::nullopt;
    std::vector<ManifestEntry> entries;
    while (!text.empty()) {
        ManifestEntry entry;
        std::optional<std::string_view> name =
            takeTwoNumbers(takeLine(text), entry.stamp.size, entry.stamp.writeTime, true);
        if (!name || name->empty() || hasControlCharacter(*name))
            return std::nullopt;
        entry.name = std::string(*name);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string formatStableMarker(const StableMarker& marker) {
    std::string text(kStableHeader);
    text += "\n";
    text += std::string(kModuleKey) + marker.launcher.modulePath + "\n";
    text += std::string(kSizeKey) + formatNumber(marker.launcher.size) + "\n";
    text += std::string(kWrittenKey) + formatNumber(marker.launcher.writeTime) + "\n";
    for (const FolderUser& user : marker.users)
        text += std::string(kUserKey) + formatNumber(user.processId) + " " + formatNumber(user.creationTime) +
                "\n";
    return text;
}

std::optional<StableMarker> parseStableMarker(std::string_view text) {
    if (!text.empty() && text.back() != '\n')
        return std::nullopt;
    if (takeLine(text) != kStableHeader)
        return std::nullopt;
    StableMarker marker;
    bool module = false, size = false, written = false;
    while (!text.empty()) {
        std::string_view line = takeLine(text);
        if (line.starts_with(kModuleKey) && !module) {
            marker.launcher.modulePath = std::string(line.substr(kModuleKey.size()));
            module = !marker.launcher.modulePath.empty() && !hasControlCharacter(marker.launcher.modulePath);
            if (!module)
                return std::nullopt;
        } else if (line.starts_with(kSizeKey) && !size) {
            size = parseCanonicalNumber(line.substr(kSizeKey.size()), marker.launcher.size);
            if (!size)
                return std::nullopt;
        } else if (line.starts_with(kWrittenKey) && !written) {
            written = parseCanonicalNumber(line.substr(kWrittenKey.size()), marker.launcher.writeTime);
            if (!written)
                return std::nullopt;
        } else if (line.starts_with(kUserKey) && marker.users.size() < kMaxFolderUsers) {
            FolderUser user;
            if (!takeTwoNumbers(line.substr(kUserKey.size()), user.processId, user.creationTime, false))
                return std::nullopt;
            marker.users.push_back(user);
        } else {
            return std::nullopt;
        }
    }
    if (!module || !size || !written)
        return std::nullopt;
    return marker;
}

}  // namespace brolt
