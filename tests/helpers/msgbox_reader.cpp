// Test helper: waits for a message box (dialog class "#32770"), prints its caption and text,
// and presses OK. Exit code 0 when a box was found, 2 when none appeared in time.
// Usage: msgbox_reader [timeout-ms]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../unit/support/utf8.h"

namespace {

std::wstring windowText(HWND window) {
    wchar_t buffer[8192];
    int length = GetWindowTextW(window, buffer, 8192);
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

BOOL CALLBACK collectStatic(HWND child, LPARAM found) {
    wchar_t className[64];
    GetClassNameW(child, className, 64);
    // The message text is the static control that holds text (the icon is a static without).
    if (_wcsicmp(className, L"Static") == 0) {
        std::wstring text = windowText(child);
        if (!text.empty())
            *reinterpret_cast<std::wstring*>(found) = text;
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    DWORD timeout = argc > 1 ? static_cast<DWORD>(atoi(argv[1])) : 20000;
    DWORD start = GetTickCount();
    HWND box = nullptr;
    while ((box = FindWindowW(L"#32770", nullptr)) == nullptr) {
        if (GetTickCount() - start > timeout) {
            printf("no message box\n");
            return 2;
        }
        Sleep(100);
    }
    Sleep(200);  // let the box finish laying out its texts
    std::wstring text;
    EnumChildWindows(box, collectStatic, reinterpret_cast<LPARAM>(&text));
    printf("caption: %s\n", fixture::utf8(windowText(box)).c_str());
    printf("text: %s\n", fixture::utf8(text).c_str());
    fflush(stdout);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}
