#include <gtest/gtest.h>

#include <string>

#include "pack_error.h"
#include "pe_image.h"
#include "tiny_pe.h"

namespace brolt::pack {
namespace {

using testing::makeTinyPe;
using testing::TinyPeShape;

struct ShapeCase {
    const char* label;
    TinyPeShape shape;
};

void PrintTo(const ShapeCase& shape, std::ostream* out) {
    *out << shape.label;
}

class StreamStart : public ::testing::TestWithParam<ShapeCase> {};

// The start moves with the number of sections, the optional header size and the PE offset.
TEST_P(StreamStart, IsTheEndOfTheLastSectionsRawData) {
    const auto pe = makeTinyPe(GetParam().shape);
    const StubLayout layout = stubLayout(pe.bytes, "stub.exe");
    EXPECT_EQ(layout.headers.streamStart, pe.sectionsEnd);
    EXPECT_EQ(layout.securityEntryOffset, pe.securityEntryOffset);
    EXPECT_EQ(layout.machine, GetParam().shape.pe32Plus ? 0x8664 : 0x14C);
}

INSTANTIATE_TEST_SUITE_P(Shapes, StreamStart,
                         ::testing::Values(ShapeCase{"one_section_pe32", {1, false, 16, 0x80, 0}},
                                           ShapeCase{"five_sections_pe32_old_stream",
                                                     {5, false, 16, 0x40, 700}},
                                           ShapeCase{"three_sections_pe32plus", {3, true, 16, 0xC8, 3}},
                                           ShapeCase{"four_directories_no_security", {2, false, 4, 0x80, 0}}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(PrepareStub, CutsBehindTheLastSectionAndClearsTheSignatureEntry) {
    auto signedPe = makeTinyPe({3, false, 16, 0x80, 0});
    const auto unsignedBytes = signedPe.bytes;
    signedPe.bytes.insert(signedPe.bytes.end(), 1000, 0x55);  // an old stream
    testing::attachSignature(signedPe, std::vector<uint8_t>(64, 0x30));
    ASSERT_NE(stubLayout(signedPe.bytes, "s.exe").securityAddress, 0u);

    const auto stub = prepareStub(signedPe.bytes, "s.exe");
    EXPECT_EQ(stub, unsignedBytes);
    const StubLayout layout = stubLayout(stub, "s.exe");
    EXPECT_EQ(layout.securityAddress, 0u);
    EXPECT_EQ(layout.securitySize, 0u);
}

std::vector<uint8_t> withU16(std::vector<uint8_t> bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
    return bytes;
}

TEST(Machine, EitherLauncherIsAStubAndInspectNamesIt) {
    const auto pe32 = makeTinyPe({1, false, 16, 0x80, 0}).bytes;
    const auto pe32Plus = makeTinyPe({1, true, 16, 0x80, 0}).bytes;
    const auto arm = withU16(pe32Plus, 0x80 + 4, 0xAA64);
    struct Case {
        const char* label;
        std::vector<uint8_t> bytes;
        const char* description;
        bool stub;
    };
    const Case cases[] = {
        {"32-bit", pe32, "i386 (32-bit launcher)", true},
        {"64-bit", pe32Plus, "x86-64 (64-bit launcher)", true},
        {"arm64", arm, "0xAA64 (no launcher is built for it)", false},
        {"no executable", {'M', 'Z'}, "unknown (only 2 bytes, too short for a DOS header)", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(machineDescription(c.bytes), c.description) << c.label;
        try {
            EXPECT_EQ(prepareStub(c.bytes, "s.exe"), c.bytes) << c.label;
            EXPECT_TRUE(c.stub) << c.label << ": accepted";
        } catch (const PackError& error) {
            EXPECT_FALSE(c.stub) << c.label << ": " << error.what();
        }
    }
    try {
        prepareStub(arm, "arm.exe");
        ADD_FAILURE() << "an arm64 stub was accepted";
    } catch (const PackError& error) {
        EXPECT_EQ(error.problem().text,
                  "not a launcher stub: built for 0xAA64, while launchers are built for i386 and x86-64");
    }
}

struct BrokenCase {
    const char* label;
    std::vector<uint8_t> bytes;
    const char* expected;
};

std::vector<uint8_t> withU32(std::vector<uint8_t> bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

TEST(StubLayout, RefusesWhatIsNotAnExecutable) {
    const auto good = makeTinyPe({2, false, 16, 0x80, 0});
    const uint32_t lastSection = 0x80 + 24 + good.optionalHeaderSize + 40;
    const std::string text = "just some text, certainly long enough to hold a PE offset field at 0x3C......";
    const BrokenCase cases[] = {
        {"empty", {}, "no MZ header"},
        {"text", std::vector<uint8_t>(text.begin(), text.end()), "no MZ header"},
        {"pe offset outside", withU32(good.bytes, 0x3C, 0x7FFFFFF0), "the PE header lies outside the file"},
        {"no signature", withU32(good.bytes, 0x80, 0x12345678), "no PE signature"},
        {"no sections", withU32(good.bytes, 0x80 + 4, 0x014C), "no sections"},
        {"raw data behind end", withU32(good.bytes, lastSection + 20, 0x100000),
         "behind the end of the file"},
        {"section table outside", withU32(good.bytes, 0x80 + 4, 0x7000014C),
         "last section header lies outside"},
        {"unknown optional magic", withU32(good.bytes, 0x80 + 24, 0x999),
         "unknown optional header magic 0x999"},
    };
    for (const BrokenCase& c : cases) {
        try {
            stubLayout(c.bytes, "x.exe");
            ADD_FAILURE() << c.label << ": accepted";
        } catch (const PackError& error) {
            EXPECT_EQ(error.problem().file, "x.exe") << c.label;
            EXPECT_NE(error.problem().text.find("not a Windows executable"), std::string::npos) << c.label;
            EXPECT_NE(error.problem().text.find(c.expected), std::string::npos)
                << c.label << ": " << error.what();
        }
    }
}

}  // namespace
}  // namespace brolt::pack
