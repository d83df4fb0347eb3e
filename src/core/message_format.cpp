#include "core/message_format.h"

#include <cstring>

#include "core/limits.h"

namespace {

constexpr const char* kPlaceholder = "{0}";

}  // namespace

void formatMessage(char* out, size_t size, const char* text, const char* argument) {
    const char* placeholder = argument != nullptr ? strstr(text, kPlaceholder) : nullptr;
    if (placeholder == nullptr) {
        brolt::copyBounded(out, size, text);
        return;
    }
    size_t prefixLength = static_cast<size_t>(placeholder - text);
    if (prefixLength >= size)
        prefixLength = size - 1;
    memcpy(out, text, prefixLength);
    out[prefixLength] = '\0';
    brolt::appendBounded(out, size, argument);
    brolt::appendBounded(out, size, placeholder + strlen(kPlaceholder));
}
