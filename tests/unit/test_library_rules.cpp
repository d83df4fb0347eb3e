// From the chosen java executable to its VM library.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jvm/library_rules.h"

namespace jvm = brolt::jvm;

namespace {

struct ExecutableCase {
    std::string javaExecutable;
    std::optional<std::string> bin;
    std::optional<std::string> kitRuntime;
    std::optional<std::string> home;
};

TEST(JavaExecutable, BinDirectoryKitRuntimeAndHome) {
    const std::string longBin(jvm::kBinDirectoryBufferSize - 1, 'b');
    const ExecutableCase cases[] = {
        {"c:\\jre\\bin\\java.exe", "c:\\jre\\bin", "c:\\jre\\bin\\..\\jre\\bin\\java.exe",
         "c:\\jre\\bin\\.."},
        {"c:\\jre\\bin\\javaw.exe", "c:\\jre\\bin", "c:\\jre\\bin\\..\\jre\\bin\\java.exe",
         "c:\\jre\\bin\\.."},
        {"C:\\JRE\\BIN\\JAVAW.EXE", "C:\\JRE\\BIN", "C:\\JRE\\BIN\\..\\jre\\bin\\java.exe",
         "C:\\JRE\\BIN\\.."},
        {"c:\\bin\\myjavaw.exe", "c:\\bin", "c:\\bin\\..\\jre\\bin\\java.exe", "c:\\bin\\.."},
        {"c:/jre/bin/java.exe", "c:/jre/bin", "c:/jre/bin/..\\jre\\bin\\java.exe", "c:/jre/bin/.."},
        {"java.exe", std::nullopt, std::nullopt, std::nullopt},
        {"\\java.exe", std::nullopt, std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt, std::nullopt},
        {longBin + "\\java.exe", longBin, longBin + "\\..\\jre\\bin\\java.exe", longBin + "\\.."},
        {longBin + "b\\java.exe", std::nullopt, longBin + "b\\..\\jre\\bin\\java.exe", longBin + "b\\.."},
        {std::string(jvm::kPathLimit - 3, 'x') + "\\java.exe", std::nullopt, std::nullopt,
         std::string(jvm::kPathLimit - 3, 'x') + "\\.."},
    };
    for (const ExecutableCase& c : cases) {
        std::string label = jvm::logExcerpt(c.javaExecutable);
        EXPECT_EQ(jvm::binDirectory(c.javaExecutable).text, c.bin) << label;
        EXPECT_EQ(jvm::kitRuntimeExecutable(c.javaExecutable).text, c.kitRuntime) << label;
        EXPECT_EQ(jvm::jvmHomeFor(c.javaExecutable).text, c.home) << label;
    }
}

TEST(VmKinds, PreferredKindFirstThenTheFixedOrderOnce) {
    struct KindCase {
        std::string preferred;
        std::vector<std::string> kinds;
        bool noted;
    };
    const KindCase cases[] = {
        {"", {"hotspot", "client", "server", "classic", "jrockit"}, false},
        {"server", {"server", "hotspot", "client", "classic", "jrockit"}, false},
        {"Client", {"Client", "hotspot", "server", "classic", "jrockit"}, false},
        {"j9vm", {"j9vm", "hotspot", "client", "server", "classic", "jrockit"}, false},
        {std::string(jvm::kVmKindLimit, 'k'),
         {std::string(jvm::kVmKindLimit, 'k'), "hotspot", "client", "server", "classic", "jrockit"},
         false},
        {std::string(jvm::kVmKindLimit + 1, 'k'),
         {"hotspot", "client", "server", "classic", "jrockit"},
         true},
    };
    for (const KindCase& c : cases) {
        jvm::VmKindOrder order = jvm::vmKindOrder(c.preferred);
        EXPECT_EQ(order.kinds, c.kinds) << jvm::logExcerpt(c.preferred);
        EXPECT_EQ(!order.note.empty(), c.noted) << jvm::logExcerpt(c.preferred);
    }
    EXPECT_EQ(jvm::vmLibraryPath("c:\\jre\\bin", "client"), "c:\\jre\\bin\\client\\jvm.dll");
}

TEST(SearchPath, BinDirectoryGoesToTheEnd) {
    struct PathCase {
        std::optional<std::string> current;
        std::optional<std::string> extended;
    };
    const std::string roomFor = std::string(jvm::kSearchPathLimit - 11, 'p');  // ";c:\jre\bin" is 11
    const PathCase cases[] = {
        {"c:\\windows;c:\\tools", "c:\\windows;c:\\tools;c:\\jre\\bin"},
        {"c:\\windows;", "c:\\windows;;c:\\jre\\bin"},
        {"", "c:\\jre\\bin"},
        {std::nullopt, "c:\\jre\\bin"},
        {roomFor, roomFor + ";c:\\jre\\bin"},
        {roomFor + "p", std::nullopt},
    };
    for (const PathCase& c : cases) {
        std::optional<std::string_view> current;
        if (c.current)
            current = *c.current;
        jvm::TextOutcome path = jvm::extendedSearchPath(current, "c:\\jre\\bin");
        EXPECT_EQ(path.text, c.extended) << jvm::logExcerpt(c.current.value_or("(unset)"));
        EXPECT_EQ(path.reason.empty(), c.extended.has_value());
    }
}

}  // namespace
