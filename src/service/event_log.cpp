#include "service/event_log.h"

#include <windows.h>

#include "core/ansi_text.h"
#include "core/log.h"

namespace brolt {

void writeServiceEvent(const std::string& serviceName, const service::ServiceEvent& event) {
    std::wstring source = fromAnsiCodePage(serviceName);
    HANDLE log = RegisterEventSourceW(nullptr, source.c_str());
    if (log == nullptr) {
        logError("RegisterEventSourceW failed: %lu", GetLastError());
        return;
    }
    std::wstring wide = fromAnsiCodePage(event.text);
    const wchar_t* strings[] = {wide.c_str()};
    WORD type = event.warning ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE;
    if (!ReportEventW(log, type, 0, static_cast<DWORD>(event.id), nullptr, 1, 0, strings, nullptr))
        logError("ReportEventW failed: %lu", GetLastError());
    DeregisterEventSource(log);
}

}  // namespace brolt
