// Test helper: a launcher that runs its start-up and the runtime search, then tells what it found.
// Packed like any launcher, so the search reads a real configuration stream. Prints
//   found: 0|1
//   java: <chosen java executable>
//   PATH: <PATH as the process environment has it>
//   getenv: <PATH as the runtime library's copy has it>
// and exits with 0 when a runtime was found and loaded, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "jvm/search.h"
#include "windows/launcher_settings.h"
#include "windows/user_messages.h"
#include "windows/win_loader.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LauncherSetup setup = initializeLauncher();
    brolt::JavaRuntime runtime;
    std::optional<brolt::Failure> failed =
        LoadDLL(brolt::readLauncherSettings(setup.launcherKind).search, runtime);
    if (failed)
        showFailure(*failed);
    bool found = !failed;
    std::string path(32768, '\0');
    DWORD length = GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    const char* copy = getenv("PATH");
    printf("found: %d\njava: %s\nPATH: %s\ngetenv: %s\n", found ? 1 : 0, runtime.javaExePath.c_str(),
           path.c_str(), copy != nullptr ? copy : "");
    fflush(stdout);
    return found ? 0 : 1;
}
