// The smallest in-process launcher: loads a jvm.dll by its full path, creates the VM on a thread of
// its own, calls a class's static main(String[]) and ends the process through the Java exit, as the
// service launcher does. It serves the runtime bridge's test and, as the least a launcher can do,
// the start-up benchmarks.
//
//   bridge_probe <jvm.dll> <class path> <main class> <exit code> [arguments for main...]
//
// Prints "JNI_CreateJavaVM: <ms> ms" once the VM exists; its exit hook prints "exit hook: <code>".
// Exit codes of its own: see ProbeFailure.
#include <windows.h>

#include <jni.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/unique_resource.h"

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
    std::string jvmLibrary;
    std::string classPathOption;
    std::string mainClass;  // internal form, with slashes
    jint exitCode = 0;
    std::vector<std::wstring> mainArguments;
};

std::string narrow(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0);
    return out;
}

void JNICALL exitHook(jint code) {
    std::printf("exit hook: %ld\n", static_cast<long>(code));
    std::fflush(stdout);
}

void JNICALL abortHook() {
    std::printf("abort hook\n");
    std::fflush(stdout);
}

double millisecondsSince(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

int runJava(const ProbeRun& run) {
    HMODULE library = LoadLibraryA(run.jvmLibrary.c_str());
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", run.jvmLibrary.c_str(), GetLastError());
        return kLoadFailed;
    }
    using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);
    auto createJavaVM = reinterpret_cast<CreateJavaVM>(GetProcAddress(library, "JNI_CreateJavaVM"));
    if (createJavaVM == nullptr) {
        std::fprintf(stderr, "%s has no JNI_CreateJavaVM\n", run.jvmLibrary.c_str());
        return kLoadFailed;
    }

    std::vector<JavaVMOption> options = {
        {const_cast<char*>("-Xrs"), nullptr},
        {const_cast<char*>("-Xmx256m"), nullptr},
        {const_cast<char*>("exit"), reinterpret_cast<void*>(&exitHook)},
        {const_cast<char*>("abort"), reinterpret_cast<void*>(&abortHook)},
        {const_cast<char*>(run.classPathOption.c_str()), nullptr},
    };
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    args.ignoreUnrecognized = JNI_TRUE;

    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    jint created = createJavaVM(&vm, reinterpret_cast<void**>(&env), &args);
    if (created != JNI_OK) {
        std::fprintf(stderr, "JNI_CreateJavaVM failed: %ld\n", static_cast<long>(created));
        return kCreateFailed;
    }
    std::printf("JNI_CreateJavaVM: %.1f ms\n", millisecondsSince(start));
    // Windows code keeps meeting access faults it handles itself (here inside IsBadReadPtr); with
    // the VM in the process each one passes the VM's signal handler first and must come back.
    std::printf("handled fault: %s\n", IsBadReadPtr(reinterpret_cast<void*>(16), 4) ? "yes" : "no");
    std::fflush(stdout);

    jclass mainClass = env->FindClass(run.mainClass.c_str());
    jmethodID main =
        mainClass ? env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V") : nullptr;
    if (main == nullptr) {
        env->ExceptionDescribe();
        return kClassMissing;
    }
    jobjectArray arguments = env->NewObjectArray(static_cast<jsize>(run.mainArguments.size()),
                                                 env->FindClass("java/lang/String"), nullptr);
    for (size_t i = 0; i < run.mainArguments.size(); ++i) {
        const std::wstring& text = run.mainArguments[i];
        jstring value =
            env->NewString(reinterpret_cast<const jchar*>(text.c_str()), static_cast<jsize>(text.size()));
        env->SetObjectArrayElement(arguments, static_cast<jsize>(i), value);
    }
    env->CallStaticVoidMethod(mainClass, main, arguments);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return kMainThrew;
    }

    jclass shutdown = env->FindClass("java/lang/Shutdown");
    jmethodID exit = shutdown ? env->GetStaticMethodID(shutdown, "exit", "(I)V") : nullptr;
    if (exit == nullptr) {
        env->ExceptionClear();
        shutdown = env->FindClass("java/lang/System");
        exit = env->GetStaticMethodID(shutdown, "exit", "(I)V");
    }
    // Through the table's variadic entry, which the C++ helpers never use (they call the va_list form).
    env->functions->CallStaticVoidMethod(env, shutdown, exit, run.exitCode);
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
    run.jvmLibrary = narrow(argv[1]);
    run.classPathOption = "-Djava.class.path=" + narrow(argv[2]);
    run.mainClass = narrow(argv[3]);
    for (char& c : run.mainClass)
        c = c == '.' ? '/' : c;
    run.exitCode = static_cast<jint>(std::wcstol(argv[4], nullptr, 10));
    run.mainArguments.assign(argv + 5, argv + argc);

    // The VM must not be created on the process's main thread, whose stack it cannot size.
    brolt::UniqueHandle thread(CreateThread(nullptr, 0, &javaThread, &run, 0, nullptr));
    WaitForSingleObject(thread.get(), INFINITE);
    DWORD code = kExitReturned;
    GetExitCodeThread(thread.get(), &code);
    return static_cast<int>(code);
}
