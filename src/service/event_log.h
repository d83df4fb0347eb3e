// Entries in the Windows event log, where an operator looks first when a service misbehaves: the
// Application log, the service's name as the source, the event id of its kind (service_end_rules), so a
// monitor can filter on it.
#pragma once

#include <string>

#include "service/service_end_rules.h"

namespace brolt {

// Writes one entry, an error or a warning as the event says. A log that cannot be written is noted in
// the diagnostic log only.
void writeServiceEvent(const std::string& serviceName, const service::ServiceEvent& event);

}  // namespace brolt
