#include "files/tempdir.h"

#include <direct.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/limits.h"
#include "core/log.h"
#include "core/long_path.h"
#include "files/paths.h"

namespace {

using brolt::kTextBufferSize;

constexpr const char* kTempFilePrefix = "brt";
constexpr const char* kWriteTestDirectory = "%s\\brt_w_testdir";
constexpr const char* kDriveRoot = "c:\\";
constexpr const char* kLastResortTempDir = "c:\\tmp";

// Errors that only say "there is nothing by that name": an answer to a probe, not a failure.
bool isNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool removeDirectory(const char* directory) {
    if (RemoveDirectoryA(directory))
        return true;
    logError("RemoveDirectoryA %s failed: %lu", directory, GetLastError());
    return false;
}

bool createDirectory(const char* directory) {
    if (CreateDirectoryA(directory, nullptr))
        return true;
    logError("CreateDirectoryA %s failed: %lu", directory, GetLastError());
    return false;
}

// The temporary locations after the system's own, each of which must pass the write test.
std::optional<std::string> chooseWritableTempDir() {
    char windows[kTextBufferSize];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) {
        logError("GetWindowsDirectoryA failed: %lu (length %u)", GetLastError(), length);
        windows[0] = '\0';
    }
    std::string windowsTemp = windows[0] != '\0' ? std::string(windows) + "\\temp" : std::string();

    const std::string candidates[] = {windowsTemp, "c:\\temp", kLastResortTempDir, windows};
    for (const std::string& candidate : candidates) {
        if (!candidate.empty() && isWritableDirectory(candidate.c_str()))
            return candidate;
    }
    // The drive root itself is never used; it only decides whether a directory may be made on it.
    if (isWritableDirectory(kDriveRoot)) {
        if (_mkdir(kLastResortTempDir) != 0)
            logError("_mkdir %s failed: %d", kLastResortTempDir, errno);
        if (isWritableDirectory(kLastResortTempDir))
            return std::string(kLastResortTempDir);
    }
    return std::nullopt;
}

// The system's temporary path, or empty when it cannot be had in full.
std::string getSystemTempPath() {
    char path[kTextBufferSize];
    DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length >= sizeof path) {
        logError("GetTempPathA failed: %lu (length %lu)", GetLastError(), length);
        return std::string();
    }
    return path;
}

std::optional<std::string> createTempFileIn(const std::string& directory) {
    char name[MAX_PATH];  // what GetTempFileNameA writes at most
    if (GetTempFileNameA(directory.c_str(), kTempFilePrefix, 0, name) != 0)
        return std::string(name);
    logError("GetTempFileNameA %s failed: %lu", directory.c_str(), GetLastError());
    return std::nullopt;
}

}  // namespace

std::optional<std::string> chooseTempDir() {
    std::string systemPath = getSystemTempPath();
    if (!systemPath.empty()) {
        // A "?" in the long form marks a name the ANSI code page cannot hold: the narrow file functions
        // could not reach it. When there is no long form (a path that does not exist, or one that
        // already came out of the conversion with "?" in it) the path itself is examined.
        char longForm[kTextBufferSize];
        DWORD length = getLongPathName(systemPath.c_str(), longForm, sizeof longForm);
        // Assigned apart: a conditional between the buffer and the string would make a temporary string,
        // gone before the view is read.
        std::string_view examined = systemPath;
        if (length > 0 && length < sizeof longForm)
            examined = longForm;
        if (examined.find('?') == std::string_view::npos)
            return systemPath;
    }
    return chooseWritableTempDir();
}

bool isWritableDirectory(const char* directory) {
    char testDirectory[kTextBufferSize];
    int length = snprintf(testDirectory, sizeof testDirectory, kWriteTestDirectory, directory);
    if (length < 0 || static_cast<size_t>(length) >= sizeof testDirectory)
        return false;
    // A leftover from an interrupted test goes first; one with content stays and fails the test.
    if (!RemoveDirectoryA(testDirectory)) {
        DWORD error = GetLastError();
        if (!isNotFound(error))
            logError("RemoveDirectoryA %s failed: %lu", testDirectory, error);
    }
    if (!createDirectory(testDirectory))
        return false;
    bool there = fileExists(testDirectory);
    removeDirectory(testDirectory);
    return there;
}

TempFile makeTempFileName() {
    return makeTempFileWith(createTempFileIn);
}

TempFile makeTempFileIn(const std::string& directory) {
    if (!directory.empty()) {
        if (std::optional<std::string> name = createTempFileIn(directory))
            return {TempFileFailure::None, *name};
    }
    return makeTempFileName();
}

TempFile makeTempFileWith(const std::function<std::optional<std::string>(const std::string&)>& create) {
    std::optional<std::string> directory = chooseTempDir();
    if (!directory)
        return {TempFileFailure::NoWritableLocation, {}};
    if (std::optional<std::string> name = create(*directory))
        return {TempFileFailure::None, *name};
    // The system's temporary path is taken without a write test; when it turns out unusable, the
    // locations that must pass one are tried.
    directory = chooseWritableTempDir();
    if (!directory)
        return {TempFileFailure::NoWritableLocation, {}};
    if (std::optional<std::string> name = create(*directory))
        return {TempFileFailure::None, *name};
    return {TempFileFailure::NotCreated, {}};
}

void makeProcessCommFileName(char* output, DWORD processId) {
    snprintf(output, kTextBufferSize, "%sbrt_p%d.tmp", getSystemTempPath().c_str(),
             static_cast<int>(processId));
}
