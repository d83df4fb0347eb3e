// The least an in-process Java service can do, as the start-up benchmark's baseline: report running,
// load a jvm.dll by its full path, create the VM on the service thread (a thread of its own) with
// -Xrs -Xmx256m and a class path, call a class's static main(String[]) with the given arguments, and at
// a stop end the VM through java.lang.Shutdown.exit(0), whose exit hook reports the service stopped.
// The steps are the tests' VM start (tests/support/vm_start.h), which adds nothing to them.
//
//   minimal_service <jvm.dll> <class path> <main class> [arguments for main...]
//
// Installed as a service with that command line; the service name is whatever the entry is called.
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "core/unique_resource.h"
#include "vm_start.h"

namespace {

struct Settings {
    vmstart::JavaTarget target;
    std::vector<std::string> vmOptions;
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

// The VM's environment; null when the VM could not be created or main could not be called. Main's own
// end is up to it.
JNIEnv* runMain() {
    vmstart::CreateJavaVm create = vmstart::loadVmLibrary(settings.target.library);
    if (create == nullptr)
        return nullptr;
    JNIEnv* env = vmstart::createVm(create, settings.vmOptions, {exitHook, abortHook}).env;
    if (env == nullptr)
        return nullptr;
    vmstart::MainMethod main = vmstart::findMain(env, settings.target.mainClass);
    if (main.main == nullptr || !vmstart::callMain(env, main, settings.mainArguments))
        return nullptr;
    return env;
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

    JNIEnv* env = runMain();
    if (env == nullptr) {
        report(SERVICE_STOPPED, 1);
        return;
    }
    WaitForSingleObject(stopEvent.get(), INFINITE);
    vmstart::callJavaExit(env, 0);
    // The Java exit ends the process; getting here means it did not.
    report(SERVICE_STOPPED);
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 4) {
        fprintf(stderr, "usage: minimal_service <jvm.dll> <class path> <main class> [arguments...]\n");
        return 2;
    }
    settings.target = vmstart::javaTarget(argv);
    settings.vmOptions = {"-Xrs", "-Xmx256m", settings.target.classPathOption};
    settings.mainArguments.assign(argv + 4, argv + argc);

    char name[] = "";  // an own-process service may go by any name
    SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
