// Test double: the launcher whose runtime search loads the VM library beside it (the VM double's
// jvm.dll) instead of searching, while the launch and the stop are the launcher's own. The runtime's
// java executable is taken to be jre\bin\java.exe beside it, which need not exist.
#include <windows.h>

#include <string>

#include "core/log.h"
#include "files/paths.h"
#include "launch/java_launch.h"
#include "windows/win_loader.h"

namespace {

std::optional<brolt::Failure> loadLibraryBeside(const brolt::SearchSettings&, brolt::JavaRuntime& runtime) {
    runtime = {};
    std::string directory = getLauncherDirectory();
    HMODULE library = LoadLibraryA((directory + "jvm.dll").c_str());  // kept until the process ends
    if (library == nullptr) {
        logError("VM library beside the launcher not loaded: %d", static_cast<int>(GetLastError()));
        return brolt::silentFailure();
    }
    runtime.javaExePath = directory + "jre\\bin\\java.exe";
    runtime.entryPoints.createJavaVM =
        reinterpret_cast<brolt::CreateJavaVmFunction>(GetProcAddress(library, "JNI_CreateJavaVM"));
    if (!runtime.entryPoints.usable())
        return brolt::silentFailure();
    return std::nullopt;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runLauncher(getCommandTail(GetCommandLineA()),
                       {loadLibraryBeside, launchJavaApplication, stopJavaApplication});
}
