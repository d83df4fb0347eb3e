// The whole seam between the launcher and a VM library: the entry points the loader resolves in
// jvm.dll. The launch calls the VM only through these (and the tables of the handles they return), so
// a test hands in its own VM by filling this struct.
#pragma once

#include <jni.h>

namespace brolt {

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM** vm, void** env, void* args);
using GetDefaultJavaVmInitArgsFunction = jint(JNICALL*)(void* args);
using GetCreatedJavaVmsFunction = jint(JNICALL*)(JavaVM** vms, jsize size, jsize* count);

struct JavaVmEntryPoints {
    CreateJavaVmFunction createJavaVM = nullptr;
    GetDefaultJavaVmInitArgsFunction getDefaultJavaVMInitArgs = nullptr;  // optional
    GetCreatedJavaVmsFunction getCreatedJavaVMs = nullptr;                // optional

    // The VM can be created only when its creation entry is known.
    bool usable() const { return createJavaVM != nullptr; }
};

}  // namespace brolt
