// From the chosen java executable to its VM library: the bin directory, the VM kinds in the order
// they are tried, the library path, the "PATH" extension and the JVM home.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jvm/decision.h"

namespace brolt::jvm {

// The bin directory is composed into "PATH" and library paths within a buffer of this many bytes.
inline constexpr size_t kBinDirectoryBufferSize = 2000;
// Key 152, the preferred VM kind, is at most this many characters.
inline constexpr size_t kVmKindLimit = 199;
// Tried in this order after the preferred kind.
inline constexpr std::string_view kVmKinds[] = {"hotspot", "client", "server", "classic", "jrockit"};
// "PATH" and the "PATH=..." text for the C library's copy each fit one buffer of the shared size.
inline constexpr std::string_view kPathAssignment = "PATH=";
inline constexpr size_t kSearchPathLimit = kSearchPathBufferSize - 1 - kPathAssignment.size();

// The executable's directory without the trailing backslash: c:\jre\bin\javaw.exe gives c:\jre\bin.
// Refused when the path has no directory or the directory does not fit kBinDirectoryBufferSize.
TextOutcome binDirectory(std::string_view javaExecutable);

// The runtime inside a development kit, tried when the kit's own bin holds no VM library:
// c:\jdk\bin\java.exe gives c:\jdk\bin\..\jre\bin\java.exe.
TextOutcome kitRuntimeExecutable(std::string_view javaExecutable);

// The JVM home offered to variable expansion: c:\jre\bin\java.exe gives c:\jre\bin\.. (left
// unnormalised).
TextOutcome jvmHomeFor(std::string_view javaExecutable);

struct VmKindOrder {
    std::vector<std::string> kinds;  // in the order tried
    std::string note;                // why the preferred kind was left out, when it was
};

// Key 152 first when set, then kVmKinds; a fixed kind equal to the preferred one (ignoring case, as
// directory names do) is not tried twice. A preferred kind longer than kVmKindLimit is left out.
VmKindOrder vmKindOrder(std::string_view preferredKind);

// bin\kind\jvm.dll
std::string vmLibraryPath(std::string_view binDirectory, std::string_view kind);

// The value "PATH" takes while a VM library is loaded: the current value, ";" and the bin directory
// at the end; the bin directory alone when "PATH" is unset or empty. Refused when it would be longer
// than kSearchPathLimit; "PATH" then stays as it is.
TextOutcome extendedSearchPath(std::optional<std::string_view> currentPath, std::string_view binDirectory);

}  // namespace brolt::jvm
