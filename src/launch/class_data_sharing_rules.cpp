#include "launch/class_data_sharing_rules.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <map>
#include <set>
#include <span>

#include "core/fnv_hash.h"
#include "core/text_case.h"
#include "launch/vm_option_rules.h"

namespace brolt {

namespace {

// Options by which a user takes class-data sharing into their own hands; compared from the start.
constexpr std::string_view kUserSharingOptions[] = {
    "-Xshare:",
    "-XX:SharedArchiveFile=",
    "-XX:ArchiveClassesAtExit=",
    "-XX:+AutoCreateSharedArchive",
    "-XX:-AutoCreateSharedArchive",
    "-XX:SharedClassListFile=",
    "-XX:DumpLoadedClassList=",
    // The ahead-of-time cache of later runtimes, which takes the archive's place.
    "-XX:AOTCache=",
    "-XX:AOTCacheOutput=",
    "-XX:AOTConfiguration=",
    "-XX:AOTMode=",
};
// Agents: the VM refuses to write an archive with a Java agent loaded and ends at its start instead
// ("Must enable AllowArchivingWithJavaAgent"), and an agent that changes classes is no case for one.
constexpr std::string_view kAgentOptions[] = {"-javaagent:", "-agentlib:", "-agentpath:"};

constexpr std::string_view kLauncherPropertyStart = "-Dbrolt.";

// The options by which the VM reads more options from a file, and the start a flags file's flags lack.
constexpr std::string_view kVmOptionsFileOption = "-XX:VMOptionsFile=";
constexpr std::string_view kFlagsFileOption = "-XX:Flags=";
constexpr std::string_view kFlagStart = "-XX:";
constexpr std::string_view kLauncherOptionsName = "the launcher's options";

// What the VM says about archives (a refused archive, a class it leaves out of one) is no concern of the
// application's output.
constexpr std::string_view kQuietOption = "-Xlog:cds*=off";
constexpr std::string_view kAutoShareOption = "-Xshare:auto";
constexpr std::string_view kMapOption = "-XX:SharedArchiveFile=";
constexpr std::string_view kWriteOption = "-XX:ArchiveClassesAtExit=";
constexpr std::string_view kAutomaticOption = "-XX:+AutoCreateSharedArchive";

constexpr std::string_view kArchiveExtension = ".jsa";
constexpr std::string_view kStampExtension = ".stamp";
constexpr std::string_view kUnfinishedExtension = ".tmp";

void hashInto(uint64_t& hash, std::string_view text) {
    for (char c : text)
        hash = fnvHashByte(hash, static_cast<unsigned char>(c));
    // A separator, so "ab"+"c" and "a"+"bc" differ.
    hash = fnvHashByte(hash, 0xff);
}

// Windows paths name the same file in any case of their ASCII letters.
std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = asciiLower(c);
    return lower;
}

std::string hexDigits(uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        text[static_cast<size_t>(i)] = kDigits[value & 0xf];
    return text;
}

std::optional<uint64_t> number(std::string_view text) {
    uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// The archive a cache file belongs to ("x.jsa" for "x.jsa", "x.jsa.stamp" and "x.jsa.12.tmp"), and
// whether it is an unfinished write; nullopt for a file that is no archive's.
struct CacheFileKind {
    std::string archive;
    bool unfinished = false;
};

std::optional<CacheFileKind> cacheFileKind(std::string_view name) {
    size_t archiveEnd = name.find(kArchiveExtension);
    if (archiveEnd == std::string_view::npos || archiveEnd == 0)
        return std::nullopt;
    archiveEnd += kArchiveExtension.size();
    std::string_view rest = name.substr(archiveEnd);
    CacheFileKind kind{std::string(name.substr(0, archiveEnd)), false};
    if (rest.empty() || rest == kStampExtension)
        return kind;
    if (rest.size() > kUnfinishedExtension.size() + 1 && rest.front() == '.' &&
        rest.ends_with(kUnfinishedExtension)) {
        kind.unfinished = true;
        return kind;
    }
    return std::nullopt;
}

// The VM's white space (C's isspace in the "C" locale).
bool isVmSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isQuote(char c) {
    return c == '\'' || c == '"';
}

std::string_view firstStartingWith(const std::vector<std::string>& options,
                                   std::span<const std::string_view> starts) {
    for (const std::string& option : options) {
        for (std::string_view start : starts) {
            if (option.starts_with(start))
                return option;
        }
    }
    return {};
}

std::string_view optionsFileOption(OptionsFileKind kind) {
    return kind == OptionsFileKind::VmOptions ? kVmOptionsFileOption : kFlagsFileOption;
}

// "<launcher hash>-": what all archives of one launcher begin with.
std::string_view launcherPart(std::string_view archive) {
    size_t dash = archive.find('-');
    return dash == std::string_view::npos ? std::string_view() : archive.substr(0, dash + 1);
}

}  // namespace

int javaFeatureVersion(std::string_view version) {
    if (version.starts_with("1."))
        version.remove_prefix(2);
    size_t digits = 0;
    while (digits < version.size() && version[digits] >= '0' && version[digits] <= '9')
        ++digits;
    // Three digits are more than any Java version has; a longer run is no version.
    if (digits == 0 || digits > 3)
        return 0;
    int value = 0;
    std::from_chars(version.data(), version.data() + digits, value);
    return value;
}

std::string_view userSharingOption(const std::vector<std::string>& options) {
    return firstStartingWith(options, kUserSharingOptions);
}

std::string_view agentOption(const std::vector<std::string>& options) {
    return firstStartingWith(options, kAgentOptions);
}

std::vector<std::string> splitVmOptionsText(std::string_view text) {
    std::vector<std::string> options;
    size_t at = 0;
    while (true) {
        while (at < text.size() && isVmSpace(text[at]))
            ++at;
        if (at == text.size())
            return options;
        std::string option;
        while (at < text.size() && !isVmSpace(text[at])) {
            const char c = text[at++];
            if (!isQuote(c)) {
                option += c;
                continue;
            }
            // The VM refuses an unclosed quote and ends its start; what follows it is still scanned.
            const size_t close = std::min(text.find(c, at), text.size());
            option.append(text.substr(at, close - at));
            at = std::min(close + 1, text.size());
        }
        options.push_back(std::move(option));
    }
}

std::vector<std::string> flagsFileOptions(std::string_view text) {
    std::vector<std::string> flags;
    std::string flag;
    bool inFlag = false;
    bool inComment = false;
    char quote = '\0';
    auto endFlag = [&] {
        flags.push_back(std::string(kFlagStart) + flag);
        flag.clear();
        inFlag = false;
        quote = '\0';
    };
    for (char c : text) {
        if (!inFlag) {
            if (inComment)
                inComment = c != '\n';
            else if (c == '#')
                inComment = true;
            else if (!isVmSpace(c)) {
                // A flag's first character is taken as it is, a quote too.
                inFlag = true;
                flag += c;
            }
        } else if (c == '\n' || (quote == '\0' && isVmSpace(c))) {
            endFlag();
        } else if (quote == '\0' && isQuote(c)) {
            quote = c;
        } else if (quote != '\0' && c == quote) {
            quote = '\0';
        } else {
            flag += c;
        }
    }
    // The VM stops at a flag of 1023 characters and reads no further; reading on can only find more
    // reasons to step aside.
    if (inFlag)
        endFlag();
    return flags;
}

std::vector<NamedOptionsFile> namedOptionsFiles(const std::vector<std::string>& options) {
    std::vector<NamedOptionsFile> files;
    for (const std::string& option : options) {
        for (OptionsFileKind kind : {OptionsFileKind::VmOptions, OptionsFileKind::Flags}) {
            if (option.starts_with(optionsFileOption(kind)))
                files.push_back({kind, option.substr(optionsFileOption(kind).size())});
        }
    }
    return files;
}

std::vector<VmOptionSource> otherVmOptionSources(const std::vector<std::string>& launcherOptions,
                                                 const VmOptionReaders& readers) {
    struct PendingFile {
        NamedOptionsFile file;
        std::string namedIn;
    };
    std::deque<PendingFile> pending;
    auto namedBy = [&pending](const std::vector<std::string>& options, const std::string& source) {
        for (NamedOptionsFile& file : namedOptionsFiles(options))
            pending.push_back({std::move(file), source});
    };
    namedBy(launcherOptions, std::string(kLauncherOptionsName));

    std::vector<VmOptionSource> sources;
    for (std::string_view variable : kVmOptionVariables) {
        std::optional<std::string> value = readers.variable(variable);
        if (!value)
            continue;
        VmOptionSource source{std::string(variable), splitVmOptionsText(*value), {}};
        namedBy(source.options, source.name);
        sources.push_back(std::move(source));
    }

    std::set<std::pair<OptionsFileKind, std::string>> seen;
    for (; !pending.empty(); pending.pop_front()) {
        const PendingFile& next = pending.front();
        if (!seen.insert({next.file.kind, next.file.path}).second)
            continue;
        VmOptionSource source{"the options file \"" + next.file.path + "\" (" +
                                  std::string(optionsFileOption(next.file.kind)) + " in " + next.namedIn +
                                  ")",
                              {},
                              {}};
        if (seen.size() > kMaxOptionsFiles) {
            source.unreadable = "more than " + std::to_string(kMaxOptionsFiles) + " options files are named";
            sources.push_back(std::move(source));
            break;
        }
        OptionsFileText read = readers.file(next.file.path);
        if (!read.text) {
            source.unreadable = read.problem.empty() ? "it could not be read" : read.problem;
        } else if (next.file.kind == OptionsFileKind::VmOptions) {
            source.options = splitVmOptionsText(*read.text);
            namedBy(source.options, source.name);
        } else {
            source.options = flagsFileOptions(*read.text);
        }
        sources.push_back(std::move(source));
    }
    return sources;
}

SharingChoice chooseSharing(bool enabled, int wordSize, std::string_view version,
                            const std::vector<std::string>& options,
                            const std::vector<VmOptionSource>& others) {
    if (!enabled)
        return {SharingMode::Off, "turned off by java.class_data_sharing"};
    if (wordSize != 64)
        return {SharingMode::Off, "not on a 32-bit runtime"};
    int feature = javaFeatureVersion(version);
    if (feature < kFirstDynamicArchiveVersion)
        return {SharingMode::Off,
                "runtime version \"" + std::string(version) + "\" has no archive of its own"};
    // The launcher's own options first, then the others by name, as the reason says where it was met.
    if (std::string_view option = userSharingOption(options); !option.empty())
        return {SharingMode::Off, "left to the option " + std::string(option)};
    for (const VmOptionSource& other : others) {
        if (std::string_view option = userSharingOption(other.options); !option.empty())
            return {SharingMode::Off, "left to the option " + std::string(option) + " from " + other.name};
    }
    if (std::string_view option = agentOption(options); !option.empty())
        return {SharingMode::Off, "not with an agent: " + std::string(option)};
    for (const VmOptionSource& other : others) {
        if (std::string_view option = agentOption(other.options); !option.empty())
            return {SharingMode::Off, "not with an agent: " + std::string(option) + " from " + other.name};
    }
    // What the VM will read there is not known, an agent or an archive of the user's among it maybe.
    for (const VmOptionSource& other : others) {
        if (!other.unreadable.empty())
            return {SharingMode::Off, "not without reading " + other.name + ": " + other.unreadable};
    }
    if (feature >= kFirstAutomaticArchiveVersion)
        return {SharingMode::Automatic, "automatic archive"};
    return {SharingMode::AtExit, "archive written at exit"};
}

std::string hashText(std::string_view text) {
    uint64_t hash = kFnvOffsetBasis;
    hashInto(hash, text);
    return hexDigits(hash);
}

std::string archiveFileName(std::string_view launcherPath, std::string_view javaExecutable,
                            std::string_view version) {
    uint64_t runtime = kFnvOffsetBasis;
    hashInto(runtime, lowerAscii(javaExecutable));
    hashInto(runtime, version);
    return hashText(lowerAscii(launcherPath)) + "-" + hexDigits(runtime) + std::string(kArchiveExtension);
}

std::string archiveInputs(std::string_view version, const std::vector<ClassPathFile>& classPath,
                          const std::vector<std::string>& options) {
    uint64_t hash = kFnvOffsetBasis;
    hashInto(hash, version);
    for (const ClassPathFile& file : classPath) {
        hashInto(hash, file.path);
        hashInto(hash, std::to_string(file.size));
        hashInto(hash, std::to_string(file.writeTime));
    }
    for (const std::string& option : options) {
        if (option.starts_with(kLauncherPropertyStart) || option.starts_with(kClassPathOptionStart))
            continue;
        hashInto(hash, option);
    }
    return hexDigits(hash);
}

std::string formatArchiveStamp(const ArchiveStamp& stamp) {
    return stamp.inputs + " " + std::to_string(stamp.size) + " " + std::to_string(stamp.writeTime) + "\n";
}

std::optional<ArchiveStamp> parseArchiveStamp(std::string_view text) {
    // One line, its end included.
    if (text.empty() || text.find('\n') != text.size() - 1)
        return std::nullopt;
    text.remove_suffix(1);
    size_t first = text.find(' ');
    size_t second = first == std::string_view::npos ? first : text.find(' ', first + 1);
    if (second == std::string_view::npos || first == 0)
        return std::nullopt;
    std::optional<uint64_t> size = number(text.substr(first + 1, second - first - 1));
    std::optional<uint64_t> time = number(text.substr(second + 1));
    if (!size || !time)
        return std::nullopt;
    return ArchiveStamp{std::string(text.substr(0, first)), *size, *time};
}

ArchiveUse chooseArchiveUse(const std::optional<ArchiveStamp>& stamp, const std::string& inputs,
                            const std::optional<ClassPathFile>& archive, bool holdsWriterLock) {
    // A cut archive can bring the VM down while it maps it: only the very file that was stamped is used.
    if (stamp && archive && stamp->inputs == inputs && stamp->size == archive->size &&
        stamp->writeTime == archive->writeTime)
        return ArchiveUse::Map;
    return holdsWriterLock ? ArchiveUse::Write : ArchiveUse::None;
}

std::vector<std::string> sharingOptions(SharingMode mode, ArchiveUse use, std::string_view archivePath,
                                        std::string_view writePath) {
    std::vector<std::string> options = {std::string(kQuietOption), std::string(kAutoShareOption)};
    switch (mode) {
        case SharingMode::Off:
            return {};
        case SharingMode::Automatic:
            // Only the writer lets the VM rewrite the archive; the others map it when it is sound.
            if (use == ArchiveUse::Write)
                options.emplace_back(kAutomaticOption);
            options.push_back(std::string(kMapOption) + std::string(archivePath));
            return options;
        case SharingMode::AtExit:
            if (use == ArchiveUse::Map)
                options.push_back(std::string(kMapOption) + std::string(archivePath));
            else if (use == ArchiveUse::Write)
                options.push_back(std::string(kWriteOption) + std::string(writePath));
            else
                return {};
            return options;
    }
    return {};
}

std::vector<std::string> filesToPrune(const std::vector<CacheFile>& files, std::string_view currentName,
                                      uint64_t now) {
    auto older = [now](uint64_t time, uint64_t lifetime) { return time < now && now - time > lifetime; };
    std::vector<std::string> pruned;
    // The last use of each other archive: the newest time among its archive and stamp.
    std::map<std::string, uint64_t> lastUse;
    for (const CacheFile& file : files) {
        std::optional<CacheFileKind> kind = cacheFileKind(file.name);
        if (!kind)
            continue;
        if (kind->unfinished) {
            if (older(file.writeTime, kUnfinishedWriteLifetime))
                pruned.push_back(file.name);
            continue;
        }
        if (kind->archive == currentName)
            continue;
        uint64_t& last = lastUse[kind->archive];
        last = std::max(last, file.writeTime);
    }
    std::string_view ownLauncher = launcherPart(currentName);
    std::vector<std::pair<uint64_t, std::string>> kept;
    std::map<std::string, bool> goes;
    for (const auto& [archive, last] : lastUse) {
        bool sameLauncher = !ownLauncher.empty() && launcherPart(archive) == ownLauncher;
        goes[archive] = sameLauncher || older(last, kCacheFileLifetime);
        if (!goes[archive])
            kept.emplace_back(last, archive);
    }
    // The current archive counts as one of the kept.
    if (kept.size() + 1 > kMaxCachedArchives) {
        std::sort(kept.begin(), kept.end(), std::greater<>());
        for (size_t i = kMaxCachedArchives - 1; i < kept.size(); ++i)
            goes[kept[i].second] = true;
    }
    for (const CacheFile& file : files) {
        std::optional<CacheFileKind> kind = cacheFileKind(file.name);
        if (kind && !kind->unfinished && kind->archive != currentName && goes[kind->archive])
            pruned.push_back(file.name);
    }
    return pruned;
}

}  // namespace brolt
