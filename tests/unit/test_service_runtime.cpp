// The launch argument list a service start hands the launch.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "service/service_runtime.h"

struct LaunchCase {
    const wchar_t* commandLine;
    std::vector<const char*> startArguments;  // the service name first
    std::vector<std::wstring> expected;
    bool closed = true;  // false: the command line holds an unclosed quote
};

TEST(LaunchArguments, CommandLineArgumentsThenServiceNameThenStartArguments) {
    const LaunchCase cases[] = {
        {L"\"C:\\Program Files\\app\\MyService.exe\"", {"MySvc"}, {L"MySvc"}},
        {L"\"C:\\Program Files\\app\\MyService.exe\" -x 'y z'",
         {"MySvc", "a", "b c"},
         {L"-x", L"y z", L"MySvc", L"a", L"b c"}},
        {L"C:\\app\\MyService.exe  one", {"My Svc", ""}, {L"one", L"My Svc", L""}},
        {L"", {"MySvc"}, {L"MySvc"}},
        {L"C:\\app\\MyService.exe 'open", {"MySvc"}, {}, false},
    };
    for (const LaunchCase& c : cases) {
        std::vector<char*> argv;
        for (const char* argument : c.startArguments)
            argv.push_back(const_cast<char*>(argument));
        std::vector<std::wstring> arguments;
        bool closed =
            buildLaunchArguments(c.commandLine, static_cast<DWORD>(argv.size()), argv.data(), arguments);
        EXPECT_EQ(closed, c.closed) << testing::PrintToString(std::wstring(c.commandLine));
        if (closed) {
            EXPECT_EQ(arguments, c.expected) << testing::PrintToString(std::wstring(c.commandLine));
        }
    }
}
