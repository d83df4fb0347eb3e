#include "config/config.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "config/keys.h"
#include "config/stream_reader.h"
#include "core/limits.h"
#include "core/log.h"
#include "core/split_list.h"
#include "core/unique_resource.h"

namespace {

using brolt::stream::Failure;
using brolt::stream::Fault;
using brolt::stream::Field;

std::map<int32_t, std::string> narrowValues;
std::map<int32_t, std::wstring> wideValues;
uint32_t configurationEndPosition = 0;

// The headers of any executable Windows loads lie in its first page, and a configuration stream is a
// few KiB: first reads of these sizes nearly always let the parse finish at once.
constexpr uint64_t kFirstHeaderRead = 4096;
constexpr uint64_t kFirstStreamRead = 64 * 1024;
// ReadFile takes a 32-bit size; reads are split so no request comes near it.
constexpr uint64_t kLargestRead = 1u << 30;

HANDLE openForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The file's bytes from `start` on, read only as far as a parse asks for: included files of tens of
// MiB follow the stream, and none of them is needed to read it.
struct FileWindow {
    HANDLE file;
    uint64_t start;
    uint64_t fileSize;
    std::vector<uint8_t> bytes;
    uint32_t systemError = 0;  // of a read that failed

    // Reads on until the window holds `wanted` bytes or the file ends. A failed read ends the file
    // where it stopped, so the parse reports the field it was in, as it would at the file's end.
    void growTo(uint64_t wanted) {
        const uint64_t inFile = fileSize > start ? fileSize - start : 0;
        wanted = std::min(wanted, inFile);
        if (wanted <= bytes.size())
            return;
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(start + bytes.size());
        if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
            endHere();
            return;
        }
        while (bytes.size() < wanted) {
            const size_t have = bytes.size();
            const auto chunk = static_cast<DWORD>(std::min(wanted - have, kLargestRead));
            try {
                bytes.resize(have + chunk);
            } catch (const std::bad_alloc&) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                endHere();
                return;
            }
            DWORD delivered = 0;
            const bool read = ReadFile(file, bytes.data() + have, chunk, &delivered, nullptr);
            bytes.resize(have + delivered);
            if (!read || delivered == 0) {
                endHere();
                return;
            }
        }
    }

    void endHere() {
        systemError = GetLastError();
        fileSize = start + bytes.size();
    }

    // Runs parse (bytes, file size) over a window grown until the parse no longer asks for more.
    template <typename Parse>
    auto parseGrowing(uint64_t firstRead, Parse parse) {
        growTo(firstRead);
        for (;;) {
            auto result = parse(std::span<const uint8_t>(bytes), fileSize);
            const Failure& failure = result.failure;
            if (failure.fault != Fault::NeedMore || failure.needed <= bytes.size())
                return result;
            growTo(std::max<uint64_t>(failure.needed, 2 * bytes.size()));
        }
    }
};

uint64_t sizeOf(HANDLE file) {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

// What each failure of the reader meant in the file-by-field reading the launcher has always done:
// the reader of the field that could not be read names the failure.
ConfigurationError errorFor(const Failure& failure) {
    switch (failure.fault) {
        case Fault::NegativeLength:
        case Fault::LengthPastEnd:
        case Fault::OutOfMemory:
            return failure.field == Field::WideLength ? ConfigurationError::ReadWString
                                                      : ConfigurationError::ReadString;
        case Fault::Truncated:
            if (failure.field == Field::SectionCount || failure.field == Field::OptionalHeaderSize)
                return ConfigurationError::ReadShort;
            return failure.field == Field::Magic ? ConfigurationError::Magic : ConfigurationError::ReadInt;
        default:  // a bad magic, or a section header placed before the file's start
            return ConfigurationError::Magic;
    }
}

// The header fields the walk got to, as the launcher logs them.
void logLayout(const brolt::stream::Located& located) {
    auto reached = [&](Field field) { return located.failure.ok() || located.failure.field > field; };
    const brolt::stream::ImageLayout& layout = located.layout;
    if (reached(Field::SectionCount))
        logInfo("number of sections: %d", layout.sectionCount);
    if (reached(Field::OptionalHeaderSize)) {
        logInfo("size of optional headers: %d", layout.optionalHeaderSize);
        logInfo("resSectionTableStart: %d", static_cast<int>(layout.lastSectionHeader));
    }
    if (reached(Field::RawDataOffset)) {
        logInfo("rawDataSize: %d, rawDataOffset: %d", static_cast<int>(layout.rawDataSize),
                static_cast<int>(layout.rawDataOffset));
    }
}

void storeRecords(brolt::stream::Records& records) {
    for (auto& record : records.narrow)
        narrowValues[record.key] = std::move(record.value);
    for (const auto& record : records.wide)
        wideValues[record.key] = std::wstring(record.value.begin(), record.value.end());
}

ConfigurationLoad failed(const Failure& failure, uint32_t systemError) {
    return {errorFor(failure), systemError != 0 ? systemError : static_cast<uint32_t>(GetLastError())};
}

}  // namespace

ConfigurationLoad loadConfiguration(const char* path) {
    narrowValues.clear();
    wideValues.clear();
    configurationEndPosition = 0;
    brolt::UniqueFile file(openForReading(path));
    if (!file || file.get() == nullptr) {
        file.release();
        logError("Could not open %s", path);
        return {ConfigurationError::Open, static_cast<uint32_t>(GetLastError())};
    }
    const uint64_t fileSize = sizeOf(file.get());

    FileWindow headers{file.get(), 0, fileSize, {}};
    const auto located =
        headers.parseGrowing(kFirstHeaderRead, [](std::span<const uint8_t> bytes, uint64_t size) {
            return brolt::stream::locateStream(bytes, size);
        });
    logLayout(located);
    if (!located.failure.ok())
        return failed(located.failure, headers.systemError);

    const uint64_t start = located.layout.streamStart;
    FileWindow stream{file.get(), start, fileSize, {}};
    auto parsed =
        stream.parseGrowing(kFirstStreamRead, [start](std::span<const uint8_t> bytes, uint64_t size) {
            return brolt::stream::parseStream(bytes, start, size);
        });
    std::vector<uint8_t>().swap(stream.bytes);  // the records hold their own copies
    // Records read before a failure stay: the message about it can then use the configured caption.
    storeRecords(parsed.records);
    if (!parsed.failure.ok())
        return failed(parsed.failure, stream.systemError);
    configurationEndPosition = static_cast<uint32_t>(parsed.records.end);
    return {};
}

const char* configurationErrorText(ConfigurationError error) {
    switch (error) {
        case ConfigurationError::None:
            return "";
        case ConfigurationError::Open:
            return "Error opening media file. Please move this file to an ascii-only path like c:\\";
        case ConfigurationError::Magic:
            return "Internal Error: magic";
        case ConfigurationError::ReadInt:
            return "Internal Error: readInt";
        case ConfigurationError::ReadShort:
            return "Internal Error: readShort";
        case ConfigurationError::ReadString:
            return "Internal Error: readString";
        case ConfigurationError::ReadWString:
            return "Internal Error: readWString";
    }
    return "";
}

void getStr(int32_t key, char* buffer, size_t size) {
    if (size == 0)
        return;
    auto found = narrowValues.find(key);
    brolt::copyBounded(buffer, size, found == narrowValues.end() ? "" : found->second.c_str());
}

std::string getText(int32_t key) {
    auto found = narrowValues.find(key);
    return found == narrowValues.end() ? std::string() : found->second;
}

int getInt(int32_t key) {
    char value[brolt::kTextBufferSize] = "";
    getStr(key, value, sizeof value);
    return atoi(value);
}

void getWStr(int32_t key, wchar_t* buffer, size_t units) {
    if (units == 0)
        return;
    auto found = wideValues.find(key);
    const std::wstring empty;
    const std::wstring& value = found == wideValues.end() ? empty : found->second;
    size_t length = value.size() < units - 1 ? value.size() : units - 1;
    wmemcpy(buffer, value.c_str(), length);
    buffer[length] = L'\0';
}

uint32_t getColor(int32_t key) {
    char value[brolt::kTextBufferSize];
    getStr(key, value, sizeof value);
    int parts[3] = {0, 0, 0};
    const auto pieces = brolt::splitList(value, ',', brolt::EmptyPieces::Keep);
    for (size_t i = 0; i < 3 && i < pieces.size(); ++i)
        parts[i] = atoi(std::string(pieces[i]).c_str());
    return static_cast<uint32_t>(parts[0] % 256) | (static_cast<uint32_t>(parts[1] % 65536) << 8) |
           (static_cast<uint32_t>(parts[2] % 256) << 16);
}

uint32_t getConfigurationEndPosition() {
    return configurationEndPosition;
}
