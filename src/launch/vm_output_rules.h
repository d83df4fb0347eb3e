// The rules of what the VM prints (through its vfprintf hook) and of the exception texts the launch's
// Java calls leave, on their way to the standard-error file and the diagnostic log: how printed text
// becomes log lines, and when it is kept and when written. The hook, the file and the log calls live in
// vm_output.cpp.
//
// Until the Java side has run, what is printed is kept: its first act is to open the standard-error file,
// maybe afresh, which would erase anything written before. So the kept text goes out when the Java side
// has returned (appended behind what it wrote) or when it will never run (the VM could not be created,
// ended before it, or the launch stopped short of it: then written as the Java side would have opened
// the file). From then on each print is appended at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brolt {

// The most text kept before the Java side has run. The VM prints a few lines before it fails; a
// flag-listing option prints about 100 KiB, of which the latest part, with any error, is the one worth
// keeping.
inline constexpr size_t kKeptOutputLimit = 64 * 1024;
// A line longer than this reaches the log in pieces of this size, so a line end that never comes still
// lets the text through.
inline constexpr size_t kLogLineLimit = 4000;

// The complete lines of printed text, without their line ends ("\n" and any "\r" before it), empty lines
// left out.
// pending holds the start of a line whose end has not come yet; it is taken first and keeps what
// follows the last line end.
std::vector<std::string> takeLogLines(std::string& pending, std::string_view printed);
// The start of a line still pending once nothing more will come (empty when there is none).
std::string takeLastLogLine(std::string& pending);

enum class OutputWrite {
    Append,       // behind what the file holds, creating it when missing
    StartAfresh,  // the file emptied first, as the Java side opens it when not appending
};

struct VmOutput {
    bool keeping = false;      // the Java side has not had its chance to open the file yet
    bool startAfresh = false;  // the first write empties the file (until something is written)
    std::string kept;
    size_t leftOut = 0;  // bytes of the earliest kept text dropped for the limit
};

// toFile: standard error is redirected to a file (else each print is written at once, to the process's
// standard error); append: launcher parameter 4.
VmOutput startVmOutput(bool toFile, bool append);

struct PendingWrite {
    std::string text;  // empty: nothing to write
    OutputWrite mode = OutputWrite::Append;
};

// What a print writes now: nothing while it is kept. Past kKeptOutputLimit the oldest kept text goes,
// from a line start where there is one. Once nothing is kept, whole lines: the start of a line waits
// (in kept) for its end, or until it is kLogLineLimit long, or the next release.
PendingWrite printed(VmOutput& output, std::string_view text);

// The kept text, to be written now, and how; from then on each print is written at once. javaSideRan:
// the Java side has returned, so the file was its to start and the kept text goes behind. Otherwise it
// never will, and the first text written starts the file as the Java side would have (afresh or
// appended). A note in front tells how much was left out for the limit.
PendingWrite releaseKept(VmOutput& output, bool javaSideRan);

// The C library a VM library prints with, which a print to any stream but its standard output and error
// goes through: its own stream, its own buffer and lock.
enum class CLibraryKind {
    Unknown,    // none recognised: every print goes where the standard streams go
    Universal,  // ucrtbase.dll: __acrt_iob_func and __stdio_common_vfprintf
    Classic,    // msvcrt.dll and the versioned msvcrNN.dll: __iob_func and vfprintf
};
struct CLibrary {
    CLibraryKind kind = CLibraryKind::Unknown;
    std::string module;  // the library's file name, as the system knows it loaded
};
// From the names of the libraries the VM library imports, in their order: the first that is a C
// library. The universal one is also imported through its "api-ms-win-crt-" contract names.
CLibrary vmCLibrary(const std::vector<std::string>& importedNames);

}  // namespace brolt
