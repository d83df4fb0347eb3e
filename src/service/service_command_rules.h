// What an install asks of the service manager beyond its entry: the display name, the account, the
// start type and the recovery, worked out from the configured texts before anything is touched. No
// system calls here: service_commands carries the plan out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brolt::service {

// The service manager's own numbers (SERVICE_AUTO_START, SERVICE_DEMAND_START, SC_ACTION_RESTART),
// spelled out since this module includes no system header; service_commands checks they agree.
inline constexpr uint32_t kAutoStart = 2;
inline constexpr uint32_t kDemandStart = 3;
inline constexpr uint32_t kRestartAction = 1;

// The service manager takes display names of up to this many characters.
inline constexpr size_t kDisplayNameLimit = 256;
// A restart later than a day after a failure is no recovery anybody waits for: a larger number is
// taken for a slip (milliseconds or minutes where seconds were meant) and refused.
inline constexpr uint32_t kLongestRestartDelaySeconds = 86400;
// Without service.recovery.reset_after, a day without a failure starts the count again: a service that
// fails now and then gets the first, shortest delay each time.
inline constexpr uint32_t kDefaultResetPeriodSeconds = 86400;
// The record's largest period short of 0xFFFFFFFF, which would mean that the count never starts again.
inline constexpr uint32_t kLongestResetPeriodSeconds = 0xFFFFFFFE;

enum class AccountKind { LocalSystem, LocalService, NetworkService, Virtual, User };

struct Account {
    AccountKind kind = AccountKind::LocalSystem;
    std::string name;  // as the service manager takes it; empty for LocalSystem, for which none is passed

    bool needsPassword() const { return kind == AccountKind::User; }
};

struct StartChoice {
    uint32_t startType = kDemandStart;
    bool delayed = false;  // an automatic start that waits until the system has started the others
};

struct RecoveryAction {
    uint32_t type = kRestartAction;
    uint32_t delayMilliseconds = 0;
};

// The content of the failure actions record: one action per failure in order, the last one taken for
// every later failure, and the seconds without a failure after which the count starts again.
struct Recovery {
    std::vector<RecoveryAction> actions;
    uint32_t resetPeriodSeconds = kDefaultResetPeriodSeconds;
};

// The configured texts, as read (keys 30002 to 30007); empty: not configured.
struct InstallConfiguration {
    std::string displayName;
    std::string account;
    std::string passwordVariable;
    std::string start;
    std::string restartDelays;  // whole seconds separated by ";"
    std::string resetAfter;     // whole seconds
};

struct InstallPlan {
    std::string displayName;  // empty: the service name is the display name too
    Account account;
    std::string passwordVariable;      // set only for a user account
    std::optional<StartChoice> start;  // the configured start word; absent: the command's own choice
    std::optional<Recovery> recovery;  // absent: none is set
    std::vector<std::string> notes;    // what was configured and left aside, for the log
};

struct PlanOutcome {
    std::optional<InstallPlan> plan;  // absent when refused
    std::string problem;              // why, a sentence for the user naming the key

    explicit operator bool() const { return plan.has_value(); }
};

// LocalSystem (or empty), LocalService, NetworkService (their words without regard to case, or their
// full names "NT AUTHORITY\..."), "NT SERVICE\<name>" (a virtual account), or a user as ".\user" or
// "DOMAIN\user". Anything else is refused with the reason.
std::optional<Account> parseAccount(std::string_view text, std::string& problem);

// "auto", "delayed-auto" or "demand".
std::optional<StartChoice> parseStartWord(std::string_view word);

// The recovery of the configured restart delays (seconds, separated by ";", blanks around each allowed)
// and reset period (seconds; empty: kDefaultResetPeriodSeconds). No delays: no recovery.
std::optional<Recovery> parseRecovery(std::string_view restartDelays, std::string_view resetAfter,
                                      std::string& problem);

// The whole plan for the service of that name, or the first problem found. A user account without
// service.password_env is refused, and so is the virtual account of another service (which would leave
// the service's old entry removed and none in its place); whether the variable is set is the install's
// to check, at install time.
PlanOutcome planInstall(const InstallConfiguration& configured, std::string_view serviceName);

// The start an install applies: the configured one when there is one, else the command's.
StartChoice chosenStart(const InstallPlan& plan, uint32_t commandStartType);

}  // namespace brolt::service
