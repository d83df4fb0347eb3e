// java.exe of the bridged runtime: answers "-version" with the real runtime's version output, which
// was recorded in java-version.txt beside it when the runtime was made. It runs nothing else.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "-version") != 0) {
        std::fputs("this java.exe only answers -version\n", stderr);
        return 2;
    }
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 1;
    std::string versionFile(path, length);
    versionFile = versionFile.substr(0, versionFile.rfind('\\') + 1) + "java-version.txt";
    FILE* in = std::fopen(versionFile.c_str(), "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", versionFile.c_str());
        return 1;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        std::fwrite(buffer, 1, got, stderr);
    std::fclose(in);
    return 0;
}
