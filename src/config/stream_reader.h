// The one reader of the configuration stream format: the executable-header walk that finds the stream,
// the records, and the walk over the included files behind them. It works on bytes only, never calls the
// operating system and answers every failure as a value, so the launcher, the packer's `inspect` and the
// fuzzers all run the same code.
//
// The bytes handed in may be only the beginning of what the file holds: the caller says how large the
// file is, and a parse that runs past the bytes it was given (but not past the file) answers
// Fault::NeedMore with the number of bytes it needs, so a caller can read the file in growing windows
// instead of all at once.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brolt::stream {

// The fields in the order they are read; a failure names the field it happened in.
enum class Field : uint8_t {
    None,
    PeOffset,            // 4 bytes at 0x3C
    SectionCount,        // 2 bytes, signed
    OptionalHeaderSize,  // 2 bytes, signed
    RawDataSize,         // 4 bytes in the last section header
    RawDataOffset,       // 4 bytes in the last section header
    Magic,
    NarrowCount,
    NarrowKey,
    NarrowLength,  // a narrow record's length and the text it announces
    WideCount,
    WideKey,
    WideLength,        // a wide record's byte length and the text it announces
    IncludedFileSize,  // 8 bytes in front of each included file
};

enum class Fault : uint8_t {
    None,
    NeedMore,         // not a fault of the file: `needed` bytes from the start of the given ones are wanted
    Truncated,        // the file ends inside `field`
    BeforeFileStart,  // the headers place `field` in front of the file's first byte
    BadMagic,         // the stream does not start with kMagic
    NegativeLength,   // a record's length is below zero
    LengthPastEnd,    // a record announces more bytes than the file holds behind its length
    OutOfMemory,      // a record's text is in the file but cannot be held in memory
};

struct Failure {
    Fault fault = Fault::None;
    Field field = Field::None;
    uint64_t offset = 0;     // file offset of the field (for a negative one: 0, see `claimed`)
    uint64_t available = 0;  // Truncated: bytes the file holds from `offset` on; LengthPastEnd: behind it
    int64_t claimed =
        0;            // NegativeLength, LengthPastEnd, OutOfMemory: the length; BeforeFileStart: the offset
    int32_t key = 0;  // NegativeLength, LengthPastEnd, OutOfMemory: the record's key
    uint64_t needed = 0;  // NeedMore: how many bytes the given ones must hold for the parse to go on

    bool ok() const { return fault == Fault::None; }
};

// Width in bytes of a fixed-size field (0 for Field::None).
uint32_t fieldWidth(Field field);

// What the header walk read, as far as it came. Neither the "MZ" nor the PE signature is checked: an
// executable is recognised by the stream's magic alone.
struct ImageLayout {
    uint32_t peOffset = 0;
    int16_t sectionCount = 0;
    int16_t optionalHeaderSize = 0;
    int64_t lastSectionHeader = 0;  // P + 24 + S + (N - 1) * 40; may be negative in a damaged file
    uint32_t rawDataSize = 0;
    uint32_t rawDataOffset = 0;
    uint64_t streamStart = 0;  // rawDataOffset + rawDataSize
};

struct Located {
    ImageLayout layout;
    Failure failure;
};

// Walks the executable headers of a file of `fileSize` bytes whose first bytes are `head`.
Located locateStream(std::span<const uint8_t> head, uint64_t fileSize);

struct NarrowRecord {
    int32_t key;
    std::string value;  // the bytes as stored (ANSI code page text)
};

struct WideRecord {
    int32_t key;
    std::u16string value;  // an odd byte length leaves its last byte out of the text
};

struct Records {
    std::vector<NarrowRecord> narrow;  // in file order, a repeated key kept each time
    std::vector<WideRecord> wide;
    uint64_t end = 0;  // file offset behind the last wide record: where the included files begin
};

struct Parsed {
    Records records;  // complete only when the failure is ok()
    Failure failure;
};

// Reads magic, narrow records and wide records from `bytes`, which are the file's bytes from offset
// `start` on (all of them or only the first ones) in a file of `fileSize` bytes. A count of 0 or less
// means no records.
Parsed parseStream(std::span<const uint8_t> bytes, uint64_t start, uint64_t fileSize);

// Width of the size field in front of each included file.
inline constexpr uint32_t kIncludedFileSizeWidth = 8;

// The size field of an included file: 8 bytes, signed, little-endian; nothing when fewer are given.
std::optional<int64_t> parseIncludedFileSize(std::span<const uint8_t> bytes);

// The included files follow the last wide record: for each name in turn its size field and that many
// scrambled bytes (none for a size of 0 or less). Key 2003 lists the names, key 2002 says how many of
// them are there: the names are the list split at ';' with empty names dropped (";;" names nothing),
// at most `count` of them; none for a count of 0 or less.
std::vector<std::string> includedFileNames(std::string_view list, int64_t count);

struct IncludedFile {
    std::string name;
    int64_t size = 0;            // as stored; 0 or less: an entry without content
    uint64_t sizeOffset = 0;     // file offset of the size field
    uint64_t contentOffset = 0;  // behind the size field
};

struct IncludedWalk {
    std::vector<IncludedFile> files;  // every entry whose size field was read, in file order
    // Truncated in Field::IncludedFileSize when the size field of the next entry, names[files.size()],
    // is cut short (`available`: how many of its bytes there are). Content is not read, so content
    // that runs past the file's end is no failure here: it is one for whoever reads that content.
    Failure failure;
    uint64_t end = 0;  // behind the last entry's content (a content past the file's end counted in full)
};

// Reads the bytes at a file offset into `field`; answers how many it got: fewer at the file's end, none
// when the read fails or the offset lies behind the end.
using SizeFieldReader = std::function<size_t(uint64_t offset, std::span<uint8_t> field)>;

// Walks the entries of `names` from file offset `start` (the end of the records), reading only their
// size fields: a launcher of tens of MiB of included files is walked without reading them.
IncludedWalk walkIncludedFiles(const std::vector<std::string>& names, uint64_t start,
                               const SizeFieldReader& read);
// The same walk over a whole file in memory.
IncludedWalk walkIncludedFiles(const std::vector<std::string>& names, uint64_t start,
                               std::span<const uint8_t> file);

}  // namespace brolt::stream
