#include "files/stale_extractions.h"

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "core/log.h"
#include "files/paths.h"

namespace brolt {

namespace {

// Newer systems grant this to any process of the same user, services among them; older ones do not
// know it and need the full query right.
constexpr DWORD kQueryLimitedInformation = 0x1000;
// A marker is a few lines; anything larger is not one of ours.
constexpr DWORD kMaxMarkerSize = 16384;
// One process makes a handful of "-version" output files at most (one per runtime it checks), and a
// name is taken only by one whose removal failed.
constexpr uint32_t kVersionOutputAttempts = 100;

uint64_t fileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string childPath(const std::string& directory, const char* name) {
    std::string path = directory;
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    return path + name;
}

bool isDots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool readMarker(const std::string& path, std::string& text) {
    // The owner holds it open for writing; reading must share that.
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    char buffer[kMaxMarkerSize];
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) || got == sizeof buffer)
        return false;
    text.assign(buffer, got);
    return true;
}

bool removeFile(const std::string& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileA(path.c_str()) != 0;
}

// Everything below directory but the entry named keep; false when something stayed.
bool removeContents(const std::string& directory, const char* keep) {
    WIN32_FIND_DATAA entry;
    UniqueFind search(FindFirstFileA(childPath(directory, "*").c_str(), &entry));
    if (!search)
        return false;
    bool removed = true;
    do {
        if (isDots(entry.cFileName) || (keep != nullptr && _stricmp(entry.cFileName, keep) == 0))
            continue;
        std::string path = childPath(directory, entry.cFileName);
        bool gone;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            gone = removeContents(path, nullptr) && RemoveDirectoryA(path.c_str());
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            gone = RemoveDirectoryA(path.c_str()) != 0;  // the link itself, not where it leads
        } else {
            gone = removeFile(path, entry.dwFileAttributes);
        }
        if (!gone) {
            logError("could not remove %s: %d", path.c_str(), static_cast<int>(GetLastError()));
            removed = false;
        }
    } while (FindNextFileA(search.get(), &entry));
    return removed;
}

// The owner of an entry of the temporary location, when the entry is one of ours: a folder by its
// marker, a file by its name.
std::optional<ExtractionOwner> ownerOf(const std::string& path, const WIN32_FIND_DATAA& entry) {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return std::nullopt;
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return parseVersionOutputName(entry.cFileName);
    std::string text;
    if (!readMarker(childPath(path, std::string(kExtractionMarkerName).c_str()), text))
        return std::nullopt;
    return parseExtractionMarker(text);
}

}  // namespace

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
    std::string path = childPath(directory, std::string(kExtractionMarkerName).c_str());
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
    std::string marker = childPath(folder, std::string(kExtractionMarkerName).c_str());
    if (!removeContents(folder, std::string(kExtractionMarkerName).c_str()))
        return false;
    DWORD attributes = GetFileAttributesA(marker.c_str());
    return removeFile(marker, attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes) &&
           RemoveDirectoryA(folder.c_str());
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
        std::string path = childPath(directory, formatVersionOutputName(self, sequence).c_str());
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

int sweepLeftovers(const char* tempLocation) {
    if (tempLocation[0] == '\0')
        return 0;
    WIN32_FIND_DATAA entry;
    UniqueFind search(FindFirstFileA(childPath(tempLocation, "*").c_str(), &entry));
    if (!search)
        return 0;
    int removed = 0;
    do {
        if (isDots(entry.cFileName))
            continue;
        std::string path = childPath(tempLocation, entry.cFileName);
        std::optional<ExtractionOwner> owner = ownerOf(path, entry);
        // A process that cannot be told to be gone may still use what it made.
        if (!owner || processState(owner->processId, owner->creationTime) != OwnerState::Gone)
            continue;
        logInfo("removing what ended process %u left: %s", static_cast<unsigned>(owner->processId),
                path.c_str());
        bool gone = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                        ? removeExtraction(path)
                        : removeFile(path, entry.dwFileAttributes);
        if (gone)
            ++removed;
        else
            logError("left for the next start: %s", path.c_str());
    } while (FindNextFileA(search.get(), &entry));
    return removed;
}

}  // namespace brolt
