#include "files/file_locations.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

#include "core/log.h"
#include "core/text_case.h"
#include "files/paths.h"
#include "files/tempdir.h"

namespace brolt {

namespace {

// Calls of newer systems, looked up at run time: the launcher also starts where they are missing.
using GetTempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);
using GetFinalPathFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
using SetFileInformationFunction = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
using GetFileInformationFunction = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

// The information classes and records of SetFileInformationByHandle.
constexpr int kFileBasicInfo = 0;
constexpr int kFileDispositionInfo = 4;
struct FileBasicInformation {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;  // 0: left as they are
    DWORD fileAttributes;
};
struct FileDispositionInformation {
    BOOLEAN deleteFile;
};
// A folder's entries through GetFileInformationByHandleEx: the first call restarts the listing.
constexpr int kFileIdBothDirectoryInfo = 10;
constexpr int kFileIdBothDirectoryRestartInfo = 11;
struct DirectoryEntry {
    DWORD nextEntryOffset;
    DWORD fileIndex;
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime, endOfFile, allocationSize;
    DWORD fileAttributes;
    DWORD fileNameLength;  // in bytes
    DWORD eaSize;
    CCHAR shortNameLength;
    WCHAR shortName[12];
    LARGE_INTEGER fileId;
    WCHAR fileName[1];
};
// Room for a few dozen entries a call; a folder of ours holds a handful.
constexpr size_t kListingBufferSize = 16 * 1024;

// A resolved path is at most this long: the longest path the wide calls take.
constexpr DWORD kFinalPathUnits = 32768;
// The owner's and the access list's SIDs as text are short; an access list of ours holds three entries.
constexpr DWORD kSidTextLimit = 256;

template <typename Function>
Function kernelFunction(const char* name) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                  : nullptr;
}

std::string sidText(PSID sid) {
    char* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text))
        return {};
    std::string result = strnlen(text, kSidTextLimit) < kSidTextLimit ? text : "";
    LocalFree(text);
    return result;
}

std::string tokenSid(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    // Both records begin with the SID's pointer, followed by the SID itself.
    alignas(SID_AND_ATTRIBUTES) unsigned char buffer[SECURITY_MAX_SID_SIZE + sizeof(SID_AND_ATTRIBUTES)];
    DWORD length = 0;
    if (!GetTokenInformation(token, kind, buffer, sizeof buffer, &length))
        return {};
    return sidText(*reinterpret_cast<PSID*>(buffer));
}

ProcessAccount readAccount() {
    ProcessAccount account;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        logError("OpenProcessToken failed: %lu", GetLastError());
        return account;
    }
    UniqueHandle closeToken(token);
    account.sid = tokenSid(token, TokenUser);
    account.ownerSid = tokenSid(token, TokenOwner);
    account.kind = accountKindOfSid(account.sid);
    return account;
}

// A narrow path the file functions can take, or nullopt: a "?" marks a character the code page lacks.
std::optional<std::string> usableNarrow(const wchar_t* path) {
    char narrow[MAX_PATH * 4];
    if (!wideToNarrow(path, narrow, sizeof narrow) || strchr(narrow, '?') != nullptr)
        return std::nullopt;
    return std::string(narrow);
}

std::optional<std::string> systemTempFolder() {
    auto getTempPath2 = kernelFunction<GetTempPath2Function>("GetTempPath2W");
    if (getTempPath2 == nullptr)
        return std::nullopt;
    wchar_t path[MAX_PATH + 1];
    DWORD length = getTempPath2(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH)
        return std::nullopt;
    return usableNarrow(path);
}

std::optional<std::string> localAppDataFolder() {
    char path[MAX_PATH];
    HRESULT result = SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path);
    if (FAILED(result)) {
        logError("no local application data folder (0x%08lx)", static_cast<unsigned long>(result));
        return std::nullopt;
    }
    if (strchr(path, '?') != nullptr)
        return std::nullopt;
    return std::string(path);
}

FileLocations readLocations() {
    const ProcessAccount& account = currentAccount();
    LocationInputs inputs;
    inputs.account = account.kind;
    inputs.tempLocation = chooseTempDir().value_or(std::string());
    inputs.systemTemp = systemTempFolder();
    inputs.localAppData = localAppDataFolder();
    FileLocations locations = chooseFileLocations(inputs);
    logInfo(
        "account %s: fresh extractions in %s, stable folders in %s", account.sid.c_str(),
        locations.freshExtractions.c_str(),
        locations.stableFolders ? locations.stableFolders->c_str() : "(none: every start extracts fresh)");
    return locations;
}

std::string withoutLongPrefix(std::string path) {
    if (path.starts_with("\\\\?\\UNC\\"))
        return "\\" + path.substr(7);
    if (path.starts_with("\\\\?\\"))
        return path.substr(4);
    return path;
}

// The entries of an access list as the rules read them; nullopt when the list cannot be read.
std::optional<std::vector<AccessEntry>> accessEntries(PACL dacl) {
    std::vector<AccessEntry> entries;
    ACL_SIZE_INFORMATION size{};
    if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation))
        return std::nullopt;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            return std::nullopt;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
        AccessEntry entry;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            // Both records have the same layout: header, mask, SID.
            const auto* simple = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            entry.allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
            entry.mask = simple->Mask;
            entry.sid = sidText(const_cast<DWORD*>(&simple->SidStart));
        } else if (header->AceType == SYSTEM_AUDIT_ACE_TYPE || header->AceType == SYSTEM_ALARM_ACE_TYPE) {
            continue;
        } else {
            // A kind of entry none of ours has: taken as anyone's full access.
            entry.mask = kWriteRights;
            entry.sid = "(an entry of kind " + std::to_string(header->AceType) + ")";
            entry.allows = header->AceType != ACCESS_DENIED_OBJECT_ACE_TYPE;
        }
        entries.push_back(entry);
    }
    return entries;
}

// Why nobody but the account may be trusted to have left the folder as it is, or empty when nothing.
std::string whyNotOurs(const VerifiedEntry& folder) {
    if ((folder.information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return "it is no folder";
    if (folder.information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return "it is a link";
    if (ownershipOf(folder.handle.get()) != Ownership::Ours)
        return "it belongs to another user";
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetSecurityInfo(folder.handle.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return "its access list cannot be read (" + std::to_string(error) + ")";
    std::optional<std::vector<AccessEntry>> entries =
        dacl ? accessEntries(dacl) : std::optional<std::vector<AccessEntry>>(std::vector<AccessEntry>{});
    LocalFree(descriptor);
    if (!entries)
        return "its access list cannot be read";
    const ProcessAccount& account = currentAccount();
    return whoElseMayWrite(dacl == nullptr, *entries, account.sid, account.ownerSid).value_or(std::string());
}

}  // namespace

bool isDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

const ProcessAccount& currentAccount() {
    static const ProcessAccount account = readAccount();
    return account;
}

const FileLocations& currentFileLocations() {
    static const FileLocations locations = readLocations();
    return locations;
}

std::optional<std::string> finalPathOf(HANDLE handle) {
    static const auto getFinalPath = kernelFunction<GetFinalPathFunction>("GetFinalPathNameByHandleW");
    if (getFinalPath == nullptr)
        return std::nullopt;
    std::wstring path(kFinalPathUnits, L'\0');
    DWORD length = getFinalPath(handle, path.data(), kFinalPathUnits, 0 /* FILE_NAME_NORMALIZED */);
    if (length == 0 || length >= kFinalPathUnits)
        return std::nullopt;
    path.resize(length);
    std::string narrow(length * 2 + 1, '\0');
    if (!wideToNarrow(path.c_str(), narrow.data(), static_cast<int>(narrow.size())))
        return std::nullopt;
    narrow.resize(strlen(narrow.c_str()));
    return withoutLongPrefix(narrow);
}

VerifiedEntry openVerified(const std::string& parentFinal, const std::string& name, DWORD access) {
    VerifiedEntry entry;
    std::string path = childOf(parentFinal, name);
    UniqueFile handle(CreateFileA(path.c_str(), access | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!handle || !GetFileInformationByHandle(handle.get(), &entry.information)) {
        entry.why = "not opened (" + std::to_string(GetLastError()) + ")";
        return entry;
    }
    std::optional<std::string> resolved = finalPathOf(handle.get());
    if (!resolved) {
        entry.why = "where it leads cannot be told";
        return entry;
    }
    // A link opened as the link resolves to its own path; one the system follows anyway (Wine does)
    // resolves elsewhere, and so does any name below a folder swapped for a link.
    if (!equalIgnoringCase(*resolved, path)) {
        entry.why = "it leads to " + *resolved;
        return entry;
    }
    entry.finalPath = *resolved;
    entry.handle = std::move(handle);
    return entry;
}

VerifiedEntry openVerifiedPath(const std::string& path, DWORD access) {
    size_t separator = path.find_last_of('\\');
    if (separator == std::string::npos || separator + 1 >= path.size()) {
        VerifiedEntry entry;
        entry.why = "no folder and name";
        return entry;
    }
    // The folder it lies in may itself be reached through a link (a temporary folder moved elsewhere):
    // its resolved path is where the entry must be.
    std::string parent = path.substr(0, separator == 2 && path[1] == ':' ? separator + 1 : separator);
    UniqueFile folder(CreateFileA(parent.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::optional<std::string> parentFinal = folder ? finalPathOf(folder.get()) : std::nullopt;
    if (!parentFinal) {
        VerifiedEntry entry;
        entry.why = "its folder cannot be resolved (" + std::to_string(GetLastError()) + ")";
        return entry;
    }
    return openVerified(*parentFinal, path.substr(separator + 1), access);
}

Ownership ownershipOf(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                  nullptr, nullptr, &descriptor);
    if (error == ERROR_NOT_SUPPORTED)
        return Ownership::NoOwnerInfo;
    if (error != ERROR_SUCCESS) {
        logError("owner not read: %lu", error);
        return Ownership::Others;
    }
    std::string text = sidText(owner);
    LocalFree(descriptor);
    if (owner == nullptr)
        return Ownership::NoOwnerInfo;
    const ProcessAccount& account = currentAccount();
    bool ours =
        !text.empty() && (equalIgnoringCase(text, account.sid) || equalIgnoringCase(text, account.ownerSid));
    return ours ? Ownership::Ours : Ownership::Others;
}

bool createProtectedDirectory(const std::string& folder) {
    const ProcessAccount& account = currentAccount();
    if (account.sid.empty()) {
        SetLastError(ERROR_INVALID_SID);
        return false;
    }
    std::string sddl = protectedFolderSddl(account.sid);
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &security.lpSecurityDescriptor, nullptr)) {
        logError("descriptor %s refused: %lu", sddl.c_str(), GetLastError());
        return false;
    }
    bool made = CreateDirectoryA(folder.c_str(), &security) != 0;
    DWORD error = GetLastError();
    LocalFree(security.lpSecurityDescriptor);
    SetLastError(error);
    return made;
}

ProtectedFolder makeProtectedFolder(const std::string& folder) {
    ProtectedFolder result;
    result.made = createProtectedDirectory(folder);
    DWORD error = GetLastError();
    if (result.made) {
        result.usable = true;
        return result;
    }
    if (error != ERROR_ALREADY_EXISTS) {
        result.why = "not made (" + std::to_string(error) + ")";
        return result;
    }
    VerifiedEntry found = openVerifiedPath(folder, READ_CONTROL);
    result.why = found.handle ? whyNotOurs(found) : found.why;
    result.usable = result.why.empty();
    return result;
}

bool deleteByHandle(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& information) {
    static const auto setInformation =
        kernelFunction<SetFileInformationFunction>("SetFileInformationByHandle");
    if (setInformation == nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    if (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        FileBasicInformation basic{};
        basic.fileAttributes =
            (information.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
        if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            basic.fileAttributes &= ~FILE_ATTRIBUTE_NORMAL;
        setInformation(handle, kFileBasicInfo, &basic, sizeof basic);
    }
    FileDispositionInformation disposition{TRUE};
    return setInformation(handle, kFileDispositionInfo, &disposition, sizeof disposition) != 0;
}

namespace {

// One verified entry: a link is removed itself, a folder after what is in it, a file when it has no
// other name.
bool removeVerified(VerifiedEntry& entry);

// The names in the folder open as folder, listed through that handle: a listing by path would need
// an open that shares no deletion with the handle held. nullopt when the listing fails.
std::optional<std::vector<std::string>> namesIn(HANDLE folder) {
    static const auto getInformation =
        kernelFunction<GetFileInformationFunction>("GetFileInformationByHandleEx");
    if (getInformation == nullptr)
        return std::nullopt;
    std::vector<std::string> names;
    alignas(8) unsigned char buffer[kListingBufferSize];
    for (int kind = kFileIdBothDirectoryRestartInfo;; kind = kFileIdBothDirectoryInfo) {
        if (!getInformation(folder, kind, buffer, sizeof buffer))
            return GetLastError() == ERROR_NO_MORE_FILES ? std::optional(names) : std::nullopt;
        for (size_t offset = 0;;) {
            const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer + offset);
            std::wstring wide(entry->fileName, entry->fileNameLength / sizeof(wchar_t));
            char narrow[MAX_PATH * 4];
            // A name the code page cannot hold cannot be opened by it either: it stays, and so does
            // the folder.
            if (!wideToNarrow(wide.c_str(), narrow, sizeof narrow))
                return std::nullopt;
            if (!isDotEntry(narrow))
                names.push_back(narrow);
            if (entry->nextEntryOffset == 0)
                break;
            offset += entry->nextEntryOffset;
        }
    }
}

bool removeChildren(const VerifiedEntry& folder, const char* keep) {
    std::optional<std::vector<std::string>> names = namesIn(folder.handle.get());
    if (!names) {
        logError("not removed: %s: its entries cannot be listed (%lu)", folder.finalPath.c_str(),
                 GetLastError());
        return false;
    }
    bool removed = true;
    for (const std::string& name : *names) {
        if (keep != nullptr && _stricmp(name.c_str(), keep) == 0)
            continue;
        VerifiedEntry child = openVerified(folder.finalPath, name, kRemoveAccess);
        if (!child.handle) {
            logError("not removed: %s: %s", childOf(folder.finalPath, name).c_str(), child.why.c_str());
            removed = false;
            continue;
        }
        removed = removeVerified(child) && removed;
    }
    return removed;
}

bool removeVerified(VerifiedEntry& entry) {
    const DWORD attributes = entry.information.dwFileAttributes;
    bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!link && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !removeChildren(entry, nullptr))
        return false;
    if (!link && !(attributes & FILE_ATTRIBUTE_DIRECTORY) && entry.information.nNumberOfLinks > 1) {
        logError("not removed: %s has other names", entry.finalPath.c_str());
        return false;
    }
    if (!deleteByHandle(entry.handle.get(), entry.information)) {
        logError("could not remove %s: %lu", entry.finalPath.c_str(), GetLastError());
        return false;
    }
    entry.handle.reset();  // the entry goes now
    return true;
}

}  // namespace

bool removeVerifiedFolder(VerifiedEntry& folder, const char* keepLast) {
    if ((folder.information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (folder.information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        logError("not removed: %s is no plain folder", folder.finalPath.c_str());
        return false;
    }
    if (!removeChildren(folder, keepLast))
        return false;
    if (keepLast != nullptr) {
        VerifiedEntry last = openVerified(folder.finalPath, keepLast, kRemoveAccess);
        if (last.handle && !removeVerified(last))
            return false;
    }
    return removeVerified(folder);
}

bool removeVerifiedTree(const std::string& folder, const char* keepLast) {
    VerifiedEntry root = openVerifiedPath(folder, kRemoveAccess);
    if (!root.handle) {
        logError("not removed: %s: %s", folder.c_str(), root.why.c_str());
        return false;
    }
    return removeVerifiedFolder(root, keepLast);
}

}  // namespace brolt
