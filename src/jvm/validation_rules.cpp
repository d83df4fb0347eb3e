#include "jvm/validation_rules.h"

namespace brolt::jvm {

namespace {

constexpr std::string_view kRuntimeInHome = "\\jre\\bin\\java.exe";
constexpr std::string_view kExecutableInHome = "\\bin\\java.exe";
constexpr std::string_view kToolsArchive = "\\lib\\tools.jar";
constexpr std::string_view kExeSuffix = ".exe";
constexpr std::string_view kWindowlessName = "javaw.exe";

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    std::string_view tail = text.substr(text.size() - suffix.size());
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

}  // namespace

HomeExecutable javaExeForHome(std::string_view home, bool requireDevelopmentKit, const FileProbe& exists) {
    HomeExecutable result;
    if (home.size() + kRuntimeInHome.size() > kPathLimit) {
        result.reason =
            "installation directory of " + std::to_string(home.size()) + " characters is too long";
        return result;
    }
    std::string runtime = std::string(home) + std::string(kRuntimeInHome);
    if (requireDevelopmentKit) {
        std::string tools = std::string(home) + std::string(kToolsArchive);
        result.javaExecutable = runtime;
        result.usable = exists(tools);
        if (!result.usable)
            result.reason = "not a development kit: " + tools + " does not exist";
        return result;
    }
    result.usable = true;
    result.javaExecutable = exists(runtime) ? runtime : std::string(home) + std::string(kExecutableInHome);
    return result;
}

std::string machineNote(const ImageMachine& image, const WordSize& launcher) {
    if (!image.known())
        return "not a Windows program: " + image.problem;
    const std::string launcherBits = std::to_string(launcher.bits) + "-bit";
    const std::string built = "built for " + machineName(image.machine);
    if (image.machine == launcher.runtimeMachine)
        return built + ", as this " + launcherBits + " launcher";
    const WordSize* other = wordSizeOfMachine(image.machine);
    if (other == nullptr)
        return built + "; this launcher is " + launcherBits + " (" + machineName(launcher.runtimeMachine) +
               ")";
    return built + ", a " + std::to_string(other->bits) + "-bit runtime; this launcher is " + launcherBits;
}

Verdict runtimeWordSize(const ImageMachine& javaExecutable, const WordSize& launcher) {
    if (javaExecutable.known() && javaExecutable.machine == launcher.runtimeMachine)
        return Verdict::accept();
    return Verdict::reject(machineNote(javaExecutable, launcher));
}

TextOutcome windowlessExecutable(std::string_view javaExecutable) {
    if (endsWithIgnoringCase(javaExecutable, kWindowlessName))
        return TextOutcome::of(std::string(javaExecutable));
    if (!endsWithIgnoringCase(javaExecutable, kExeSuffix))
        return TextOutcome::refuse("no windowless sibling for " + logExcerpt(javaExecutable) +
                                   ": the name does not end in .exe");
    std::string sibling(javaExecutable.substr(0, javaExecutable.size() - kExeSuffix.size()));
    return TextOutcome::of(sibling + "w.exe");
}

TextOutcome cacheKeyName(std::string_view javaExecutable) {
    if (javaExecutable.empty() || javaExecutable.size() > kRegistryNameLimit)
        return TextOutcome::refuse("no version cache for a path of " + std::to_string(javaExecutable.size()) +
                                   " characters: a registry key name holds 1 to " +
                                   std::to_string(kRegistryNameLimit));
    std::string name = replaceChar(javaExecutable, '\\', '/');
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return TextOutcome::of(std::string(kVersionCacheKey) + name);
}

std::string cacheTimeBytes(uint64_t lastWriteTime) {
    std::string bytes(kFileTimeBytes, '\0');
    for (size_t i = 0; i < kFileTimeBytes; ++i)
        bytes[i] = static_cast<char>((lastWriteTime >> (8 * i)) & 0xFF);
    return bytes;
}

TextOutcome registryText(std::string_view bytes, size_t bufferSize, std::string_view valueName) {
    std::string_view text = bytes.substr(0, bytes.find('\0'));
    if (text.size() >= bufferSize)
        return TextOutcome::refuse(std::string(valueName) + " of " + std::to_string(text.size()) +
                                   " bytes leaves no room for its terminator in " +
                                   std::to_string(bufferSize));
    return TextOutcome::of(std::string(text));
}

TextOutcome cachedVersion(const CacheEntry& entry, uint64_t lastWriteTime) {
    if (!entry.lastWriteTime)
        return TextOutcome::refuse("no cached last-write time");
    if (*entry.lastWriteTime != cacheTimeBytes(lastWriteTime))
        return TextOutcome::refuse("cached last-write time differs from the executable's");
    if (!entry.version)
        return TextOutcome::refuse("no cached version");
    TextOutcome version = registryText(*entry.version, kCachedVersionBufferSize, "cached version");
    if (version && version.text->empty())
        return TextOutcome::refuse("cached version is empty");
    return version;
}

}  // namespace brolt::jvm
