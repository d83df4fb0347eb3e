#include "launch/expand.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/limits.h"
#include "files/paths.h"

namespace {

constexpr size_t kBuffer = brolt::kTextBufferSize;

std::string expanded(const std::string& text) {
    std::string buffer(kBuffer, '\0');
    brolt::copyBounded(buffer.data(), kBuffer, text.c_str());
    expandVariables(buffer.data());
    return buffer.c_str();
}

class Expand : public testing::Test {
  protected:
    void SetUp() override {
        SetEnvironmentVariableA("BrtFoo", "1");
        SetEnvironmentVariableA("BRT_SELF", "${BRT_SELF}");
        SetEnvironmentVariableA("BRT_A", "va");
        SetEnvironmentVariableA("BROLT_EXEDIR", "from-environment");
        setExtractionDirectory("");
        setJvmHome("C:\\jre\\bin\\java.exe");
    }
    void TearDown() override {
        for (const char* name : {"BrtFoo", "BRT_SELF", "BRT_A", "BROLT_EXEDIR"})
            SetEnvironmentVariableA(name, nullptr);
        setExtractionDirectory("");
    }
    const std::string launcherDirectory = getLauncherDirectory();
};

TEST_F(Expand, Cases) {
    const std::string& dir = launcherDirectory;
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"%BROLT_EXEDIR%lib\\x.jar", dir + "lib\\x.jar"},
        {"${QUENDRIAL_EXEDIR}|${launcher:sys.launcherDirectory}", dir + "|" + dir},
        {"[${BROLT_TEMPDIR}%QUENDRIAL_TEMPDIR%${launcher:sys.launcherTempDirectory}]", "[]"},
        {"a${launcher:sys.pathlistSeparator}b%BROLT_PATHLIST_SEPARATOR%c${QUENDRIAL_PATHLIST_SEPARATOR}d",
         "a;b;c;d"},
        {"%BROLT_JVM_HOME%|${launcher:sys.jvmHome}", "C:\\jre\\bin\\..|C:\\jre\\bin\\.."},
        // A launcher variable wins over an environment variable of the same name.
        {"${BROLT_EXEDIR}", dir},
        {"${BRT_A}-${BRT_A}", "va-va"},
        {"${BRT_SELF}", "${BRT_SELF}"},
        {"${BRT_UNDEFINED} %PATH% %BRT_A% $BRT_A {BRT_A}", "${BRT_UNDEFINED} %PATH% %BRT_A% $BRT_A {BRT_A}"},
        {"${BrtFoo} ${BRTFOO} ${brtfoo} ${BrTfOo}", "1 1 ${brtfoo} ${BrTfOo}"},
        {"${BROLT_exedir}", "${BROLT_exedir}"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expanded(c.text), c.expected) << c.text;
}

TEST_F(Expand, ValueFromAnEarlierStepIsExpandedByALaterOne) {
    setJvmHome("C:\\${BRT_A}\\bin\\javaw.exe");
    EXPECT_EQ(expanded("%QUENDRIAL_JVM_HOME%"), "C:\\va\\bin\\..");
    setExtractionDirectory("C:\\Temp\\${BrtFoo}");
    EXPECT_EQ(expanded("${BROLT_TEMPDIR}\\x"), "C:\\Temp\\1\\x");
}

TEST(JvmHome, IsTheExecutablesDirectoryAndDotDot) {
    struct Case {
        const char* javaExe;
        const char* home;
    };
    const Case cases[] = {
        {"C:\\jre\\bin\\java.exe", "C:\\jre\\bin\\.."},
        {"C:\\jre\\bin\\javaw.exe", "C:\\jre\\bin\\.."},
        // The name is cut by length: only the exact "javaw.exe" is nine characters long.
        {"C:\\jre\\bin\\JAVAW.EXE", "C:\\jre\\bin\\J.."},
        {"exe", ".."},
    };
    for (const Case& c : cases) {
        setJvmHome(c.javaExe);
        EXPECT_STREQ(getJvmHome(), c.home) << c.javaExe;
    }
}

// Texts that would outgrow the buffer are cut at its end; nothing is written behind it.
TEST(ExpandBounds, GrowthIsCutAtTheBuffersEnd) {
    constexpr char kGuard = '#';
    std::string buffer(kBuffer + 64, kGuard);
    std::string text = "${BRT_LONG}" + std::string(kBuffer - 200, 't');
    memcpy(buffer.data(), text.c_str(), text.size() + 1);
    std::string value(500, 'v');
    SetEnvironmentVariableA("BRT_LONG", value.c_str());

    expandVariables(buffer.data());

    EXPECT_EQ(std::string(buffer.c_str()), (value + std::string(kBuffer - 200, 't')).substr(0, kBuffer - 1));
    EXPECT_EQ(buffer.substr(kBuffer), std::string(64, kGuard));
    SetEnvironmentVariableA("BRT_LONG", nullptr);
}

TEST(ExpandBounds, ReplaceAllWithAValueLongerThanTheBuffer) {
    std::string buffer(kBuffer + 64, '#');
    memcpy(buffer.data(), "a<P>b<P>c", 10);
    std::string value(kBuffer + 100, 'v');

    replaceAll(buffer.data(), "<P>", value.c_str());

    EXPECT_EQ(std::string(buffer.c_str()), "a" + std::string(kBuffer - 2, 'v'));
    EXPECT_EQ(buffer.substr(kBuffer), std::string(64, '#'));
}

TEST(ExpandBounds, EnvironmentEntryLongerThanTheScratchBufferIsSkipped) {
    std::string value(kBuffer + 10, 'v');
    SetEnvironmentVariableA("BRT_HUGE", value.c_str());
    SetEnvironmentVariableA("BRT_AFTER", "ok");
    EXPECT_EQ(expanded("${BRT_HUGE}|${BRT_AFTER}"), "${BRT_HUGE}|ok");
    SetEnvironmentVariableA("BRT_HUGE", nullptr);
    SetEnvironmentVariableA("BRT_AFTER", nullptr);
}

}  // namespace
