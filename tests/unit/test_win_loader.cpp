#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config/config.h"
#include "stream_fixture.h"
#include "windows/win_loader.h"

namespace {

const std::string kFixture = fixture::ownDirectory() + "loader_fixture.exe";

void loadFixture(const fixture::Stream& stream) {
    fixture::writeLauncher(fixture::ownPath(), kFixture, fixture::streamBytes(stream));
    loadLauncherConfiguration(kFixture.c_str());
}

std::string environmentPath() {
    std::string value(20000, '\0');
    DWORD length = GetEnvironmentVariableA("PATH", value.data(), static_cast<DWORD>(value.size()));
    value.resize(length);
    return value;
}

TEST(CommandTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
    struct Case {
        const char* commandLine;
        const char* tail;
    } cases[] = {
        {"\"C:\\Program Files\\My App\\svc.exe\" -status", "-status"},
        {"\"C:\\Program Files\\svc.exe\"-status", "-status"},
        {"svc.exe \t -stop Other Service", "-stop Other Service"},
        {"svc.exe\t-start", "-start"},
        {"svc.exe", ""},
        {"\"unclosed -status", ""},
        {"svc.exe -status  x ", "-status  x "},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.tail, getCommandTail(c.commandLine)) << c.commandLine;
    }
}

TEST(CommandTail, CommandWordsAndServiceNames) {
    struct Case {
        const char* tail;
        Command command;
        bool hasName;
        const char* name;
    } cases[] = {
        {"-install", Command::Install, false, ""},
        {"-install-auto", Command::InstallAuto, false, ""},
        {"-install-demand", Command::InstallDemand, false, ""},
        {"-uninstall", Command::Uninstall, false, ""},
        {"-stop", Command::Stop, false, ""},
        {"-start", Command::Start, false, ""},
        {"-status", Command::Status, false, ""},
        {"/status", Command::Status, false, ""},
        {"--install", Command::Install, false, ""},
        {"/-install", Command::Install, false, ""},
        {"---install", Command::None, false, ""},
        {"-INSTALL", Command::None, false, ""},
        {"-installx", Command::None, false, ""},
        {"install", Command::None, false, ""},
        {"", Command::None, false, ""},
        {"-", Command::None, false, ""},
        {"-stop Other Service", Command::Stop, true, "Other Service"},
        {"-status  x", Command::Status, true, " x"},
        {"-install ", Command::Install, false, ""},
        {"-install \"My Svc\" ", Command::Install, true, "\"My Svc\" "},
        {"-foo bar", Command::None, true, "bar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        ParsedCommand parsed = parseCommandTail(c.tail);
        EXPECT_EQ(c.command, parsed.command);
        EXPECT_EQ(c.hasName, parsed.hasName);
        EXPECT_EQ(c.name, parsed.name);
    }
}

TEST(PathPrefix, ConfiguredDirectoriesGoInFrontOfTheInheritedPath) {
    const std::string dir = fixture::ownDirectory();
    struct Case {
        const char* list;
        std::string expected;
    } cases[] = {
        {"lib;bin", dir + "lib;" + dir + "bin;C:\\W"},
        {"D:\\abs;;rel\\", "D:\\abs;" + dir + "rel\\;C:\\W"},
        {"", "C:\\W"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        SetEnvironmentVariableA("PATH", "C:\\W");
        loadFixture({{{10004, c.list}}, {}});
        extendSearchPath();
        EXPECT_EQ(c.expected, environmentPath());
        EXPECT_EQ(c.expected, std::string(getenv("PATH")));
    }
}

TEST(PathPrefix, AnInheritedPathThatDoesNotFitLosesWholeEntriesFromItsEnd) {
    std::string inherited;
    for (int i = 0; inherited.size() < 17000; ++i)
        inherited += "C:\\dir" + std::to_string(i) + ";";
    SetEnvironmentVariableA("PATH", inherited.c_str());
    loadFixture({{{10004, "lib"}}, {}});
    extendSearchPath();
    std::string path = environmentPath();
    EXPECT_LT(path.size(), 16384u);
    EXPECT_EQ(0u, path.find(fixture::ownDirectory() + "lib;C:\\dir0;"));
    // The kept part ends with a complete entry of the inherited value.
    std::string kept = path.substr(path.find("C:\\dir0;"));
    EXPECT_EQ(0u, inherited.find(kept + ";"));
}

TEST(WorkingDirectory, RelativeToTheLauncherAndIgnoredWhenMissing) {
    const std::string work = fixture::ownDirectory() + "work dir";
    CreateDirectoryA(work.c_str(), nullptr);
    SetCurrentDirectoryA("C:\\");
    loadFixture({{{146, "work dir\\sub\\.."}}, {}});
    enterWorkingDirectory();
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_STREQ(work.c_str(), current);

    loadFixture({{{146, "missing"}}, {}});
    enterWorkingDirectory();
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_STREQ(work.c_str(), current);
    SetCurrentDirectoryA("C:\\");
    RemoveDirectoryA(work.c_str());
}

}  // namespace

namespace {

TEST(ServiceName, ANameLongerThanItsBufferIsCutNotOverflowed) {
    EXPECT_EQ(std::string(8191, 'n'), boundedServiceName(std::string(9000, 'n')));
    EXPECT_EQ("Other Service", boundedServiceName("Other Service"));
}

}  // namespace
