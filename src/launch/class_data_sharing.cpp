#include "launch/class_data_sharing.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <optional>

#include "core/log.h"
#include "core/split_list.h"
#include "core/unique_resource.h"
#include "core/word_size.h"
#include "files/paths.h"
#include "launch/class_data_sharing_rules.h"
#include "launch/vm_option_rules.h"

namespace brolt {

// 32-bit runtimes share no application classes, so the 32-bit launcher carries none of the code.
#if !defined(_WIN64)

std::vector<std::string> prepareClassDataSharing(const LaunchContext&, const std::string&, const std::string&,
                                                 const std::vector<std::string>&) {
    logInfo("class data sharing: off: a 32-bit launcher");
    return {};
}

void finishClassDataSharing() {}

#else

namespace {

// Below the local application data folder: per user, never roamed, and the VM's archive is no document.
constexpr const char* kCacheFolders[] = {"\\brolt", "\\brolt\\cds"};
constexpr const char* kStampSuffix = ".stamp";
constexpr const char* kLockSuffix = ".lock";
// A stamp is one short line; anything longer is no stamp of ours.
constexpr DWORD kStampReadSize = 128;

// The write this start asked the VM for: the file the VM writes, the archive it becomes, its stamp, and
// what the archive is made for. Set once before the VM is created, read at its end.
struct PendingWrite {
    std::string written;
    std::string archive;
    std::string stamp;
    std::string inputs;
};
std::optional<PendingWrite> pendingWrite;
// Held until the process ends: this process writes the archive, no other process of the launcher does.
UniqueFile writerLock;

uint64_t fileTimeNumber(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

std::optional<ClassPathFile> fileAttributes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return ClassPathFile{path, (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
                         fileTimeNumber(data.ftLastWriteTime)};
}

// %LOCALAPPDATA%\brolt\cds, made when missing; empty when there is none.
std::string cacheFolder() {
    char base[MAX_PATH];
    HRESULT result = SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base);
    if (FAILED(result)) {
        logError("class data sharing: no local application data folder (0x%08lx)",
                 static_cast<unsigned long>(result));
        return {};
    }
    std::string folder;
    for (const char* part : kCacheFolders) {
        folder = std::string(base) + part;
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            logError("class data sharing: could not make %s (%lu)", folder.c_str(), GetLastError());
            return {};
        }
    }
    return folder;
}

// The VM writes its archives read-only, so a replace or delete clears that first.
bool deleteCacheFile(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != 0;
}

void pruneCache(const std::string& folder, const std::string& current) {
    std::vector<CacheFile> files;
    WIN32_FIND_DATAA entry;
    UniqueFind search(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!search)
        return;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back({entry.cFileName, fileTimeNumber(entry.ftLastWriteTime)});
    } while (FindNextFileA(search.get(), &entry));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (const std::string& name : filesToPrune(files, current, fileTimeNumber(now))) {
        bool deleted = deleteCacheFile(folder + "\\" + name);
        logInfo("class data sharing: pruned %s%s", name.c_str(), deleted ? "" : " (could not delete)");
    }
}

// The lock is a file no other process may open while this one holds it; it goes when the process ends.
bool takeWriterLock(const std::string& archive) {
    writerLock.reset(CreateFileA((archive + kLockSuffix).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(writerLock);
}

std::optional<ArchiveStamp> readStamp(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    char text[kStampReadSize];
    DWORD read = 0;
    if (!ReadFile(file.get(), text, sizeof text, &read, nullptr))
        return std::nullopt;
    return parseArchiveStamp(std::string_view(text, read));
}

bool writeStamp(const std::string& path, const ArchiveStamp& stamp) {
    std::string text = formatArchiveStamp(stamp);
    UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// A mapped archive's stamp is touched, so the pruning of other launchers sees it in use.
void touch(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (file)
        SetFileTime(file.get(), nullptr, nullptr, &now);
}

// Larger than any options file written by hand; a larger one is not read, and sharing steps aside.
constexpr DWORD kMaxOptionsFileBytes = 1024 * 1024;

// A variable of this process's environment, which is the one the VM reads; nullopt when it is not set.
std::optional<std::string> environmentVariable(std::string_view name) {
    std::string variable(name);
    std::string value(256, '\0');
    while (true) {
        SetLastError(ERROR_SUCCESS);
        DWORD length =
            GetEnvironmentVariableA(variable.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0)
            return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        // Too small: the answer is the size the value needs, its terminator included.
        value.assign(length, '\0');
    }
}

// A file the VM is told to read options from, opened as the VM opens it: a relative name from the
// current folder.
OptionsFileText optionsFile(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return {std::nullopt, "it could not be opened (error " + std::to_string(GetLastError()) + ")"};
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size))
        return {std::nullopt, "its size could not be read (error " + std::to_string(GetLastError()) + ")"};
    if (size.QuadPart > kMaxOptionsFileBytes)
        return {std::nullopt, "it is larger than " + std::to_string(kMaxOptionsFileBytes) + " bytes"};
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() && !ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr))
        return {std::nullopt, "it could not be read (error " + std::to_string(GetLastError()) + ")"};
    text.resize(read);
    return {text, {}};
}

// The files of the composed class path option (the last "-Djava.class.path=" one), as they are now.
std::vector<ClassPathFile> classPathFiles(const std::vector<std::string>& options) {
    std::vector<ClassPathFile> files;
    for (auto option = options.rbegin(); option != options.rend(); ++option) {
        if (!option->starts_with(kClassPathOptionStart))
            continue;
        std::string_view list = std::string_view(*option).substr(kClassPathOptionStart.size());
        for (std::string_view piece : splitList(list, ';', EmptyPieces::Skip)) {
            std::string entry(piece);
            files.push_back(fileAttributes(entry).value_or(ClassPathFile{entry, 0, 0}));
        }
        break;
    }
    return files;
}

}  // namespace

std::vector<std::string> prepareClassDataSharing(const LaunchContext& context,
                                                 const std::string& javaExecutable,
                                                 const std::string& version,
                                                 const std::vector<std::string>& options) {
    // What the VM reads besides the launcher's options can load an agent or set an archive of its own.
    std::vector<VmOptionSource> others = otherVmOptionSources(options, {environmentVariable, optionsFile});
    SharingChoice choice = chooseSharing(context.settings.classDataSharing,
                                         static_cast<int>(kLauncherWordSize.bits), version, options, others);
    logInfo("class data sharing: %s", choice.reason.c_str());
    if (choice.mode == SharingMode::Off)
        return {};
    std::string folder = cacheFolder();
    if (folder.empty())
        return {};
    std::string name = archiveFileName(getModulePath(), javaExecutable, version);
    pruneCache(folder, name);

    std::string archive = folder + "\\" + name;
    std::string stamp = archive + kStampSuffix;
    bool writer = takeWriterLock(archive);
    ArchiveUse use = writer ? ArchiveUse::Write : ArchiveUse::Map;
    std::string inputs;
    if (choice.mode == SharingMode::AtExit) {
        inputs = archiveInputs(version, classPathFiles(options), options);
        use = chooseArchiveUse(readStamp(stamp), inputs, fileAttributes(archive), writer);
    }
    std::string written = archive + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    const char* useNames[] = {"map", "write", "none: another process writes it"};
    logInfo("class data sharing: archive %s, %s", archive.c_str(), useNames[static_cast<int>(use)]);
    if (use == ArchiveUse::Map)
        touch(choice.mode == SharingMode::AtExit ? stamp : archive);
    if (use == ArchiveUse::Write && choice.mode == SharingMode::AtExit)
        pendingWrite = PendingWrite{written, archive, stamp, inputs};
    return sharingOptions(choice.mode, use, archive, written);
}

void finishClassDataSharing() {
    if (!pendingWrite)
        return;
    PendingWrite write = *pendingWrite;
    pendingWrite.reset();
    std::optional<ClassPathFile> written = fileAttributes(write.written);
    if (!written || written->size == 0) {
        logInfo("class data sharing: the VM wrote no archive");
        if (written)
            deleteCacheFile(write.written);
        return;
    }
    // The old stamp goes first: an archive without its stamp is never mapped.
    deleteCacheFile(write.stamp);
    SetFileAttributesA(write.archive.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExA(write.written.c_str(), write.archive.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        // Mapped by another process of the launcher, say; the next start writes it again.
        logError("class data sharing: could not replace %s (%lu)", write.archive.c_str(), GetLastError());
        deleteCacheFile(write.written);
        return;
    }
    std::optional<ClassPathFile> archive = fileAttributes(write.archive);
    if (!archive || !writeStamp(write.stamp, {write.inputs, archive->size, archive->writeTime})) {
        logError("class data sharing: could not stamp %s (%lu)", write.archive.c_str(), GetLastError());
        return;
    }
    logInfo("class data sharing: archive written, %llu bytes",
            static_cast<unsigned long long>(archive->size));
}

#endif

}  // namespace brolt
