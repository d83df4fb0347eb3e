// Conversions between the packer's UTF-8 text and what the stream stores: Windows code page 1252
// for narrow values and UTF-16LE for wide ones.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brolt::pack {

struct Cp1252Encoding {
    std::string bytes;                    // valid when unencodable is empty
    std::optional<char32_t> unencodable;  // the first character code page 1252 cannot hold
};

// UTF-8 to code page 1252. Invalid UTF-8 is reported as unencodable U+FFFD.
Cp1252Encoding utf8ToCp1252(std::string_view utf8);

// Code page 1252 to UTF-8. The five bytes without a character (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the
// control characters of the same number, as Windows converts them.
std::string cp1252ToUtf8(std::string_view bytes);

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view utf16);

// "U+65E5 \"日\"" for a message (the character itself only when it is printable).
std::string codePointName(char32_t c);

}  // namespace brolt::pack
