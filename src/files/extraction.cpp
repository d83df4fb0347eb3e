#include "files/extraction.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/stream_reader.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "files/file_names.h"
#include "files/tempdir.h"
#include "files/unscramble.h"

namespace {

using brolt::stream::IncludedFile;
using brolt::stream::IncludedWalk;

// Included files are copied in chunks of this size through one buffer allocated per extraction: at
// 1 MiB the per-call cost of ReadFile and WriteFile vanishes against the bytes moved (8 KiB chunks
// ran at half the speed of CopyFileA), while the buffer stays small beside any Java runtime.
constexpr DWORD kCopyChunkSize = 1u << 20;

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

bool seekTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    // An offset past what a signed 64-bit position holds lies behind any file's end.
    return offset <= static_cast<uint64_t>(INT64_MAX) &&
           SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
}

// The walk's reader of size fields: what the file holds at offset, nothing when it cannot be read.
size_t readAt(HANDLE file, uint64_t offset, std::span<uint8_t> field, DWORD& error) {
    DWORD delivered = 0;
    if (!seekTo(file, offset) ||
        !ReadFile(file, field.data(), static_cast<DWORD>(field.size()), &delivered, nullptr)) {
        error = GetLastError();
        return 0;
    }
    return delivered;
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

// A name from the stream is placed in the directory as it is: anything but a plain file name could
// reach another directory or a device.
bool isPlainName(const std::string& target, std::string_view name) {
    brolt::FileNameProblem problem = brolt::checkPlainFileName(name);
    if (problem == brolt::FileNameProblem::None)
        return true;
    logError("Refused file name \"%s\": it %s", target.c_str(), brolt::describeFileNameProblem(problem));
    return false;
}

// One entry, extracted as directory\name.
ExtractionFailure extractIncludedFile(HANDLE executable, const std::string& directory,
                                      const IncludedFile& entry, unsigned char* buffer) {
    std::string target = directory + "\\" + entry.name;
    if (!isPlainName(target, entry.name))
        return ExtractionFailure::FileNotCreated;
    logInfo("extracting %s (size: %I64d)", target.c_str(), entry.size);
    if (entry.size <= 0)
        return ExtractionFailure::None;

    brolt::UniqueFile output(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        logError("CreateFileA %s failed: %lu", target.c_str(), GetLastError());
        return ExtractionFailure::FileNotCreated;
    }
    if (!seekTo(executable, entry.contentOffset)) {
        logError("SetFilePointerEx failed: %lu", GetLastError());
        return ExtractionFailure::CopyFailed;
    }
    return copyScrambled(executable, output.get(), entry.size, buffer) ? ExtractionFailure::None
                                                                       : ExtractionFailure::CopyFailed;
}

// The entry whose size field is cut short: its name is refused first, as any entry's would be.
ExtractionFailure cutEntryFailure(const std::string& directory, const std::string& name, DWORD readError) {
    std::string target = directory + "\\" + name;
    if (!isPlainName(target, name))
        return ExtractionFailure::FileNotCreated;
    logError("Size of %s cannot be read: %lu", target.c_str(), readError);
    return ExtractionFailure::SizeUnreadable;
}

// The extraction proper, into a directory already created; the caller removes it on failure. The
// entries fail in file order: an entry before a cut size field fails before it.
ExtractionFailure extractInto(HANDLE executable, const IncludedWalk& walk,
                              const std::vector<std::string>& names, DWORD readError, ExtractedFiles& files) {
    auto buffer = std::make_unique<unsigned char[]>(kCopyChunkSize);
    for (size_t i = 0; i <= walk.files.size() && i < names.size(); ++i) {
        ExtractionFailure failure =
            i < walk.files.size()
                ? extractIncludedFile(executable, files.directory, walk.files[i], buffer.get())
                : cutEntryFailure(files.directory, names[i], readError);
        if (failure != ExtractionFailure::None) {
            logError("Failed to extract %s\\%s", files.directory.c_str(), names[i].c_str());
            return failure;
        }
    }
    files.unextractedPosition = static_cast<uint32_t>(walk.end);
    return ExtractionFailure::None;
}

}  // namespace

Extraction extractIncludedFiles(const IncludedFiles& included) {
    logInfo("extracting files");
    logInfo("Included files: %d", included.count);
    if (included.count <= 0)
        return {};

    brolt::UniqueFile executable(CreateFileA(included.executablePath.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!executable) {
        logError("CreateFileA of the launcher's own file failed: %lu", GetLastError());
        return {ExtractionFailure::CopyFailed, {}};
    }
    // Only the size fields are read here; the content is read as each entry is extracted.
    const std::vector<std::string> names = brolt::stream::includedFileNames(included.names, included.count);
    DWORD readError = 0;
    const IncludedWalk walk = brolt::stream::walkIncludedFiles(
        names, included.configurationEnd, [&](uint64_t offset, std::span<uint8_t> field) {
            return readAt(executable.get(), offset, field, readError);
        });

    Extraction extraction = createExtractionDirectory();
    if (extraction.failure != ExtractionFailure::None)
        return extraction;
    extraction.failure = extractInto(executable.get(), walk, names, readError, extraction.files);
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
