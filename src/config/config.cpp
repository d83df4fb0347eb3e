#include "config/config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "config/keys.h"
#include "config/stream_format.h"
#include "core/errors.h"
#include "core/limits.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "files/paths.h"

namespace {

std::map<int32_t, std::string> narrowValues;
std::map<int32_t, std::wstring> wideValues;
uint32_t configurationEndPosition = 0;
// The file the stream was read from; the included files behind it are read from the same file.
std::string configurationSource;

constexpr const char* kOpenFailure =
    "Error opening media file. Please move this file to an ascii-only path like c:\\";
constexpr const char* kMagicFailure = "Internal Error: magic";

HANDLE openForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool readExactly(HANDLE file, void* buffer, DWORD size) {
    DWORD delivered = 0;
    return ReadFile(file, buffer, size, &delivered, nullptr) && delivered == size;
}

// A number that cannot be read in full ends the process with the reader's own message.
template <typename T>
T readNumber(HANDLE file, const char* failure) {
    T value{};
    if (!readExactly(file, &value, sizeof value)) {
        printf("error %d\n", static_cast<int>(GetLastError()));
        fflush(stdout);
        fatalError(failure);
    }
    return value;
}

// Bytes left between the current position and the end of the file.
int64_t remainingBytes(HANDLE file) {
    LARGE_INTEGER size{};
    LARGE_INTEGER position{};
    LARGE_INTEGER zero{};
    if (!GetFileSizeEx(file, &size) || !SetFilePointerEx(file, zero, &position, FILE_CURRENT))
        return 0;
    return size.QuadPart - position.QuadPart;
}

// A record length must be neither negative nor longer than what is left of the file, so a
// damaged stream can never make us allocate gigabytes.
int32_t readLength(HANDLE file, const char* failure) {
    int32_t length = readInt(file);
    if (length < 0 || length > remainingBytes(file))
        fatalError(failure);
    return length;
}

bool seekTo(HANDLE file, int64_t offset) {
    LARGE_INTEGER target{};
    target.QuadPart = offset;
    return offset >= 0 && SetFilePointerEx(file, target, nullptr, FILE_BEGIN);
}

int32_t readIntAt(HANDLE file, int64_t offset) {
    if (!seekTo(file, offset))
        fatalError(kMagicFailure);
    return readInt(file);
}

int16_t readShortAt(HANDLE file, int64_t offset) {
    if (!seekTo(file, offset))
        fatalError(kMagicFailure);
    return readShort(file);
}

// Walks the executable headers to the end of the last section's raw data and checks the magic.
void seekConfigurationStream(HANDLE file) {
    namespace s = brolt::stream;
    int64_t peOffset = static_cast<uint32_t>(readIntAt(file, s::kPeOffsetField));
    int sections = readShortAt(file, peOffset + s::kSectionCountOffset);
    logInfo("number of sections: %d", sections);
    int optionalHeaderSize = readShortAt(file, peOffset + s::kOptionalHeaderSizeOffset);
    logInfo("size of optional headers: %d", optionalHeaderSize);
    int64_t lastSectionHeader = peOffset + s::kSectionTableOffset + optionalHeaderSize +
                                (sections - 1) * int64_t{s::kSectionHeaderSize};
    logInfo("resSectionTableStart: %d", static_cast<int>(lastSectionHeader));
    uint32_t rawDataSize = static_cast<uint32_t>(readIntAt(file, lastSectionHeader + s::kRawDataSizeOffset));
    uint32_t rawDataOffset =
        static_cast<uint32_t>(readIntAt(file, lastSectionHeader + s::kRawDataPointerOffset));
    logInfo("rawDataSize: %d, rawDataOffset: %d", static_cast<int>(rawDataSize),
            static_cast<int>(rawDataOffset));

    uint32_t magic = 0;
    if (!seekTo(file, int64_t{rawDataOffset} + rawDataSize) || !readExactly(file, &magic, sizeof magic) ||
        magic != s::kMagic) {
        fatalError(kMagicFailure);
    }
}

}  // namespace

HANDLE openOwnExecutable() {
    return openForReading(configurationSource.empty() ? getModulePath() : configurationSource.c_str());
}

void loadConfiguration() {
    loadConfigurationFrom(getModulePath());
}

void loadConfigurationFrom(const char* path) {
    narrowValues.clear();
    configurationSource = path;
    wideValues.clear();
    brolt::UniqueFile file(openForReading(path));
    if (!file || file.get() == nullptr) {
        file.release();
        logError("Could not open %s", path);
        fatalError(kOpenFailure);
    }
    seekConfigurationStream(file.get());

    int32_t count = readInt(file.get());
    for (int32_t i = 0; i < count; ++i) {
        int32_t key = readInt(file.get());
        char* value = readString(file.get());
        narrowValues[key] = value;
        delete[] value;
    }
    int32_t wideCount = readInt(file.get());
    for (int32_t i = 0; i < wideCount; ++i) {
        int32_t key = readInt(file.get());
        wchar_t* value = readWString(file.get());
        wideValues[key] = value;
        delete[] value;
    }
    configurationEndPosition = SetFilePointer(file.get(), 0, nullptr, FILE_CURRENT);
    file.reset();

    int executableType = getInt(brolt::keys::kExecutableType);
    if (executableType != 1 && executableType != 5)
        switchMessageBoxModeOff();
}

int64_t readLong(HANDLE file) {
    return readNumber<int64_t>(file, "Internal Error: readLong");
}

bool readIncludedFileSize(HANDLE file, int64_t& size) {
    return readExactly(file, &size, sizeof size);
}

int32_t readInt(HANDLE file) {
    return readNumber<int32_t>(file, "Internal Error: readInt");
}

int16_t readShort(HANDLE file) {
    return readNumber<int16_t>(file, "Internal Error: readShort");
}

char* readString(HANDLE file) {
    constexpr const char* failure = "Internal Error: readString";
    int32_t length = readLength(file, failure);
    char* text = new char[static_cast<size_t>(length) + 1];
    text[length] = '\0';
    if (length > 0 && !readExactly(file, text, static_cast<DWORD>(length)))
        fatalError(failure);
    return text;
}

wchar_t* readWString(HANDLE file) {
    constexpr const char* failure = "Internal Error: readWString";
    int32_t length = readLength(file, failure);
    size_t units = static_cast<size_t>(length) / 2;
    wchar_t* text = new wchar_t[units + 1]();
    // An odd byte length leaves its last byte unread into a unit of its own; the text ends before it.
    std::string bytes(static_cast<size_t>(length), '\0');
    if (length > 0 && !readExactly(file, bytes.data(), static_cast<DWORD>(length)))
        fatalError(failure);
    memcpy(text, bytes.data(), units * sizeof(wchar_t));
    text[units] = L'\0';
    return text;
}

void getStr(int32_t key, char* buffer, size_t size) {
    if (size == 0)
        return;
    auto found = narrowValues.find(key);
    brolt::copyBounded(buffer, size, found == narrowValues.end() ? "" : found->second.c_str());
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
    const char* piece = value;
    for (int i = 0; i < 3 && piece != nullptr; ++i) {
        parts[i] = atoi(piece);
        piece = strchr(piece, ',');
        if (piece != nullptr)
            ++piece;
    }
    return static_cast<uint32_t>(parts[0] % 256) | (static_cast<uint32_t>(parts[1] % 65536) << 8) |
           (static_cast<uint32_t>(parts[2] % 256) << 16);
}

uint32_t getConfigurationEndPosition() {
    return configurationEndPosition;
}
