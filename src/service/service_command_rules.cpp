#include "service/service_command_rules.h"

#include <charconv>

#include "core/split_list.h"
#include "core/text_case.h"

namespace brolt::service {

namespace {

struct BuiltInAccount {
    std::string_view word;      // as configured
    std::string_view fullName;  // also accepted; what the service manager is given
    AccountKind kind;
};

// LocalSystem is passed as no account at all, as installs always did.
constexpr BuiltInAccount kBuiltInAccounts[] = {
    {"LocalSystem", "", AccountKind::LocalSystem},
    {"LocalService", "NT AUTHORITY\\LocalService", AccountKind::LocalService},
    {"NetworkService", "NT AUTHORITY\\NetworkService", AccountKind::NetworkService},
};

constexpr std::string_view kVirtualAccountDomain = "NT SERVICE\\";

struct StartWord {
    std::string_view word;
    StartChoice choice;
};

constexpr StartWord kStartWords[] = {
    {"auto", {kAutoStart, false}},
    {"delayed-auto", {kAutoStart, true}},
    {"demand", {kDemandStart, false}},
};

constexpr uint32_t kMillisecondsPerSecond = 1000;

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Whole seconds from 0 to limit, digits only (blanks around them allowed).
std::optional<uint32_t> parseSeconds(std::string_view text, uint32_t limit) {
    text = trimBlanks(text);
    uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.front() == '-' || error != std::errc() || end != text.data() + text.size() ||
        value > limit)
        return std::nullopt;
    return value;
}

std::string quotedForUser(std::string_view text) {
    std::string quoted(1, '"');
    quoted.append(text).push_back('"');
    return quoted;
}

}  // namespace

std::optional<Account> parseAccount(std::string_view text, std::string& problem) {
    if (text.empty())
        return Account{};
    for (const BuiltInAccount& builtIn : kBuiltInAccounts) {
        if (equalIgnoringCase(text, builtIn.word) ||
            (!builtIn.fullName.empty() && equalIgnoringCase(text, builtIn.fullName)))
            return Account{builtIn.kind, std::string(builtIn.fullName)};
    }
    const size_t separator = text.find('\\');
    const std::string_view domain = text.substr(0, separator == std::string_view::npos ? 0 : separator);
    const std::string_view user = separator == std::string_view::npos ? "" : text.substr(separator + 1);
    if (domain.empty() || user.empty() || user.find('\\') != std::string_view::npos) {
        problem = "service.account " + quotedForUser(text) +
                  " is no account: use LocalSystem, LocalService, NetworkService, NT SERVICE\\<name>, "
                  ".\\user or DOMAIN\\user";
        return std::nullopt;
    }
    const bool virtualAccount = startsWithIgnoringCase(text, kVirtualAccountDomain);
    return Account{virtualAccount ? AccountKind::Virtual : AccountKind::User, std::string(text)};
}

std::optional<StartChoice> parseStartWord(std::string_view word) {
    for (const StartWord& entry : kStartWords) {
        if (word == entry.word)
            return entry.choice;
    }
    return std::nullopt;
}

std::optional<Recovery> parseRecovery(std::string_view restartDelays, std::string_view resetAfter,
                                      std::string& problem) {
    Recovery recovery;
    for (std::string_view piece : splitList(restartDelays, ';', EmptyPieces::Skip)) {
        std::optional<uint32_t> seconds = parseSeconds(piece, kLongestRestartDelaySeconds);
        if (!seconds) {
            problem = "service.recovery.restart_delays: " + quotedForUser(piece) +
                      " is not a number of seconds from 0 to " + std::to_string(kLongestRestartDelaySeconds);
            return std::nullopt;
        }
        recovery.actions.push_back({kRestartAction, *seconds * kMillisecondsPerSecond});
    }
    if (!trimBlanks(resetAfter).empty()) {
        std::optional<uint32_t> seconds = parseSeconds(resetAfter, kLongestResetPeriodSeconds);
        if (!seconds) {
            problem = "service.recovery.reset_after: " + quotedForUser(resetAfter) +
                      " is not a number of seconds from 0 to " + std::to_string(kLongestResetPeriodSeconds);
            return std::nullopt;
        }
        recovery.resetPeriodSeconds = *seconds;
    }
    if (recovery.actions.empty())
        return std::nullopt;
    return recovery;
}

PlanOutcome planInstall(const InstallConfiguration& configured, std::string_view serviceName) {
    PlanOutcome outcome;
    InstallPlan plan;
    if (configured.displayName.size() > kDisplayNameLimit) {
        outcome.problem =
            "service.display_name is longer than " + std::to_string(kDisplayNameLimit) + " characters";
        return outcome;
    }
    plan.displayName = configured.displayName;

    std::optional<Account> account = parseAccount(configured.account, outcome.problem);
    if (!account)
        return outcome;
    plan.account = *account;
    // The service manager makes a virtual account for the service of its name and for no other.
    if (plan.account.kind == AccountKind::Virtual &&
        !equalIgnoringCase(plan.account.name.substr(kVirtualAccountDomain.size()), serviceName)) {
        outcome.problem = "service.account " + quotedForUser(configured.account) +
                          " is the virtual account of another service; the service " +
                          quotedForUser(serviceName) + " runs under its own, " +
                          quotedForUser(std::string(kVirtualAccountDomain) + std::string(serviceName));
        return outcome;
    }
    if (plan.account.needsPassword()) {
        if (configured.passwordVariable.empty()) {
            outcome.problem = "service.account " + quotedForUser(configured.account) +
                              " is a user account: service.password_env must name the environment variable "
                              "that holds its password";
            return outcome;
        }
        plan.passwordVariable = configured.passwordVariable;
    } else if (!configured.passwordVariable.empty()) {
        plan.notes.push_back("service.password_env left aside: the account " +
                             quotedForUser(configured.account.empty() ? "LocalSystem" : configured.account) +
                             " has no password");
    }

    if (!configured.start.empty()) {
        plan.start = parseStartWord(configured.start);
        if (!plan.start) {
            outcome.problem = "service.start " + quotedForUser(configured.start) +
                              " is not one of \"auto\", \"delayed-auto\" and \"demand\"";
            return outcome;
        }
    }

    plan.recovery = parseRecovery(configured.restartDelays, configured.resetAfter, outcome.problem);
    if (!outcome.problem.empty())
        return outcome;
    if (!plan.recovery && !trimBlanks(configured.resetAfter).empty())
        plan.notes.push_back("service.recovery.reset_after left aside: no restart_delays to reset");
    outcome.plan = std::move(plan);
    return outcome;
}

StartChoice chosenStart(const InstallPlan& plan, uint32_t commandStartType) {
    return plan.start ? *plan.start : StartChoice{commandStartType, false};
}

}  // namespace brolt::service
