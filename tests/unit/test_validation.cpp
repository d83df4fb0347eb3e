// A runtime's "-version" run: the version it prints, and nothing of the run left in the temporary
// location (the java double stands in for the runtime's java.exe).
#include "jvm/validation.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "files/extraction_marker.h"
#include "files/stale_extractions.h"
#include "files/tempdir.h"
#include "scratch_directory.h"
#include "stream_fixture.h"

namespace {

using fixture::ScratchDirectory;

// The "-version" output files of this process in the temporary location.
std::vector<std::string> ownVersionOutputs() {
    std::vector<std::string> found;
    std::string temp = chooseTempDir().value_or("");
    brolt::ExtractionOwner self = brolt::currentExtractionOwner();
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((temp + "\\brt*.tmp").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        std::optional<brolt::ExtractionOwner> owner = brolt::parseVersionOutputName(entry.cFileName);
        if (owner && owner->processId == self.processId && owner->creationTime == self.creationTime)
            found.push_back(entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

TEST(JavaVersionRun, TheVersionPrintedAndNoOutputFileLeft) {
    struct Case {
        const char* instructions;  // java-double.txt: the exit code, then what goes to standard error
        std::optional<std::string> version;
    };
    const Case cases[] = {
        {"0\r\nopenjdk version \"17.0.2\" 2022-01-18\r\nOpenJDK Runtime Environment\r\n", "17.0.2"},
        {"0\r\nno version here\r\n", std::nullopt},
    };
    ScratchDirectory runtime;
    const std::string java = runtime / "java.exe";
    ASSERT_TRUE(CopyFileA((fixture::ownDirectory() + "doubles\\java.exe").c_str(), java.c_str(), FALSE));
    for (const Case& c : cases) {
        ASSERT_TRUE(fixture::writeFile(runtime / "java-double.txt", c.instructions));
        EXPECT_EQ(brolt::jvm::runJavaVersion(java, 0), c.version) << c.instructions;
        EXPECT_EQ(ownVersionOutputs(), std::vector<std::string>()) << c.instructions;
    }
}

}  // namespace
