// The launcher with stand-ins handed in through its seam, packed like any launcher by the scenarios.
// What it stands in for depends on how it is run:
// - With "-probe-runtime" as its only argument, it runs start-up and the real runtime search, then tells
//   what it found and exits with 0 when a runtime was found and loaded, 1 otherwise (the failure's
//   message shown as the launcher shows it):
//     found: 0|1
//     java: <chosen java executable>
//     PATH: <PATH as the process environment has it>
//     getenv: <PATH as the runtime library's copy has it>
// - With a jvm.dll beside it (the VM double's), its runtime search loads that library instead of
//   searching, while the launch and the stop are the launcher's own; the runtime's java executable is
//   taken to be jre\bin\java.exe beside it, which need not exist.
// - Otherwise its search always succeeds and the "application" only writes the launch argument list it
//   was handed (UTF-8, one per line) to launch-arguments.txt beside it, so the launcher's own service
//   runtime reports running and keeps running until a stop control arrives, when it writes stopped.txt
//   (and never returns from the stop when stop-hangs.txt is beside it).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/log.h"
#include "files/paths.h"
#include "launch/java_launch.h"
#include "windows/launcher_settings.h"
#include "windows/user_messages.h"
#include "windows/win_loader.h"

#include "../unit/support/utf8.h"

namespace {

using MaybeFailure = std::optional<brolt::Failure>;

std::string besideLauncher(const char* fileName) {
    return std::string(getLauncherDirectory()) + fileName;
}

void writeBeside(const char* fileName, const std::string& text) {
    FILE* file = fopen(besideLauncher(fileName).c_str(), "wb");
    if (file == nullptr)
        return;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

MaybeFailure locateNothing(const brolt::SearchSettings&, brolt::JavaRuntime& runtime) {
    runtime = {};
    return std::nullopt;
}

MaybeFailure writeLaunchArguments(const brolt::JavaRuntime&, const brolt::LaunchSettings&,
                                  const std::vector<std::wstring>& arguments) {
    std::string lines;
    for (const std::wstring& argument : arguments)
        lines += fixture::utf8(argument) + "\n";
    writeBeside("launch-arguments.txt", lines);
    return std::nullopt;
}

// With stop-hangs.txt beside it, the application's stop never ends, as a shutdown hook that never
// returns.
void recordStop() {
    writeBeside("stopped.txt", "stopped\n");
    if (GetFileAttributesA(besideLauncher("stop-hangs.txt").c_str()) != INVALID_FILE_ATTRIBUTES)
        Sleep(INFINITE);
}

MaybeFailure loadLibraryBeside(const brolt::SearchSettings&, brolt::JavaRuntime& runtime) {
    runtime = {};
    HMODULE library = LoadLibraryA(besideLauncher("jvm.dll").c_str());  // kept until the process ends
    if (library == nullptr) {
        logError("VM library beside the launcher not loaded: %d", static_cast<int>(GetLastError()));
        return brolt::silentFailure();
    }
    runtime.javaExePath = besideLauncher("jre\\bin\\java.exe");
    runtime.entryPoints.createJavaVM =
        reinterpret_cast<brolt::CreateJavaVmFunction>(GetProcAddress(library, "JNI_CreateJavaVM"));
    if (!runtime.entryPoints.usable())
        return brolt::silentFailure();
    return std::nullopt;
}

int probeRuntime() {
    LauncherSetup setup = initializeLauncher();
    brolt::JavaRuntime runtime;
    MaybeFailure failed =
        LoadDLL(brolt::readLauncherSettings(setup.launcherKind, setup.executableType).search, runtime);
    if (failed)
        showFailure(*failed);
    std::string path(32768, '\0');
    DWORD length = GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    const char* copy = getenv("PATH");
    printf("found: %d\njava: %s\nPATH: %s\ngetenv: %s\n", failed ? 0 : 1, runtime.javaExePath.c_str(),
           path.c_str(), copy != nullptr ? copy : "");
    fflush(stdout);
    return failed ? 1 : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* tail = getCommandTail(GetCommandLineA());
    if (strcmp(tail, "-probe-runtime") == 0)
        return probeRuntime();
    if (GetFileAttributesA(besideLauncher("jvm.dll").c_str()) != INVALID_FILE_ATTRIBUTES)
        return runLauncher(tail, {loadLibraryBeside, launchJavaApplication, stopJavaApplication});
    return runLauncher(tail, {locateNothing, writeLaunchArguments, recordStop});
}
