#include "core/long_path.h"

#include <shlobj.h>

#include <cstring>

#include "core/unique_resource.h"

namespace {

// "MAX_PATH" of the shell interfaces the emulation goes through.
constexpr DWORD kShellPathSize = 260;

DWORD WINAPI resolveLongPathName(LPCSTR source, LPSTR destination, DWORD length);
using LongPathFunction = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
LongPathFunction longPathEntry = resolveLongPathName;

DWORD WINAPI resolveLongPathName(LPCSTR source, LPSTR destination, DWORD length) {
    HMODULE kernel = GetModuleHandleA("KERNEL32");
    auto system =
        kernel ? reinterpret_cast<LongPathFunction>(GetProcAddress(kernel, "GetLongPathNameA")) : nullptr;
    if (system != nullptr) {
        DWORD result = system(source, destination, length);
        if (result != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) {
            longPathEntry = system;
            return result;
        }
    }
    longPathEntry = emulateLongPathName;
    return emulateLongPathName(source, destination, length);
}

}  // namespace

DWORD getLongPathName(const char* source, char* destination, DWORD length) {
    return longPathEntry(source, destination, length);
}

DWORD WINAPI emulateLongPathName(LPCSTR source, LPSTR destination, DWORD length) {
    if (GetFileAttributesA(source) == INVALID_FILE_ATTRIBUTES)
        return 0;
    char fullPath[kShellPathSize];
    DWORD fullLength = GetFullPathNameA(source, kShellPathSize, fullPath, nullptr);
    if (fullLength == 0)
        return 0;
    if (fullLength >= kShellPathSize) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr)
        return 0;
    LPITEMIDLIST items = nullptr;
    auto release = brolt::ScopeExit([&] {
        IMalloc* allocator = nullptr;
        if (items != nullptr && SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
            allocator->Free(items);
            allocator->Release();
        }
        desktop->Release();
    });

    wchar_t wideName[kShellPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, fullPath, -1, wideName, kShellPathSize) == 0) {
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER)
            SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    HRESULT parsed = desktop->ParseDisplayName(nullptr, nullptr, wideName, nullptr, &items, nullptr);
    if (FAILED(parsed)) {
        SetLastError(HRESULT_FACILITY(parsed) == FACILITY_WIN32 ? HRESULT_CODE(parsed) : ERROR_INVALID_DATA);
        return 0;
    }
    char longName[kShellPathSize] = "";
    if (!SHGetPathFromIDListA(items, longName) && longName[0] != '\0') {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    DWORD longLength = static_cast<DWORD>(strlen(longName));
    if (length < longLength + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return longLength + 1;
    }
    lstrcpynA(destination, longName, static_cast<int>(length));
    return longLength;
}
