// Lines of text as the six configured install texts (display name, account, password variable, start
// word, restart delays, reset period) and the service's name into the install's plan. Besides the
// sanitizers' checks: a plan or a problem, never both or neither; a user account always brings its
// password variable and no other account keeps one; a virtual account is the service's own; every
// recovery action is a restart within the longest delay, in whole seconds, one for each delay written at
// most; an account given by name reaches the service manager as written.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/text_case.h"
#include "fuzz_check.h"
#include "service/service_command_rules.h"

namespace service = brolt::service;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string fields[7];
    for (std::string& field : fields) {
        const size_t end = input.find('\n');
        field = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    }
    service::InstallConfiguration configured{fields[0], fields[1], fields[2],
                                             fields[3], fields[4], fields[5]};
    const std::string& serviceName = fields[6];
    service::PlanOutcome outcome = service::planInstall(configured, serviceName);
    fuzz::require(outcome.plan.has_value() == outcome.problem.empty());
    if (!outcome)
        return 0;
    const service::InstallPlan& plan = *outcome.plan;
    fuzz::require(plan.displayName.size() <= service::kDisplayNameLimit);
    fuzz::require(plan.account.needsPassword() == !plan.passwordVariable.empty());
    if (plan.account.kind == service::AccountKind::User || plan.account.kind == service::AccountKind::Virtual)
        fuzz::require(plan.account.name == configured.account);
    if (plan.account.kind == service::AccountKind::Virtual)
        fuzz::require(brolt::equalIgnoringCase(plan.account.name, "NT SERVICE\\" + serviceName));
    fuzz::require(plan.start.has_value() == !configured.start.empty());
    if (plan.recovery) {
        size_t written = 1;
        for (char c : configured.restartDelays)
            written += c == ';';
        fuzz::require(!plan.recovery->actions.empty() && plan.recovery->actions.size() <= written);
        for (const service::RecoveryAction& action : plan.recovery->actions) {
            fuzz::require(action.type == service::kRestartAction);
            fuzz::require(action.delayMilliseconds % 1000 == 0);
            fuzz::require(action.delayMilliseconds / 1000 <= service::kLongestRestartDelaySeconds);
        }
    }
    return 0;
}
