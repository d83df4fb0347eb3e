// VM creation, main invocation and the stop through the Java platform's exit method.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jvm/search.h"

namespace brolt {

// How the end of the process reaches whoever reports it. The launch passes the first two to the VM as
// its "exit" and "abort" options, so an application that ends the VM itself is seen; the third runs
// right before a launch failure ends the process. Any of them may be missing.
struct LaunchHooks {
    void(JNICALL* vmExit)(jint code) = nullptr;
    void(JNICALL* vmAbort)() = nullptr;
    void (*beforeFatalExit)() = nullptr;
};

// What the launch needs besides the runtime: fixed at start-up, before the service thread exists.
struct LaunchSettings {
    char launcherKind = '\0';         // 'q' quendrial kind, anything else brolt kind
    std::string extractionDirectory;  // empty when nothing was included
    uint32_t unextractedPosition = 0;
    LaunchHooks hooks;
};

}  // namespace brolt

// Creates the VM through the runtime's entry points with the assembled options and calls main of the
// Java-side runtime class with the launcher parameters and the application's arguments. True when the
// VM was created and main returned normally (or the first-run check stopped the launch). Every VM call
// is made on the calling thread, which must also be the one that calls stopJavaApplication.
bool launchJavaApplication(const brolt::JavaRuntime& runtime, const brolt::LaunchSettings& settings,
                           const std::vector<std::wstring>& arguments);
// Ends the application through the static exit(int) of java.lang.Shutdown (else java.lang.System) with
// 0, and destroys the VM when that call returned. Nothing happens when no VM was created.
void stopJavaApplication();
