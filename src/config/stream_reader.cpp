#include "config/stream_reader.h"

#include <algorithm>
#include <new>

#include "config/stream_format.h"
#include "core/split_list.h"

namespace brolt::stream {
namespace {

// Reads fields at file offsets from bytes that start at file offset `base` and may stop before the
// file does. Every read checks, in this order, that the field lies inside the file and inside the
// bytes given.
struct Cursor {
    std::span<const uint8_t> bytes;
    uint64_t base;
    uint64_t fileSize;
    Failure failure;

    // The field's bytes, or an empty span with `failure` set.
    std::span<const uint8_t> take(Field field, int64_t offset, uint64_t width) {
        if (offset < 0) {
            failure = {Fault::BeforeFileStart, field, 0, 0, offset};
            return {};
        }
        const auto at = static_cast<uint64_t>(offset);
        if (at > fileSize || width > fileSize - at) {
            failure = {Fault::Truncated, field, at, at < fileSize ? fileSize - at : 0};
            return {};
        }
        const uint64_t end = at + width - base;
        if (end > bytes.size()) {
            failure = {Fault::NeedMore, field, at};
            failure.needed = end;
            return {};
        }
        return bytes.subspan(static_cast<size_t>(at - base), static_cast<size_t>(width));
    }

    // A little-endian number of the field's width; false with `failure` set.
    bool number(Field field, int64_t offset, uint64_t& value) {
        const auto fieldBytes = take(field, offset, fieldWidth(field));
        if (fieldBytes.empty())
            return false;
        value = 0;
        for (size_t i = 0; i < fieldBytes.size(); ++i)
            value |= uint64_t{fieldBytes[i]} << (8 * i);
        return true;
    }

    // A length field and the text it announces; the text is empty with `failure` set on failure.
    bool counted(Field field, int32_t key, uint64_t& position, std::span<const uint8_t>& text) {
        uint64_t raw = 0;
        if (!number(field, static_cast<int64_t>(position), raw))
            return false;
        const auto length = static_cast<int32_t>(raw);
        const uint64_t lengthAt = position;
        position += fieldWidth(field);
        const uint64_t behind = position < fileSize ? fileSize - position : 0;
        if (length < 0 || static_cast<uint64_t>(length) > behind) {
            failure = {length < 0 ? Fault::NegativeLength : Fault::LengthPastEnd,
                       field,
                       lengthAt,
                       behind,
                       length,
                       key};
            return false;
        }
        if (length == 0) {
            text = {};
            return true;
        }
        text = take(field, static_cast<int64_t>(position), static_cast<uint64_t>(length));
        if (text.empty())
            return false;
        position += static_cast<uint64_t>(length);
        return true;
    }
};

}  // namespace

uint32_t fieldWidth(Field field) {
    switch (field) {
        case Field::SectionCount:
        case Field::OptionalHeaderSize:
            return 2;
        case Field::None:
            return 0;
        case Field::IncludedFileSize:
            return kIncludedFileSizeWidth;
        default:
            return 4;
    }
}

Located locateStream(std::span<const uint8_t> head, uint64_t fileSize) {
    Located located;
    ImageLayout& layout = located.layout;
    Cursor cursor{head, 0, std::max<uint64_t>(fileSize, head.size()), {}};
    uint64_t value = 0;
    // Each field's place follows from the ones before it; the walk stops at the first it cannot read.
    auto read = [&](Field field, int64_t offset) {
        if (cursor.number(field, offset, value))
            return true;
        located.failure = cursor.failure;
        return false;
    };

    if (!read(Field::PeOffset, kPeOffsetField))
        return located;
    layout.peOffset = static_cast<uint32_t>(value);
    const int64_t pe = layout.peOffset;
    if (!read(Field::SectionCount, pe + kSectionCountOffset))
        return located;
    layout.sectionCount = static_cast<int16_t>(value);
    if (!read(Field::OptionalHeaderSize, pe + kOptionalHeaderSizeOffset))
        return located;
    layout.optionalHeaderSize = static_cast<int16_t>(value);
    layout.lastSectionHeader = pe + kSectionTableOffset + layout.optionalHeaderSize +
                               (int64_t{layout.sectionCount} - 1) * kSectionHeaderSize;
    if (!read(Field::RawDataSize, layout.lastSectionHeader + kRawDataSizeOffset))
        return located;
    layout.rawDataSize = static_cast<uint32_t>(value);
    if (!read(Field::RawDataOffset, layout.lastSectionHeader + kRawDataPointerOffset))
        return located;
    layout.rawDataOffset = static_cast<uint32_t>(value);
    layout.streamStart = uint64_t{layout.rawDataOffset} + layout.rawDataSize;
    return located;
}

Parsed parseStream(std::span<const uint8_t> bytes, uint64_t start, uint64_t fileSize) {
    Parsed parsed;
    // The bytes given are the file's own: the file is at least as long as they reach.
    Cursor cursor{bytes, start, std::max<uint64_t>(fileSize, start + bytes.size()), {}};
    uint64_t position = start;
    uint64_t value = 0;
    auto next = [&](Field field) {
        if (!cursor.number(field, static_cast<int64_t>(position), value))
            return false;
        position += fieldWidth(field);
        return true;
    };
    // A count, then that many records of key, length and text, each handed to store. Every record
    // takes at least eight bytes, so the loop ends with the bytes whatever the count says.
    auto records = [&](Field count, Field key, Field length, auto store) {
        if (!next(count))
            return false;
        for (int32_t i = 0, n = static_cast<int32_t>(value); i < n; ++i) {
            std::span<const uint8_t> text;
            if (!next(key))
                return false;
            const auto recordKey = static_cast<int32_t>(value);
            if (!cursor.counted(length, recordKey, position, text))
                return false;
            try {
                store(recordKey, text);
            } catch (const std::bad_alloc&) {
                const uint32_t width = fieldWidth(length);
                cursor.failure = {Fault::OutOfMemory,
                                  length,
                                  position - text.size() - width,
                                  0,
                                  static_cast<int64_t>(text.size()),
                                  recordKey};
                return false;
            }
        }
        return true;
    };
    auto storeNarrow = [&](int32_t key, std::span<const uint8_t> text) {
        parsed.records.narrow.push_back({key, std::string(text.begin(), text.end())});
    };
    auto storeWide = [&](int32_t key, std::span<const uint8_t> text) {
        std::u16string wide(text.size() / 2, u'\0');
        for (size_t unit = 0; unit < wide.size(); ++unit)
            wide[unit] = static_cast<char16_t>(text[2 * unit] | text[2 * unit + 1] << 8);
        parsed.records.wide.push_back({key, std::move(wide)});
    };

    if (cursor.number(Field::Magic, static_cast<int64_t>(position), value) &&
        static_cast<uint32_t>(value) != kMagic) {
        cursor.failure = {Fault::BadMagic, Field::Magic, position};
    }
    if (cursor.failure.ok()) {
        position += fieldWidth(Field::Magic);
        if (records(Field::NarrowCount, Field::NarrowKey, Field::NarrowLength, storeNarrow) &&
            records(Field::WideCount, Field::WideKey, Field::WideLength, storeWide)) {
            parsed.records.end = position;
        }
    }
    parsed.failure = cursor.failure;
    return parsed;
}

std::optional<int64_t> parseIncludedFileSize(std::span<const uint8_t> bytes) {
    if (bytes.size() < kIncludedFileSizeWidth)
        return std::nullopt;
    uint64_t value = 0;
    for (uint32_t i = 0; i < kIncludedFileSizeWidth; ++i)
        value |= uint64_t{bytes[i]} << (8 * i);
    return static_cast<int64_t>(value);
}

std::vector<std::string> includedFileNames(std::string_view list, int64_t count) {
    std::vector<std::string> names;
    for (std::string_view name : splitList(list, ';', EmptyPieces::Skip)) {
        if (static_cast<int64_t>(names.size()) >= count)
            break;
        names.emplace_back(name);
    }
    return names;
}

IncludedWalk walkIncludedFiles(const std::vector<std::string>& names, uint64_t start,
                               const SizeFieldReader& read) {
    IncludedWalk walk;
    walk.end = start;
    for (const std::string& name : names) {
        uint8_t field[kIncludedFileSizeWidth];
        const size_t got = read(walk.end, field);
        const auto size = parseIncludedFileSize(std::span<const uint8_t>(field, std::min(got, sizeof field)));
        if (!size) {
            walk.failure = {Fault::Truncated, Field::IncludedFileSize, walk.end, got};
            return walk;
        }
        const uint64_t contentOffset = walk.end + kIncludedFileSizeWidth;
        walk.files.push_back({name, *size, walk.end, contentOffset});
        // A size past the file's end leaves the next field behind it, where nothing can be read: the
        // walk stops there before an offset could wrap around.
        walk.end = contentOffset + (*size > 0 ? static_cast<uint64_t>(*size) : 0);
    }
    return walk;
}

IncludedWalk walkIncludedFiles(const std::vector<std::string>& names, uint64_t start,
                               std::span<const uint8_t> file) {
    return walkIncludedFiles(names, start, [file](uint64_t offset, std::span<uint8_t> field) -> size_t {
        if (offset >= file.size())
            return 0;
        const auto there = file.subspan(static_cast<size_t>(offset));
        const size_t got = std::min(field.size(), there.size());
        std::copy_n(there.begin(), got, field.begin());
        return got;
    });
}

}  // namespace brolt::stream
