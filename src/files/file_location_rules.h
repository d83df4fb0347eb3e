// Where the launcher puts what it extracts and what it keeps between starts, for each kind of account a
// service runs under, and the protection it asks for and checks: decisions without system calls, kept
// apart from the calls in files/file_locations.
//
// The threat is a local user (or a program running as one) against a service of another account. A
// service's temporary folder is often one every user may create folders in (C:\Windows\Temp for
// LocalSystem), so nothing there is trusted beyond this start: a fresh folder per start, made by this
// process, whose name cannot be taken in advance. What a start reuses (the stable folder) lives in the
// account's own local application data, which by default only the account, SYSTEM and administrators
// may write, and is made with exactly those rights, nothing inherited.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brolt {

enum class AccountKind {
    LocalSystem,     // S-1-5-18
    LocalService,    // S-1-5-19
    NetworkService,  // S-1-5-20
    VirtualService,  // NT SERVICE\<name>: S-1-5-80-...
    User,            // anyone else: a user account, or a console run by a user
};

// The kind of the account whose SID is given in its text form ("S-1-5-18"); anything that is not one of
// the system's service accounts is a user.
AccountKind accountKindOfSid(std::string_view sid);

// What the locations are chosen from, as the system answered for this process.
struct LocationInputs {
    AccountKind account = AccountKind::User;
    std::string tempLocation;  // the account's temporary location (chooseTempDir)
    // The system's temporary folder private to SYSTEM (GetTempPath2 of a SYSTEM process); nullopt where
    // the system has no such call.
    std::optional<std::string> systemTemp;
    // The account's local application data; nullopt when it cannot be had or not as narrow text.
    std::optional<std::string> localAppData;
};

struct FileLocations {
    std::string freshExtractions;  // where a start's own extraction folder is made
    // Where stable folders live (made when missing, protected); nullopt: every start extracts fresh.
    std::optional<std::string> stableFolders;
    // What the sweep looks through for leftovers, each once: the fresh location, the temporary location
    // (the "-version" output files, and what earlier versions left there), the stable folders' place.
    std::vector<std::string> sweep;
};

// The folder below the local application data that holds the stable folders, beside the class-data
// archives' "cds".
inline constexpr std::string_view kStableFoldersParent = "brolt";

FileLocations chooseFileLocations(const LocationInputs& inputs);
// folder\name, one backslash between them.
std::string childOf(std::string_view folder, std::string_view name);
// Whether two folder paths name the same place as the system compares them: ASCII case ignored, a
// trailing backslash left aside.
bool samePlace(std::string_view a, std::string_view b);

// The security descriptor a folder of ours is made with, as SDDL text: owned by the account, full
// control for the account, SYSTEM and the administrators, inherited by what is made inside, and a
// protected list, so nothing of the parent's rights applies. accountSid is the SID's text form.
std::string protectedFolderSddl(std::string_view accountSid);

// One entry of a folder's access list as read back.
struct AccessEntry {
    bool allows = true;        // an access-allowed entry; deny entries never widen who may write
    uint32_t mask = 0;         // the access rights
    std::string sid;           // the trustee's SID, text form
    bool inheritOnly = false;  // applies only to what is made inside the folder
};

// The rights that let a trustee change a folder or what it holds: write or append data (which for a
// folder is adding files and subfolders), extended attributes, attributes, deleting children or the
// folder, the list of rights and the owner, and the generic rights that include these.
inline constexpr uint32_t kWriteRights = 0x00000002u | 0x00000004u | 0x00000010u | 0x00000040u | 0x00000100u |
                                         0x00010000u | 0x00040000u | 0x00080000u | 0x40000000u | 0x10000000u;

// Why a folder of ours is not to be trusted, or nullopt when only the account (trusted: accountSid, the
// token's default owner, SYSTEM, the administrators and "creator owner", who is whoever made an object
// inside) may write it or what it holds. nullDacl: the folder has no access list, so anyone may write.
// Entries that apply only to what is made inside count too: what others may change inside is no better.
std::optional<std::string> whoElseMayWrite(bool nullDacl, const std::vector<AccessEntry>& entries,
                                           std::string_view accountSid, std::string_view ownerSid);

}  // namespace brolt
