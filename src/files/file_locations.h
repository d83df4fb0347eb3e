// The calls behind files/file_location_rules: this process's account, the places its files go, folders
// made with the protected descriptor, and folders and files judged and removed by handle, never by a
// name someone else could have replaced by a link.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/unique_resource.h"
#include "files/file_location_rules.h"

namespace brolt {

// Whether a listed name is "." or "..".
bool isDotEntry(const char* name);

// The account this process runs as: its SID and the owner its new objects get (the administrators for
// SYSTEM), as text, and its kind. Empty SIDs when the token cannot be read.
struct ProcessAccount {
    std::string sid;
    std::string ownerSid;
    AccountKind kind = AccountKind::User;
};
const ProcessAccount& currentAccount();

// The places of this process's files, from what the system answers (logged once).
const FileLocations& currentFileLocations();

// A folder or file opened without following a link, with the path it resolves to. handle is empty
// when it could not be opened or does not resolve to where it was asked for: then why says so.
struct VerifiedEntry {
    UniqueFile handle;
    std::string finalPath;  // the resolved path, without the "\\?\" form's prefix
    BY_HANDLE_FILE_INFORMATION information{};
    std::string why;
};
// The access an entry is opened with for its removal: deleting it, clearing a read-only attribute, and
// listing a folder's entries through its handle.
inline constexpr DWORD kRemoveAccess = DELETE | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY;

// Opens parentFinal\name (parentFinal itself a verified, resolved path) with the given access, sharing
// everything, without following a link; it must resolve to exactly parentFinal\name.
VerifiedEntry openVerified(const std::string& parentFinal, const std::string& name, DWORD access);
// The same for a path whose folder is not yet resolved: the folder's own resolved path stands in.
VerifiedEntry openVerifiedPath(const std::string& path, DWORD access);
// The resolved path of an open handle; nullopt when the system cannot tell (or has no such call).
std::optional<std::string> finalPathOf(HANDLE handle);

enum class Ownership { Ours, Others, NoOwnerInfo };
// Whether the object is owned by this process's account (its user, or the owner its new objects get).
// NoOwnerInfo only where the system keeps no owners for it (a volume without security).
Ownership ownershipOf(HANDLE handle);

// Makes folder with the protected descriptor (protectedFolderSddl) when it is missing. Answers whether
// the folder is there now and may be trusted: made now, or found as a plain folder (no link) that
// resolves to itself, owned by the account, and that nobody else may write; why says what is not.
struct ProtectedFolder {
    bool usable = false;
    bool made = false;
    std::string why;
};
ProtectedFolder makeProtectedFolder(const std::string& folder);
// Only makes folder with the protected descriptor; false (the error as the last error) when it cannot,
// also when something of its name is there.
bool createProtectedDirectory(const std::string& folder);

// Removes a folder of ours with everything in it, judged and deleted by handle: every entry must
// resolve to where it was listed below the folder's resolved path; a link is removed, never entered; a
// file with other names (hard links) is left. keepLast, when there, goes after the rest. False when
// anything stayed.
bool removeVerifiedTree(const std::string& folder, const char* keepLast);
// The same for a folder already opened and verified (openVerified with DELETE access).
bool removeVerifiedFolder(VerifiedEntry& folder, const char* keepLast);

// Marks an open handle's file or (empty) folder for deletion; it goes when the last handle closes.
bool deleteByHandle(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& information);

}  // namespace brolt
