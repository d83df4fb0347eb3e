// Stands in for a runtime's VM library (jvm.dll). Loading it appends its own path to jvm-loads.txt
// beside it, so a test sees which VM kind's library was loaded. It exports the three invocation
// entries under their undecorated names; creating a VM fails with JNI_ERR for now.
#include <windows.h>

#include <cstdint>

#include "double_files.h"

namespace {
using jint = int32_t;
constexpr jint kJniOk = 0;
constexpr jint kJniError = -1;
}  // namespace

extern "C" {

__declspec(dllexport) jint __stdcall JNI_CreateJavaVM(void** vm, void** environment, void*) {
    if (vm != nullptr)
        *vm = nullptr;
    if (environment != nullptr)
        *environment = nullptr;
    return kJniError;
}

__declspec(dllexport) jint __stdcall JNI_GetDefaultJavaVMInitArgs(void*) {
    return kJniError;
}

__declspec(dllexport) jint __stdcall JNI_GetCreatedJavaVMs(void**, jint, jint* count) {
    if (count != nullptr)
        *count = 0;
    return kJniOk;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        std::string self = doubles::modulePath(instance);
        if (!self.empty())
            doubles::appendLine(doubles::besideModule(instance, "jvm-loads.txt"), self);
    }
    return TRUE;
}
