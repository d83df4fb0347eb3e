// Entries in the Windows event log, where an operator looks first when a service misbehaves: the
// Application log, the service's name as the source.
#pragma once

#include <windows.h>

#include <string>

namespace brolt {

// What an entry is about; each kind is an event id of its own, so a monitor can filter on it.
enum class ServiceEvent : DWORD {
    FailedStart = 1,   // the service stopped before the application's main ran
    StopTimedOut = 2,  // the application did not end within the stop timeout; the process was ended
    VmAborted = 3,     // the VM aborted while the application ran
};

// The entry's text: what happened (a sentence, its full stop added when missing), then the exit codes
// the service manager shows for it.
std::string eventText(const std::string& what, DWORD win32ExitCode, DWORD serviceSpecificExitCode);

// Writes one error entry with that text. A log that cannot be written is noted in the diagnostic log only.
void writeServiceEvent(const std::string& serviceName, ServiceEvent event, const std::string& text);

}  // namespace brolt
