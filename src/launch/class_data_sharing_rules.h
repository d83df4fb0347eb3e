// The rules of class-data sharing for the application's own classes, without any file or VM: which
// runtimes take part, which options the VM gets, what the archive in the per-user cache is named, when
// one there may be mapped, and which files of the cache go. The calls that look at the cache and carry
// the choice out live in class_data_sharing.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brolt {

// The first Java version whose VM writes an archive of the application's classes at its exit
// (-XX:ArchiveClassesAtExit), and the first that makes and remakes one by itself
// (-XX:+AutoCreateSharedArchive).
inline constexpr int kFirstDynamicArchiveVersion = 13;
inline constexpr int kFirstAutomaticArchiveVersion = 19;

// The major Java version a version text names: "1.8.0_392" is 8, "17.0.9" is 17, "21-ea" is 21. 0 when
// the text begins with no number (or one too large to be a version).
int javaFeatureVersion(std::string_view version);

enum class SharingMode {
    Off,        // today's options: nothing added
    AtExit,     // Java 13 to 18: the launcher decides between mapping and writing the archive
    Automatic,  // Java 19 and later: the VM maps, refuses and rewrites the archive itself
};

struct SharingChoice {
    SharingMode mode = SharingMode::Off;
    std::string reason;  // for the log: why it is off, or which mode
};

// Options the VM reads besides the ones the launcher hands it: the two variables of its environment, and
// the files that options name for it to read.
struct VmOptionSource {
    std::string name;                  // for the log: "JAVA_TOOL_OPTIONS", "the options file x.opts (...)"
    std::vector<std::string> options;  // as the VM takes them; a flags file's flags as "-XX:<flag>"
    std::string unreadable;            // why a file the VM is to read could not be read; empty: read
};

// The variables the VM takes options from at its creation, before and after the launcher's own.
inline constexpr std::string_view kVmOptionVariables[] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS"};

// What an options variable or a -XX:VMOptionsFile= file says, split as the VM splits it: white space
// separates, and a quote (' or ") takes everything up to the same quote into the option, without the
// quotes. An unclosed quote takes the rest.
std::vector<std::string> splitVmOptionsText(std::string_view text);

// What a -XX:Flags= file sets, each flag as the option "-XX:<flag>": flags separated by white space, a
// "#" before a flag comments out the rest of its line, a line end always ends a flag, and quotes (' or
// ") keep white space inside one.
std::vector<std::string> flagsFileOptions(std::string_view text);

enum class OptionsFileKind {
    VmOptions,  // -XX:VMOptionsFile=<file>: more options, as on the command line
    Flags,      // -XX:Flags=<file>: flags without their "-XX:"
};

struct NamedOptionsFile {
    OptionsFileKind kind;
    std::string path;  // as written; a relative one is the VM's to take from the current folder
};

// The files the options name for the VM to read, in order.
std::vector<NamedOptionsFile> namedOptionsFiles(const std::vector<std::string>& options);

// A file's text, or why it could not be read.
struct OptionsFileText {
    std::optional<std::string> text;
    std::string problem;
};

// How the sources are read: a variable of the environment (nullopt when it is not set) and a file.
struct VmOptionReaders {
    std::function<std::optional<std::string>(std::string_view name)> variable;
    std::function<OptionsFileText(const std::string& path)> file;
};

// At most this many options files are read for one start: the VM itself reads one -XX:VMOptionsFile=
// and one -XX:Flags=, and a few more cover a name set in several places.
inline constexpr size_t kMaxOptionsFiles = 8;

// The sources of options the VM reads besides the launcher's options: the variables that are set, then
// each file named by the launcher's options, by the variables or by a -XX:VMOptionsFile= file, read
// once. A file past kMaxOptionsFiles counts as unreadable.
std::vector<VmOptionSource> otherVmOptionSources(const std::vector<std::string>& launcherOptions,
                                                 const VmOptionReaders& readers);

// Whether the application's classes are shared: only when the launch allows it, on a 64-bit runtime of
// Java 13 or later, and when no option the VM gets, from the launcher (options) or from elsewhere
// (others), settles class-data sharing (the user's own archive or -Xshare setting is left alone) or loads
// an agent, and every options file the VM is to read could be read.
SharingChoice chooseSharing(bool enabled, int wordSize, std::string_view version,
                            const std::vector<std::string>& options,
                            const std::vector<VmOptionSource>& others = {});

// The option the user set that settles class-data sharing, or an empty view.
std::string_view userSharingOption(const std::vector<std::string>& options);

// The option that loads an agent, or an empty view.
std::string_view agentOption(const std::vector<std::string>& options);

// The 64-bit FNV-1a hash of the text, as 16 lower-case hexadecimal digits.
std::string hashText(std::string_view text);

// The archive of one launcher on one runtime: "<launcher hash>-<runtime hash>.jsa", the launcher hashed
// by its path and the runtime by its java executable and version (paths compared without case). A
// launcher's archive for another runtime has the same first part.
std::string archiveFileName(std::string_view launcherPath, std::string_view javaExecutable,
                            std::string_view version);

// What an archive was made for: the stamp written beside it once the VM wrote it, with the size and
// last write time the archive had then, so an archive changed or cut after it was written is told.
struct ArchiveStamp {
    std::string inputs;  // hashText of what the archive depends on (archiveInputs)
    uint64_t size = 0;
    uint64_t writeTime = 0;  // FILETIME as one number
};

// One file of the class path as the archive depends on it.
struct ClassPathFile {
    std::string path;
    uint64_t size = 0;
    uint64_t writeTime = 0;
};

// The hash of what an archive made at the exit depends on: the runtime's version, the class path's
// files with their sizes and times, and the VM options but the launcher's properties (which name this
// process's own files) and the class path option (covered by its files).
std::string archiveInputs(std::string_view version, const std::vector<ClassPathFile>& classPath,
                          const std::vector<std::string>& options);

// "<inputs> <size> <time>\n"; parseArchiveStamp reads it back, nullopt for anything else.
std::string formatArchiveStamp(const ArchiveStamp& stamp);
std::optional<ArchiveStamp> parseArchiveStamp(std::string_view text);

// What a start does with the archive on Java 13 to 18.
enum class ArchiveUse {
    Map,    // -XX:SharedArchiveFile: the archive is there and made for this start
    Write,  // -XX:ArchiveClassesAtExit: none usable, and this process is the one that writes it
    None,   // none usable, and another process of this launcher is writing it
};

// The archive is mapped when its stamp names these inputs and the archive's size and time are still the
// ones stamped (archive: the archive's size and time, none when it is missing).
ArchiveUse chooseArchiveUse(const std::optional<ArchiveStamp>& stamp, const std::string& inputs,
                            const std::optional<ClassPathFile>& archive, bool holdsWriterLock);

// The options for the mode and use, each archive path as the VM should read it. The VM's messages about
// archives are turned off first, so a user's own -Xlog options, which come later, still apply.
std::vector<std::string> sharingOptions(SharingMode mode, ArchiveUse use, std::string_view archivePath,
                                        std::string_view writePath);

// One file of the cache folder as the pruning sees it.
struct CacheFile {
    std::string name;
    uint64_t writeTime = 0;  // FILETIME as one number
};

// A cache file not used for this long belongs to a launcher or runtime that is gone: 30 days, in
// FILETIME units (100 ns).
inline constexpr uint64_t kCacheFileLifetime = 30ull * 24 * 3600 * 10000000;
// A write that was cut leaves a temporary file; one an hour old is no longer being written.
inline constexpr uint64_t kUnfinishedWriteLifetime = 3600ull * 10000000;
// More archives than this in the folder: the least recently used beyond it go, whatever their age.
inline constexpr size_t kMaxCachedArchives = 32;

// The files of the cache folder to delete: this launcher's archives (with their stamps and unfinished
// writes) for other runtimes, any file unused for kCacheFileLifetime, unfinished writes older than
// kUnfinishedWriteLifetime, and the least recently used archives beyond kMaxCachedArchives. The current
// archive (currentName) and its files stay; lock files are never listed (an open one cannot go).
std::vector<std::string> filesToPrune(const std::vector<CacheFile>& files, std::string_view currentName,
                                      uint64_t now);

}  // namespace brolt
