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

// The VM's C library, found before the VM exists and only read after.
using UniversalPrint = int(__cdecl*)(unsigned long long options, FILE* stream, const char* format,
                                     void* locale, va_list arguments);
using ClassicPrint = int(__cdecl*)(FILE* stream, const char* format, va_list arguments);
struct VmStreams {
    FILE* out = nullptr;
    FILE* err = nullptr;
    UniversalPrint universalPrint = nullptr;
    ClassicPrint classicPrint = nullptr;

    bool known() const { return universalPrint != nullptr || classicPrint != nullptr; }
};
VmStreams vmStreams;

// The FILE of msvcrt.dll and the versioned msvcrNN.dll, whose standard streams are the second and
// third elements of the array __iob_func answers.
struct ClassicFile {
    char* pointer;
    int count;
    char* base;
    int flags;
    int file;
    int character;
    int bufferSize;
    char* temporaryName;
};

// The names of the libraries a loaded module imports, in the order of its import directory. The
// loader has checked the image it mapped; only its headers are read.
std::vector<std::string> importedLibraries(HMODULE module) {
    std::vector<std::string> names;
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return names;
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (headers->Signature != IMAGE_NT_SIGNATURE ||
        headers->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT)
        return names;
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return names;
    for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry)
        names.emplace_back(reinterpret_cast<const char*>(base + entry->Name));
    return names;
}

VmStreams findVmStreams(const void* vmEntry) {
    VmStreams streams;
    HMODULE vm = nullptr;
    if (vmEntry == nullptr || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                      GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                  static_cast<const wchar_t*>(vmEntry), &vm))
        return streams;
    brolt::CLibrary library = brolt::vmCLibrary(importedLibraries(vm));
    HMODULE module =
        library.kind == brolt::CLibraryKind::Unknown ? nullptr : GetModuleHandleA(library.module.c_str());
    if (module == nullptr) {
        logInfo("the VM's C library is not known: every print of the VM goes to the standard-error file");
        return streams;
    }
    if (library.kind == brolt::CLibraryKind::Universal) {
        auto streamOf =
            reinterpret_cast<FILE*(__cdecl*)(unsigned)>(GetProcAddress(module, "__acrt_iob_func"));
        auto print = reinterpret_cast<UniversalPrint>(GetProcAddress(module, "__stdio_common_vfprintf"));
        if (streamOf != nullptr && print != nullptr)
            streams = {streamOf(1), streamOf(2), print, nullptr};
    } else {
        auto array = reinterpret_cast<ClassicFile*(__cdecl*)()>(GetProcAddress(module, "__iob_func"));
        auto print = reinterpret_cast<ClassicPrint>(GetProcAddress(module, "vfprintf"));
        if (array != nullptr && print != nullptr) {
            ClassicFile* files = array();
            streams = {reinterpret_cast<FILE*>(files + 1), reinterpret_cast<FILE*>(files + 2), nullptr,
                       print};
        }
    }
    logInfo("the VM prints with %s%s", library.module.c_str(),
            streams.known() ? "" : ", whose streams are not found");
    return streams;
}

// A print to a stream of the VM's own other than its standard ones: through its C library, as the VM
// itself would without the hook.
bool printedToOwnStream(FILE* stream, const char* format, va_list arguments, jint& result) {
    if (stream == nullptr || !vmStreams.known() || stream == vmStreams.out || stream == vmStreams.err)
        return false;
    result = vmStreams.universalPrint != nullptr
                 ? vmStreams.universalPrint(0, stream, format, nullptr, arguments)
                 : vmStreams.classicPrint(stream, format, arguments);
    return true;
}

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

void brolt::openVmOutput(const std::wstring& stderrFile, bool append, const void* vmEntry) {
    vmStreams = findVmStreams(vmEntry);
    std::lock_guard<std::mutex> guard(outputLock);
    outputFile = stderrFile;
    output = startVmOutput(!stderrFile.empty(), append);
    pendingLogLine.clear();
    firstLine.clear();
}

jint JNICALL brolt::vmPrintHook(FILE* stream, const char* format, va_list arguments) {
    jint result = 0;
    if (printedToOwnStream(stream, format, arguments, result))
        return result;
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
