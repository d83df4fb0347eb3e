// The rules around one candidate java executable: where an installation keeps it, its windowless
// sibling, and the per-user version cache entry that spares a "-version" run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/pe_machine.h"
#include "core/word_size.h"
#include "jvm/decision.h"

namespace brolt::jvm {

struct HomeExecutable {
    bool usable = false;
    // Set even when not usable: the relative fallback pass still looks whether this file exists.
    std::string javaExecutable;
    std::string reason;
};

// The java executable of installation directory home: home\jre\bin\java.exe when it exists, else
// home\bin\java.exe (whose existence the check of the executable settles). When only development
// kits qualify, the answer is whether home\lib\tools.jar exists and the executable stays the runtime
// inside the kit, home\jre\bin\java.exe.
HomeExecutable javaExeForHome(std::string_view home, bool requireDevelopmentKit, const FileProbe& exists);

// What a runtime file's header says about its word size, for the log: "built for x86-64, a 64-bit
// runtime; this launcher is 32-bit", "built for i386, as this 32-bit launcher", or why the header
// could not be read.
std::string machineNote(const ImageMachine& image, const WordSize& launcher);

// A runtime loads into the launcher's process only when its VM library has the launcher's word size,
// and the java executable beside it tells which word size the runtime has. Rejected, with the
// machineNote as the reason, when the executable is built for another machine or is no Windows
// program at all.
Verdict runtimeWordSize(const ImageMachine& javaExecutable, const WordSize& launcher);

// A windowless application (executable type 1) runs javaw.exe: the executable with its final ".exe"
// turned into "w.exe", or the executable itself when it is javaw.exe already. Refused when the
// name does not end in ".exe".
TextOutcome windowlessExecutable(std::string_view javaExecutable);

// Every cache entry lives below this key of the current user; the key name holds no application,
// so all launchers of this kind under one user share the cache.
inline constexpr std::string_view kVersionCacheKey = "SOFTWARE\\kelvar-dynamics\\brolt\\jvms\\";
// A registry key name is one component of at most this many characters, and the whole path is one.
inline constexpr size_t kRegistryNameLimit = 255;
// "Version" is read into a buffer of this many bytes, which must leave room for the terminator.
inline constexpr size_t kCachedVersionBufferSize = 8192;
inline constexpr size_t kFileTimeBytes = 8;
// The version cached for an executable whose "-version" run failed: any minimum above it rejects it.
inline constexpr std::string_view kFailedVersion = "1.0.0";

// The cache key of a java executable: kVersionCacheKey followed by its path in lower case (A to Z)
// with every "\" written as "/", so C:\Java\BIN\java.exe and c:\java\bin\java.exe share one entry.
// Refused when the path is longer than a registry key name may be.
TextOutcome cacheKeyName(std::string_view javaExecutable);

// "LastWriteTime" as stored: the 8 bytes of a FILETIME, low half first, each half little-endian.
std::string cacheTimeBytes(uint64_t lastWriteTime);

// What the two reads of a cache entry brought back; absent when the query failed (a value that did
// not fit the buffer fails the query).
struct CacheEntry {
    std::optional<std::string> lastWriteTime;  // the bytes of "LastWriteTime"
    std::optional<std::string> version;        // the bytes of "Version", as many as the query returned
};

// A hit needs exactly the 8 bytes of the executable's current last-write time and a version that
// leaves room for its terminator in kCachedVersionBufferSize; the version ends at its first NUL.
// An empty version is a miss too: the executable is simply run again.
TextOutcome cachedVersion(const CacheEntry& entry, uint64_t lastWriteTime);

// A text value read from the registry into a buffer of bufferSize bytes: it ends at its first NUL
// and needs room for a terminator; refused otherwise. Used for "CurrentVersion" and "JavaHome".
TextOutcome registryText(std::string_view bytes, size_t bufferSize, std::string_view valueName);

}  // namespace brolt::jvm
