#include "jvm/unpack.h"

#include <windows.h>

#include <cstdio>

#include "core/log.h"
#include "core/unique_resource.h"
#include "files/paths.h"
#include "jvm/unpack_rules.h"

namespace brolt::jvm {

namespace {

bool exists(const std::string& path) {
    return fileExists(path.c_str());
}

// One archive; false when the unpacker could not be started.
bool unpackJar(const UnpackStep& step) {
    logInfo("Unpacking %s to %s", step.packedFile.c_str(), step.archive.c_str());
    if (!exists(step.packedFile)) {
        logInfo("pack path doesn't exists");
        return true;
    }
    if (!step.commandLine) {
        logError("%s", step.commandLine.reason.c_str());
        return true;  // the validation that follows decides whether the runtime works without it
    }
    std::string command = *step.commandLine.text;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process)) {
        logError("CreateProcessA %s failed: %lu", command.c_str(), GetLastError());
        logInfo("could not create unpack process");
        return false;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    logInfo("waiting for unpack200 to finish");
    // An archive is restored whole or the runtime is unusable; there is no sensible time to give up.
    WaitForSingleObject(processHandle.get(), INFINITE);
    logInfo("unpack done");
    return true;
}

}  // namespace

bool prepareJre(const std::string& runtimeDirectory) {
    if (!isPackedRuntime(runtimeDirectory, exists))
        return true;
    logInfo("Unpacking JRE");
    printf("Preparing JRE ...\n");
    fflush(stdout);
    for (const UnpackStep& step : unpackSteps(runtimeDirectory)) {
        if (!unpackJar(step))
            return false;
    }
    logInfo("Unpacking JRE done");
    return true;
}

}  // namespace brolt::jvm
