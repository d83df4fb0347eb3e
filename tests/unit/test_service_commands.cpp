// The management commands' decisions: the dependency list and the recognition of the own executable.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "service/service_commands.h"

struct DependencyCase {
    std::string value;
    std::string list;  // with its terminators
};

TEST(DependencyList, SplitsAtCommasDroppingEmptyNamesKeepingBlanks) {
    using namespace std::string_literals;
    const DependencyCase cases[] = {
        {"", ""},
        {"Tcpip", "Tcpip\0\0"s},
        {"Tcpip,Dhcp", "Tcpip\0Dhcp\0\0"s},
        {"Tcpip,,Dhcp", "Tcpip\0Dhcp\0\0"s},
        {",Tcpip,", "Tcpip\0\0"s},
        {" Event Log , Dhcp", " Event Log \0 Dhcp\0\0"s},
        {",,", "\0"s},
    };
    for (const DependencyCase& c : cases) {
        std::string list = "left over";
        EXPECT_TRUE(buildDependencyList(c.value, list)) << c.value;
        EXPECT_EQ(list, c.list) << c.value;
    }
}

TEST(DependencyList, ListMustFitItsBuffer) {
    std::string list;
    // Name, its terminator and the final one: exactly the buffer.
    std::string fits(kDependencyListSize - 2, 'x');
    ASSERT_TRUE(buildDependencyList(fits, list));
    EXPECT_EQ(list.size(), kDependencyListSize);

    std::string tooLong(kDependencyListSize - 1, 'x');
    EXPECT_FALSE(buildDependencyList(tooLong, list));
    EXPECT_TRUE(list.empty());

    // Commas that vanish do not count against the buffer.
    std::string commas = std::string(kDependencyListSize * 2, ',') + "Dhcp";
    ASSERT_TRUE(buildDependencyList(commas, list));
    EXPECT_EQ(list, std::string("Dhcp\0\0", 6));
}

struct ExecutableCase {
    const char* configured;
    bool same;
};

TEST(ServiceExecutable, ConfiguredPathIsComparedWithoutItsQuotes) {
    const char* modulePath = "C:\\Program Files\\app\\MyService.exe";
    const ExecutableCase cases[] = {
        {"\"C:\\Program Files\\app\\MyService.exe\"", true},
        {"C:\\Program Files\\app\\MyService.exe", true},  // an entry from before the quotes
        {"\"c:\\program files\\APP\\myservice.EXE\"", true},
        {"\"C:\\Program Files\\copy\\MyService.exe\"", false},
        {"C:\\Program Files\\app\\MyServ", false},
        {"", false},
    };
    for (const ExecutableCase& c : cases)
        EXPECT_EQ(isSameExecutable(modulePath, c.configured), c.same) << c.configured;
    EXPECT_EQ(quotedBinaryPath(modulePath), "\"C:\\Program Files\\app\\MyService.exe\"");
}
