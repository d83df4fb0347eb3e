#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "core/terminate_report.h"
#include "windows/win_loader.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The runtime library's own tail is not used: ours follows the launcher's rule for the
    // program name (quoted, or up to the first blank) exactly.
    return runLauncher(getCommandTail(GetCommandLineA()), brolt::realJavaHost());
}

// The standard library's default terminate handler, replaced by one that writes the same report
// without the general demangler the library's own brings along (some 45 KiB of code, on each word
// size). It is defined here, in the one file the link always takes in whole, so that the library's
// definition is never pulled from the archive.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    static bool terminating = false;
    if (terminating) {
        std::fputs("terminate called recursively\n", stderr);
        std::abort();
    }
    terminating = true;
    brolt::writeTerminateReport(stderr);
    std::abort();
}
}  // namespace __gnu_cxx
