#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/config.h"
#include "stream_fixture.h"

namespace {

const std::string kFixture = fixture::ownDirectory() + "config_fixture.exe";

// Writes a launcher built on stub with stream and loads it; answers where the stream began.
uint32_t loadFixture(const fixture::Stream& stream, const std::string& stub = fixture::ownPath()) {
    uint32_t offset =
        fixture::writeLauncher(stub, kFixture, fixture::streamBytes(stream), "trailing included data");
    loadConfigurationFrom(kFixture.c_str());
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
                               {{20017, L"Beschreibung \x00e4\x65e5"}}};
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
    loadFixture({{{101, "first"}, {146, ""}, {101, "second"}}, {{7, L"a"}, {7, L"b"}}});
    EXPECT_EQ("second", str(101));
    EXPECT_EQ(str(999), str(146));
    EXPECT_EQ("", str(146));
    wchar_t wide[16];
    getWStr(7, wide, 16);
    EXPECT_STREQ(L"b", wide);
}

TEST(ConfigurationStream, ValuesLongerThanTheBufferAreCut) {
    loadFixture({{{101, "abcdefgh"}}, {{20017, L"abcdefgh"}}});
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
    } cases[] = {{"0,0,0", 0u},          {"255,128,0", 0x000080FFu}, {"10,20", 0x0000140Au},
                 {"1,2,3", 0x00030201u}, {"300,0,0", 44u},           {"", 0u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        loadFixture({{{1, c.text}}, {}});
        EXPECT_EQ(c.expected, getColor(1));
    }
}

}  // namespace
