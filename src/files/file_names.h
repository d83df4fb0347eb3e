// Which names an included file may have: one rule for the packer that stores the names and the launcher
// that creates files under them. Pure text checks, so both sides (and the fuzzer) build it anywhere.
#pragma once

#include <string_view>

namespace brolt {

enum class FileNameProblem {
    None,
    Empty,
    DotName,             // "." or ".."
    PathSeparator,       // "\", "/" or ":" would leave the directory or name a stream or a drive
    ForbiddenCharacter,  // * ? " < > |
    ControlCharacter,    // bytes 0 to 31 and 127
    ReservedDeviceName,  // CON, NUL, COM1, ... with or without an extension
    TrailingDotOrBlank,  // the system strips them, so the file would get another name
};

// Whether name (narrow text) can be created as a file directly inside a directory, under exactly that
// name and as a plain file rather than a device. The bytes are checked one by one, so in a double-byte
// code page a trail byte that equals "\" or "|" is refused too: stricter than the system, never looser.
FileNameProblem checkPlainFileName(std::string_view name);

// A short English phrase for a problem, for messages ("names a device", ...); "" for None.
const char* describeFileNameProblem(FileNameProblem problem);

}  // namespace brolt
