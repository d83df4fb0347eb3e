// The VM option list of one launch: launcher properties, the configured VM parameters (key 123), "-J"
// launch arguments, the options file beside the launcher with the files it includes, and the composed
// class path last.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/failure.h"
#include "launch/launch_context.h"
#include "launch/vm_option_rules.h"

namespace brolt {

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using UniqueStdioFile = std::unique_ptr<FILE, FileCloser>;

// The options gathered so far and the class path settings met among them.
struct VmOptionList {
    std::vector<std::string> options;
    ClassPathModifiers modifiers;
};

// The whole list, in order, into options; logs the count and every option. A failure when the VM
// parameters hold an unclosed quote or a required class path entry is missing.
std::optional<Failure> assembleVmOptions(const std::vector<std::string>& launcherProperties,
                                         const std::vector<std::wstring>& launchArguments,
                                         const LaunchContext& context, std::vector<std::string>& options);

// Classifies one option met at the given include depth and stores it: an include is read at once, a
// class path setting is recorded, anything else is appended.
void addVmOption(std::string_view text, VmOptionList& list, const LaunchContext& context, int depth);
// Reads the options of an open file (none: nothing) standing at the given include depth, then closes it.
void readOptionsFile(UniqueStdioFile file, VmOptionList& list, const LaunchContext& context, int depth);
// "tool.vmoptions", else "tool.exe.vmoptions", beside the launcher at modulePath; none when neither opens.
UniqueStdioFile openDefaultOptionsFile(const char* modulePath);

// "-Djava.class.path=" with the prefix, the archives extracted (by their names, extractedArchives), the
// quendrial runtime archive, the configured class path (or its replacement) and the suffix, into classPath.
std::optional<Failure> composeClassPath(const ClassPathModifiers& modifiers, const LaunchContext& context,
                                        ClassPathOption& classPath);
// The entries of key 121; a required entry that is not found is a failure (messages 1006 and 1008).
std::optional<Failure> addConfiguredClassPath(ClassPathOption& classPath, const LaunchContext& context);
// Every directory\*.extension in the order the file system lists them; false when the directory does
// not exist.
bool addArchivesOfDirectory(ClassPathOption& classPath, const char* directory, const char* extension);

}  // namespace brolt
