#include "jvm/library_rules.h"

#include "core/text_case.h"

namespace brolt::jvm {

namespace {

constexpr std::string_view kKitRuntimeFromBin = "..\\jre\\bin\\java.exe";
constexpr std::string_view kParentDirectory = "..";
constexpr std::string_view kVmLibraryName = "\\jvm.dll";

// Everything up to and including the separator before the file name; none without a directory.
std::optional<std::string_view> directoryWithSeparator(std::string_view path) {
    size_t separator = path.find_last_of("\\/");
    if (separator == std::string_view::npos || separator == 0)
        return std::nullopt;
    return path.substr(0, separator + 1);
}

TextOutcome inDirectoryOf(std::string_view javaExecutable, std::string_view name) {
    std::optional<std::string_view> directory = directoryWithSeparator(javaExecutable);
    if (!directory)
        return TextOutcome::refuse("no directory in " + logExcerpt(javaExecutable));
    std::string path = std::string(*directory) + std::string(name);
    if (path.size() > kPathLimit)
        return TextOutcome::refuse("path of " + std::to_string(path.size()) + " characters is longer than " +
                                   std::to_string(kPathLimit) + ": " + logExcerpt(path));
    return TextOutcome::of(std::move(path));
}

}  // namespace

TextOutcome binDirectory(std::string_view javaExecutable) {
    std::optional<std::string_view> directory = directoryWithSeparator(javaExecutable);
    if (!directory)
        return TextOutcome::refuse("no bin directory in " + logExcerpt(javaExecutable));
    std::string_view bin = directory->substr(0, directory->size() - 1);
    if (bin.size() >= kBinDirectoryBufferSize)
        return TextOutcome::refuse("bin directory of " + std::to_string(bin.size()) +
                                   " characters does not fit " + std::to_string(kBinDirectoryBufferSize) +
                                   " bytes: " + logExcerpt(bin));
    return TextOutcome::of(std::string(bin));
}

TextOutcome kitRuntimeExecutable(std::string_view javaExecutable) {
    return inDirectoryOf(javaExecutable, kKitRuntimeFromBin);
}

TextOutcome jvmHomeFor(std::string_view javaExecutable) {
    return inDirectoryOf(javaExecutable, kParentDirectory);
}

VmKindOrder vmKindOrder(std::string_view preferredKind) {
    VmKindOrder order;
    if (preferredKind.size() > kVmKindLimit) {
        order.note = "preferred VM kind of " + std::to_string(preferredKind.size()) +
                     " characters (more than " + std::to_string(kVmKindLimit) +
                     ") left out: " + logExcerpt(preferredKind);
        preferredKind = {};
    }
    if (!preferredKind.empty())
        order.kinds.emplace_back(preferredKind);
    for (std::string_view kind : kVmKinds) {
        if (!equalIgnoringCase(kind, preferredKind))
            order.kinds.emplace_back(kind);
    }
    return order;
}

std::string vmLibraryPath(std::string_view binDirectory, std::string_view kind) {
    return std::string(binDirectory) + "\\" + std::string(kind) + std::string(kVmLibraryName);
}

TextOutcome extendedSearchPath(std::optional<std::string_view> currentPath, std::string_view binDirectory) {
    std::string path = currentPath && !currentPath->empty()
                           ? std::string(*currentPath) + ";" + std::string(binDirectory)
                           : std::string(binDirectory);
    if (path.size() > kSearchPathLimit)
        return TextOutcome::refuse("PATH with " + logExcerpt(binDirectory) + " would be " +
                                   std::to_string(path.size()) + " characters, more than " +
                                   std::to_string(kSearchPathLimit) + "; PATH left as it is");
    return TextOutcome::of(std::move(path));
}

}  // namespace brolt::jvm
