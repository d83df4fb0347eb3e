// Texts of UTF-16 units (two bytes each) into the launcher's splitting rule. Besides the sanitizers'
// checks: the arguments never hold more characters than the text, only a quote can leave a quote
// unclosed, and a text without quotes is cut at every space into the words between them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "launch/split_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        if (unit != L'\0')
            text += unit;
    }
    std::vector<std::wstring> arguments;
    const bool closed = splitArguments(text.c_str(), arguments);

    size_t characters = 0;
    for (const std::wstring& argument : arguments)
        characters += argument.size();
    if (characters > text.size())
        abort();
    const bool quoted = text.find_first_of(L"\"'") != std::wstring::npos;
    if (!closed && !quoted)
        abort();
    if (!quoted) {
        std::vector<std::wstring> words;
        for (size_t begin = 0; begin <= text.size();) {
            const size_t space = std::min(text.find(L' ', begin), text.size());
            if (space > begin)
                words.push_back(text.substr(begin, space - begin));
            begin = space + 1;
        }
        if (words != arguments)
            abort();
    }
    return 0;
}
