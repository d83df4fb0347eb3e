// Stands in for a packed runtime's unpack200.exe: "unpack200 [-r] X.jar.pack X.jar" copies the packed
// file's bytes to the archive and, with -r, deletes the packed file afterwards. Each run appends its
// command line to unpack200-runs.txt beside itself.
#include <windows.h>

#include <string>
#include <vector>

#include "double_files.h"

namespace {
constexpr int kUnpacked = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
}  // namespace

int main(int argc, char** argv) {
    doubles::appendLine(doubles::besideModule(nullptr, "unpack200-runs.txt"), GetCommandLineA());
    bool removePacked = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "-r")
            removePacked = true;
        else if (!argument.empty() && argument[0] == '-')
            return kUsage;
        else
            files.push_back(argument);
    }
    if (files.size() != 2)
        return kUsage;

    std::string packed;
    if (!doubles::readWholeFile(files[0], packed))
        return kFailed;
    HANDLE archive = CreateFileA(files[1].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (archive == INVALID_HANDLE_VALUE)
        return kFailed;
    bool written = doubles::writeAll(archive, packed);
    CloseHandle(archive);
    if (!written)
        return kFailed;
    if (removePacked && !DeleteFileA(files[0].c_str()))
        return kFailed;
    return kUnpacked;
}
