// The management commands' decisions: the dependency list, the recognition of the own executable, and
// the exact records the install hands to CreateServiceW and ChangeServiceConfig2W.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "service/service_commands.h"

namespace service = brolt::service;

struct DependencyCase {
    std::string value;
    std::string list;  // with its terminators
};

TEST(DependencyList, SplitsAtCommasDroppingEmptyNamesKeepingBlanks) {
    using namespace std::string_literals;
    const DependencyCase cases[] = {
        {"", ""},
        {"Tcpip", "Tcpip\0\0"s},
        {"Tcpip,Dhcp", "Tcpip\0Dhcp\0\0"s},
        {"Tcpip,,Dhcp", "Tcpip\0Dhcp\0\0"s},
        {",Tcpip,", "Tcpip\0\0"s},
        {" Event Log , Dhcp", " Event Log \0 Dhcp\0\0"s},
        {",,", "\0"s},
    };
    for (const DependencyCase& c : cases) {
        std::string list = "left over";
        EXPECT_TRUE(buildDependencyList(c.value, list)) << c.value;
        EXPECT_EQ(list, c.list) << c.value;
    }
}

TEST(DependencyList, ListMustFitItsBuffer) {
    std::string list;
    // Name, its terminator and the final one: exactly the buffer.
    std::string fits(kDependencyListSize - 2, 'x');
    ASSERT_TRUE(buildDependencyList(fits, list));
    EXPECT_EQ(list.size(), kDependencyListSize);

    std::string tooLong(kDependencyListSize - 1, 'x');
    EXPECT_FALSE(buildDependencyList(tooLong, list));
    EXPECT_TRUE(list.empty());

    // Commas that vanish do not count against the buffer.
    std::string commas = std::string(kDependencyListSize * 2, ',') + "Dhcp";
    ASSERT_TRUE(buildDependencyList(commas, list));
    EXPECT_EQ(list, std::string("Dhcp\0\0", 6));
}

struct ExecutableCase {
    const char* configured;
    bool same;
};

TEST(ServiceExecutable, ConfiguredPathIsComparedWithoutItsQuotes) {
    const char* modulePath = "C:\\Program Files\\app\\MyService.exe";
    const ExecutableCase cases[] = {
        {"\"C:\\Program Files\\app\\MyService.exe\"", true},
        {"C:\\Program Files\\app\\MyService.exe", true},  // an entry from before the quotes
        {"\"c:\\program files\\APP\\myservice.EXE\"", true},
        {"\"C:\\Program Files\\copy\\MyService.exe\"", false},
        {"C:\\Program Files\\app\\MyServ", false},
        {"", false},
    };
    for (const ExecutableCase& c : cases)
        EXPECT_EQ(isSameExecutable(modulePath, c.configured), c.same) << c.configured;
    EXPECT_EQ(quotedBinaryPath(modulePath), "\"C:\\Program Files\\app\\MyService.exe\"");
}

TEST(InstallPassword, IsReadIntoOneBufferThatIsWipedWhereItLiesAndLeavesTheEnvironment) {
    const wchar_t* variable = L"BROLT_TEST_INSTALL_SECRET";
    const std::wstring values[] = {L"s3cret pass", std::wstring(5000, L'p') + L"\u00e9"};
    for (const std::wstring& value : values) {
        ASSERT_TRUE(SetEnvironmentVariableW(variable, value.c_str()));
        EnvironmentSecret secret;
        ASSERT_TRUE(secret.take(variable));
        const wchar_t* text = secret.text();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::wstring(text), value);
        // Gone from the environment once read: no later reader, no child process, finds it.
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetEnvironmentVariableW(variable, nullptr, 0), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
        // Wiped in the very buffer it was read into, terminator included.
        secret.wipe();
        EXPECT_EQ(secret.text(), text);
        EXPECT_EQ(std::count(text, text + value.size() + 1, L'\0'), static_cast<ptrdiff_t>(value.size() + 1));
    }
    // An empty value is a password too; a variable that is not set is none.
    ASSERT_TRUE(SetEnvironmentVariableW(variable, L""));
    EnvironmentSecret empty;
    ASSERT_TRUE(empty.take(variable));
    EXPECT_EQ(std::wstring(empty.text()), L"");
    EXPECT_FALSE(empty.take(variable));
    EXPECT_EQ(empty.text(), nullptr);
}

service::InstallPlan plannedInstall(const service::InstallConfiguration& configured) {
    service::PlanOutcome outcome = service::planInstall(configured, "MySvc");
    EXPECT_TRUE(outcome) << outcome.problem;
    return outcome ? *outcome.plan : service::InstallPlan{};
}

TEST(InstallCalls, ServiceEntryCarriesDisplayNameAccountAndStartType) {
    struct EntryCase {
        service::InstallConfiguration configured;
        DWORD commandStartType;
        const wchar_t* displayName;
        const wchar_t* account;  // nullptr: none is passed, LocalSystem
        DWORD startType;
        DWORD serviceType;
    };
    const EntryCase cases[] = {
        {{}, SERVICE_DEMAND_START, L"MySvc", nullptr, SERVICE_DEMAND_START, 0x110},
        {{}, SERVICE_AUTO_START, L"MySvc", nullptr, SERVICE_AUTO_START, 0x110},
        {{"", "LocalSystem", "", "", "", ""},
         SERVICE_AUTO_START,
         L"MySvc",
         nullptr,
         SERVICE_AUTO_START,
         0x110},
        {{"Sample Service", "LocalService", "", "", "", ""},
         SERVICE_DEMAND_START,
         L"Sample Service",
         L"NT AUTHORITY\\LocalService",
         SERVICE_DEMAND_START,
         0x10},
        {{"", "NetworkService", "", "auto", "", ""},
         SERVICE_DEMAND_START,
         L"MySvc",
         L"NT AUTHORITY\\NetworkService",
         SERVICE_AUTO_START,
         0x10},
        {{"", "NT SERVICE\\MySvc", "", "delayed-auto", "", ""},
         SERVICE_DEMAND_START,
         L"MySvc",
         L"NT SERVICE\\MySvc",
         SERVICE_AUTO_START,
         0x10},
        {{"Sample", ".\\svc", "PW", "demand", "", ""},
         SERVICE_AUTO_START,
         L"Sample",
         L".\\svc",
         SERVICE_DEMAND_START,
         0x10},
    };
    using namespace std::string_literals;
    for (const EntryCase& c : cases) {
        ServiceEntry entry = serviceEntry("MySvc", plannedInstall(c.configured), c.commandStartType,
                                          "Tcpip\0Afd\0\0"s, "\"C:\\app\\MySvc.exe\"");
        EXPECT_EQ(entry.name, L"MySvc");
        EXPECT_EQ(entry.displayName, c.displayName);
        EXPECT_EQ(entry.startType, c.startType) << c.configured.start;
        EXPECT_EQ(entry.serviceType, c.serviceType) << c.configured.account;
        EXPECT_EQ(entry.binaryPath, L"\"C:\\app\\MySvc.exe\"");
        EXPECT_EQ(entry.dependencies, L"Tcpip\0Afd\0\0"s);
        ASSERT_EQ(entry.account.has_value(), c.account != nullptr) << c.configured.account;
        if (entry.account) {
            EXPECT_EQ(*entry.account, c.account);
        }
    }
}

TEST(InstallCalls, NothingConfiguredChangesNothingAfterTheEntry) {
    ServiceConfigChanges changes;
    buildServiceConfigChanges(plannedInstall({}), SERVICE_AUTO_START, L"", changes);
    EXPECT_TRUE(changes.calls.empty());
}

TEST(InstallCalls, DescriptionDelayedStartAndRecoveryRecordsInOrder) {
    service::InstallPlan plan = plannedInstall({"", "", "", "delayed-auto", "10;60;300", "3600"});
    ServiceConfigChanges changes;
    buildServiceConfigChanges(plan, SERVICE_DEMAND_START, L"Runs the probe", changes);

    std::vector<DWORD> levels;
    for (const ServiceConfigChange& call : changes.calls)
        levels.push_back(call.level);
    EXPECT_EQ(levels,
              (std::vector<DWORD>{SERVICE_CONFIG_DESCRIPTION, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                                  SERVICE_CONFIG_FAILURE_ACTIONS, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG}));
    ASSERT_EQ(changes.calls.size(), 4u);

    const auto* description = static_cast<const SERVICE_DESCRIPTIONW*>(changes.calls[0].info);
    EXPECT_STREQ(description->lpDescription, L"Runs the probe");
    EXPECT_EQ(static_cast<const DelayedAutoStartInfo*>(changes.calls[1].info)->delayed, TRUE);

    const auto* failure = static_cast<const SERVICE_FAILURE_ACTIONSW*>(changes.calls[2].info);
    EXPECT_EQ(failure->dwResetPeriod, 3600u);
    EXPECT_EQ(failure->lpRebootMsg, nullptr);
    EXPECT_EQ(failure->lpCommand, nullptr);
    ASSERT_EQ(failure->cActions, 3u);
    const DWORD delays[] = {10000, 60000, 300000};
    for (DWORD i = 0; i < failure->cActions; ++i) {
        EXPECT_EQ(failure->lpsaActions[i].Type, SC_ACTION_RESTART) << i;
        EXPECT_EQ(failure->lpsaActions[i].Delay, delays[i]) << i;
    }
    EXPECT_EQ(static_cast<const FailureActionsFlag*>(changes.calls[3].info)->onNonCrashFailures, TRUE);
    for (const ServiceConfigChange& call : changes.calls)
        EXPECT_NE(std::string(call.option), "") << call.level;
}

TEST(InstallCalls, RecoveryAloneWithTheDefaultResetPeriod) {
    ServiceConfigChanges changes;
    buildServiceConfigChanges(plannedInstall({"", "", "", "", "5", ""}), SERVICE_AUTO_START, L"", changes);
    std::vector<DWORD> levels;
    for (const ServiceConfigChange& call : changes.calls)
        levels.push_back(call.level);
    EXPECT_EQ(levels,
              (std::vector<DWORD>{SERVICE_CONFIG_FAILURE_ACTIONS, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG}));
    const auto* failure = static_cast<const SERVICE_FAILURE_ACTIONSW*>(changes.calls[0].info);
    EXPECT_EQ(failure->dwResetPeriod, service::kDefaultResetPeriodSeconds);
}
