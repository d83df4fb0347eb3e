#include "stream_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "config/keys.h"
#include "config/stream_format.h"
#include "pack_error.h"
#include "pe_image.h"
#include "text_encoding.h"

namespace brolt::pack {
namespace {

using brolt::stream::Failure;
using brolt::stream::Fault;
using brolt::stream::Field;

[[noreturn]] void refuse(const std::string& name, const std::string& what) {
    throw PackError({name, 0, 0, what});
}

std::string cutShort(const char* what, uint64_t offset, uint64_t width, uint64_t left) {
    return std::string("stream cut short: ") + what + " at offset " + std::to_string(offset) + " needs " +
           std::to_string(width) + " bytes, " + std::to_string(left) + " left";
}

const char* fieldName(Field field) {
    switch (field) {
        case Field::NarrowCount:
            return "narrow count";
        case Field::NarrowKey:
            return "narrow key";
        case Field::WideCount:
            return "wide count";
        case Field::WideKey:
            return "wide key";
        default:
            return "record length";
    }
}

// What the reader's failure means to someone looking at the file.
std::string describe(const Failure& failure, uint64_t streamStart) {
    const std::string key = std::to_string(failure.key);
    const std::string offset = std::to_string(failure.offset);
    switch (failure.fault) {
        case Fault::Truncated:
            if (failure.field != Field::Magic) {
                return cutShort(fieldName(failure.field), failure.offset,
                                brolt::stream::fieldWidth(failure.field), failure.available);
            }
            [[fallthrough]];
        case Fault::BadMagic:
            return "no configuration stream: magic not found at offset " + std::to_string(streamStart);
        case Fault::NegativeLength:
            return "record of key " + key + " at offset " + offset + " has a negative length (" +
                   std::to_string(failure.claimed) + ")";
        case Fault::LengthPastEnd:
            return "record of key " + key + " at offset " + offset + " claims " +
                   std::to_string(failure.claimed) + " bytes, only " + std::to_string(failure.available) +
                   " left";
        case Fault::OutOfMemory:
            return "record of key " + key + " at offset " + offset + " claims " +
                   std::to_string(failure.claimed) + " bytes, more than memory holds";
        default:
            return "stream unreadable at offset " + offset;
    }
}

// What the launcher's atoi makes of key 2002: leading blanks, a sign, digits.
int64_t launcherInteger(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

const std::string* lastNarrowValue(const LauncherStream& stream, int32_t key) {
    const std::string* found = nullptr;
    for (const NarrowRecord& record : stream.narrow) {
        if (record.key == key)
            found = &record.value;
    }
    return found;
}

std::string quoted(const std::string& utf8) {
    std::string out = "\"";
    for (char ch : utf8) {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (ch == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string describeKey(int32_t key) {
    const std::string_view name = keys::keyName(key);
    return std::to_string(key) + " " + (name.empty() ? std::string("(unknown)") : std::string(name));
}

}  // namespace

LauncherStream readLauncherStream(std::span<const uint8_t> file, const std::string& name) {
    LauncherStream stream;
    stream.fileSize = file.size();
    stream.start = stubLayout(file, name).headers.streamStart;

    brolt::stream::Parsed parsed =
        brolt::stream::parseStream(file.subspan(stream.start), stream.start, file.size());
    if (!parsed.failure.ok())
        refuse(name, describe(parsed.failure, stream.start));
    stream.narrow = std::move(parsed.records.narrow);
    stream.wide = std::move(parsed.records.wide);
    stream.configurationEnd = parsed.records.end;

    const std::string* count = lastNarrowValue(stream, keys::kIncludedFileCount);
    const std::string* list = lastNarrowValue(stream, keys::kIncludedFileNames);
    const int64_t fileCount = count ? launcherInteger(*count) : 0;
    brolt::stream::IncludedWalk walk = brolt::stream::walkIncludedFiles(
        brolt::stream::includedFileNames(list ? *list : std::string(), fileCount), stream.configurationEnd,
        file);
    // In file order: a content running past the end comes before the size field behind it.
    for (const IncludedEntry& entry : walk.files) {
        const uint64_t left = file.size() - entry.contentOffset;
        if (entry.size > 0 && static_cast<uint64_t>(entry.size) > left) {
            refuse(name, "included file " + cp1252ToUtf8(entry.name) + " at offset " +
                             std::to_string(entry.sizeOffset) + " claims " + std::to_string(entry.size) +
                             " bytes, only " + std::to_string(left) + " left");
        }
    }
    if (!walk.failure.ok()) {
        refuse(name, cutShort("included file size", walk.failure.offset,
                              brolt::stream::kIncludedFileSizeWidth, walk.failure.available));
    }
    stream.files = std::move(walk.files);
    stream.end = walk.end;

    if (file.size() - stream.end >= sizeof stream::kEndMarker &&
        std::equal(std::begin(stream::kEndMarker), std::end(stream::kEndMarker), file.begin() + stream.end)) {
        stream.endMarker = stream.end;
    }
    return stream;
}

std::vector<uint8_t> includedFileContent(std::span<const uint8_t> file, const IncludedEntry& entry) {
    std::vector<uint8_t> content;
    if (entry.size <= 0)
        return content;
    const auto bytes = file.subspan(entry.contentOffset, static_cast<size_t>(entry.size));
    content.reserve(bytes.size());
    for (uint8_t byte : bytes)
        content.push_back(byte ^ stream::kScrambleValue);
    return content;
}

void printLauncherStream(const LauncherStream& stream, std::ostream& out) {
    out << "stream at offset " << stream.start << "\n";
    out << "narrow records: " << stream.narrow.size() << "\n";
    for (const NarrowRecord& record : stream.narrow) {
        out << "  " << describeKey(record.key) << " = " << quoted(cp1252ToUtf8(record.value)) << "\n";
    }
    out << "wide records: " << stream.wide.size() << "\n";
    for (const WideRecord& record : stream.wide) {
        out << "  " << describeKey(record.key) << " = " << quoted(utf16ToUtf8(record.value)) << "\n";
    }
    out << "included files: " << stream.files.size() << "\n";
    for (const IncludedEntry& entry : stream.files) {
        out << "  " << quoted(cp1252ToUtf8(entry.name)) << " " << entry.size << " bytes at offset "
            << entry.contentOffset << "\n";
    }
    if (stream.endMarker) {
        out << "end marker at offset " << *stream.endMarker << "\n";
    } else {
        out << "end marker missing at offset " << stream.end << "\n";
    }
    out << "file size " << stream.fileSize << "\n";
}

}  // namespace brolt::pack
