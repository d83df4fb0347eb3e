#include "files/tempdir.h"

#include <direct.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "config/config.h"
#include "config/keys.h"
#include "core/limits.h"
#include "core/log.h"
#include "core/long_path.h"
#include "core/unique_resource.h"
#include "files/file_names.h"
#include "files/paths.h"
#include "files/unscramble.h"

namespace {

using brolt::kTextBufferSize;

// Included files are copied in chunks of this size through one buffer allocated per extraction: at
// 1 MiB the per-call cost of ReadFile and WriteFile vanishes against the bytes moved (8 KiB chunks
// ran at half the speed of CopyFileA), while the buffer stays small beside any Java runtime.
constexpr DWORD kCopyChunkSize = 1u << 20;

constexpr const char* kTempFilePrefix = "brt";
constexpr const char* kWriteTestDirectory = "%s\\brt_w_testdir";
constexpr const char* kDriveRoot = "c:\\";
constexpr const char* kLastResortTempDir = "c:\\tmp";
// Names tried for the extraction directory before giving up: only a leftover of an earlier run with
// the same temporary file name and number can be in the way, so a second try nearly always succeeds.
constexpr int kDirectoryNameAttempts = 16;

// Errors that only say "there is nothing by that name": an answer to a probe, not a failure.
bool isNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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

// Copies size bytes from input to output through buffer (kCopyChunkSize bytes), unscrambling them.
bool copyScrambled(HANDLE input, HANDLE output, int64_t size, unsigned char* buffer) {
    int64_t done = 0;
    while (done < size) {
        DWORD wanted = size - done < kCopyChunkSize ? static_cast<DWORD>(size - done) : kCopyChunkSize;
        DWORD delivered = 0;
        if (!ReadFile(input, buffer, wanted, &delivered, nullptr) || delivered == 0) {
            DWORD error = GetLastError();
            logError("ReadFile failed %d %d %I64d", static_cast<int>(delivered), static_cast<int>(error),
                     done);
            return false;
        }
        brolt::unscramble(buffer, delivered);
        if (!writeAll(output, buffer, delivered))
            return false;
        done += delivered;
    }
    return true;
}

bool removeDirectory(const char* directory) {
    if (RemoveDirectoryA(directory))
        return true;
    logError("RemoveDirectoryA %s failed: %lu", directory, GetLastError());
    return false;
}

bool createDirectory(const char* directory) {
    if (CreateDirectoryA(directory, nullptr))
        return true;
    logError("CreateDirectoryA %s failed: %lu", directory, GetLastError());
    return false;
}

// The temporary locations after the system's own, each of which must pass the write test.
std::optional<std::string> chooseWritableTempDir() {
    char windows[kTextBufferSize];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) {
        logError("GetWindowsDirectoryA failed: %lu (length %u)", GetLastError(), length);
        windows[0] = '\0';
    }
    std::string windowsTemp = windows[0] != '\0' ? std::string(windows) + "\\temp" : std::string();

    const std::string candidates[] = {windowsTemp, "c:\\temp", kLastResortTempDir, windows};
    for (const std::string& candidate : candidates) {
        if (!candidate.empty() && isWritableDirectory(candidate.c_str()))
            return candidate;
    }
    // The drive root itself is never used; it only decides whether a directory may be made on it.
    if (isWritableDirectory(kDriveRoot)) {
        if (_mkdir(kLastResortTempDir) != 0)
            logError("_mkdir %s failed: %d", kLastResortTempDir, errno);
        if (isWritableDirectory(kLastResortTempDir))
            return std::string(kLastResortTempDir);
    }
    return std::nullopt;
}

// The system's temporary path, or empty when it cannot be had in full.
std::string getSystemTempPath() {
    char path[kTextBufferSize];
    DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length >= sizeof path) {
        logError("GetTempPathA failed: %lu (length %lu)", GetLastError(), length);
        return std::string();
    }
    return path;
}

std::optional<std::string> createTempFileIn(const std::string& directory) {
    char name[MAX_PATH];  // what GetTempFileNameA writes at most
    if (GetTempFileNameA(directory.c_str(), kTempFilePrefix, 0, name) != 0)
        return std::string(name);
    logError("GetTempFileNameA %s failed: %lu", directory.c_str(), GetLastError());
    return std::nullopt;
}

ExtractionFailure toExtractionFailure(TempFileFailure failure) {
    return failure == TempFileFailure::NoWritableLocation ? ExtractionFailure::NoWritableTempLocation
                                                          : ExtractionFailure::DirectoryNotCreated;
}

// A fresh directory named after a fresh temporary file: <temp>\brtXXXX.tmp_dir<number>. The file keeps
// its name reserved until the directory exists, so two launchers starting in the same second (which
// draw the same number) can never be handed the same name; a name left over from an earlier run is
// skipped for the next number.
Extraction createExtractionDirectory() {
    TempFile tempFile = makeTempFileName();
    if (tempFile.failure != TempFileFailure::None)
        return {toExtractionFailure(tempFile.failure), {}};
    auto releaseName = brolt::ScopeExit([&] {
        if (!DeleteFileA(tempFile.name.c_str()))
            logError("DeleteFileA %s failed: %lu", tempFile.name.c_str(), GetLastError());
    });
    srand(static_cast<unsigned>(time(nullptr)));
    for (int attempt = 0; attempt < kDirectoryNameAttempts; ++attempt) {
        std::string directory = tempFile.name + "_dir" + std::to_string(rand());
        logInfo("Temp dir: %s", directory.c_str());
        if (CreateDirectoryA(directory.c_str(), nullptr))
            return {ExtractionFailure::None, {directory, 0}};
        DWORD error = GetLastError();
        logError("CreateDirectoryA %s failed: %lu", directory.c_str(), error);
        if (error != ERROR_ALREADY_EXISTS)
            break;
    }
    return {ExtractionFailure::DirectoryNotCreated, {}};
}

// One entry at the executable's file pointer, extracted as directory\name.
ExtractionFailure extractIncludedFile(HANDLE executable, const std::string& directory, std::string_view name,
                                      unsigned char* buffer) {
    std::string target = directory + "\\" + std::string(name);
    // A name from the stream is placed in the directory as it is: anything but a plain file name
    // could reach another directory or a device.
    if (brolt::FileNameProblem problem = brolt::checkPlainFileName(name);
        problem != brolt::FileNameProblem::None) {
        logError("Refused file name \"%s\": it %s", target.c_str(), brolt::describeFileNameProblem(problem));
        return ExtractionFailure::FileNotCreated;
    }
    int64_t size = 0;
    if (!readIncludedFileSize(executable, size)) {
        logError("Size of %s cannot be read: %lu", target.c_str(), GetLastError());
        return ExtractionFailure::SizeUnreadable;
    }
    logInfo("extracting %s (size: %I64d)", target.c_str(), size);
    if (size <= 0)
        return ExtractionFailure::None;

    brolt::UniqueFile output(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        logError("CreateFileA %s failed: %lu", target.c_str(), GetLastError());
        return ExtractionFailure::FileNotCreated;
    }
    return copyScrambled(executable, output.get(), size, buffer) ? ExtractionFailure::None
                                                                 : ExtractionFailure::CopyFailed;
}

// The extraction proper, into a directory already created; the caller removes it on failure.
ExtractionFailure extractInto(HANDLE executable, int count, ExtractedFiles& files) {
    auto buffer = std::make_unique<unsigned char[]>(kCopyChunkSize);
    char names[kTextBufferSize];
    getStr(brolt::keys::kIncludedFileNames, names, sizeof names);
    std::string_view rest(names);
    int extracted = 0;
    while (extracted < count && !rest.empty()) {
        size_t separator = rest.find(';');
        std::string_view name = rest.substr(0, separator);
        rest = separator == std::string_view::npos ? std::string_view() : rest.substr(separator + 1);
        if (name.empty())
            continue;  // ";;" names nothing

        ExtractionFailure failure = extractIncludedFile(executable, files.directory, name, buffer.get());
        if (failure != ExtractionFailure::None) {
            logError("Failed to extract %s\\%.*s", files.directory.c_str(), static_cast<int>(name.size()),
                     name.data());
            return failure;
        }
        ++extracted;
    }

    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(executable, zero, &position, FILE_CURRENT)) {
        logError("SetFilePointerEx failed: %lu", GetLastError());
        return ExtractionFailure::CopyFailed;
    }
    files.unextractedPosition = static_cast<uint32_t>(position.QuadPart);
    return ExtractionFailure::None;
}

}  // namespace

Extraction extractIncludedFiles() {
    logInfo("extracting files");
    int count = getInt(brolt::keys::kIncludedFileCount);
    logInfo("Included files: %d", count);
    if (count <= 0)
        return {};

    brolt::UniqueFile executable(openOwnExecutable());
    if (!executable) {
        logError("CreateFileA of the launcher's own file failed: %lu", GetLastError());
        return {ExtractionFailure::CopyFailed, {}};
    }
    LARGE_INTEGER sectionStart{};
    sectionStart.QuadPart = getConfigurationEndPosition();
    if (!SetFilePointerEx(executable.get(), sectionStart, nullptr, FILE_BEGIN)) {
        logError("SetFilePointerEx failed: %lu", GetLastError());
        return {ExtractionFailure::CopyFailed, {}};
    }

    Extraction extraction = createExtractionDirectory();
    if (extraction.failure != ExtractionFailure::None)
        return extraction;
    extraction.failure = extractInto(executable.get(), count, extraction.files);
    if (extraction.failure != ExtractionFailure::None) {
        // Nothing of a failed extraction stays behind: the directory holds only what it wrote.
        emptyDirectory(extraction.files.directory.c_str());
        removeDirectory(extraction.files.directory.c_str());
        extraction.files = {};
        return extraction;
    }
    logInfo("extracting files done");
    return extraction;
}

std::optional<std::string> chooseTempDir() {
    std::string systemPath = getSystemTempPath();
    if (!systemPath.empty()) {
        // A "?" in the long form marks a name the ANSI code page cannot hold: the narrow file functions
        // could not reach it. When there is no long form (a path that does not exist, or one that
        // already came out of the conversion with "?" in it) the path itself is examined.
        char longForm[kTextBufferSize];
        DWORD length = getLongPathName(systemPath.c_str(), longForm, sizeof longForm);
        // Assigned apart: a conditional between the buffer and the string would make a temporary string,
        // gone before the view is read.
        std::string_view examined = systemPath;
        if (length > 0 && length < sizeof longForm)
            examined = longForm;
        if (examined.find('?') == std::string_view::npos)
            return systemPath;
    }
    return chooseWritableTempDir();
}

bool isWritableDirectory(const char* directory) {
    char testDirectory[kTextBufferSize];
    int length = snprintf(testDirectory, sizeof testDirectory, kWriteTestDirectory, directory);
    if (length < 0 || static_cast<size_t>(length) >= sizeof testDirectory)
        return false;
    // A leftover from an interrupted test goes first; one with content stays and fails the test.
    if (!RemoveDirectoryA(testDirectory)) {
        DWORD error = GetLastError();
        if (!isNotFound(error))
            logError("RemoveDirectoryA %s failed: %lu", testDirectory, error);
    }
    if (!createDirectory(testDirectory))
        return false;
    bool there = fileExists(testDirectory);
    removeDirectory(testDirectory);
    return there;
}

TempFile makeTempFileName() {
    std::optional<std::string> directory = chooseTempDir();
    if (!directory)
        return {TempFileFailure::NoWritableLocation, {}};
    if (std::optional<std::string> name = createTempFileIn(*directory))
        return {TempFileFailure::None, *name};
    // The system's temporary path is taken without a write test; when it turns out unusable, the
    // locations that must pass one are tried.
    directory = chooseWritableTempDir();
    if (!directory)
        return {TempFileFailure::NoWritableLocation, {}};
    if (std::optional<std::string> name = createTempFileIn(*directory))
        return {TempFileFailure::None, *name};
    return {TempFileFailure::NotCreated, {}};
}

void makeProcessCommFileName(char* output, DWORD processId) {
    snprintf(output, kTextBufferSize, "%sbrt_p%d.tmp", getSystemTempPath().c_str(),
             static_cast<int>(processId));
}

void emptyDirectory(const char* directory) {
    if (directory[0] == '\0' || directory[0] == '.')
        return;
    logInfo("emptying %s", directory);
    std::string base = directory;
    if (base.back() != '\\')
        base += '\\';
    WIN32_FIND_DATAA entry;
    std::string pattern = base + "*.*";
    brolt::UniqueFind search(FindFirstFileA(pattern.c_str(), &entry));
    if (!search) {
        DWORD error = GetLastError();
        if (!isNotFound(error))
            logError("FindFirstFileA %s failed: %lu", pattern.c_str(), error);
        return;
    }
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
            continue;
        std::string path = base + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            logInfo("attempting to remove %s", path.c_str());
            removeDirectory(path.c_str());  // only an empty one goes
        } else {
            logInfo("attempting to delete %s", path.c_str());
            if (!DeleteFileA(path.c_str()))
                logError("DeleteFileA %s failed: %lu", path.c_str(), GetLastError());
        }
    } while (FindNextFileA(search.get(), &entry));
    if (DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
        logError("FindNextFileA %s failed: %lu", pattern.c_str(), error);
}
