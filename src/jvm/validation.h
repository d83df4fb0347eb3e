// Whether one java executable may run the application: it exists, it is built for the launcher's word
// size, its version (from the per-user cache or a "-version" run) lies in the range, and a windowless
// application finds javaw.exe beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/pe_machine.h"
#include "jvm/validation_rules.h"
#include "jvm/version_rules.h"

namespace brolt::jvm {

// How long a "-version" run may take before it is ended: a runtime that hangs must not hold the
// service start for ever, and a slow machine's cold start of a runtime stays well within it.
inline constexpr unsigned long kVersionRunTimeoutMilliseconds = 60000;

// What every check of one search shares: the configured range and the two keys that shape a check.
struct ValidationSettings {
    VersionRange range;
    bool windowless = false;             // key 107 is 1: javaw.exe is the one that runs
    bool requireDevelopmentKit = false;  // key 131 not 0
};

// The java executable of a runtime home as the rules choose it, the file system asked.
HomeExecutable homeExecutable(std::string_view home, bool requireDevelopmentKit);

// The path is replaced by its absolute, lower-case form (and by javaw.exe for a windowless
// application); version receives the version found, empty when none.
bool checkJavaExe(std::string& javaExecutable, std::string& version, const ValidationSettings& settings,
                  bool skipPrereleaseCheck);

// The machine in the header of a program or library file, read without running or loading it.
ImageMachine readImageMachine(const std::string& path);

std::optional<std::string> readCachedVersion(const std::string& javaExecutable, uint64_t lastWriteTime);
void writeCachedVersion(const std::string& javaExecutable, uint64_t lastWriteTime,
                        const std::string& version);
// Runs the executable with "-version"; the version its first line names, when it ended with 0.
std::optional<std::string> runJavaVersion(const std::string& javaExecutable, uint64_t lastWriteTime);

}  // namespace brolt::jvm
