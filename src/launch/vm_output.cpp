#include "launch/vm_output.h"

#include <windows.h>

#include <mutex>
#include <vector>

#include "core/log.h"
#include "core/unique_resource.h"
#include "launch/vm_output_rules.h"

namespace {

// The VM prints from any of its threads, and ends the process from any of them; one lock keeps the
// texts in order and each release whole.
std::mutex outputLock;
std::wstring outputFile;  // empty: the process's standard error
brolt::VmOutput output;
std::string pendingLogLine;
std::string firstLine;

void logLines(const std::vector<std::string>& lines) {
    if (firstLine.empty() && !lines.empty())
        firstLine = lines.front();
    for (const std::string& line : lines)
        logInfo("vm: %s", line.c_str());
}

// Each folder on the way to the file, as the Java side makes them.
void createFolders(const std::wstring& file) {
    for (size_t separator = file.find(L'\\', 3); separator != std::wstring::npos;
         separator = file.find(L'\\', separator + 1))
        CreateDirectoryW(file.substr(0, separator).c_str(), nullptr);  // most exist already
}

// Opened and closed for each write, sharing everything, so the Java side's own stream on the file goes
// on undisturbed.
void writeToFile(const brolt::PendingWrite& write) {
    bool afresh = write.mode == brolt::OutputWrite::StartAfresh;
    createFolders(outputFile);
    brolt::UniqueFile file(CreateFileW(outputFile.c_str(), afresh ? GENERIC_WRITE : FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       afresh ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        logError("could not open the standard-error file for the VM's output: %lu", GetLastError());
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), write.text.data(), static_cast<DWORD>(write.text.size()), &written, nullptr))
        logError("could not write the VM's output to the standard-error file: %lu", GetLastError());
}

void carryOut(const brolt::PendingWrite& write) {
    if (write.text.empty())
        return;
    if (!outputFile.empty()) {
        writeToFile(write);
        return;
    }
    fwrite(write.text.data(), 1, write.text.size(), stderr);
    fflush(stderr);
}

// The printed text itself, as vfprintf would have written it.
std::string formatted(const char* format, va_list arguments) {
    if (format == nullptr)
        return {};
    va_list counting;
    va_copy(counting, arguments);
    int length = _vscprintf(format, counting);
    va_end(counting);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int written = _vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(written < 0 ? 0 : static_cast<size_t>(written));
    return text;
}

}  // namespace

void brolt::openVmOutput(const std::wstring& stderrFile, bool append) {
    std::lock_guard<std::mutex> guard(outputLock);
    outputFile = stderrFile;
    output = startVmOutput(!stderrFile.empty(), append);
    pendingLogLine.clear();
    firstLine.clear();
}

jint JNICALL brolt::vmPrintHook(FILE*, const char* format, va_list arguments) {
    std::string text = formatted(format, arguments);
    writeVmOutput(text);
    return static_cast<jint>(text.size());
}

void brolt::writeVmOutput(std::string_view text) {
    std::lock_guard<std::mutex> guard(outputLock);
    logLines(takeLogLines(pendingLogLine, text));
    carryOut(printed(output, text));
}

void brolt::releaseVmOutput(bool javaSideRan) {
    std::lock_guard<std::mutex> guard(outputLock);
    std::string last = takeLastLogLine(pendingLogLine);
    if (!last.empty())
        logLines({last});
    carryOut(releaseKept(output, javaSideRan));
}

std::string brolt::firstVmLine() {
    std::lock_guard<std::mutex> guard(outputLock);
    if (!firstLine.empty())
        return firstLine;
    std::string pending = pendingLogLine;  // a line whose end has not come
    return takeLastLogLine(pending);
}
