#include "jvm/child_command.h"

namespace brolt::jvm {

TextOutcome childCommandLine(std::string_view program, std::string_view arguments) {
    if (program.empty())
        return TextOutcome::refuse("no program to start");
    if (program.find('"') != program.npos)
        return TextOutcome::refuse("program path holds a quotation mark: " + logExcerpt(program));
    std::string line = "\"" + std::string(program) + "\"";
    if (!arguments.empty())
        line += " " + std::string(arguments);
    if (line.size() > kCommandLineLimit)
        return TextOutcome::refuse("command line of " + std::to_string(line.size()) +
                                   " characters is longer than " + std::to_string(kCommandLineLimit) + ": " +
                                   logExcerpt(line));
    return TextOutcome::of(std::move(line));
}

TextOutcome javaVersionCommandLine(std::string_view javaExecutable) {
    return childCommandLine(javaExecutable, "-version");
}

TextOutcome unpackCommandLine(std::string_view runtimeDirectory, std::string_view packedFile,
                              std::string_view archive) {
    std::string program = std::string(runtimeDirectory) + "\\bin\\unpack200.exe";
    return childCommandLine(program,
                            "-r \"" + std::string(packedFile) + "\" \"" + std::string(archive) + "\"");
}

}  // namespace brolt::jvm
