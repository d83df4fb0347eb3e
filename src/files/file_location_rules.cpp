#include "files/file_location_rules.h"

#include "core/text_case.h"

namespace brolt {

namespace {

constexpr std::string_view kLocalSystemSid = "S-1-5-18";
constexpr std::string_view kLocalServiceSid = "S-1-5-19";
constexpr std::string_view kNetworkServiceSid = "S-1-5-20";
constexpr std::string_view kVirtualServicePrefix = "S-1-5-80-";
constexpr std::string_view kAdministratorsSid = "S-1-5-32-544";
constexpr std::string_view kCreatorOwnerSid = "S-1-3-0";

void addOnce(std::vector<std::string>& places, const std::string& place) {
    if (place.empty())
        return;
    for (const std::string& known : places) {
        if (samePlace(known, place))
            return;
    }
    places.push_back(place);
}

// The SID as SDDL writes the two well-known ones the descriptor names anyway.
bool isSystemOrAdministrators(std::string_view sid) {
    return equalIgnoringCase(sid, kLocalSystemSid) || equalIgnoringCase(sid, kAdministratorsSid);
}

}  // namespace

bool samePlace(std::string_view a, std::string_view b) {
    while (!a.empty() && a.back() == '\\')
        a.remove_suffix(1);
    while (!b.empty() && b.back() == '\\')
        b.remove_suffix(1);
    return equalIgnoringCase(a, b);
}

AccountKind accountKindOfSid(std::string_view sid) {
    if (equalIgnoringCase(sid, kLocalSystemSid))
        return AccountKind::LocalSystem;
    if (equalIgnoringCase(sid, kLocalServiceSid))
        return AccountKind::LocalService;
    if (equalIgnoringCase(sid, kNetworkServiceSid))
        return AccountKind::NetworkService;
    if (sid.size() > kVirtualServicePrefix.size() && startsWithIgnoringCase(sid, kVirtualServicePrefix))
        return AccountKind::VirtualService;
    return AccountKind::User;
}

std::string childOf(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    return path + std::string(name);
}

FileLocations chooseFileLocations(const LocationInputs& inputs) {
    FileLocations locations;
    // Only SYSTEM has a temporary folder of its own where the system offers one; every other account's
    // temporary folder is its profile's, or the one it was given.
    locations.freshExtractions = inputs.account == AccountKind::LocalSystem && inputs.systemTemp
                                     ? *inputs.systemTemp
                                     : inputs.tempLocation;
    if (inputs.localAppData && !inputs.localAppData->empty())
        locations.stableFolders = childOf(*inputs.localAppData, kStableFoldersParent);
    addOnce(locations.sweep, locations.freshExtractions);
    addOnce(locations.sweep, inputs.tempLocation);
    if (locations.stableFolders)
        addOnce(locations.sweep, *locations.stableFolders);
    return locations;
}

std::string protectedFolderSddl(std::string_view accountSid) {
    // O: owner, D:P a protected access list; each entry: allowed, inherited by files (OI) and folders
    // (CI) made inside, full file access (FA), for the trustee.
    std::string sddl = "O:" + std::string(accountSid) + "D:P";
    if (!isSystemOrAdministrators(accountSid))
        sddl += "(A;OICI;FA;;;" + std::string(accountSid) + ")";
    sddl += "(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    return sddl;
}

std::optional<std::string> whoElseMayWrite(bool nullDacl, const std::vector<AccessEntry>& entries,
                                           std::string_view accountSid, std::string_view ownerSid) {
    if (nullDacl)
        return std::string("it has no access list: everyone may write it");
    for (const AccessEntry& entry : entries) {
        if (!entry.allows || (entry.mask & kWriteRights) == 0)
            continue;
        bool trusted = equalIgnoringCase(entry.sid, accountSid) ||
                       (!ownerSid.empty() && equalIgnoringCase(entry.sid, ownerSid)) ||
                       isSystemOrAdministrators(entry.sid) || equalIgnoringCase(entry.sid, kCreatorOwnerSid);
        if (!trusted)
            return entry.sid + (entry.inheritOnly ? " may write what is made inside it" : " may write it");
    }
    return std::nullopt;
}

}  // namespace brolt
