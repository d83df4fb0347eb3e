// The command lines of the child processes the search starts: "-version" runs and the unpacker.
// The program path is quoted, so a path with blanks can never start C:\Program.exe in its place.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "jvm/decision.h"

namespace brolt::jvm {

// A command line is built in one buffer of the shared size, terminator included.
inline constexpr size_t kCommandLineLimit = kTextBufferSize - 1;

// "program" followed by a blank and the arguments, as given. Refused for an empty program, a program
// holding a quotation mark (it could not be quoted) or a line longer than kCommandLineLimit.
TextOutcome childCommandLine(std::string_view program, std::string_view arguments);

// "javaExecutable" -version
TextOutcome javaVersionCommandLine(std::string_view javaExecutable);

// "runtime\bin\unpack200.exe" -r "packedFile" "archive"; -r has the unpacker delete the packed file
// once the archive is written.
TextOutcome unpackCommandLine(std::string_view runtimeDirectory, std::string_view packedFile,
                              std::string_view archive);

}  // namespace brolt::jvm
