// Fuzzes the location and protection rules with arbitrary account SIDs and paths. Besides what the
// sanitizers catch, properties any correct answer has are checked; a violation aborts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/file_location_rules.h"
#include "fuzz_check.h"

using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // The input's first line is the SID, the rest the paths, split at the first and second NUL.
    size_t newline = input.find('\n');
    std::string_view sid = input.substr(0, newline);
    std::string_view rest =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
    size_t first = rest.find('\0');
    std::string temp(rest.substr(0, first));
    std::string_view after = first == std::string_view::npos ? std::string_view() : rest.substr(first + 1);
    std::string appData(after.substr(0, after.find('\0')));

    brolt::AccountKind kind = brolt::accountKindOfSid(sid);
    for (bool haveSystemTemp : {false, true}) {
        brolt::LocationInputs inputs{
            kind, temp,
            haveSystemTemp ? std::optional<std::string>("C:\\Windows\\SystemTemp\\") : std::nullopt,
            appData.empty() ? std::nullopt : std::optional<std::string>(appData)};
        brolt::FileLocations locations = brolt::chooseFileLocations(inputs);
        // Only SYSTEM leaves its temporary location for the system's own, and only where there is one.
        require(locations.freshExtractions == temp ||
                (kind == brolt::AccountKind::LocalSystem && haveSystemTemp));
        // The stable folders never land in the temporary location unless it is the same place.
        require(locations.stableFolders.has_value() == !appData.empty());
        require(locations.sweep.size() <= 3);
    }

    // The descriptor always names the account as owner and protects its list.
    std::string sddl = brolt::protectedFolderSddl(sid);
    require(sddl.starts_with("O:" + std::string(sid) + "D:P"));
    require(sddl.ends_with("(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"));

    // Whoever the account is, another trustee with a write right is refused.
    std::vector<brolt::AccessEntry> entries{{true, 0x2, std::string(sid) + "-1"}};
    require(brolt::whoElseMayWrite(false, entries, sid, "").has_value());
    entries[0].sid = std::string(sid);
    require(!brolt::whoElseMayWrite(false, entries, sid, "").has_value());
    return 0;
}
