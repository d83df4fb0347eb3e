// Variable expansion with everything taken from the input: fields separated by zero bytes give the text,
// the launcher directory, the extraction directory, the JVM home and then the environment entries. The
// text sits in a heap buffer of exactly its 8192 characters, so the address sanitizer sees any write
// behind it. A text without "%" or "$" must come back unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/limits.h"
#include "launch/expand_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            fields.emplace_back();
        else
            fields.back() += static_cast<char>(data[i]);
    }
    fields.resize(std::max<size_t>(fields.size(), 4));
    const ExpansionContext context{fields[1], fields[2], fields[3]};
    std::string environment;
    for (size_t i = 4; i < fields.size(); ++i) {
        if (!fields[i].empty())
            environment += fields[i] + '\0';
    }
    environment += '\0';

    std::vector<char> text(brolt::kTextBufferSize);
    brolt::copyBounded(text.data(), text.size(), fields[0].c_str());
    const std::string before = text.data();
    expandText(text.data(), context, environment.c_str());
    if (before.find_first_of("%$") == std::string::npos && before != text.data())
        abort();
    return 0;
}
