// Extraction benchmark: the launcher's extraction of 64 MiB of included files against CopyFileA of the
// same 64 MiB, in the same process and the same temporary location, rounds interleaved so that neither
// side always runs on a warmer cache. Prints the median of each and, last, "extract-ratio: <copy/extract>".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/keys.h"
#include "files/tempdir.h"
#include "stream_fixture.h"

namespace {

constexpr int kFileCount = 4;
constexpr size_t kFileSize = 16u << 20;  // 4 x 16 MiB = 64 MiB
constexpr int kRounds = 7;

double seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename F>
double timed(F run) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    run();
    QueryPerformanceCounter(&end);
    return seconds(start, end);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

[[noreturn]] void fail(const char* what) {
    fprintf(stderr, "extract_bench: %s failed (%lu)\n", what, GetLastError());
    ExitProcess(2);
}

}  // namespace

int main() {
    char temp[8192];
    chooseTempDir(temp);
    std::string work = std::string(temp) + (temp[strlen(temp) - 1] == '\\' ? "" : "\\") + "brolt-bench";
    brolt::test::removeTree(work);
    if (!CreateDirectoryA(work.c_str(), nullptr)) fail("CreateDirectoryA");

    brolt::test::StreamFixture fixture;
    fixture.values[brolt::keys::kIncludedFileCount] = std::to_string(kFileCount);
    std::string names;
    std::vector<std::string> sources;
    for (int i = 0; i < kFileCount; ++i) {
        std::string content(kFileSize, '\0');
        unsigned seed = 17u + static_cast<unsigned>(i);
        for (char& c : content) {
            seed = seed * 1103515245u + 12345u;
            c = static_cast<char>(seed >> 16);
        }
        std::string name = "part" + std::to_string(i) + ".bin";
        names += (i > 0 ? ";" : "") + name;
        sources.push_back(work + "\\" + name);
        if (!brolt::test::writeWholeFile(sources.back(), content)) fail("writing a source file");
        fixture.includedFiles.push_back(std::move(content));
    }
    fixture.values[brolt::keys::kIncludedFileNames] = names;
    std::string launcher = work + "\\launcher.exe";
    if (!fixture.write(launcher)) fail("writing the launcher");
    fixture.includedFiles.clear();
    loadConfigurationFrom(launcher.c_str());

    std::string copies = work + "\\copies";
    auto copyAll = [&] {
        CreateDirectoryA(copies.c_str(), nullptr);
        for (int i = 0; i < kFileCount; ++i) {
            std::string target = copies + "\\part" + std::to_string(i) + ".bin";
            if (!CopyFileA(sources[i].c_str(), target.c_str(), FALSE)) fail("CopyFileA");
        }
    };
    auto extract = [&] {
        if (extractIncludedFiles(getExtractionDirectory()) != 0) fail("extractIncludedFiles");
    };

    // One unmeasured round of each warms the cache for both sides.
    copyAll();
    brolt::test::removeTree(copies);
    extract();
    brolt::test::removeTree(getExtractionDirectory());

    std::vector<double> copyTimes, extractTimes;
    for (int round = 0; round < kRounds; ++round) {
        auto copyRound = [&] {
            copyTimes.push_back(timed(copyAll));
            brolt::test::removeTree(copies);
        };
        auto extractRound = [&] {
            extractTimes.push_back(timed(extract));
            brolt::test::removeTree(getExtractionDirectory());
        };
        if (round % 2 == 0) {
            copyRound();
            extractRound();
        } else {
            extractRound();
            copyRound();
        }
    }
    brolt::test::removeTree(work);

    double copyTime = median(copyTimes);
    double extractTime = median(extractTimes);
    double mebibytes = kFileCount * static_cast<double>(kFileSize) / (1 << 20);
    printf("data: %.0f MiB in %d files, %d rounds, medians\n", mebibytes, kFileCount, kRounds);
    printf("CopyFileA:  %.3f s (%.0f MiB/s)\n", copyTime, mebibytes / copyTime);
    printf("extraction: %.3f s (%.0f MiB/s)\n", extractTime, mebibytes / extractTime);
    printf("extract-ratio: %.2f\n", copyTime / extractTime);
    return 0;
}
