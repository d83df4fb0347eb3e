// A stand-in for a Java runtime's VM library: the invocation entry, the VM and environment function
// tables the launcher uses, a few classes (the Java-side runtime, its first-run class, String, Shutdown
// and System; an exception's toString but no java.io classes) and nothing else. It records the options it was
// created with, every call and every parameter main receives (as UTF-8), flags calls from a thread other than
// the one that created it, and can be told to fail at each step.
//
// Unit tests use it in-process: vmdouble::reset(behaviour), then hand vmdouble::entryPoints() to the
// launch. Built as jvm.dll (target vm_double_dll, out/<part>/tests/doubles/jvm.dll) it exports
// JNI_CreateJavaVM and its two companions, notes each load in jvm-loads.txt beside it, and reads its
// behaviour from vm_double.cfg beside it (or the file named by BROLT_VM_DOUBLE_CONFIG; without either,
// creation answers JNI_ERR); see parseBehaviour for the lines. It appends its record to vm_double.record
// beside it (or to the file named by BROLT_VM_DOUBLE_RECORD), one event per line:
//   create version=<hex> ignoreUnrecognized=<0|1> options=<n>
//   option <index> <text>            (the vfprintf, exit and abort hooks: "option <index> exit hook")
//   call <function> [<what>] [-> <result>]
//   param <index> <UTF-8 text>       (when main is called)
//   foreign-thread <function>        (a call from a thread other than the creating one)
//   exit-hook <code> / abort-hook    (the VM calls the launcher's hook)
//   unexpected-call                  (a function the double does not offer; the process ends with 99)
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jvm/vm_entry_points.h"

namespace vmdouble {

enum class FirstRunAnswer { True, False, Throws };

// What a call of a static exit(int) does.
enum class ExitBehaviour {
    EndsProcess,  // as on a real VM: the exit hook, then the process ends with the code
    Returns,      // returns without an exception (the launcher then destroys the VM)
    Throws,       // returns with an exception pending
};

struct Behaviour {
    jint createResult = JNI_OK;
    unsigned createDelayMs = 0;            // creation takes this long
    std::string createPrints;              // printed through the launcher's vfprintf hook during creation
    bool createAborts = false;             // then the abort hook is called; creation goes on when it returns
    std::set<std::string> missingClasses;  // FindClass answers null: "java/lang/Shutdown"
    std::set<std::string> missingMethods;  // GetStaticMethodID answers null: "java/lang/Shutdown.exit"
    bool mainThrows = false;  // an exception whose toString the launcher can read; java.io is not offered
    FirstRunAnswer firstRun = FirstRunAnswer::True;
    ExitBehaviour exit = ExitBehaviour::Returns;
    // After main has returned, the application ends the VM itself from a thread of its own.
    std::optional<jint> applicationExitCode;
    bool applicationAborts = false;
    unsigned applicationEndDelayMs = 0;
    // Main sends standard error to the file of its parameter 2 (appending when parameter 4 is "true"),
    // as the Java-side runtime does, so an exception main throws can be read there.
    bool redirectStandardError = false;
    // Every file on the class path is opened and held until the process ends, as a VM holds its archives.
    bool holdClassPath = false;
};

// One setting per line, "name [values]"; "#" lines and unknown names are ignored:
//   create_result <jint>          create_delay_ms <ms>
//   missing_class <class>         missing_method <class>.<method>
//   main_throws                   first_run true|false|throws
//   exit ends|returns|throws      application_exit <code> [<delay ms>]
//   application_abort [<delay ms>]
//   redirect_stderr               hold_class_path
// Starts from the given behaviour.
Behaviour parseBehaviour(std::string_view text, Behaviour behaviour = {});

struct Record {
    jint version = 0;
    bool ignoreUnrecognized = false;
    std::vector<std::string> options;         // as handed over; hooks as "exit" and "abort"
    std::vector<void*> optionExtraInfo;       // per option
    std::vector<std::string> calls;           // "FindClass java/lang/String", ...
    std::vector<std::string> mainParameters;  // UTF-8
    std::vector<std::string> foreignThreadCalls;
};

// Forgets the VM and the record; the next creation behaves as told. With recordFile, every event is
// also appended there as it happens.
void reset(const Behaviour& behaviour, const std::string& recordFile = "");
const Record& record();

brolt::JavaVmEntryPoints entryPoints();
jint JNICALL createJavaVM(JavaVM** vm, void** env, void* args);

// The application ends the VM as System.exit does from one of its threads: the exit hook the launcher
// passed, then, when the exit behaviour is EndsProcess, the end of the process.
void applicationExit(jint code);

}  // namespace vmdouble
