#include "jvm/unpack_rules.h"

#include "jvm/child_command.h"

namespace brolt::jvm {

namespace {
constexpr std::string_view kPackSuffix = ".pack";
}  // namespace

bool isPackedRuntime(std::string_view runtimeDirectory, const FileProbe& exists) {
    std::string directory = std::string(runtimeDirectory) + "\\";
    std::string_view first = kPackedArchives[0];
    std::string_view last = std::end(kPackedArchives)[-1];
    return exists(directory + std::string(first) + std::string(kPackSuffix)) &&
           !exists(directory + std::string(last));
}

std::vector<UnpackStep> unpackSteps(std::string_view runtimeDirectory) {
    std::vector<UnpackStep> steps;
    for (std::string_view archive : kPackedArchives) {
        UnpackStep step;
        step.archive = std::string(runtimeDirectory) + "\\" + std::string(archive);
        step.packedFile = step.archive + std::string(kPackSuffix);
        step.commandLine = unpackCommandLine(runtimeDirectory, step.packedFile, step.archive);
        steps.push_back(std::move(step));
    }
    return steps;
}

}  // namespace brolt::jvm
