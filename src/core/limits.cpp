#include "core/limits.h"

#include <cstring>

namespace brolt {

bool copyBounded(char* destination, size_t size, const char* source) {
    if (size == 0)
        return false;
    size_t length = strlen(source);
    bool fits = length < size;
    if (!fits)
        length = size - 1;
    memcpy(destination, source, length);
    destination[length] = '\0';
    return fits;
}

bool appendBounded(char* destination, size_t size, const char* source) {
    size_t used = strnlen(destination, size);
    if (used >= size)
        return false;
    return copyBounded(destination + used, size - used, source);
}

}  // namespace brolt
