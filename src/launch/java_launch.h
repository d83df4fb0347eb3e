// VM creation, main invocation and the stop through the Java platform's exit method.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/executable_type.h"
#include "config/failure.h"
#include "jvm/search.h"

namespace brolt {

// The steps of a launch that whoever reports the start is told of.
enum class LaunchStep {
    CreatingVm,     // the VM's creation begins
    VmCreated,      // the VM is there; main is not called yet
    CallingMain,    // right before the application's main is called
    FirstRunEnded,  // the first-run check ended the launch without main: the launch is complete
};

// How the launch's progress and the end of the process reach whoever reports them: the exit and abort
// hooks are passed to the VM as its "exit" and "abort" options, so an application that ends the VM
// itself is seen. Any may be missing.
struct LaunchHooks {
    void(JNICALL* vmExit)(jint code) = nullptr;
    void(JNICALL* vmAbort)() = nullptr;
    // Told of each step; at CallingMain false gives the start up there (a stop arrived while the VM was
    // being created), and the launch answers stopBeforeMain(). Missing: go on.
    bool (*reached)(LaunchStep step) = nullptr;
};

// A redirected standard stream: the configured file name, before expansion; none when not redirected.
using Redirection = std::optional<std::string>;

// How the redirected files roll over, which the Java side does: never when bytes is 0.
struct OutputRotation {
    uint32_t bytes = 0;  // key 30008: a file rolls over before a write takes it past this size
    uint32_t keep = 0;   // key 30009: rolled files kept (name.1 ... name.keep)
};

// What the launch takes from start-up: the configuration, read once before the service thread exists,
// and where the included files went. Texts are as configured, still to be expanded.
struct LaunchSettings {
    char launcherKind = '\0';  // key 2001's first letter: 'q' quendrial kind, anything else brolt kind
    ExecutableType executableType = ExecutableType::Console;  // key 107
    std::string applicationDirectory;                         // key 10003, absolute
    bool singleInstance = false;                              // key 10005
    std::string vmParameters;                                 // key 123
    bool javaOptionArguments = false;                         // key 125: "-J" launch arguments are options
    std::string classPath;                                    // key 121
    std::string mainClass;                                    // key 122
    Redirection stderrFile;                                   // keys 102 and 103
    Redirection stdoutFile;                                   // keys 104 and 105
    bool mainParameterFlag = false;                           // key 106
    std::string arguments;                                    // key 124
    OutputRotation rotation;                                  // keys 30008 and 30009
    bool classDataSharing = true;                             // key 30010: not set, or not 0
    std::string extractionDirectory;                          // empty when nothing was included
    std::vector<std::string> extractedFiles;                  // the files extracted there, in order
    uint32_t unextractedPosition = 0;
    LaunchHooks hooks;
};

}  // namespace brolt

// Creates the VM through the runtime's entry points with the assembled options and calls main of the
// Java-side runtime class with the launcher parameters and the application's arguments. Nothing when
// the VM was created and main returned normally (or the first-run check stopped the launch); otherwise
// the failure, with what happened logged. Every VM call is made on the calling thread, which must also
// be the one that calls stopJavaApplication.
std::optional<brolt::Failure> launchJavaApplication(const brolt::JavaRuntime& runtime,
                                                    const brolt::LaunchSettings& settings,
                                                    const std::vector<std::wstring>& arguments);
// Ends the application through the static exit(int) of java.lang.Shutdown (else java.lang.System) with
// 0, and destroys the VM when that call returned. Nothing happens when no VM was created.
void stopJavaApplication();
