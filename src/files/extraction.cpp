#include "files/extraction.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/stream_reader.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "files/file_locations.h"
#include "files/file_names.h"
#include "files/stable_extraction_rules.h"
#include "files/stale_extractions.h"
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
    TempFile tempFile = makeTempFileIn(brolt::currentFileLocations().freshExtractions);
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
        // Protected as a stable folder is: in a temporary folder every user may add to, a folder made
        // there would let them add to it and change what they added.
        if (brolt::createProtectedDirectory(directory))
            return {ExtractionFailure::None, {directory, 0, false, {}}};
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

// The names of the files an extraction put in its folder, in the configuration's order: an empty
// included file makes none.
std::vector<std::string> extractedNames(const IncludedWalk& walk) {
    std::vector<std::string> names;
    for (const IncludedFile& entry : walk.files) {
        if (entry.size > 0)
            names.push_back(entry.name);
    }
    return names;
}

// The extraction proper, into a directory already created; the caller removes it on failure. The
// entries fail in file order: an entry before a cut size field fails before it.
ExtractionFailure extractInto(HANDLE executable, const IncludedWalk& walk,
                              const std::vector<std::string>& names, DWORD readError, ExtractedFiles& files) {
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kCopyChunkSize);
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
    files.names = extractedNames(walk);
    return ExtractionFailure::None;
}

// The launcher's file, open for reading, with its entries' names and sizes; the file is empty when it
// could not be opened.
struct LauncherEntries {
    brolt::UniqueFile executable;
    std::vector<std::string> names;
    IncludedWalk walk;
    DWORD readError = 0;  // why the size field after the last entry walked could not be read
};

LauncherEntries readLauncherEntries(const IncludedFiles& included) {
    LauncherEntries launcher;
    launcher.executable.reset(CreateFileA(included.executablePath.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!launcher.executable) {
        logError("CreateFileA of the launcher's own file failed: %lu", GetLastError());
        return launcher;
    }
    // Only the size fields are read here; the content is read as each entry is extracted.
    launcher.names = brolt::stream::includedFileNames(included.names, included.count);
    launcher.walk = brolt::stream::walkIncludedFiles(
        launcher.names, included.configurationEnd, [&](uint64_t offset, std::span<uint8_t> field) {
            return readAt(launcher.executable.get(), offset, field, launcher.readError);
        });
    return launcher;
}

Extraction extractFresh(const LauncherEntries& launcher) {
    Extraction extraction = createExtractionDirectory();
    if (extraction.failure != ExtractionFailure::None)
        return extraction;
    extraction.failure = extractInto(launcher.executable.get(), launcher.walk, launcher.names,
                                     launcher.readError, extraction.files);
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

// Has write fill a new file beside target, then puts it in target's place in one step: target is
// either as it was or whole. A target held by a process that does not share its deletion (a VM that
// has a jar open) stays as it is, and the answer is false.
bool replaceFile(const std::string& target, const std::function<bool(HANDLE)>& write) {
    std::string part = target + std::string(brolt::kPartSuffix);
    {
        brolt::UniqueFile output(CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output) {
            logError("CreateFileA %s failed: %lu", part.c_str(), GetLastError());
            return false;
        }
        if (!write(output.get())) {
            output.reset();
            DeleteFileA(part.c_str());
            return false;
        }
    }
    // A reader of the marker holds it a moment; past the wait the target is taken as held for good.
    DWORD start = GetTickCount();
    while (!MoveFileExA(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
        if (!held || GetTickCount() - start >= brolt::kReleaseWaitMilliseconds) {
            logError("MoveFileExA %s failed: %lu", target.c_str(), error);
            DeleteFileA(part.c_str());
            return false;
        }
        Sleep(brolt::kReleaseRetryMilliseconds);
    }
    return true;
}

bool replaceText(const std::string& target, const std::string& text) {
    return replaceFile(target, [&](HANDLE output) {
        return writeAll(output, reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<DWORD>(text.size()));
    });
}

// The folder's lock: a file no other process may open while it is held, gone when it is closed. Tried
// again while another start holds it, for kStableFolderLockWaitMilliseconds.
brolt::UniqueFile lockFolder(const std::string& folder) {
    std::string path = brolt::childOf(folder, brolt::kLockName);
    DWORD start = GetTickCount();
    for (;;) {
        brolt::UniqueFile lock(CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (lock)
            return lock;
        DWORD error = GetLastError();
        bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
        if (!held || GetTickCount() - start >= kStableFolderLockWaitMilliseconds) {
            logError("lock %s not had: %lu", path.c_str(), error);
            return lock;
        }
        Sleep(brolt::kReleaseRetryMilliseconds);
    }
}

// The plain files directly in folder, by name.
std::vector<std::string> plainFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    brolt::UniqueFind search(FindFirstFileA(brolt::childOf(folder, "*").c_str(), &entry));
    if (!search)
        return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(entry.cFileName);
    } while (FindNextFileA(search.get(), &entry));
    return names;
}

// The processes the folder's marker names that may still run, self left out, the earliest dropped so
// that self fits among the most the marker keeps.
std::vector<brolt::FolderUser> otherUsers(const std::string& folder, const brolt::ExtractionOwner& self) {
    std::vector<brolt::FolderUser> users;
    std::optional<std::string> text =
        brolt::readSmallFile(brolt::childOf(folder, brolt::kExtractionMarkerName));
    std::optional<brolt::StableMarker> marker = text ? brolt::parseStableMarker(*text) : std::nullopt;
    if (!marker)
        return users;
    for (const brolt::FolderUser& user : marker->users) {
        bool isSelf = user.processId == self.processId && user.creationTime == self.creationTime;
        if (!isSelf && brolt::processState(user.processId, user.creationTime) != brolt::OwnerState::Gone)
            users.push_back(user);
    }
    if (users.size() >= brolt::kMaxFolderUsers)
        users.erase(users.begin(), users.end() - (brolt::kMaxFolderUsers - 1));
    return users;
}

// The check and the writing, with the folder's lock held.
bool refreshStableFolder(const LauncherEntries& launcher, const std::string& folder,
                         const brolt::LauncherIdentity& identity, const brolt::ExtractionOwner& self) {
    std::vector<brolt::FolderUser> users = otherUsers(folder, self);
    const bool othersUseTheFolder = !users.empty();
    users.push_back({self.processId, self.creationTime});
    // The marker first: a folder cut short by a crash is one the sweep can judge.
    if (!replaceText(brolt::childOf(folder, brolt::kExtractionMarkerName),
                     brolt::formatStableMarker({identity, users})))
        return false;

    std::vector<brolt::WantedFile> wanted;
    std::vector<std::optional<brolt::FileStamp>> onDisk;
    for (const IncludedFile& entry : launcher.walk.files) {
        wanted.push_back({entry.name, entry.size});
        onDisk.push_back(brolt::fileStampOf(brolt::childOf(folder, entry.name)));
    }
    std::optional<std::string> manifestText =
        brolt::readSmallFile(brolt::childOf(folder, brolt::kManifestName));
    std::optional<std::vector<brolt::ManifestEntry>> manifest =
        manifestText ? brolt::parseManifest(*manifestText) : std::nullopt;

    for (const std::string& name : brolt::filesToRemove(plainFilesIn(folder), wanted, othersUseTheFolder)) {
        std::string path = brolt::childOf(folder, name);
        logInfo("removing %s: not included", path.c_str());
        if (!DeleteFileA(path.c_str()))
            logError("DeleteFileA %s failed: %lu", path.c_str(), GetLastError());
    }
    std::vector<size_t> rewrite =
        brolt::filesToRewrite(wanted, manifest.value_or(std::vector<brolt::ManifestEntry>{}), onDisk);
    logInfo("reusing %s: %d of %d files to write", folder.c_str(), static_cast<int>(rewrite.size()),
            static_cast<int>(wanted.size()));
    // Only a start with something to write pays for the copy buffer: a megabyte of fresh pages costs
    // more than the rest of a reuse.
    std::unique_ptr<unsigned char[]> buffer;
    if (!rewrite.empty())
        buffer = std::make_unique_for_overwrite<unsigned char[]>(kCopyChunkSize);
    for (size_t i : rewrite) {
        const IncludedFile& entry = launcher.walk.files[i];
        std::string target = brolt::childOf(folder, entry.name);
        logInfo("extracting %s (size: %I64d)", target.c_str(), entry.size);
        bool written = replaceFile(target, [&](HANDLE output) {
            if (!seekTo(launcher.executable.get(), entry.contentOffset)) {
                logError("SetFilePointerEx failed: %lu", GetLastError());
                return false;
            }
            return copyScrambled(launcher.executable.get(), output, entry.size, buffer.get());
        });
        if (!written)
            return false;
    }

    // What the folder holds now, as the next start will compare it.
    std::vector<brolt::ManifestEntry> entries;
    for (const brolt::WantedFile& file : wanted) {
        if (file.size <= 0)
            continue;
        std::optional<brolt::FileStamp> stamp = brolt::fileStampOf(brolt::childOf(folder, file.name));
        if (!stamp)
            return false;
        entries.push_back({file.name, *stamp});
    }
    // Without a manifest the next start writes every file again: slower, never wrong. One that says
    // what the folder holds already stays as it is.
    std::string newManifest = brolt::formatManifest(entries);
    if (manifestText && *manifestText == newManifest)
        return true;
    if (!replaceText(brolt::childOf(folder, brolt::kManifestName), newManifest))
        logError("manifest of %s not written", folder.c_str());
    return true;
}

// The stable folder made or reused, under its lock; a folder this start made and could not fill goes.
bool useStableFolder(const LauncherEntries& launcher, const std::string& folder,
                     const brolt::LauncherIdentity& identity, const brolt::ExtractionOwner& self) {
    logInfo("Temp dir: %s", folder.c_str());
    // Its name can be guessed: a folder of that name that is a link, another user's, or one others may
    // write is never run from.
    brolt::ProtectedFolder protectedFolder = brolt::makeProtectedFolder(folder);
    if (!protectedFolder.usable) {
        logError("%s not used: %s", folder.c_str(), protectedFolder.why.c_str());
        return false;
    }
    const bool made = protectedFolder.made;
    bool filled = false;
    {
        brolt::UniqueFile lock = lockFolder(folder);
        filled = lock && refreshStableFolder(launcher, folder, identity, self);
    }
    if (!filled && made && !brolt::removeExtraction(folder))
        logError("stable extraction folder %s left for the sweep", folder.c_str());
    return filled;
}

// The place of stable folders, made protected when missing; one that is a link, another user's or one
// others may write holds no stable folder of ours.
bool placeIsOurs(const std::string& place) {
    brolt::ProtectedFolder folder = brolt::makeProtectedFolder(place);
    if (!folder.usable)
        logError("%s holds no stable folder: %s", place.c_str(), folder.why.c_str());
    return folder.usable;
}

// The launcher's entries read, then extracted to a fresh directory, or to the stable folder when self is
// given and the folder can be had.
Extraction extractIncluded(const IncludedFiles& included, const brolt::ExtractionOwner* self) {
    logInfo("extracting files");
    logInfo("Included files: %d", included.count);
    if (included.count <= 0)
        return {};
    LauncherEntries launcher = readLauncherEntries(included);
    if (!launcher.executable)
        return {ExtractionFailure::CopyFailed, {}};
    if (self == nullptr)
        return extractFresh(launcher);
    // Entries that cannot be read or named are the fresh extraction's failure, told as it tells it.
    bool readable = launcher.walk.files.size() == launcher.names.size();
    for (const IncludedFile& entry : launcher.walk.files)
        readable = readable && brolt::checkPlainFileName(entry.name) == brolt::FileNameProblem::None;
    const std::optional<std::string>& place = brolt::currentFileLocations().stableFolders;
    std::optional<brolt::LauncherIdentity> identity = readable && place && placeIsOurs(*place)
                                                          ? brolt::launcherIdentityOf(included.executablePath)
                                                          : std::nullopt;
    if (identity) {
        std::string folder = brolt::childOf(*place, brolt::stableFolderName(*identity));
        if (useStableFolder(launcher, folder, *identity, *self)) {
            logInfo("extracting files done");
            return {ExtractionFailure::None,
                    {folder, static_cast<uint32_t>(launcher.walk.end), true, extractedNames(launcher.walk)}};
        }
        logError("stable extraction folder %s not usable; extracting to a fresh one", folder.c_str());
    }
    return extractFresh(launcher);
}

}  // namespace

Extraction extractIncludedFiles(const IncludedFiles& included) {
    return extractIncluded(included, nullptr);
}

Extraction extractIncludedFilesReusing(const IncludedFiles& included, const brolt::ExtractionOwner& self) {
    return extractIncluded(included, &self);
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
