// The VM double as a runtime's VM library: jvm.dll with the three invocation entries a Java runtime's
// VM library exports, under their plain names. Loading it appends its own path to jvm-loads.txt beside
// it, so a test sees which VM kind's library a launcher loaded.
//
// Its behaviour comes from vm_double.cfg beside it (or BROLT_VM_DOUBLE_CONFIG). Without that file it is
// a library that is only there to be found: creating a VM answers JNI_ERR. Its record goes to
// vm_double.record beside it (or BROLT_VM_DOUBLE_RECORD). A launcher run as a service does not see the
// test's environment, so the files beside it are the usual way.
#define _JNI_IMPLEMENTATION_
#include <windows.h>

#include <cstdlib>
#include <string>

#include "../double_files.h"
#include "vm_double.h"

namespace {

HMODULE library = nullptr;

std::string chosenFile(const char* variable, const char* name) {
    const char* value = getenv(variable);
    return value != nullptr && value[0] != '\0' ? value : doubles::besideModule(library, name);
}

}  // namespace

extern "C" {

jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
    // What a real VM does unless told otherwise: its exit ends the process, it holds its archives, and
    // the Java-side runtime's main redirects standard error.
    vmdouble::Behaviour defaults;
    defaults.exit = vmdouble::ExitBehaviour::EndsProcess;
    defaults.holdClassPath = true;
    defaults.redirectStandardError = true;
    std::string configuration;
    if (!doubles::readWholeFile(chosenFile("BROLT_VM_DOUBLE_CONFIG", "vm_double.cfg"), configuration))
        defaults.createResult = JNI_ERR;
    vmdouble::reset(vmdouble::parseBehaviour(configuration, defaults),
                    chosenFile("BROLT_VM_DOUBLE_RECORD", "vm_double.record"));
    return vmdouble::createJavaVM(vm, env, args);
}

jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    static_cast<JavaVMInitArgs*>(args)->version = JNI_VERSION_1_2;
    return JNI_OK;
}

jint JNICALL JNI_GetCreatedJavaVMs(JavaVM**, jsize, jsize* count) {
    *count = 0;
    return JNI_OK;
}
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        library = instance;
        std::string self = doubles::modulePath(instance);
        if (!self.empty())
            doubles::appendLine(doubles::besideModule(instance, "jvm-loads.txt"), self);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary: the record file is let go, so its folder can be removed. At the
        // process end (reserved set) the other threads are gone, perhaps holding the double's lock.
        vmdouble::reset({});
    }
    return TRUE;
}
