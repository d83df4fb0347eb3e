#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "config/keys.h"
#include "file_io.h"
#include "pack_error.h"
#include "pe_image.h"
#include "stream_reader.h"
#include "stream_writer.h"
#include "tiny_pe.h"

namespace brolt::pack {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Bytes kMagic = {0xD5, 0x13, 0xE4, 0xE8};
const Bytes kEnd = {0xE8, 0xE4, 0x13, 0xD5, 0x00, 0x00, 0x00, 0x00};

TEST(EncodeStream, OneNarrowRecordIsLaidOutByteForByte) {
    StreamContent content;
    content.narrow[102] = "1";
    const Bytes records = concat({kMagic,
                                  {0x01, 0x00, 0x00, 0x00},                                // narrow count
                                  {0x66, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x31},  // 102 = "1"
                                  {0x00, 0x00, 0x00, 0x00},                                // wide count
                                  kEnd});
    struct PaddingCase {
        uint64_t stubSize;
        size_t streamSize;
    };
    // The padding fills the whole file, stub included, to a multiple of 512.
    for (const PaddingCase c : {PaddingCase{1024, 512}, PaddingCase{1000, 536}, PaddingCase{483, 29}}) {
        Bytes expected = records;
        expected.resize(c.streamSize, 0);
        EXPECT_EQ(encodeStream(content, c.stubSize), expected) << "stub size " << c.stubSize;
    }
}

TEST(EncodeStream, WideRecordsAndIncludedFilesFollowTheNarrowOnes) {
    StreamContent content;
    content.narrow[2002] = "2";
    content.wide[20017] = u"A\u00E9";
    content.files = {{"a", {'A', 'B'}}, {"e", {}}};
    const Bytes expected =
        concat({kMagic,
                {0x01, 0x00, 0x00, 0x00, 0xD2, 0x07, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, '2'},
                {0x01, 0x00, 0x00, 0x00, 0x31, 0x4E, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00},
                {0x41, 0x00, 0xE9, 0x00},
                {0x02, 0, 0, 0, 0, 0, 0, 0, 0xC9, 0xCA},  // "AB" scrambled with 0x88
                {0x00, 0, 0, 0, 0, 0, 0, 0},              // the empty file
                kEnd});
    const Bytes stream = encodeStream(content, 512);
    ASSERT_EQ(stream.size(), 512u);
    EXPECT_EQ(Bytes(stream.begin(), stream.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_TRUE(std::all_of(stream.begin() + static_cast<long>(expected.size()), stream.end(),
                            [](uint8_t b) { return b == 0; }));
}

StreamContent sampleContent() {
    StreamContent content;
    content.narrow = {{101, "MySvc"},
                      {126, "1.8"},
                      {-7, ""},
                      {555, std::string("caf\xE9 \x80", 6)},
                      {keys::kIncludedFileCount, "2"},
                      {keys::kIncludedFileNames, "a.txt;big.bin"}};
    content.wide = {{20017, u"Dienst \u65E5\u672C"}, {5, u""}};
    Bytes big(9000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7);
    content.files = {{"a.txt", {'h', 'i'}}, {"big.bin", big}};
    return content;
}

struct StubCase {
    std::string label;
    Bytes bytes;
};

std::vector<StubCase> stubs() {
    std::vector<StubCase> cases = {
        {"tiny_pe32_one_section", testing::makeTinyPe({1, false, 16, 0x80, 0}).bytes},
        {"tiny_pe32plus_four_sections_old_stream", testing::makeTinyPe({4, true, 16, 0x40, 999}).bytes},
    };
    // Real executables with other section counts, from the Wine of either word size the machine has.
    for (const char* folder :
         {"/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"}) {
        for (const char* name : {"notepad.exe", "expand.exe"}) {
            const auto path = std::filesystem::path(folder) / name;
            if (std::filesystem::exists(path))
                cases.push_back({path.string(), readWholeFile(path)});
        }
    }
    return cases;
}

TEST(StreamRoundTrip, ReaderGetsBackWhatTheWriterStoredOnEveryStub) {
    const StreamContent content = sampleContent();
    for (const StubCase& stubCase : stubs()) {
        SCOPED_TRACE(stubCase.label);
        Bytes file = prepareStub(stubCase.bytes, "stub.exe");
        const uint64_t stubSize = file.size();
        const Bytes stream = encodeStream(content, stubSize);
        file.insert(file.end(), stream.begin(), stream.end());
        updateChecksum(file, "out.exe");

        const LauncherStream read = readLauncherStream(file, "out.exe");
        EXPECT_EQ(read.start, stubSize);
        ASSERT_EQ(read.narrow.size(), content.narrow.size());
        auto expectedNarrow = content.narrow.begin();
        for (const NarrowRecord& record : read.narrow) {
            EXPECT_EQ(record.key, expectedNarrow->first);
            EXPECT_EQ(record.value, expectedNarrow->second);
            ++expectedNarrow;
        }
        ASSERT_EQ(read.wide.size(), 2u);
        EXPECT_EQ(read.wide[0].key, 5);
        EXPECT_EQ(read.wide[1].key, 20017);
        EXPECT_EQ(read.wide[1].value, content.wide.at(20017));
        ASSERT_EQ(read.files.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(read.files[i].name, content.files[i].name);
            EXPECT_EQ(read.files[i].size, static_cast<int64_t>(content.files[i].content.size()));
            EXPECT_EQ(includedFileContent(file, read.files[i]), content.files[i].content);
        }
        ASSERT_TRUE(read.endMarker.has_value());
        EXPECT_EQ(*read.endMarker, read.files[1].contentOffset + 9000);
        EXPECT_EQ(read.fileSize % 512, 0u);
        EXPECT_LT(read.fileSize - *read.endMarker - 8, 512u);
    }
}

// A packed tiny executable whose stream bytes the cases below damage.
struct Packed {
    Bytes file;
    uint64_t start;
};

Packed packedSample(const StreamContent& content) {
    Packed packed{prepareStub(testing::makeTinyPe({2, false, 16, 0x80, 0}).bytes, "s"), 0};
    packed.start = packed.file.size();
    const Bytes stream = encodeStream(content, packed.file.size());
    packed.file.insert(packed.file.end(), stream.begin(), stream.end());
    return packed;
}

void putU32(Bytes& bytes, uint64_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(ReadLauncherStream, RefusesBrokenStreamsWithAMessage) {
    StreamContent content;
    content.narrow = {{101, "MySvc"}, {2002, "1"}, {2003, "a.txt"}};
    content.files = {{"a.txt", {1, 2, 3}}};
    const Packed packed = packedSample(content);
    const uint64_t firstLength = packed.start + 12;  // magic, count, key
    const uint64_t narrowEnd = packed.start + 8 + 13 + 9 + 13;
    const uint64_t fileSize = narrowEnd + 4;  // where the included file's size sits

    struct Case {
        const char* label;
        std::function<void(Bytes&)> damage;
        const char* expected;
    };
    const Case cases[] = {
        {"bad magic", [&](Bytes& f) { f[packed.start] ^= 1; }, "magic not found"},
        {"no stream at all", [&](Bytes& f) { f.resize(packed.start); }, "magic not found"},
        {"cut inside the count", [&](Bytes& f) { f.resize(packed.start + 6); },
         "stream cut short: narrow count"},
        {"negative length", [&](Bytes& f) { putU32(f, firstLength, 0xFFFFFFF0); }, "negative length (-16)"},
        {"length past the end", [&](Bytes& f) { putU32(f, firstLength, 0x7FFFFFFF); },
         "claims 2147483647 bytes"},
        {"huge count",
         [&](Bytes& f) {
             putU32(f, packed.start + 4, 0x7FFFFFFF);
             f.resize(narrowEnd);
         },
         "stream cut short: narrow key"},
        {"cut inside a record", [&](Bytes& f) { f.resize(firstLength + 6); }, "claims 5 bytes, only 2 left"},
        {"included file too large", [&](Bytes& f) { putU32(f, fileSize + 4, 0x10); }, "included file a.txt"},
        {"cut inside an included file's size", [&](Bytes& f) { f.resize(fileSize + 5); },
         "stream cut short: included file size"},
    };
    for (const Case& c : cases) {
        Bytes file = packed.file;
        c.damage(file);
        try {
            readLauncherStream(file, "bad.exe");
            ADD_FAILURE() << c.label << ": accepted";
        } catch (const PackError& error) {
            EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos)
                << c.label << ": " << error.what();
        }
    }
}

TEST(PrintLauncherStream, ListsRecordsNamesFilesAndTheEnd) {
    StreamContent content;
    content.narrow = {{101, "MySvc"}, {1000, "Caf\xE9"}, {4242, "x\ny"}, {2002, "2"}, {2003, "a.txt;b.bin"}};
    content.wide = {{20017, u"\u65E5"}};
    content.files = {{"a.txt", {'h', 'i'}}, {"b.bin", {0, 1, 2}}};
    const Packed packed = packedSample(content);
    const LauncherStream read = readLauncherStream(packed.file, "p.exe");
    std::ostringstream out;
    printLauncherStream(read, out);
    const std::string listing = out.str();
    for (const std::string line : {"  101 service.name = \"MySvc\"\n", "  1000 messages.caption = \"Café\"\n",
                                   "  4242 (unknown) = \"x\\ny\"\n", "  20017 service.description = \"日\"\n",
                                   "included files: 2\n", "narrow records: 5\n", "wide records: 1\n"}) {
        EXPECT_NE(listing.find(line), std::string::npos) << line << " missing in\n" << listing;
    }
    const std::string fileLine =
        "  \"b.bin\" 3 bytes at offset " + std::to_string(read.files[1].contentOffset) + "\n";
    EXPECT_NE(listing.find(fileLine), std::string::npos) << listing;
    EXPECT_NE(listing.find("end marker at offset " + std::to_string(read.files[1].contentOffset + 3) + "\n"),
              std::string::npos)
        << listing;
    EXPECT_NE(listing.find("file size " + std::to_string(packed.file.size()) + "\n"), std::string::npos)
        << listing;
}

}  // namespace
}  // namespace brolt::pack
