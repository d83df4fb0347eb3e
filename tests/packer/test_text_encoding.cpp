#include <gtest/gtest.h>

#include "text_encoding.h"

namespace brolt::pack {
namespace {

TEST(Utf8ToCp1252, EncodesWhatTheCodePageHoldsAndNamesTheFirstCharacterItDoesNot) {
    struct Case {
        const char* utf8;
        std::string bytes;
        char32_t unencodable;  // 0: encodable
    };
    const Case cases[] = {
        {"plain ASCII ~", "plain ASCII ~", 0},
        {"é", "\xE9", 0},
        {"€", "\x80", 0},
        {"Ÿ‰ÿ", "\x9F\x89\xFF", 0},
        {"\u00A0", "\xA0", 0},
        {"a日b", "", 0x65E5},
        {"é😀", "", 0x1F600},
        {"\xC3", "", 0xFFFD},  // cut UTF-8 sequence
    };
    for (const Case& c : cases) {
        const Cp1252Encoding encoded = utf8ToCp1252(c.utf8);
        if (c.unencodable == 0) {
            EXPECT_FALSE(encoded.unencodable.has_value()) << c.utf8;
            EXPECT_EQ(encoded.bytes, c.bytes) << c.utf8;
        } else {
            ASSERT_TRUE(encoded.unencodable.has_value()) << c.utf8;
            EXPECT_EQ(*encoded.unencodable, c.unencodable) << c.utf8;
        }
    }
}

TEST(Cp1252ToUtf8, EveryByteComesBackThroughTheEncoder) {
    for (int byte = 1; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const Cp1252Encoding back = utf8ToCp1252(cp1252ToUtf8(one));
        EXPECT_FALSE(back.unencodable.has_value()) << byte;
        EXPECT_EQ(back.bytes, one) << byte;
    }
    EXPECT_EQ(cp1252ToUtf8("\x80\x85\xE9"), "€…é");
}

TEST(Utf16, ConvertsBothWaysWithSurrogatePairs) {
    EXPECT_EQ(utf8ToUtf16("A日😀"), (std::u16string{u'A', 0x65E5, 0xD83D, 0xDE00}));
    EXPECT_EQ(utf16ToUtf8(std::u16string{u'A', 0x65E5, 0xD83D, 0xDE00}), "A日😀");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD83D, u'x'}), "\uFFFDx");
}

}  // namespace
}  // namespace brolt::pack
