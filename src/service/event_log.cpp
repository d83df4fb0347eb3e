#include "service/event_log.h"

#include "core/ansi_text.h"
#include "core/log.h"
#include "core/unique_resource.h"

namespace brolt {

std::string eventText(const std::string& what, DWORD win32ExitCode, DWORD serviceSpecificExitCode) {
    std::string text = what;
    if (!text.empty() && text.back() != '.')
        text += '.';
    text += " Exit code: " + std::to_string(win32ExitCode);
    if (win32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR)
        text += ", service-specific exit code: " + std::to_string(serviceSpecificExitCode);
    return text + ".";
}

void writeServiceEvent(const std::string& serviceName, ServiceEvent event, const std::string& text) {
    std::wstring source = fromAnsiCodePage(serviceName);
    HANDLE log = RegisterEventSourceW(nullptr, source.c_str());
    if (log == nullptr) {
        logError("RegisterEventSourceW failed: %lu", GetLastError());
        return;
    }
    std::wstring wide = fromAnsiCodePage(text);
    const wchar_t* strings[] = {wide.c_str()};
    if (!ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, static_cast<DWORD>(event), nullptr, 1, 0, strings,
                      nullptr))
        logError("ReportEventW failed: %lu", GetLastError());
    DeregisterEventSource(log);
}

}  // namespace brolt
