// The smallest in-process launcher: loads a jvm.dll by its full path, creates the VM on a thread of
// its own, calls a class's static main(String[]) and ends the process through the Java exit, as the
// service launcher does. It serves the runtime bridge's test and, as the least a launcher can do,
// the start-up benchmarks.
//
//   bridge_probe <jvm.dll> <class path> <main class> <exit code> [arguments for main...]
//
// Prints "JNI_CreateJavaVM: <ms> ms" once the VM exists; its exit hook prints "exit hook: <code>".
// When the main class has a static String kinds(float, boolean, byte, char, short, int, long, double,
// String), an instance method ownKinds of the same parameters and a constructor without any, both
// are called with the same arguments through the variadic, the va_list and the array entry of the
// JNI table, and each result printed as "kinds [nonvirtual ]<entry>: <text>".
// Exit codes of its own: see ProbeFailure. It starts the VM with the tests' VM start
// (tests/support/vm_start.h), as the benchmark's minimal service does.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/unique_resource.h"
#include "vm_start.h"

namespace {

enum ProbeFailure : int {
    kUsage = 100,
    kLoadFailed = 101,
    kCreateFailed = 102,
    kClassMissing = 103,
    kMainThrew = 104,
    kExitReturned = 105,
};

struct ProbeRun {
    vmstart::JavaTarget target;
    jint exitCode = 0;
    std::vector<std::wstring> mainArguments;
};

void JNICALL exitHook(jint code) {
    std::printf("exit hook: %ld\n", static_cast<long>(code));
    std::fflush(stdout);
}

void JNICALL abortHook() {
    std::printf("abort hook\n");
    std::fflush(stdout);
}

void printKindsResult(JNIEnv* env, const char* entry, jobject result) {
    if (result == nullptr) {
        std::printf("kinds %s: no result\n", entry);
        env->ExceptionDescribe();
        return;
    }
    const char* text = env->GetStringUTFChars(static_cast<jstring>(result), nullptr);
    std::printf("kinds %s: %s\n", entry, text);
    env->ReleaseStringUTFChars(static_cast<jstring>(result), text);
}

// Each kind travels its own way between a Windows caller and the VM (floats promoted to double,
// narrow integers to int, the first arguments in registers), and an argument read from the wrong
// place shows up in the text the method makes of them. The static method and the instance one
// (through a constructor call) cover both shapes of call: with a class, and with an object and a class.
void callWithEveryKind(JNIEnv* env, jclass mainClass) {
    constexpr char kKindsSignature[] = "(FZBCSIJDLjava/lang/String;)Ljava/lang/String;";
    jmethodID kinds = env->GetStaticMethodID(mainClass, "kinds", kKindsSignature);
    jmethodID ownKinds = kinds ? env->GetMethodID(mainClass, "ownKinds", kKindsSignature) : nullptr;
    jmethodID construct = ownKinds ? env->GetMethodID(mainClass, "<init>", "()V") : nullptr;
    if (construct == nullptr) {
        env->ExceptionClear();
        return;
    }
    const jfloat f = 0.375f;
    const jboolean z = JNI_TRUE;
    const jbyte b = -7;
    const jchar c = 0x3A9;
    const jshort s = -30000;
    const jint i = 123456789;
    const jlong j = -9007199254740993LL;
    const jdouble d = -1.0e300;
    jstring l = env->NewStringUTF("last");
    jvalue values[9];
    values[0].f = f;
    values[1].z = z;
    values[2].b = b;
    values[3].c = c;
    values[4].s = s;
    values[5].i = i;
    values[6].j = j;
    values[7].d = d;
    values[8].l = l;
    // The C++ helpers pass their arguments on as a va_list; the table's variadic entries are called
    // directly.
    const JNINativeInterface_* table = env->functions;
    printKindsResult(env, "variadic",
                     table->CallStaticObjectMethod(env, mainClass, kinds, f, z, b, c, s, i, j, d, l));
    printKindsResult(env, "va_list",
                     env->CallStaticObjectMethod(mainClass, kinds, f, z, b, c, s, i, j, d, l));
    printKindsResult(env, "array", env->CallStaticObjectMethodA(mainClass, kinds, values));
    jobject object = table->NewObject(env, mainClass, construct);
    printKindsResult(
        env, "nonvirtual variadic",
        table->CallNonvirtualObjectMethod(env, object, mainClass, ownKinds, f, z, b, c, s, i, j, d, l));
    printKindsResult(env, "nonvirtual va_list",
                     env->CallNonvirtualObjectMethod(object, mainClass, ownKinds, f, z, b, c, s, i, j, d, l));
    printKindsResult(env, "nonvirtual array",
                     env->CallNonvirtualObjectMethodA(object, mainClass, ownKinds, values));
}

double millisecondsSince(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

int runJava(const ProbeRun& run) {
    vmstart::CreateJavaVm create = vmstart::loadVmLibrary(run.target.library);
    if (create == nullptr) {
        std::fprintf(stderr, "cannot load JNI_CreateJavaVM of %s (error %lu)\n", run.target.library.c_str(),
                     GetLastError());
        return kLoadFailed;
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    vmstart::CreatedVm created =
        vmstart::createVm(create, {"-Xrs", run.target.classPathOption}, {exitHook, abortHook});
    if (created.env == nullptr) {
        std::fprintf(stderr, "JNI_CreateJavaVM failed: %ld\n", static_cast<long>(created.result));
        return kCreateFailed;
    }
    std::printf("JNI_CreateJavaVM: %.1f ms\n", millisecondsSince(start));
    // Windows code keeps meeting access faults it handles itself (here inside IsBadReadPtr); with
    // the VM in the process each one passes the VM's signal handler first and must come back.
    std::printf("handled fault: %s\n", IsBadReadPtr(reinterpret_cast<void*>(16), 4) ? "yes" : "no");
    std::fflush(stdout);

    JNIEnv* env = created.env;
    vmstart::MainMethod main = vmstart::findMain(env, run.target.mainClass);
    if (main.main == nullptr) {
        env->ExceptionDescribe();
        return kClassMissing;
    }
    callWithEveryKind(env, main.type);
    std::fflush(stdout);
    if (!vmstart::callMain(env, main, run.mainArguments)) {
        env->ExceptionDescribe();
        return kMainThrew;
    }
    vmstart::callJavaExit(env, run.exitCode);
    // The Java exit ends the process; getting here means it did not.
    env->ExceptionDescribe();
    return kExitReturned;
}

DWORD WINAPI javaThread(void* parameter) {
    return static_cast<DWORD>(runJava(*static_cast<ProbeRun*>(parameter)));
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 5) {
        std::fprintf(stderr,
                     "usage: bridge_probe <jvm.dll> <class path> <main class> <exit code> [arguments...]\n");
        return kUsage;
    }
    ProbeRun run;
    run.target = vmstart::javaTarget(argv);
    run.exitCode = static_cast<jint>(std::wcstol(argv[4], nullptr, 10));
    run.mainArguments.assign(argv + 5, argv + argc);

    // The VM must not be created on the process's main thread, whose stack it cannot size.
    brolt::UniqueHandle thread(CreateThread(nullptr, 0, &javaThread, &run, 0, nullptr));
    WaitForSingleObject(thread.get(), INFINITE);
    DWORD code = kExitReturned;
    GetExitCodeThread(thread.get(), &code);
    return static_cast<int>(code);
}
