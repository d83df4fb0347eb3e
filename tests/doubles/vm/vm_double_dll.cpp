// The VM double as a VM library: jvm.dll with the three invocation entries a Java runtime's VM library
// exports. Its behaviour comes from vm_double.cfg beside it (or BROLT_VM_DOUBLE_CONFIG) and its record
// goes to vm_double.record beside it (or BROLT_VM_DOUBLE_RECORD); a launcher run as a service does not
// see the test's environment, so the files beside it are the usual way.
#define _JNI_IMPLEMENTATION_
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "vm_double.h"

namespace {

std::string besideLibrary(const char* name) {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&besideLibrary), &self);
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, sizeof path);
    std::string directory(path, length < sizeof path ? length : 0);
    return directory.substr(0, directory.find_last_of('\\') + 1) + name;
}

std::string chosenFile(const char* variable, const char* name) {
    const char* value = getenv(variable);
    return value != nullptr && value[0] != '\0' ? value : besideLibrary(name);
}

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
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
    std::string configuration = fileText(chosenFile("BROLT_VM_DOUBLE_CONFIG", "vm_double.cfg"));
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
