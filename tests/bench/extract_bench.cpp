// Extraction benchmark: the launcher's extraction of 64 MiB of included files against CopyFileA of the
// same 64 MiB, in the same process and the same temporary location, rounds interleaved so that neither
// side always runs on a warmer cache. Then a later start of an unchanged launcher, which finds its files
// whole in its stable folder and uses them as they are. Prints the median of each, "extract-ratio:
// <copy/extract>" and, last, "stable-reuse-ratio: <copy/reuse>".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "config/keys.h"
#include "files/extraction.h"
#include "files/stale_extractions.h"
#include "files/tempdir.h"
#include "file_tree.h"
#include "included_files.h"
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
    std::optional<std::string> temp = chooseTempDir();
    if (!temp)
        fail("chooseTempDir");
    std::string work = *temp + (temp->back() == '\\' ? "" : "\\") + "brolt-bench";
    fixture::removeTree(work);
    if (!CreateDirectoryA(work.c_str(), nullptr))
        fail("CreateDirectoryA");

    std::string names;
    std::vector<std::string> sources;
    std::vector<std::string> contents;
    for (int i = 0; i < kFileCount; ++i) {
        contents.push_back(fixture::patternedBytes(kFileSize, 17u + static_cast<unsigned>(i)));
        std::string name = "part" + std::to_string(i) + ".bin";
        names += (i > 0 ? ";" : "") + name;
        sources.push_back(work + "\\" + name);
        if (!fixture::writeFile(sources.back(), contents.back()))
            fail("writing a source file");
    }
    // The launcher is the benchmark itself with a configuration stream and the files behind it.
    fixture::Stream stream{{{brolt::keys::kIncludedFileCount, std::to_string(kFileCount)},
                            {brolt::keys::kIncludedFileNames, names}},
                           {}};
    std::string launcher = work + "\\launcher.exe";
    const std::string streamBytes = fixture::streamBytes(stream);
    const uint32_t streamOffset = fixture::writeLauncher(fixture::ownPath(), launcher, streamBytes,
                                                         fixture::includedSection(contents).bytes);
    contents.clear();
    const IncludedFiles included{launcher, streamOffset + streamBytes.size(), kFileCount, names};

    std::string copies = work + "\\copies";
    auto copyAll = [&] {
        CreateDirectoryA(copies.c_str(), nullptr);
        for (int i = 0; i < kFileCount; ++i) {
            std::string target = copies + "\\part" + std::to_string(i) + ".bin";
            if (!CopyFileA(sources[i].c_str(), target.c_str(), FALSE))
                fail("CopyFileA");
        }
    };
    std::string extracted;
    auto extract = [&] {
        Extraction extraction = extractIncludedFiles(included);
        if (extraction.failure != ExtractionFailure::None)
            fail("extractIncludedFiles");
        extracted = extraction.files.directory;
    };

    // One unmeasured round of each warms the cache for both sides.
    copyAll();
    fixture::removeTree(copies);
    extract();
    fixture::removeTree(extracted);

    // The stable folder: the first extraction writes it, each later one finds it whole. Interleaved with
    // the copies like the fresh extraction, so the copy rounds stay the one baseline of both ratios.
    const brolt::ExtractionOwner self = brolt::currentExtractionOwner();
    std::string stableFolder;
    auto reuse = [&] {
        Extraction extraction = extractIncludedFilesReusing(included, self);
        if (extraction.failure != ExtractionFailure::None || !extraction.files.stable)
            fail("extractIncludedFilesReusing into the stable folder");
        stableFolder = extraction.files.directory;
    };
    reuse();

    std::vector<double> copyTimes, extractTimes, reuseTimes;
    for (int round = 0; round < kRounds; ++round) {
        auto copyRound = [&] {
            copyTimes.push_back(timed(copyAll));
            fixture::removeTree(copies);
        };
        auto extractRound = [&] {
            extractTimes.push_back(timed(extract));
            fixture::removeTree(extracted);
        };
        if (round % 2 == 0) {
            copyRound();
            extractRound();
        } else {
            extractRound();
            copyRound();
        }
        reuseTimes.push_back(timed(reuse));
    }
    fixture::removeTree(work);
    fixture::removeTree(stableFolder);

    double copyTime = median(copyTimes);
    double extractTime = median(extractTimes);
    double reuseTime = median(reuseTimes);
    double mebibytes = kFileCount * static_cast<double>(kFileSize) / (1 << 20);
    printf("data: %.0f MiB in %d files, %d rounds, medians\n", mebibytes, kFileCount, kRounds);
    printf("CopyFileA:  %.3f s (%.0f MiB/s)\n", copyTime, mebibytes / copyTime);
    printf("extraction: %.3f s (%.0f MiB/s)\n", extractTime, mebibytes / extractTime);
    printf("stable folder reused: %.4f s\n", reuseTime);
    printf("extract-ratio: %.2f\n", copyTime / extractTime);
    printf("stable-reuse-ratio: %.1f\n", copyTime / reuseTime);
    return 0;
}
