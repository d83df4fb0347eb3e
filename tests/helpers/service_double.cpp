// Test double: the launcher with a stand-in for the Java runtime this machine lacks. The runtime
// search always succeeds and the "application" only writes the launch argument list it was handed
// (UTF-8, one per line) to launch-arguments.txt beside the executable, so the launcher's own service
// runtime reports running and keeps running until a stop control arrives.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "files/paths.h"
#include "jvm/jvm_search.h"
#include "launch/java_launch.h"
#include "windows/win_loader.h"

namespace {

std::string utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0);
    return out;
}

void writeBeside(const char* fileName, const std::string& text) {
    std::string path = std::string(getLauncherDirectory()) + fileName;
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

}  // namespace

bool LoadDLL() {
    return true;
}

bool launchJavaApplication(const std::vector<std::wstring>& arguments) {
    std::string lines;
    for (const std::wstring& argument : arguments)
        lines += utf8(argument) + "\n";
    writeBeside("launch-arguments.txt", lines);
    return true;
}

void stopJavaApplication() {
    writeBeside("stopped.txt", "stopped\n");
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runLauncher(getCommandTail(GetCommandLineA()));
}
