// Stands in for a runtime's java.exe (or javaw.exe). Each run appends its command line to
// java-runs.txt beside itself, then follows java-double.txt beside itself: the first line is the exit
// code, or "hang" to never end; everything after that line goes to standard error as it is.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "double_files.h"

namespace {
// Ended this way when the test forgot to say what to do.
constexpr int kNoInstructions = 2;
}  // namespace

int main() {
    doubles::appendLine(doubles::besideModule(nullptr, "java-runs.txt"), GetCommandLineA());
    HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);

    std::string control;
    if (!doubles::readWholeFile(doubles::besideModule(nullptr, "java-double.txt"), control)) {
        doubles::writeAll(standardError, "java double: no java-double.txt beside the executable\r\n");
        return kNoInstructions;
    }
    size_t lineEnd = control.find('\n');
    std::string first = control.substr(0, lineEnd);
    if (!first.empty() && first.back() == '\r')
        first.pop_back();
    std::string text = lineEnd == std::string::npos ? std::string() : control.substr(lineEnd + 1);
    doubles::writeAll(standardError, text);

    if (first == "hang") {
        for (;;)
            Sleep(INFINITE);
    }
    char* end = nullptr;
    long code = std::strtol(first.c_str(), &end, 10);
    if (first.empty() || *end != '\0') {
        doubles::writeAll(standardError,
                          "java double: the first line of java-double.txt is no exit code\r\n");
        return kNoInstructions;
    }
    return static_cast<int>(code);
}
