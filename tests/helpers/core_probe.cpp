// Test helper that drives the diagnostic log and the error reporting in a process of its own,
// since both keep process-wide state that is fixed at first use. Actions run in order:
//   env:NAME=VALUE     set a variable in the process and the runtime library's copy
//   config:KEY=VALUE   add a narrow record to the configuration built by "load"
//   load               write a launcher-like fixture with those records and load it
//   info:TEXT          logInfo("%s", TEXT)
//   error:TEXT         logError("Could not open %s", TEXT)
//   message:KEY[:ARG]  showMessage(KEY, ARG)
//   fatal:KEY[:ARG]    fatalMessage(KEY, ARG)
//   logpath            print the log path, or "(none)"
//   short:PATH         print the short (8.3) form of PATH
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config.h"
#include "core/log.h"
#include "windows/user_messages.h"
#include "windows/win_loader.h"
#include "../unit/support/stream_fixture.h"

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// "KEY[:ARG]" into the key and the argument (nullptr when absent).
int splitKey(const std::string& text, std::string& argument, bool& hasArgument) {
    size_t colon = text.find(':');
    hasArgument = colon != std::string::npos;
    argument = hasArgument ? text.substr(colon + 1) : "";
    return atoi(text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    fixture::Stream stream;
    for (int i = 1; i < argc; ++i) {
        std::string action = argv[i];
        if (startsWith(action, "env:")) {
            std::string assignment = action.substr(4);
            size_t equals = assignment.find('=');
            SetEnvironmentVariableA(assignment.substr(0, equals).c_str(),
                                    assignment.substr(equals + 1).c_str());
            _putenv(assignment.c_str());
        } else if (startsWith(action, "config:")) {
            std::string record = action.substr(7);
            size_t equals = record.find('=');
            stream.narrow.emplace_back(atoi(record.c_str()), record.substr(equals + 1));
        } else if (action == "load") {
            std::string path = fixture::ownDirectory() + "core_probe_fixture.exe";
            fixture::writeLauncher(fixture::ownPath(), path, fixture::streamBytes(stream));
            loadLauncherConfiguration(path.c_str());
        } else if (startsWith(action, "info:")) {
            logInfo("%s", action.substr(5).c_str());
        } else if (startsWith(action, "error:")) {
            logError("Could not open %s", action.substr(6).c_str());
        } else if (startsWith(action, "message:") || startsWith(action, "fatal:")) {
            bool fatal = startsWith(action, "fatal:");
            std::string argument;
            bool hasArgument = false;
            int key = splitKey(action.substr(fatal ? 6 : 8), argument, hasArgument);
            if (fatal)
                fatalMessage(key, hasArgument ? argument.c_str() : nullptr);
            showMessage(key, hasArgument ? argument.c_str() : nullptr);
        } else if (startsWith(action, "short:")) {
            char shortName[MAX_PATH] = "";
            GetShortPathNameA(action.substr(6).c_str(), shortName, MAX_PATH);
            printf("%s\n", shortName);
            fflush(stdout);
        } else if (action == "logpath") {
            const char* path = getLogPath();
            printf("%s\n", path != nullptr ? path : "(none)");
            fflush(stdout);
        } else {
            fprintf(stderr, "core_probe: unknown action %s\n", action.c_str());
            return 2;
        }
    }
    return 0;
}
