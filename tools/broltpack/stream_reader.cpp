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

// A cursor over the file that refuses to read past its end.
struct Cursor {
    std::span<const uint8_t> file;
    const std::string& name;
    uint64_t position;

    [[noreturn]] void fail(const std::string& what) const { throw PackError({name, 0, 0, what}); }

    uint64_t remaining() const { return position <= file.size() ? file.size() - position : 0; }

    uint64_t readUnsigned(int width, const char* what) {
        if (remaining() < static_cast<uint64_t>(width)) {
            fail(std::string("stream cut short: ") + what + " at offset " + std::to_string(position) +
                 " needs " + std::to_string(width) + " bytes, " + std::to_string(remaining()) + " left");
        }
        uint64_t value = 0;
        for (int i = 0; i < width; ++i)
            value |= static_cast<uint64_t>(file[position + i]) << (8 * i);
        position += width;
        return value;
    }

    int32_t readInt(const char* what) { return static_cast<int32_t>(readUnsigned(4, what)); }
    int64_t readLong(const char* what) { return static_cast<int64_t>(readUnsigned(8, what)); }

    // A length field and the bytes it announces, checked against what the file holds.
    std::span<const uint8_t> readCounted(int32_t key) {
        const uint64_t at = position;
        const int32_t length = readInt("record length");
        if (length < 0) {
            fail("record of key " + std::to_string(key) + " at offset " + std::to_string(at) +
                 " has a negative length (" + std::to_string(length) + ")");
        }
        if (static_cast<uint64_t>(length) > remaining()) {
            fail("record of key " + std::to_string(key) + " at offset " + std::to_string(at) + " claims " +
                 std::to_string(length) + " bytes, only " + std::to_string(remaining()) + " left");
        }
        auto bytes = file.subspan(position, static_cast<size_t>(length));
        position += static_cast<uint64_t>(length);
        return bytes;
    }
};

// What the launcher's atoi makes of key 2002: leading blanks, a sign, digits.
int64_t launcherInteger(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::vector<std::string> splitNames(const std::string& list) {
    std::vector<std::string> names;
    size_t begin = 0;
    while (begin <= list.size()) {
        const size_t end = std::min(list.find(';', begin), list.size());
        if (end > begin)
            names.push_back(list.substr(begin, end - begin));
        begin = end + 1;
    }
    return names;
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
    stream.start = locateStream(file, name).streamStart;

    Cursor cursor{file, name, stream.start};
    if (cursor.remaining() < 4 || cursor.readUnsigned(4, "magic") != stream::kMagic) {
        cursor.fail("no configuration stream: magic not found at offset " + std::to_string(stream.start));
    }

    // Each record takes at least eight bytes, so the loops end at the file's end whatever the count says.
    const int32_t narrowCount = cursor.readInt("narrow count");
    for (int32_t i = 0; i < narrowCount; ++i) {
        const int32_t key = cursor.readInt("narrow key");
        const auto bytes = cursor.readCounted(key);
        stream.narrow.push_back({key, std::string(bytes.begin(), bytes.end())});
    }
    const int32_t wideCount = cursor.readInt("wide count");
    for (int32_t i = 0; i < wideCount; ++i) {
        const int32_t key = cursor.readInt("wide key");
        const auto bytes = cursor.readCounted(key);
        std::u16string value;
        for (size_t k = 0; k + 1 < bytes.size(); k += 2)
            value += static_cast<char16_t>(bytes[k] | bytes[k + 1] << 8);
        stream.wide.push_back({key, std::move(value)});
    }
    stream.configurationEnd = cursor.position;

    const std::string* count = lastNarrowValue(stream, keys::kIncludedFileCount);
    const std::string* list = lastNarrowValue(stream, keys::kIncludedFileNames);
    const int64_t fileCount = count ? launcherInteger(*count) : 0;
    const std::vector<std::string> names = list ? splitNames(*list) : std::vector<std::string>{};
    for (size_t i = 0; static_cast<int64_t>(i) < fileCount && i < names.size(); ++i) {
        const uint64_t at = cursor.position;
        const int64_t size = cursor.readLong("included file size");
        if (size > 0 && static_cast<uint64_t>(size) > cursor.remaining()) {
            cursor.fail("included file " + cp1252ToUtf8(names[i]) + " at offset " + std::to_string(at) +
                        " claims " + std::to_string(size) + " bytes, only " +
                        std::to_string(cursor.remaining()) + " left");
        }
        stream.files.push_back({names[i], size, cursor.position});
        if (size > 0)
            cursor.position += static_cast<uint64_t>(size);
    }
    stream.end = cursor.position;

    if (cursor.remaining() >= sizeof stream::kEndMarker &&
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
