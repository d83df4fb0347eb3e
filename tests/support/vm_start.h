// Starting a Java VM in the fewest steps an in-process launcher can take, for the test programs that
// drive the real VM (the benchmark's minimal service, the runtime bridge's probe): load the VM library
// by its full path, create the VM with a list of options and the exit and abort hooks, find the main
// class, hand main(String[]) its arguments. Each step answers whether it failed, so the caller knows
// which one did and what that means to it. Nothing here logs or measures: a caller's timing is its own.
#pragma once

#include <windows.h>

#include <jni.h>

#include <string>
#include <vector>

namespace vmstart {

// What both programs take first on their command line: <jvm.dll> <class path> <main class>.
struct JavaTarget {
    std::string library;          // the VM library's full path
    std::string classPathOption;  // -Djava.class.path=<class path>
    std::string mainClass;        // in the VM's form: java/lang/String
};

// From argv[1], argv[2] and argv[3], in the ANSI code page, as the VM takes its options.
JavaTarget javaTarget(const LPWSTR* argv);

using CreateJavaVm = jint(JNICALL*)(JavaVM** vm, void** env, void* args);

// The library's JNI_CreateJavaVM; null when the library does not load or lacks the entry
// (GetLastError says which).
CreateJavaVm loadVmLibrary(const std::string& path);

struct Hooks {
    void(JNICALL* exit)(jint code) = nullptr;
    void(JNICALL* abort)() = nullptr;
};

struct CreatedVm {
    jint result = JNI_ERR;  // what JNI_CreateJavaVM answered
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;  // null unless result is JNI_OK
};

// The options in their order, then the hooks that are set; options the VM does not know are ignored.
CreatedVm createVm(CreateJavaVm create, const std::vector<std::string>& options, Hooks hooks);

struct MainMethod {
    jclass type = nullptr;
    jmethodID main = nullptr;  // null when the class or its main is missing (an exception is pending)
};

MainMethod findMain(JNIEnv* env, const std::string& mainClass);

// Calls main with the arguments as a String[]. False when main threw; its exception is left pending.
bool callMain(JNIEnv* env, const MainMethod& method, const std::vector<std::wstring>& arguments);

// Ends the VM as the application's own exit would: java.lang.Shutdown.exit(code), or System.exit where
// the runtime has no Shutdown.exit, called through the table's variadic entry. Returns only when the
// exit did not end the process.
void callJavaExit(JNIEnv* env, jint code);

}  // namespace vmstart
