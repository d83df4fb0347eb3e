#include "jvm/decision.h"

namespace brolt::jvm {

namespace {
// Enough to recognise a path or a version in the log.
constexpr size_t kExcerptLength = 80;
}  // namespace

std::string logExcerpt(std::string_view text) {
    if (text.size() <= kExcerptLength)
        return std::string(text);
    return std::string(text.substr(0, kExcerptLength)) + "...";
}

std::string replaceChar(std::string_view text, char from, char to) {
    std::string result(text);
    for (char& c : result) {
        if (c == from)
            c = to;
    }
    return result;
}

}  // namespace brolt::jvm
