#include "config/stream_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "stream_bytes.h"

namespace brolt::stream {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

void put(Bytes& bytes, uint64_t offset, uint64_t value, int width) {
    if (bytes.size() < offset + width)
        bytes.resize(offset + width);
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Just the fields the walk reads: PE offset, section count, optional header size, and the raw data size
// and offset of the section header at `lastSection`.
struct Headers {
    const char* label;
    uint32_t pe;
    int16_t sections;
    int16_t optionalHeaderSize;
    uint64_t lastSection;  // where the format puts the last section header for the fields above
    uint32_t rawSize;
    uint32_t rawOffset;

    Bytes bytes() const {
        Bytes image;
        put(image, 0x3C, pe, 4);
        put(image, pe + 6, static_cast<uint16_t>(sections), 2);
        put(image, pe + 20, static_cast<uint16_t>(optionalHeaderSize), 2);
        put(image, lastSection + 16, rawSize, 4);
        put(image, lastSection + 20, rawOffset, 4);
        return image;
    }
};

const Headers kOneSection{"one section", 0x80, 1, 224, 0x80 + 24 + 224, 0x200, 0x400};

// Feeds a parse the first bytes only and grows them to what it asks for, as a caller reading the file
// in windows does; every answer on the way must be a request for more or the final outcome.
template <typename Result>
Result parseGrowing(const Bytes& file, uint64_t start,
                    const std::function<Result(std::span<const uint8_t>)>& parse) {
    const std::span<const uint8_t> all(file);
    const size_t from = std::min<size_t>(start, file.size());
    const uint64_t inFile = file.size() - from;
    const Result whole = parse(all.subspan(from));
    EXPECT_NE(whole.failure.fault, Fault::NeedMore) << "with every byte of the file";
    for (uint64_t have = 0; have <= inFile; ++have) {
        const Result result = parse(all.subspan(from, have));
        if (result.failure.fault == Fault::NeedMore) {
            EXPECT_GT(result.failure.needed, have);
            EXPECT_LE(result.failure.needed, inFile);
            continue;
        }
        EXPECT_EQ(result.failure.fault, whole.failure.fault) << "from " << have << " bytes";
        EXPECT_EQ(result.failure.field, whole.failure.field) << "from " << have << " bytes";
    }
    return whole;
}

Located locate(const Bytes& file) {
    return parseGrowing<Located>(
        file, 0, [&](std::span<const uint8_t> head) { return locateStream(head, file.size()); });
}

Parsed parse(const Bytes& file, uint64_t start) {
    return parseGrowing<Parsed>(
        file, start, [&](std::span<const uint8_t> bytes) { return parseStream(bytes, start, file.size()); });
}

TEST(LocateStream, FindsTheEndOfTheLastSectionWhateverTheHeadersLookLike) {
    const Headers cases[] = {
        kOneSection,
        {"four sections, a larger optional header", 0x100, 4, 240, 0x100 + 24 + 240 + 3 * 40, 0x1000, 0x5000},
        {"no sections: the header in front of the table", 0x40, 0, 224, 0x40 + 24 + 224 - 40, 16, 32},
        {"negative optional header size", 0x200, 2, -16, 0x200 + 24 - 16 + 40, 1, 0xFFFFFFFF},
    };
    for (const Headers& c : cases) {
        SCOPED_TRACE(c.label);
        const Located located = locate(c.bytes());
        ASSERT_TRUE(located.failure.ok());
        EXPECT_EQ(located.layout.sectionCount, c.sections);
        EXPECT_EQ(located.layout.optionalHeaderSize, c.optionalHeaderSize);
        EXPECT_EQ(located.layout.lastSectionHeader, static_cast<int64_t>(c.lastSection));
        EXPECT_EQ(located.layout.rawDataSize, c.rawSize);
        EXPECT_EQ(located.layout.rawDataOffset, c.rawOffset);
        EXPECT_EQ(located.layout.streamStart, uint64_t{c.rawOffset} + c.rawSize);
    }
}

TEST(LocateStream, NamesTheFieldItCouldNotRead) {
    const uint64_t pe = kOneSection.pe;
    const uint64_t section = kOneSection.lastSection;
    struct Case {
        const char* label;
        std::function<void(Bytes&)> damage;
        Fault fault;
        Field field;
        uint64_t offset;
        uint64_t available;
    };
    const Case cases[] = {
        {"ends inside the PE offset", [](Bytes& f) { f.resize(0x3E); }, Fault::Truncated, Field::PeOffset,
         0x3C, 2},
        {"empty file", [](Bytes& f) { f.clear(); }, Fault::Truncated, Field::PeOffset, 0x3C, 0},
        {"ends inside the section count", [&](Bytes& f) { f.resize(pe + 7); }, Fault::Truncated,
         Field::SectionCount, pe + 6, 1},
        {"ends inside the optional header size", [&](Bytes& f) { f.resize(pe + 21); }, Fault::Truncated,
         Field::OptionalHeaderSize, pe + 20, 1},
        {"ends inside the raw data size", [&](Bytes& f) { f.resize(section + 18); }, Fault::Truncated,
         Field::RawDataSize, section + 16, 2},
        {"ends inside the raw data offset", [&](Bytes& f) { f.resize(section + 23); }, Fault::Truncated,
         Field::RawDataOffset, section + 20, 3},
        {"PE offset far behind the end", [](Bytes& f) { put(f, 0x3C, 0xFFFFFFF0, 4); }, Fault::Truncated,
         Field::SectionCount, 0xFFFFFFF6, 0},
        {"section count that puts the table before the file", [&](Bytes& f) { put(f, pe + 6, 0xFF9C, 2); },
         Fault::BeforeFileStart, Field::RawDataSize, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Bytes file = kOneSection.bytes();
        c.damage(file);
        const Located located = locate(file);
        EXPECT_EQ(located.failure.fault, c.fault);
        EXPECT_EQ(located.failure.field, c.field);
        EXPECT_EQ(located.failure.offset, c.offset);
        EXPECT_EQ(located.failure.available, c.available);
    }
    // -100 sections: 0x80 + 24 + 224 - 101 * 40 + 16 lies 3648 bytes before the file's start.
    Bytes file = kOneSection.bytes();
    put(file, pe + 6, 0xFF9C, 2);
    EXPECT_EQ(locate(file).failure.claimed, -3648);
}

const fixture::Stream kSample{{{101, "MySvc"}, {-7, ""}, {555, "caf\xE9 \x80"}, {101, "again"}},
                              {{20017, u"Dienst \u65E5\u672C"}, {5, u""}}};

TEST(ParseStream, ReadsEveryRecordInFileOrderAndWhereTheyEnd) {
    const std::string stream = fixture::streamBytes(kSample);
    const Bytes file = bytesOf(std::string(300, 'x') + stream + "included file data");
    const Parsed parsed = parse(file, 300);
    ASSERT_TRUE(parsed.failure.ok());
    const Records& records = parsed.records;
    ASSERT_EQ(records.narrow.size(), kSample.narrow.size());
    for (size_t i = 0; i < kSample.narrow.size(); ++i) {
        EXPECT_EQ(records.narrow[i].key, kSample.narrow[i].first);
        EXPECT_EQ(records.narrow[i].value, kSample.narrow[i].second);
    }
    ASSERT_EQ(records.wide.size(), kSample.wide.size());
    for (size_t i = 0; i < kSample.wide.size(); ++i) {
        EXPECT_EQ(records.wide[i].key, kSample.wide[i].first);
        EXPECT_EQ(records.wide[i].value, kSample.wide[i].second);
    }
    EXPECT_EQ(records.end, 300 + stream.size());
}

TEST(ParseStream, CountsOfZeroOrLessAndOddWideLengths) {
    struct Case {
        const char* label;
        std::string bytes;
        size_t narrow;
        std::u16string firstWide;
    };
    std::string negativeCounts = fixture::streamBytes({});
    negativeCounts.replace(4, 4, "\xFB\xFF\xFF\xFF", 4);
    negativeCounts.replace(8, 4, "\x00\x00\x00\x80", 4);
    std::string oddWide = fixture::streamBytes({{}, {{9, u"ab"}}});
    oddWide.replace(16, 4, "\x03\x00\x00\x00", 4);  // three of the four bytes: "a" and half of "b"
    oddWide.pop_back();
    const Case cases[] = {
        {"counts 0", fixture::streamBytes({}), 0, u""},
        {"counts -5 and the lowest number", negativeCounts, 0, u""},
        {"odd wide byte length", oddWide, 0, u"a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const Parsed parsed = parse(bytesOf(c.bytes), 0);
        ASSERT_TRUE(parsed.failure.ok());
        EXPECT_EQ(parsed.records.narrow.size(), c.narrow);
        EXPECT_EQ(parsed.records.wide.empty() ? u"" : parsed.records.wide[0].value, c.firstWide);
        EXPECT_EQ(parsed.records.end, c.bytes.size());
    }
}

TEST(ParseStream, NamesTheFieldAndRecordItCouldNotRead) {
    // 101 = "MySvc", then 20017 = u"ab"; the stream starts behind 100 bytes of executable.
    constexpr uint64_t s = 100;
    const Bytes stream =
        bytesOf(std::string(s, 'x') + fixture::streamBytes({{{101, "MySvc"}}, {{20017, u"ab"}}}));
    constexpr uint64_t narrowLength = s + 12, wideCount = s + 21, wideLength = s + 29;
    struct Case {
        const char* label;
        std::function<void(Bytes&)> damage;
        Fault fault;
        Field field;
        uint64_t offset;
        int32_t key = 0;
        int64_t claimed = 0;
    };
    const Case cases[] = {
        {"bad magic", [](Bytes& f) { f[s] ^= 1; }, Fault::BadMagic, Field::Magic, s},
        {"no stream behind the sections", [](Bytes& f) { f.resize(s); }, Fault::Truncated, Field::Magic, s},
        {"ends inside the count", [](Bytes& f) { f.resize(s + 6); }, Fault::Truncated, Field::NarrowCount,
         s + 4},
        {"ends inside a key", [](Bytes& f) { f.resize(s + 10); }, Fault::Truncated, Field::NarrowKey, s + 8},
        {"ends inside a length", [](Bytes& f) { f.resize(s + 14); }, Fault::Truncated, Field::NarrowLength,
         narrowLength},
        {"ends inside a text", [](Bytes& f) { f.resize(s + 18); }, Fault::LengthPastEnd, Field::NarrowLength,
         narrowLength, 101, 5},
        {"negative length", [](Bytes& f) { put(f, narrowLength, 0xFFFFFFF0, 4); }, Fault::NegativeLength,
         Field::NarrowLength, narrowLength, 101, -16},
        {"length past the end", [](Bytes& f) { put(f, narrowLength, 0x7FFFFFFF, 4); }, Fault::LengthPastEnd,
         Field::NarrowLength, narrowLength, 101, 0x7FFFFFFF},
        {"huge count",
         [](Bytes& f) {
             put(f, s + 4, 0x7FFFFFFF, 4);
             f.resize(wideCount);
         },
         Fault::Truncated, Field::NarrowKey, wideCount},
        {"ends inside the wide count", [](Bytes& f) { f.resize(wideCount + 3); }, Fault::Truncated,
         Field::WideCount, wideCount},
        {"ends inside a wide key", [](Bytes& f) { f.resize(wideCount + 5); }, Fault::Truncated,
         Field::WideKey, wideCount + 4},
        {"ends inside a wide text", [](Bytes& f) { f.pop_back(); }, Fault::LengthPastEnd, Field::WideLength,
         wideLength, 20017, 4},
        {"negative wide length", [](Bytes& f) { put(f, wideLength, 0xFFFFFFFE, 4); }, Fault::NegativeLength,
         Field::WideLength, wideLength, 20017, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Bytes file = stream;
        c.damage(file);
        const Parsed parsed = parse(file, s);
        EXPECT_EQ(parsed.failure.fault, c.fault);
        EXPECT_EQ(parsed.failure.field, c.field);
        EXPECT_EQ(parsed.failure.offset, c.offset);
        EXPECT_EQ(parsed.failure.key, c.key);
        EXPECT_EQ(parsed.failure.claimed, c.claimed);
    }
}

TEST(ParseStream, RecordsBeforeAFailureAreKept) {
    Bytes file = bytesOf(fixture::streamBytes({{{1000, "Service error"}, {101, "x"}}, {{20017, u"ab"}}}));
    file.pop_back();
    const Parsed parsed = parse(file, 0);
    EXPECT_EQ(parsed.failure.field, Field::WideLength);
    ASSERT_EQ(parsed.records.narrow.size(), 2u);
    EXPECT_EQ(parsed.records.narrow[0].value, "Service error");
}

TEST(ParseStream, AStartBehindTheEndOfTheFileHasNoMagic) {
    const Bytes file(50, 0);
    const Parsed parsed = parse(file, 80);
    EXPECT_EQ(parsed.failure.fault, Fault::Truncated);
    EXPECT_EQ(parsed.failure.field, Field::Magic);
    EXPECT_EQ(parsed.failure.available, 0u);
}

TEST(IncludedFileSize, EightSignedLittleEndianBytes) {
    struct Case {
        Bytes bytes;
        std::optional<int64_t> size;
    };
    const Case cases[] = {
        {{0x10, 0x27, 0, 0, 0, 0, 0, 0}, 10000},
        {{0, 0, 0, 0, 1, 0, 0, 0}, int64_t{1} << 32},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {{3, 0, 0, 0, 0, 0, 0, 0, 0x99, 0x99}, 3},  // the file's content follows
        {{1, 2, 3, 4, 5, 6, 7}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseIncludedFileSize(c.bytes), c.size) << c.bytes.size() << " bytes";
}

TEST(IncludedFileNames, SplitAtSemicolonsEmptyNamesDroppedAtMostCount) {
    struct Case {
        const char* list;
        int64_t count;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"a.txt;b.bin;c.txt", 2, {"a.txt", "b.bin"}},
        {"a.txt;b.bin", 5, {"a.txt", "b.bin"}},
        {";;a.txt;;b.bin;", 2, {"a.txt", "b.bin"}},  // ";;" names nothing and is not counted
        {"a b.txt", 1, {"a b.txt"}},
        {"a.txt", 0, {}},
        {"a.txt", -1, {}},
        {"", 3, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(includedFileNames(c.list, c.count), c.names) << c.list << " count " << c.count;
}

// Included files behind `start` bytes of padding: each size field, then that many content bytes.
Bytes includedSection(uint64_t start, const std::vector<int64_t>& sizes) {
    Bytes file(start, 0xEE);
    for (int64_t size : sizes) {
        put(file, file.size(), static_cast<uint64_t>(size), 8);
        file.resize(file.size() + static_cast<size_t>(std::max<int64_t>(size, 0)), 0xCC);
    }
    return file;
}

TEST(WalkIncludedFiles, EntriesFollowTheirSizeFields) {
    const std::vector<std::string> names = {"a.txt", "empty", "negative", "b.bin"};
    const Bytes file = includedSection(20, {5, 0, -7, 300});

    const IncludedWalk walk = walkIncludedFiles(names, 20, file);

    ASSERT_TRUE(walk.failure.ok());
    ASSERT_EQ(walk.files.size(), 4u);
    const uint64_t sizeOffsets[] = {20, 33, 41, 49};
    const int64_t sizes[] = {5, 0, -7, 300};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(walk.files[i].name, names[i]);
        EXPECT_EQ(walk.files[i].size, sizes[i]) << names[i];
        EXPECT_EQ(walk.files[i].sizeOffset, sizeOffsets[i]) << names[i];
        EXPECT_EQ(walk.files[i].contentOffset, sizeOffsets[i] + 8) << names[i];
    }
    EXPECT_EQ(walk.end, file.size());
    EXPECT_EQ(walkIncludedFiles({}, 20, file).end, 20u) << "no names: the entries end where they begin";
}

TEST(WalkIncludedFiles, ACutSizeFieldEndsTheWalkWithTheEntriesBeforeIt) {
    struct Case {
        const char* label;
        Bytes file;
        size_t read;  // entries read before the cut one
        uint64_t cutAt;
        uint64_t available;
    };
    Bytes cutInside = includedSection(10, {4});
    cutInside.resize(cutInside.size() + 5, 1);
    // The first entry claims more than the file holds: its content is not read, the next size field lies
    // behind the end.
    const Bytes pastTheEnd = includedSection(10, {1000});
    const Case cases[] = {
        {"cut inside the second size field", cutInside, 1, 22, 5},
        {"nothing behind the records", Bytes(10, 0), 0, 10, 0},
        {"content past the end", Bytes(pastTheEnd.begin(), pastTheEnd.begin() + 30), 1, 1018, 0},
    };
    for (const Case& c : cases) {
        const IncludedWalk walk = walkIncludedFiles({"a", "b", "c"}, 10, c.file);
        EXPECT_EQ(walk.files.size(), c.read) << c.label;
        EXPECT_EQ(walk.failure.fault, Fault::Truncated) << c.label;
        EXPECT_EQ(walk.failure.field, Field::IncludedFileSize) << c.label;
        EXPECT_EQ(walk.failure.offset, c.cutAt) << c.label;
        EXPECT_EQ(walk.failure.available, c.available) << c.label;
        EXPECT_EQ(walk.end, c.cutAt) << c.label;
    }
}

TEST(WalkIncludedFiles, ReadsOnlyTheSizeFieldsThroughTheReader) {
    const Bytes file = includedSection(0, {3, 100000, 2});
    std::vector<uint64_t> asked;
    const IncludedWalk walk =
        walkIncludedFiles({"a", "b", "c"}, 0, [&](uint64_t offset, std::span<uint8_t> field) -> size_t {
            asked.push_back(offset);
            // A failed read counts like the end of the file.
            if (offset > 100000)
                return 0;
            std::copy_n(file.begin() + static_cast<ptrdiff_t>(offset), field.size(), field.begin());
            return field.size();
        });
    EXPECT_EQ(asked, (std::vector<uint64_t>{0, 11, 100019}));
    EXPECT_EQ(walk.files.size(), 2u);
    EXPECT_EQ(walk.failure.field, Field::IncludedFileSize);
    EXPECT_EQ(walk.failure.available, 0u);
}

}  // namespace
}  // namespace brolt::stream
