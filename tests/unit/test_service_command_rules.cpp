// The install's plan from the configured texts: accounts, start words, recovery, and what is refused
// before anything is touched.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "service/service_command_rules.h"

namespace service = brolt::service;
using service::AccountKind;

namespace {

TEST(InstallAccount, EachKindAndWhatTheServiceManagerIsGiven) {
    struct AccountCase {
        const char* configured;
        AccountKind kind;
        const char* name;
    };
    const AccountCase cases[] = {
        {"", AccountKind::LocalSystem, ""},
        {"LocalSystem", AccountKind::LocalSystem, ""},
        {"localsystem", AccountKind::LocalSystem, ""},
        {"LocalService", AccountKind::LocalService, "NT AUTHORITY\\LocalService"},
        {"NT AUTHORITY\\LOCALSERVICE", AccountKind::LocalService, "NT AUTHORITY\\LocalService"},
        {"networkservice", AccountKind::NetworkService, "NT AUTHORITY\\NetworkService"},
        {"NT SERVICE\\MySvc", AccountKind::Virtual, "NT SERVICE\\MySvc"},
        {"nt service\\MySvc", AccountKind::Virtual, "nt service\\MySvc"},
        {".\\svcuser", AccountKind::User, ".\\svcuser"},
        {"CORP\\svc-app", AccountKind::User, "CORP\\svc-app"},
        // Only the built-in words are names of their own; a user named like a domain is a user.
        {"NT AUTHORITY\\someone", AccountKind::User, "NT AUTHORITY\\someone"},
    };
    for (const AccountCase& c : cases) {
        std::string problem;
        std::optional<service::Account> account = service::parseAccount(c.configured, problem);
        ASSERT_TRUE(account) << c.configured << ": " << problem;
        EXPECT_EQ(account->kind, c.kind) << c.configured;
        EXPECT_EQ(account->name, c.name) << c.configured;
        EXPECT_EQ(account->needsPassword(), c.kind == AccountKind::User) << c.configured;
    }
}

TEST(InstallAccount, RefusesWhatNamesNoAccount) {
    for (const char* configured :
         {"svcuser", "\\svcuser", "CORP\\", "NT SERVICE\\", "a\\b\\c", "Local System", "LocalSystem2"}) {
        std::string problem;
        EXPECT_FALSE(service::parseAccount(configured, problem)) << configured;
        EXPECT_NE(problem.find(configured), std::string::npos) << problem;
        EXPECT_NE(problem.find("service.account"), std::string::npos) << problem;
    }
}

TEST(InstallStart, WordsAndTheCommandsOwnChoice) {
    struct StartCase {
        const char* word;
        std::optional<service::StartChoice> choice;
    };
    const StartCase cases[] = {
        {"auto", service::StartChoice{service::kAutoStart, false}},
        {"delayed-auto", service::StartChoice{service::kAutoStart, true}},
        {"demand", service::StartChoice{service::kDemandStart, false}},
        {"Auto", std::nullopt},
        {"delayed", std::nullopt},
        {"disabled", std::nullopt},
        {"", std::nullopt},
    };
    for (const StartCase& c : cases) {
        std::optional<service::StartChoice> choice = service::parseStartWord(c.word);
        ASSERT_EQ(choice.has_value(), c.choice.has_value()) << c.word;
        if (choice) {
            EXPECT_EQ(choice->startType, c.choice->startType) << c.word;
            EXPECT_EQ(choice->delayed, c.choice->delayed) << c.word;
        }
    }

    service::InstallPlan plan;
    service::StartChoice fromCommand = service::chosenStart(plan, service::kAutoStart);
    EXPECT_EQ(fromCommand.startType, service::kAutoStart);
    EXPECT_FALSE(fromCommand.delayed);
    plan.start = service::StartChoice{service::kAutoStart, true};
    service::StartChoice configured = service::chosenStart(plan, service::kDemandStart);
    EXPECT_EQ(configured.startType, service::kAutoStart);
    EXPECT_TRUE(configured.delayed);
}

TEST(InstallRecovery, DelaysBecomeRestartActionsInMilliseconds) {
    struct RecoveryCase {
        const char* delays;
        const char* resetAfter;
        std::vector<uint32_t> milliseconds;  // empty: no recovery
        uint32_t resetPeriod;
    };
    const RecoveryCase cases[] = {
        {"10;60;300", "", {10000, 60000, 300000}, service::kDefaultResetPeriodSeconds},
        {"0", "3600", {0}, 3600},
        {" 5 ;;7;", " 0 ", {5000, 7000}, 0},
        {"86400", "4294967294", {86400000}, 4294967294u},
        {"", "", {}, 0},
        {";;", "60", {}, 0},
    };
    for (const RecoveryCase& c : cases) {
        std::string problem;
        std::optional<service::Recovery> recovery = service::parseRecovery(c.delays, c.resetAfter, problem);
        EXPECT_EQ(problem, "") << c.delays;
        ASSERT_EQ(recovery.has_value(), !c.milliseconds.empty()) << c.delays;
        if (!recovery)
            continue;
        std::vector<uint32_t> milliseconds;
        for (const service::RecoveryAction& action : recovery->actions) {
            EXPECT_EQ(action.type, service::kRestartAction) << c.delays;
            milliseconds.push_back(action.delayMilliseconds);
        }
        EXPECT_EQ(milliseconds, c.milliseconds) << c.delays;
        EXPECT_EQ(recovery->resetPeriodSeconds, c.resetPeriod) << c.delays;
    }
}

TEST(InstallRecovery, RefusesWhatIsNoNumberOfSecondsNamingTheKey) {
    struct RefusedCase {
        const char* delays;
        const char* resetAfter;
        const char* key;
    };
    const RefusedCase cases[] = {
        {"10;-5", "", "restart_delays"},
        {"10;1m", "", "restart_delays"},
        {"86401", "", "restart_delays"},
        {"4294967296", "", "restart_delays"},  // would wrap to 0 in 32 bits
        {"1 0", "", "restart_delays"},
        {"10", "-1", "reset_after"},
        {"10", "4294967295", "reset_after"},  // would mean: never
        {"10", "1.5", "reset_after"},
    };
    for (const RefusedCase& c : cases) {
        std::string problem;
        EXPECT_FALSE(service::parseRecovery(c.delays, c.resetAfter, problem))
            << c.delays << " " << c.resetAfter;
        EXPECT_NE(problem.find(std::string("service.recovery.") + c.key), std::string::npos) << problem;
    }
}

TEST(InstallPlan, NothingConfiguredIsTodaysInstall) {
    service::PlanOutcome outcome = service::planInstall({}, "MySvc");
    ASSERT_TRUE(outcome) << outcome.problem;
    const service::InstallPlan& plan = *outcome.plan;
    EXPECT_EQ(plan.displayName, "");
    EXPECT_EQ(plan.account.kind, AccountKind::LocalSystem);
    EXPECT_EQ(plan.account.name, "");
    EXPECT_FALSE(plan.start);
    EXPECT_FALSE(plan.recovery);
    EXPECT_TRUE(plan.notes.empty());
}

TEST(InstallPlan, EverythingConfigured) {
    service::InstallConfiguration configured{"Sample Service", ".\\svc", "SAMPLE_PASSWORD",
                                             "delayed-auto",   "10;60",  "86400"};
    service::PlanOutcome outcome = service::planInstall(configured, "SampleSvc");
    ASSERT_TRUE(outcome) << outcome.problem;
    const service::InstallPlan& plan = *outcome.plan;
    EXPECT_EQ(plan.displayName, "Sample Service");
    EXPECT_EQ(plan.account.name, ".\\svc");
    EXPECT_EQ(plan.passwordVariable, "SAMPLE_PASSWORD");
    ASSERT_TRUE(plan.start);
    EXPECT_TRUE(plan.start->delayed);
    ASSERT_TRUE(plan.recovery);
    EXPECT_EQ(plan.recovery->actions.size(), 2u);
    EXPECT_TRUE(plan.notes.empty());
}

TEST(InstallPlan, RefusalsNameTheKeyAndLeftAsideSettingsAreNoted) {
    struct PlanCase {
        service::InstallConfiguration configured;
        const char* problem;  // empty: accepted
        const char* note;     // empty: none
    };
    const PlanCase cases[] = {
        {{"", ".\\svc", "", "", "", ""}, "service.password_env must name", ""},
        {{"", "svc", "PW", "", "", ""}, "service.account \"svc\" is no account", ""},
        {{"", "", "", "Auto", "", ""}, "service.start \"Auto\"", ""},
        {{"", "", "", "", "10;x", ""}, "service.recovery.restart_delays", ""},
        {{std::string(service::kDisplayNameLimit + 1, 'd'), "", "", "", "", ""}, "service.display_name", ""},
        {{std::string(service::kDisplayNameLimit, 'd'), "", "", "", "", ""}, "", ""},
        {{"", "LocalService", "PW", "", "", ""}, "", "service.password_env left aside"},
        {{"", "", "PW", "", "", ""}, "", "\"LocalSystem\" has no password"},
        {{"", "NT SERVICE\\MySvc", "PW", "", "", ""}, "", "service.password_env left aside"},
        // The virtual account is the service's own, its name compared as the service manager does.
        {{"", "nt service\\mysvc", "", "", "", ""}, "", ""},
        {{"", "NT SERVICE\\Other", "", "", "", ""},
         "service.account \"NT SERVICE\\Other\" is the virtual account of another service; the service "
         "\"MySvc\" runs under its own, \"NT SERVICE\\MySvc\"",
         ""},
        {{"", "NT SERVICE\\MySvc2", "", "", "", ""}, "is the virtual account of another service", ""},
        {{"", "NT SERVICE\\MySv", "", "", "", ""}, "is the virtual account of another service", ""},
        {{"", "", "", "", "", "600"}, "", "service.recovery.reset_after left aside"},
    };
    for (const PlanCase& c : cases) {
        service::PlanOutcome outcome = service::planInstall(c.configured, "MySvc");
        const std::string expected = c.problem;
        if (!expected.empty()) {
            EXPECT_FALSE(outcome) << c.problem;
            EXPECT_NE(outcome.problem.find(expected), std::string::npos) << outcome.problem;
            continue;
        }
        ASSERT_TRUE(outcome) << outcome.problem;
        const std::string note = c.note;
        if (note.empty()) {
            EXPECT_TRUE(outcome.plan->notes.empty());
        } else {
            ASSERT_EQ(outcome.plan->notes.size(), 1u) << note;
            EXPECT_NE(outcome.plan->notes[0].find(note), std::string::npos) << outcome.plan->notes[0];
            EXPECT_EQ(outcome.plan->passwordVariable, "");
        }
    }
}

}  // namespace
