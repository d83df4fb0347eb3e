// Where each kind of account keeps its extractions and its stable folders, the protection asked for,
// and the judgement of a folder's access list.
#include "files/file_location_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using brolt::AccessEntry;
using brolt::AccountKind;

TEST(AccountKind, BySidText) {
    struct Case {
        const char* sid;
        AccountKind kind;
    };
    const Case cases[] = {
        {"S-1-5-18", AccountKind::LocalSystem},
        {"s-1-5-18", AccountKind::LocalSystem},
        {"S-1-5-19", AccountKind::LocalService},
        {"S-1-5-20", AccountKind::NetworkService},
        {"S-1-5-80-3456-1-2-3-4", AccountKind::VirtualService},
        // Neighbours of the well-known ones are users, and so is anything unreadable.
        {"S-1-5-180", AccountKind::User},
        {"S-1-5-1", AccountKind::User},
        {"S-1-5-80-", AccountKind::User},
        {"S-1-5-21-1004336348-1177238915-682003330-1000", AccountKind::User},
        {"", AccountKind::User},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.kind, brolt::accountKindOfSid(c.sid)) << c.sid;
}

TEST(FileLocations, ForEachAccountKind) {
    const std::string systemTemp = "C:\\Windows\\SystemTemp\\";
    struct Case {
        const char* what;
        AccountKind account;
        const char* temp;
        std::optional<std::string> systemTemp;
        std::optional<std::string> localAppData;
        const char* fresh;
        std::optional<std::string> stable;
        std::vector<std::string> sweep;
    };
    const Case cases[] = {
        {"LocalSystem where the system has a temporary folder of SYSTEM's own",
         AccountKind::LocalSystem,
         "C:\\Windows\\Temp\\",
         systemTemp,
         "C:\\Windows\\system32\\config\\systemprofile\\AppData\\Local",
         "C:\\Windows\\SystemTemp\\",
         "C:\\Windows\\system32\\config\\systemprofile\\AppData\\Local\\brolt",
         {"C:\\Windows\\SystemTemp\\", "C:\\Windows\\Temp\\",
          "C:\\Windows\\system32\\config\\systemprofile\\AppData\\Local\\brolt"}},
        {"LocalSystem on an older system: the shared temporary folder, fresh folders only",
         AccountKind::LocalSystem,
         "C:\\Windows\\Temp\\",
         std::nullopt,
         "C:\\Windows\\system32\\config\\systemprofile\\AppData\\Local",
         "C:\\Windows\\Temp\\",
         "C:\\Windows\\system32\\config\\systemprofile\\AppData\\Local\\brolt",
         {"C:\\Windows\\Temp\\", "C:\\Windows\\system32\\config\\systemprofile\\AppData\\Local\\brolt"}},
        {"LocalService: its profile's temporary folder",
         AccountKind::LocalService,
         "C:\\Windows\\ServiceProfiles\\LocalService\\AppData\\Local\\Temp\\",
         systemTemp,
         "C:\\Windows\\ServiceProfiles\\LocalService\\AppData\\Local",
         "C:\\Windows\\ServiceProfiles\\LocalService\\AppData\\Local\\Temp\\",
         "C:\\Windows\\ServiceProfiles\\LocalService\\AppData\\Local\\brolt",
         {"C:\\Windows\\ServiceProfiles\\LocalService\\AppData\\Local\\Temp\\",
          "C:\\Windows\\ServiceProfiles\\LocalService\\AppData\\Local\\brolt"}},
        {"NetworkService",
         AccountKind::NetworkService,
         "C:\\Windows\\ServiceProfiles\\NetworkService\\AppData\\Local\\Temp\\",
         systemTemp,
         "C:\\Windows\\ServiceProfiles\\NetworkService\\AppData\\Local\\",
         "C:\\Windows\\ServiceProfiles\\NetworkService\\AppData\\Local\\Temp\\",
         "C:\\Windows\\ServiceProfiles\\NetworkService\\AppData\\Local\\brolt",
         {"C:\\Windows\\ServiceProfiles\\NetworkService\\AppData\\Local\\Temp\\",
          "C:\\Windows\\ServiceProfiles\\NetworkService\\AppData\\Local\\brolt"}},
        {"a virtual service account",
         AccountKind::VirtualService,
         "C:\\Windows\\ServiceProfiles\\Svc\\AppData\\Local\\Temp\\",
         systemTemp,
         "C:\\Windows\\ServiceProfiles\\Svc\\AppData\\Local",
         "C:\\Windows\\ServiceProfiles\\Svc\\AppData\\Local\\Temp\\",
         "C:\\Windows\\ServiceProfiles\\Svc\\AppData\\Local\\brolt",
         {"C:\\Windows\\ServiceProfiles\\Svc\\AppData\\Local\\Temp\\",
          "C:\\Windows\\ServiceProfiles\\Svc\\AppData\\Local\\brolt"}},
        {"a user whose temporary folder lies in the local application data",
         AccountKind::User,
         "C:\\Users\\ann\\AppData\\Local\\Temp\\",
         systemTemp,
         "C:\\Users\\ann\\AppData\\Local",
         "C:\\Users\\ann\\AppData\\Local\\Temp\\",
         "C:\\Users\\ann\\AppData\\Local\\brolt",
         {"C:\\Users\\ann\\AppData\\Local\\Temp\\", "C:\\Users\\ann\\AppData\\Local\\brolt"}},
        {"no local application data: no stable folder, every start extracts fresh",
         AccountKind::LocalService,
         "C:\\Windows\\Temp\\",
         std::nullopt,
         std::nullopt,
         "C:\\Windows\\Temp\\",
         std::nullopt,
         {"C:\\Windows\\Temp\\"}},
        {"a temporary folder set to the stable folders' place is swept once",
         AccountKind::User,
         "C:\\data\\brolt\\",
         std::nullopt,
         "c:\\DATA",
         "C:\\data\\brolt\\",
         "c:\\DATA\\brolt",
         {"C:\\data\\brolt\\"}},
    };
    for (const Case& c : cases) {
        brolt::FileLocations locations =
            brolt::chooseFileLocations({c.account, c.temp, c.systemTemp, c.localAppData});
        EXPECT_EQ(c.fresh, locations.freshExtractions) << c.what;
        EXPECT_EQ(c.stable, locations.stableFolders) << c.what;
        EXPECT_EQ(c.sweep, locations.sweep) << c.what;
    }
}

TEST(ProtectedFolder, TheDescriptorAskedFor) {
    // Owner, then a protected list: the account, SYSTEM and the administrators, each inherited by
    // files and folders inside; nothing else, and nothing from the parent.
    EXPECT_EQ("O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
              brolt::protectedFolderSddl("S-1-5-21-1-2-3-1001"));
    EXPECT_EQ("O:S-1-5-19D:P(A;OICI;FA;;;S-1-5-19)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
              brolt::protectedFolderSddl("S-1-5-19"));
    // SYSTEM is named once.
    EXPECT_EQ("O:S-1-5-18D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", brolt::protectedFolderSddl("S-1-5-18"));
}

TEST(ProtectedFolder, WhoElseMayWrite) {
    const std::string account = "S-1-5-19";
    const std::string owner = "S-1-5-32-544";
    const uint32_t read = 0x1200a9;  // read, list, execute, synchronize
    const uint32_t full = 0x1f01ff;
    struct Case {
        const char* what;
        bool nullDacl;
        std::vector<AccessEntry> entries;
        bool refused;
    };
    const Case cases[] = {
        {"as made: the account, SYSTEM, the administrators",
         false,
         {{true, full, account}, {true, full, "S-1-5-18"}, {true, full, "S-1-5-32-544"}},
         false},
        {"as Wine reports one: everyone may read",
         false,
         {{true, full, "S-1-5-18"}, {true, full, account}, {true, read, "S-1-1-0"}},
         false},
        {"creator owner, the token's default owner",
         false,
         {{true, full, "S-1-3-0", true}, {true, full, owner}},
         false},
        {"users may add folders (a shared temporary folder)",
         false,
         {{true, full, account}, {true, 0x4 | 0x100000, "S-1-5-32-545"}},
         true},
        {"everyone may write files", false, {{true, 0x2, "S-1-1-0"}}, true},
        {"another user may change the rights", false, {{true, 0x40000, "S-1-5-21-9-9-9-1000"}}, true},
        {"generic write for authenticated users", false, {{true, 0x40000000, "S-1-5-11"}}, true},
        {"what is made inside is others' to change", false, {{true, full, "S-1-5-32-545", true}}, true},
        {"a deny entry for others narrows, never widens", false, {{false, full, "S-1-1-0"}}, false},
        {"no access list at all", true, {}, true},
    };
    for (const Case& c : cases) {
        std::optional<std::string> reason = brolt::whoElseMayWrite(c.nullDacl, c.entries, account, owner);
        EXPECT_EQ(c.refused, reason.has_value()) << c.what << ": " << reason.value_or("");
    }
    // The reason names who.
    EXPECT_EQ("S-1-1-0 may write it",
              brolt::whoElseMayWrite(false, {{true, 0x2, "S-1-1-0"}}, account, owner));
}

}  // namespace
