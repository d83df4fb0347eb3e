// Test double: the launcher with a stand-in Java host handed in through its seam. The runtime
// search always succeeds and the "application" only writes the launch argument list it was handed
// (UTF-8, one per line) to launch-arguments.txt beside the executable, so the launcher's own service
// runtime reports running and keeps running until a stop control arrives.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "files/paths.h"
#include "windows/win_loader.h"

#include "../unit/support/utf8.h"

namespace {

void writeBeside(const char* fileName, const std::string& text) {
    std::string path = std::string(getLauncherDirectory()) + fileName;
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

std::optional<brolt::Failure> locateNothing(const brolt::SearchSettings&, brolt::JavaRuntime& runtime) {
    runtime = {};
    return std::nullopt;
}

std::optional<brolt::Failure> writeLaunchArguments(const brolt::JavaRuntime&, const brolt::LaunchSettings&,
                                                   const std::vector<std::wstring>& arguments) {
    std::string lines;
    for (const std::wstring& argument : arguments)
        lines += fixture::utf8(argument) + "\n";
    writeBeside("launch-arguments.txt", lines);
    return std::nullopt;
}

void recordStop() {
    writeBeside("stopped.txt", "stopped\n");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runLauncher(getCommandTail(GetCommandLineA()), {locateNothing, writeLaunchArguments, recordStop});
}
