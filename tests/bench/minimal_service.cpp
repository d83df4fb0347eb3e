// The least an in-process Java service can do, as the start-up benchmark's baseline: report running,
// load a jvm.dll by its full path, create the VM on the service thread (a thread of its own) with
// -Xrs -Xmx256m and a class path, call a class's static main(String[]) with the given arguments, and at
// a stop end the VM through java.lang.Shutdown.exit(0), whose exit hook reports the service stopped.
//
//   minimal_service <jvm.dll> <class path> <main class> [arguments for main...]
//
// Installed as a service with that command line; the service name is whatever the entry is called.
#include <windows.h>

#include <jni.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "core/unique_resource.h"

namespace {

struct Settings {
    std::string jvmLibrary;
    std::string classPathOption;
    std::string mainClass;  // internal form, with slashes
    std::vector<std::wstring> mainArguments;
};

Settings settings;
std::mutex statusLock;
SERVICE_STATUS status{};
SERVICE_STATUS_HANDLE statusHandle = nullptr;
brolt::UniqueHandle stopEvent;

void report(DWORD state, DWORD exitCode = NO_ERROR) {
    std::lock_guard<std::mutex> guard(statusLock);
    if (status.dwCurrentState == SERVICE_STOPPED)
        return;
    status.dwCurrentState = state;
    status.dwWin32ExitCode = exitCode;
    SetServiceStatus(statusHandle, &status);
}

void JNICALL exitHook(jint code) {
    report(SERVICE_STOPPED, code == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR);
}

void JNICALL abortHook() {
    report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
}

void WINAPI controlHandler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent.get());
    }
}

// False when the VM could not be created or main could not be called; main's own end is up to it.
bool runMain(JNIEnv*& env) {
    HMODULE library = LoadLibraryA(settings.jvmLibrary.c_str());
    using CreateJavaVM = jint(JNICALL*)(JavaVM**, void**, void*);
    auto createJavaVM =
        library ? reinterpret_cast<CreateJavaVM>(GetProcAddress(library, "JNI_CreateJavaVM")) : nullptr;
    if (createJavaVM == nullptr)
        return false;
    std::vector<JavaVMOption> options = {
        {const_cast<char*>("-Xrs"), nullptr},
        {const_cast<char*>("-Xmx256m"), nullptr},
        {const_cast<char*>(settings.classPathOption.c_str()), nullptr},
        {const_cast<char*>("exit"), reinterpret_cast<void*>(&exitHook)},
        {const_cast<char*>("abort"), reinterpret_cast<void*>(&abortHook)},
    };
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_1_2;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.data();
    args.ignoreUnrecognized = JNI_TRUE;
    JavaVM* vm = nullptr;
    if (createJavaVM(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK)
        return false;

    jclass mainClass = env->FindClass(settings.mainClass.c_str());
    jmethodID main =
        mainClass ? env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V") : nullptr;
    if (main == nullptr)
        return false;
    jobjectArray arguments = env->NewObjectArray(static_cast<jsize>(settings.mainArguments.size()),
                                                 env->FindClass("java/lang/String"), nullptr);
    for (size_t i = 0; i < settings.mainArguments.size(); ++i) {
        const std::wstring& text = settings.mainArguments[i];
        env->SetObjectArrayElement(
            arguments, static_cast<jsize>(i),
            env->NewString(reinterpret_cast<const jchar*>(text.c_str()), static_cast<jsize>(text.size())));
    }
    env->CallStaticVoidMethod(mainClass, main, arguments);
    return env->ExceptionOccurred() == nullptr;
}

void WINAPI serviceMain(DWORD, LPSTR* argv) {
    stopEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    {
        std::lock_guard<std::mutex> guard(statusLock);
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
        statusHandle = RegisterServiceCtrlHandlerA(argv[0], controlHandler);
    }
    if (statusHandle == nullptr)
        return;
    report(SERVICE_RUNNING);

    JNIEnv* env = nullptr;
    if (!runMain(env)) {
        report(SERVICE_STOPPED, 1);
        return;
    }
    WaitForSingleObject(stopEvent.get(), INFINITE);
    jclass shutdown = env->FindClass("java/lang/Shutdown");
    jmethodID exit = shutdown ? env->GetStaticMethodID(shutdown, "exit", "(I)V") : nullptr;
    if (exit != nullptr)
        env->CallStaticVoidMethod(shutdown, exit, 0);
    // The Java exit ends the process; getting here means it did not.
    report(SERVICE_STOPPED);
}

std::string narrow(const wchar_t* text) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0);
    return out;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 4) {
        fprintf(stderr, "usage: minimal_service <jvm.dll> <class path> <main class> [arguments...]\n");
        return 2;
    }
    settings.jvmLibrary = narrow(argv[1]);
    settings.classPathOption = "-Djava.class.path=" + narrow(argv[2]);
    settings.mainClass = narrow(argv[3]);
    for (char& c : settings.mainClass)
        c = c == '.' ? '/' : c;
    settings.mainArguments.assign(argv + 4, argv + argc);

    char name[] = "";  // an own-process service may go by any name
    SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
