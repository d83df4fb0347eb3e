#include "files/tempdir.h"

#include <direct.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "config/config.h"
#include "config/keys.h"
#include "config/stream_format.h"
#include "config/messages.h"
#include "core/errors.h"
#include "core/limits.h"
#include "core/log.h"
#include "core/long_path.h"
#include "core/unique_resource.h"
#include "files/paths.h"

namespace {

using brolt::kTextBufferSize;

char extractionDirectory[kTextBufferSize];
uint32_t unextractedPosition = 0;

// An included file is copied in chunks of this size: small enough for the stack of any thread,
// large enough that the per-call cost of ReadFile and WriteFile stays small against the copying.
constexpr DWORD kCopyChunkSize = 8192;

constexpr const char* kTempFilePrefix = "brt";
constexpr const char* kWriteTestDirectory = "%s\\brt_w_testdir";
constexpr const char* kDriveRoot = "c:\\";
constexpr const char* kLastResortTempDir = "c:\\tmp";

// Internal error codes shown with message 1009.
constexpr const char* kCodeDirectoryNotCreated = "7";
constexpr const char* kCodeFileNotCreated = "11";

// Every byte of an included file is stored combined with the scrambling value; four at a time here,
// since this loop runs over every byte of every included file.
void unscramble(unsigned char* bytes, size_t count) {
    constexpr uint32_t kWordMask = 0x01010101u * brolt::stream::kScrambleValue;
    size_t i = 0;
    for (; i + sizeof(uint32_t) <= count; i += sizeof(uint32_t)) {
        uint32_t word;
        memcpy(&word, bytes + i, sizeof word);
        word ^= kWordMask;
        memcpy(bytes + i, &word, sizeof word);
    }
    for (; i < count; ++i)
        bytes[i] ^= brolt::stream::kScrambleValue;
}

// Writes the whole buffer, repeating the call for what a short write left over.
bool writeAll(HANDLE output, const unsigned char* bytes, DWORD count) {
    while (count > 0) {
        DWORD written = 0;
        // A call that reports success without writing anything would repeat for ever; it counts as failed.
        if (!WriteFile(output, bytes, count, &written, nullptr) || written == 0) {
            DWORD error = GetLastError();
            logError("WriteFile failed %d %d", static_cast<int>(count), static_cast<int>(error));
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

// The temporary locations after the system's own, each of which must pass the write test. Ends the
// process with message 1015 when none does.
void chooseWritableTempDir(char* output) {
    char windows[kTextBufferSize];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows)
        windows[0] = '\0';
    char windowsTemp[kTextBufferSize] = "";
    if (windows[0] != '\0')
        snprintf(windowsTemp, sizeof windowsTemp, "%s\\temp", windows);

    const char* const candidates[] = {windowsTemp, "c:\\temp", kLastResortTempDir, windows};
    for (const char* candidate : candidates) {
        if (candidate[0] != '\0' && isWritableDirectory(candidate)) {
            brolt::copyBounded(output, kTextBufferSize, candidate);
            return;
        }
    }
    // The drive root itself is never used; it only decides whether a directory may be made on it.
    if (isWritableDirectory(kDriveRoot)) {
        _mkdir(kLastResortTempDir);
        if (isWritableDirectory(kLastResortTempDir)) {
            brolt::copyBounded(output, kTextBufferSize, kLastResortTempDir);
            return;
        }
    }
    fatalMessage(brolt::keys::kMsgPowerUserRequired, nullptr);
}

// The system's temporary path, or empty when it cannot be had in full.
void getSystemTempPath(char* output) {
    DWORD length = GetTempPathA(kTextBufferSize, output);
    if (length == 0 || length >= kTextBufferSize)
        output[0] = '\0';
}

bool createTempFileIn(const char* directory, char* output) {
    if (GetTempFileNameA(directory, kTempFilePrefix, 0, output) != 0)
        return true;
    DWORD error = GetLastError();
    logError("GetTempFileNameA failed in %s: %d", directory, static_cast<int>(error));
    return false;
}

// The extraction proper, with the executable open and the directory buffer to fill.
int extractInto(HANDLE executable, int count, char* directory) {
    LARGE_INTEGER sectionStart{};
    sectionStart.QuadPart = getConfigurationEndPosition();
    if (!SetFilePointerEx(executable, sectionStart, nullptr, FILE_BEGIN)) {
        logError("SetFilePointerEx failed %d", static_cast<int>(GetLastError()));
        return 1;
    }

    // The system names a fresh file; its name plus a random suffix becomes the directory's name.
    if (!makeTempFileName(directory))
        fatalMessage(brolt::keys::kMsgInternalError, kCodeDirectoryNotCreated);
    DeleteFileA(directory);
    srand(static_cast<unsigned>(time(nullptr)));
    char suffix[32];
    snprintf(suffix, sizeof suffix, "_dir%d", rand());
    if (!brolt::appendBounded(directory, kTextBufferSize, suffix)) {
        logError("Temp dir name too long: %s", directory);
        fatalMessage(brolt::keys::kMsgInternalError, kCodeDirectoryNotCreated);
    }
    logInfo("Temp dir: %s", directory);
    if (!CreateDirectoryA(directory, nullptr))
        fatalMessage(brolt::keys::kMsgInternalError, kCodeDirectoryNotCreated);

    char names[kTextBufferSize];
    getStr(brolt::keys::kIncludedFileNames, names, sizeof names);
    std::string_view rest(names);
    int extracted = 0;
    while (extracted < count && !rest.empty()) {
        size_t separator = rest.find(';');
        std::string name(rest.substr(0, separator));
        rest = separator == std::string_view::npos ? std::string_view() : rest.substr(separator + 1);
        if (name.empty())
            continue;  // ";;" names nothing

        char target[kTextBufferSize];
        int length = snprintf(target, sizeof target, "%s\\%s", directory, name.c_str());
        // A cut name would write some other file; the extraction fails as a write would.
        int result = length >= 0 && static_cast<size_t>(length) < sizeof target ? 0 : 2;
        if (result != 0)
            logError("Path too long: %s\\%s", directory, name.c_str());
        if (result == 0)
            result = extractIncludedFile(executable, target);
        if (result != 0) {
            logError("Failed to extract %s", target);
            emptyDirectory(directory);
            RemoveDirectoryA(directory);
            return result;
        }
        ++extracted;
    }

    unextractedPosition = SetFilePointer(executable, 0, nullptr, FILE_CURRENT);
    return 0;
}

}  // namespace

char* getExtractionDirectory() {
    return extractionDirectory;
}

uint32_t getUnextractedPosition() {
    return unextractedPosition;
}

int extractIncludedFiles(char* directory) {
    logInfo("extracting files");
    int count = getInt(brolt::keys::kIncludedFileCount);
    logInfo("Included files: %d", count);
    directory[0] = '\0';
    unextractedPosition = 0;
    if (count <= 0)
        return 0;

    brolt::UniqueFile executable(openOwnExecutable());
    if (!executable) {
        logError("Could not open %s", getModulePath());
        return 1;
    }
    int result = extractInto(executable.get(), count, directory);
    if (result != 0)
        return result;
    executable.reset();
    logInfo("extracting files done");
    return 0;
}

int extractIncludedFile(HANDLE executable, const char* target) {
    int64_t size = 0;
    if (!readIncludedFileSize(executable, size)) {
        printf("error %d\n", static_cast<int>(GetLastError()));
        fflush(stdout);
        fatalError("Internal Error: readLong");
    }
    logInfo("extracting %s (size: %I64d)", target, size);
    if (size <= 0)
        return 0;

    brolt::UniqueFile output(
        CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output)
        fatalMessage(brolt::keys::kMsgInternalError, kCodeFileNotCreated);
    return copyScrambled(executable, output.get(), size);
}

int copyScrambled(HANDLE input, HANDLE output, int64_t size) {
    alignas(sizeof(uint32_t)) unsigned char chunk[kCopyChunkSize];
    int64_t done = 0;
    while (done < size) {
        DWORD wanted = size - done < kCopyChunkSize ? static_cast<DWORD>(size - done) : kCopyChunkSize;
        DWORD delivered = 0;
        if (!ReadFile(input, chunk, wanted, &delivered, nullptr) || delivered == 0) {
            DWORD error = GetLastError();
            logError("ReadFile failed %d %d %I64d", static_cast<int>(delivered), static_cast<int>(error),
                     done);
            return 1;
        }
        unscramble(chunk, delivered);
        if (!writeAll(output, chunk, delivered))
            return 2;
        done += delivered;
    }
    return 0;
}

void chooseTempDir(char* output) {
    char systemPath[kTextBufferSize];
    getSystemTempPath(systemPath);
    if (systemPath[0] != '\0') {
        // A "?" in the long form marks a name the ANSI code page cannot hold: the narrow file functions
        // could not reach it. When there is no long form (a path that does not exist, or one that
        // already came out of the conversion with "?" in it) the path itself is examined.
        char longForm[kTextBufferSize];
        DWORD length = getLongPathName(systemPath, longForm, sizeof longForm);
        const char* examined = length > 0 && length < sizeof longForm ? longForm : systemPath;
        if (strchr(examined, '?') == nullptr) {
            brolt::copyBounded(output, kTextBufferSize, systemPath);
            return;
        }
    }
    chooseWritableTempDir(output);
}

bool isWritableDirectory(const char* directory) {
    char testDirectory[kTextBufferSize];
    int length = snprintf(testDirectory, sizeof testDirectory, kWriteTestDirectory, directory);
    if (length < 0 || static_cast<size_t>(length) >= sizeof testDirectory)
        return false;
    // A leftover from an interrupted test goes first; one with content stays and fails the test.
    RemoveDirectoryA(testDirectory);
    if (!CreateDirectoryA(testDirectory, nullptr))
        return false;
    bool there = fileExists(testDirectory);
    RemoveDirectoryA(testDirectory);
    return there;
}

bool makeTempFileName(char* output) {
    char directory[kTextBufferSize];
    chooseTempDir(directory);
    if (createTempFileIn(directory, output))
        return true;
    // The system's temporary path is taken without a write test; when it turns out unusable, the
    // locations that must pass one are tried.
    chooseWritableTempDir(directory);
    if (createTempFileIn(directory, output))
        return true;
    output[0] = '\0';
    return false;
}

void makeProcessCommFileName(char* output, DWORD processId) {
    char systemPath[kTextBufferSize];
    getSystemTempPath(systemPath);
    snprintf(output, kTextBufferSize, "%sbrt_p%d.tmp", systemPath, static_cast<int>(processId));
}

void emptyDirectory(const char* directory) {
    if (directory[0] == '\0' || directory[0] == '.')
        return;
    logInfo("emptying %s", directory);
    std::string base = directory;
    if (base.back() != '\\')
        base += '\\';
    WIN32_FIND_DATAA entry;
    brolt::UniqueFind search(FindFirstFileA((base + "*.*").c_str(), &entry));
    if (!search)
        return;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
            continue;
        std::string path = base + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            logInfo("attempting to remove %s", path.c_str());
            RemoveDirectoryA(path.c_str());  // only an empty one goes
        } else {
            logInfo("attempting to delete %s", path.c_str());
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(search.get(), &entry));
}
