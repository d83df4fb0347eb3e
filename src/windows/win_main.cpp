#include <windows.h>

#include "windows/win_loader.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The runtime library's own tail is not used: ours follows the launcher's rule for the
    // program name (quoted, or up to the first blank) exactly.
    return runLauncher(getCommandTail(GetCommandLineA()), brolt::realJavaHost());
}
