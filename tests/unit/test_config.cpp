#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/config.h"
#include "stream_fixture.h"
#include "windows/win_loader.h"

namespace {

const std::string kFixture = fixture::ownDirectory() + "config_fixture.exe";

// Writes a launcher built on stub with stream and loads it; answers where the stream began.
uint32_t loadFixture(const fixture::Stream& stream, const std::string& stub = fixture::ownPath()) {
    uint32_t offset =
        fixture::writeLauncher(stub, kFixture, fixture::streamBytes(stream), "trailing included data");
    EXPECT_TRUE(loadConfiguration(kFixture.c_str()).ok());
    return offset;
}

std::string str(int32_t key, size_t size = 8192) {
    char buffer[8192];
    memset(buffer, 'x', sizeof buffer);
    getStr(key, buffer, size);
    return buffer;
}

TEST(ConfigurationStream, IsFoundBehindTheLastSectionWhateverTheHeadersLookLike) {
    // The test binary and one of the system's programs differ in section count and optional header.
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string stubs[] = {fixture::ownPath(), std::string(system) + "\\notepad.exe"};
    fixture::ImageLayout first = fixture::imageLayout(fixture::readFile(stubs[0]));
    fixture::ImageLayout second = fixture::imageLayout(fixture::readFile(stubs[1]));
    ASSERT_TRUE(first.sections != second.sections || first.optionalHeaderSize != second.optionalHeaderSize);

    for (const std::string& stub : stubs) {
        SCOPED_TRACE(stub);
        fixture::Stream stream{{{101, "MySvc"}, {122, "com.example.Main"}},
                               {{20017, u"Beschreibung \u00e4\u65e5"}}};
        uint32_t offset = loadFixture(stream, stub);
        EXPECT_EQ("MySvc", str(101));
        EXPECT_EQ("com.example.Main", str(122));
        wchar_t wide[8192];
        getWStr(20017, wide);
        EXPECT_STREQ(L"Beschreibung \x00e4\x65e5", wide);
        EXPECT_EQ(offset + fixture::streamBytes(stream).size(), getConfigurationEndPosition());
    }
}

TEST(ConfigurationStream, EmptyStreamGivesEmptyValues) {
    loadFixture({});
    EXPECT_EQ("", str(101));
    EXPECT_EQ(0, getInt(107));
    EXPECT_EQ(0u, getColor(1));
    wchar_t wide[8] = L"junk";
    getWStr(20017, wide, 8);
    EXPECT_STREQ(L"", wide);
}

TEST(ConfigurationStream, LaterDuplicateWinsAndEmptyValueEqualsAbsent) {
    loadFixture({{{101, "first"}, {146, ""}, {101, "second"}}, {{7, u"a"}, {7, u"b"}}});
    EXPECT_EQ("second", str(101));
    EXPECT_EQ(str(999), str(146));
    EXPECT_EQ("", str(146));
    wchar_t wide[16];
    getWStr(7, wide, 16);
    EXPECT_STREQ(L"b", wide);
}

TEST(ConfigurationStream, ValuesLongerThanTheBufferAreCut) {
    loadFixture({{{101, "abcdefgh"}}, {{20017, u"abcdefgh"}}});
    EXPECT_EQ("abcd", str(101, 5));
    EXPECT_EQ("", str(101, 1));
    wchar_t wide[5];
    getWStr(20017, wide, 5);
    EXPECT_STREQ(L"abcd", wide);
}

TEST(ConfigurationStream, GetIntReadsLikeAtoi) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {{" 42abc", 42}, {"-3", -3}, {"x", 0}, {"", 0}, {"01", 1}, {"+7", 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        loadFixture({{{107, c.text}}, {}});
        EXPECT_EQ(c.expected, getInt(107));
    }
}

TEST(ConfigurationStream, GetColorBuildsAColorref) {
    struct Case {
        const char* text;
        uint32_t expected;
    } cases[] = {{"0,0,0", 0u},
                 {"255,128,0", 0x000080FFu},
                 {"10,20", 0x0000140Au},
                 {"1,2,3", 0x00030201u},
                 {"300,0,0", 44u},
                 {"", 0u},
                 // An empty part is 0 and keeps the parts behind it in place; a fourth is ignored.
                 {",5,6", 0x00060500u},
                 {"1,,3", 0x00030001u},
                 {"1,2,3,4", 0x00030201u},
                 // Each part is read as a number up to its first character that is not one.
                 {" 7,8x,9", 0x00090807u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        loadFixture({{{1, c.text}}, {}});
        EXPECT_EQ(c.expected, getColor(1));
    }
}

uint32_t littleEndian(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    return value;
}

TEST(ConfigurationStream, EachBrokenFileGivesTheErrorOfTheFieldItBrokeIn) {
    const std::string stream =
        fixture::streamBytes({{{1000, "Service error"}, {101, "Svc"}}, {{20017, u"ab"}}});
    const std::string image = fixture::readFile(fixture::ownPath());
    const size_t start = fixture::imageLayout(image).endOfLastSection;
    const std::string launcher = image.substr(0, start) + stream;
    const size_t pe = littleEndian(image, 0x3C);
    const size_t firstLength = start + 12;
    struct Case {
        const char* label;
        std::string file;
        ConfigurationError error;
        const char* text;
    };
    std::string negative = launcher;
    negative.replace(firstLength, 4, "\xFF\xFF\xFF\xFF", 4);
    std::string tableBeforeStart = launcher;
    tableBeforeStart.replace(pe + 6, 2, "\x00\x80", 2);  // -32768 sections
    const Case cases[] = {
        {"bad magic", image.substr(0, start) + "\xD5\x13\xE4\xE9" + stream.substr(4),
         ConfigurationError::Magic, "Internal Error: magic"},
        {"no stream", image.substr(0, start), ConfigurationError::Magic, "Internal Error: magic"},
        {"section table before the file", tableBeforeStart, ConfigurationError::Magic,
         "Internal Error: magic"},
        {"ends inside the section count", image.substr(0, pe + 7), ConfigurationError::ReadShort,
         "Internal Error: readShort"},
        {"ends inside the count", launcher.substr(0, start + 6), ConfigurationError::ReadInt,
         "Internal Error: readInt"},
        {"ends inside a text", launcher.substr(0, firstLength + 9), ConfigurationError::ReadString,
         "Internal Error: readString"},
        {"negative length", negative, ConfigurationError::ReadString, "Internal Error: readString"},
        {"ends inside a wide text", launcher.substr(0, launcher.size() - 1), ConfigurationError::ReadWString,
         "Internal Error: readWString"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(fixture::writeFile(kFixture, c.file));
        const ConfigurationLoad load = loadConfiguration(kFixture.c_str());
        EXPECT_EQ(load.error, c.error);
        EXPECT_STREQ(configurationErrorText(load.error), c.text);
    }
    // The narrow records were read before the wide text broke off: the message can use the caption.
    EXPECT_EQ("Service error", str(1000));

    const ConfigurationLoad missing = loadConfiguration((fixture::ownDirectory() + "missing.exe").c_str());
    EXPECT_EQ(missing.error, ConfigurationError::Open);
    EXPECT_STREQ(configurationErrorText(missing.error),
                 "Error opening media file. Please move this file to an ascii-only path like c:\\");
}

TEST(ConfigurationStream, ValuesLargerThanTheFirstReadLoadWhole) {
    const std::string large(300 * 1024, 'v');
    const std::string tail(4 * 1024 * 1024, 'i');  // included files, never needed to read the stream
    fixture::Stream stream{{{101, "a"}, {555, large}, {102, "b"}}, {{20017, u"wide"}}};
    const std::string bytes = fixture::streamBytes(stream);
    const uint32_t offset = fixture::writeLauncher(fixture::ownPath(), kFixture, bytes, tail);
    ASSERT_TRUE(loadConfiguration(kFixture.c_str()).ok());
    std::string value(large.size() + 1, '\0');
    getStr(555, value.data(), value.size());
    EXPECT_EQ(large, value.c_str());
    EXPECT_EQ("b", str(102));
    EXPECT_EQ(offset + bytes.size(), getConfigurationEndPosition());
}

}  // namespace
