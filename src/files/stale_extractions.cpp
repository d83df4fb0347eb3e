#include "files/stale_extractions.h"

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "core/log.h"
#include "core/text_case.h"
#include "files/file_locations.h"
#include "files/paths.h"
#include "files/stable_extraction_rules.h"

namespace brolt {

namespace {

// Newer systems grant this to any process of the same user, services among them; older ones do not
// know it and need the full query right.
constexpr DWORD kQueryLimitedInformation = 0x1000;
// A marker or a manifest is a few lines (a manifest one per included file, and their names fit in one
// configuration text); anything larger is not one of ours.
constexpr DWORD kMaxSmallFileSize = 256 * 1024;
// One process makes a handful of "-version" output files at most (one per runtime it checks), and a
// name is taken only by one whose removal failed.
constexpr uint32_t kVersionOutputAttempts = 100;

uint64_t fileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t fileSizeValue(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

// What an entry of a swept location is, when it is one of ours: a fresh folder or a stable one by its
// marker, a file by its name. Judged by a handle opened without following links, which must resolve to
// the entry in the location, and owned by this account (or on a volume that keeps no owners).
struct Ours {
    std::optional<ExtractionOwner> owner;  // a fresh folder or a "-version" output file
    std::optional<StableMarker> stable;    // a launcher's stable folder
    VerifiedEntry entry;                   // open for deletion while the entry is judged
};
Ours whatIs(const std::string& locationFinal, const WIN32_FIND_DATAA& found) {
    Ours ours;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ours;
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::optional<ExtractionOwner> fileOwner =
        folder ? std::nullopt : parseVersionOutputName(found.cFileName);
    if (!folder && !fileOwner)
        return ours;
    VerifiedEntry entry = openVerified(locationFinal, found.cFileName, kRemoveAccess | READ_CONTROL);
    const bool looksOurs = startsWithIgnoringCase(found.cFileName, "brt");
    if (!entry.handle) {
        if (looksOurs)
            logInfo("left alone: %s\%s: %s", locationFinal.c_str(), found.cFileName, entry.why.c_str());
        return ours;
    }
    const DWORD attributes = entry.information.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        folder != ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
        return ours;
    if (ownershipOf(entry.handle.get()) == Ownership::Others) {
        if (looksOurs)
            logInfo("left alone: %s: another user's", entry.finalPath.c_str());
        return ours;
    }
    if (!folder) {
        ours.owner = fileOwner;
    } else {
        std::optional<std::string> text = readVerifiedSmallFile(entry.finalPath, kExtractionMarkerName);
        if (!text)
            return ours;
        ours.owner = parseExtractionMarker(*text);
        ours.stable = parseStableMarker(*text);
    }
    ours.entry = std::move(entry);
    return ours;
}

// Whether what is at path goes: its process is gone, or it is a stable folder whose launcher is gone or
// rebuilt and none of whose users may run.
bool isLeftOver(const std::string& path, const char* name, const Ours& ours, bool stablePlace) {
    if (ours.owner)
        return processState(ours.owner->processId, ours.owner->creationTime) == OwnerState::Gone;
    if (!ours.stable)
        return false;
    bool anyUserMayRun = false;
    for (const FolderUser& user : ours.stable->users)
        anyUserMayRun = anyUserMayRun || processState(user.processId, user.creationTime) != OwnerState::Gone;
    // A stable folder outside the place of stable folders (where earlier versions kept them) is never
    // reused again.
    if (!stablePlace)
        return !anyUserMayRun;
    StableFolderVerdict verdict = judgeStableFolder(
        name, *ours.stable, launcherIdentityOf(ours.stable->launcher.modulePath), anyUserMayRun);
    if (verdict == StableFolderVerdict::InUse)
        logInfo("stable extraction folder %s: its launcher changed, but a process may still use it",
                path.c_str());
    return verdict == StableFolderVerdict::Remove;
}

}  // namespace

std::optional<std::string> readSmallFile(const std::string& path) {
    // The owner may hold it open for writing; reading must share that.
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    std::string text(kMaxSmallFileSize, '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), text.data(), kMaxSmallFileSize, &got, nullptr) || got == kMaxSmallFileSize)
        return std::nullopt;
    text.resize(got);
    return text;
}

std::optional<std::string> readVerifiedSmallFile(const std::string& folderFinal, std::string_view name) {
    VerifiedEntry file = openVerified(folderFinal, std::string(name), GENERIC_READ);
    if (!file.handle ||
        (file.information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return std::nullopt;
    std::string text(kMaxSmallFileSize, '\0');
    DWORD got = 0;
    if (!ReadFile(file.handle.get(), text.data(), kMaxSmallFileSize, &got, nullptr) ||
        got == kMaxSmallFileSize)
        return std::nullopt;
    text.resize(got);
    return text;
}

std::optional<LauncherIdentity> launcherIdentityOf(const std::string& path) {
    std::optional<FileStamp> stamp = fileStampOf(path);
    if (!stamp)
        return std::nullopt;
    return LauncherIdentity{path, stamp->size, stamp->writeTime};
}

std::optional<FileStamp> fileStampOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return FileStamp{fileSizeValue(data.nFileSizeHigh, data.nFileSizeLow),
                     fileTimeValue(data.ftLastWriteTime)};
}

ExtractionOwner currentExtractionOwner() {
    ExtractionOwner self;
    self.modulePath = getModulePath();
    self.processId = GetCurrentProcessId();
    FILETIME creation, exit, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user))
        self.creationTime = fileTimeValue(creation);
    return self;
}

OwnerState processState(uint32_t processId, uint64_t creationTime) {
    UniqueHandle process(OpenProcess(kQueryLimitedInformation, FALSE, processId));
    if (!process && GetLastError() == ERROR_ACCESS_DENIED)
        process.reset(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER ? OwnerState::Gone : OwnerState::Unknown;
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(process.get(), &creation, &exit, &kernel, &user))
        return OwnerState::Unknown;
    if (fileTimeValue(creation) != creationTime)
        return OwnerState::Gone;  // the id now belongs to another process
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode))
        return OwnerState::Unknown;
    return exitCode == STILL_ACTIVE ? OwnerState::Running : OwnerState::Gone;
}

UniqueFile writeExtractionMarker(const char* directory, const ExtractionOwner& self) {
    if (directory[0] == '\0')
        return UniqueFile();
    std::string path = childOf(directory, std::string(kExtractionMarkerName).c_str());
    UniqueFile marker(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!marker) {
        logError("extraction marker not written: %s (%d)", path.c_str(), static_cast<int>(GetLastError()));
        return marker;
    }
    std::string text = formatExtractionMarker(self);
    DWORD written = 0;
    if (!WriteFile(marker.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        logError("extraction marker incomplete: %s (%d)", path.c_str(), static_cast<int>(GetLastError()));
    }
    return marker;
}

bool removeExtraction(const std::string& folder) {
    return removeVerifiedTree(folder, std::string(kExtractionMarkerName).c_str());
}

bool removeFileOnceReleased(const std::string& path, DWORD waitMilliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        if (DeleteFileA(path.c_str()))
            return true;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return true;
        bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
        if (!held || GetTickCount() - start >= waitMilliseconds) {
            logError("could not remove %s: %lu; left for a later start", path.c_str(), error);
            return false;
        }
        Sleep(kReleaseRetryMilliseconds);
    }
}

VersionOutputFile createVersionOutputFile(const std::string& directory, const ExtractionOwner& self,
                                          SECURITY_ATTRIBUTES* security) {
    for (uint32_t sequence = 0; sequence < kVersionOutputAttempts; ++sequence) {
        std::string path = childOf(directory, formatVersionOutputName(self, sequence).c_str());
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, security, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            return {path, std::move(file)};
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            logError("CreateFileA %s failed: %lu", path.c_str(), error);
            break;
        }
    }
    return {};
}

int sweepLeftovers(const char* location, bool stablePlace) {
    if (location[0] == '\0')
        return 0;
    // Entries are looked for where the location itself leads; each must resolve to one of them.
    UniqueFile folder(CreateFileA(location, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::optional<std::string> locationFinal = folder ? finalPathOf(folder.get()) : std::nullopt;
    if (!locationFinal) {
        // A place not made yet holds nothing to sweep.
        if (folder || (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND))
            logInfo("no sweep of %s: where it leads cannot be told", location);
        return 0;
    }
    WIN32_FIND_DATAA entry;
    UniqueFind search(FindFirstFileA(childOf(*locationFinal, "*").c_str(), &entry));
    if (!search)
        return 0;
    int removed = 0;
    do {
        if (isDotEntry(entry.cFileName))
            continue;
        // A process that cannot be told to be gone may still use what it made.
        Ours ours = whatIs(*locationFinal, entry);
        if (!ours.entry.handle || !isLeftOver(ours.entry.finalPath, entry.cFileName, ours, stablePlace))
            continue;
        std::string path = ours.entry.finalPath;
        if (ours.owner)
            logInfo("removing what ended process %u left: %s", static_cast<unsigned>(ours.owner->processId),
                    path.c_str());
        else
            logInfo("removing the stable extraction folder of a launcher gone or rebuilt: %s", path.c_str());
        bool gone = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                        ? removeVerifiedFolder(ours.entry, std::string(kExtractionMarkerName).c_str())
                        : ours.entry.information.nNumberOfLinks <= 1 &&
                              deleteByHandle(ours.entry.handle.get(), ours.entry.information);
        if (gone)
            ++removed;
        else
            logError("left for the next start: %s", path.c_str());
    } while (FindNextFileA(search.get(), &entry));
    return removed;
}

int sweepLeftovers(const FileLocations& locations) {
    int removed = 0;
    for (const std::string& location : locations.sweep) {
        bool stablePlace = locations.stableFolders && samePlace(location, *locations.stableFolders);
        removed += sweepLeftovers(location.c_str(), stablePlace);
    }
    return removed;
}

}  // namespace brolt
