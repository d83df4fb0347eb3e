#include "files/extraction_marker.h"

#include <charconv>

namespace brolt {

namespace {

constexpr std::string_view kHeader = "brolt extraction owner";
constexpr std::string_view kProcessKey = "process=";
constexpr std::string_view kCreatedKey = "created=";
constexpr std::string_view kModuleKey = "module=";

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
    if (text.empty())
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
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
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
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
            module = !owner.modulePath.empty();
        }
    }
    if (!header || !process || !created || !module)
        return std::nullopt;
    return owner;
}

bool isStaleExtraction(const ExtractionOwner& marker, const ExtractionOwner& self, OwnerState ownerState) {
    return ownerState == OwnerState::Gone && equalIgnoringAsciiCase(marker.modulePath, self.modulePath);
}

}  // namespace brolt
