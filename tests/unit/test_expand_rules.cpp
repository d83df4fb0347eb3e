#include "launch/expand_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "core/limits.h"

namespace {

constexpr size_t kBuffer = brolt::kTextBufferSize;

// An environment block: each entry ended by a zero character, the block by an empty entry.
std::string block(std::initializer_list<std::string> entries) {
    std::string out;
    for (const std::string& entry : entries)
        out += entry + '\0';
    return out + '\0';
}

const ExpansionContext kContext{"C:\\app\\", "", "C:\\jre\\bin\\.."};
const std::string kEnvironment = block({"=C:=C:\\", "BrtFoo=1", "BRT_SELF=${BRT_SELF}", "BRT_A=va",
                                        "BROLT_EXEDIR=from-environment", "NOEQUALS"});

std::string expanded(const std::string& text, const ExpansionContext& context = kContext,
                     const std::string& environment = kEnvironment) {
    std::string buffer(kBuffer, '\0');
    brolt::copyBounded(buffer.data(), kBuffer, text.c_str());
    expandText(buffer.data(), context, environment.c_str());
    return buffer.c_str();
}

TEST(Expand, Cases) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"%BROLT_EXEDIR%lib\\x.jar", "C:\\app\\lib\\x.jar"},
        {"${QUENDRIAL_EXEDIR}|${launcher:sys.launcherDirectory}", "C:\\app\\|C:\\app\\"},
        {"[${BROLT_TEMPDIR}%QUENDRIAL_TEMPDIR%${launcher:sys.launcherTempDirectory}]", "[]"},
        {"a${launcher:sys.pathlistSeparator}b%BROLT_PATHLIST_SEPARATOR%c${QUENDRIAL_PATHLIST_SEPARATOR}d",
         "a;b;c;d"},
        {"%BROLT_JVM_HOME%|${launcher:sys.jvmHome}", "C:\\jre\\bin\\..|C:\\jre\\bin\\.."},
        // A launcher variable wins over an environment variable of the same name.
        {"${BROLT_EXEDIR}", "C:\\app\\"},
        {"${BRT_A}-${BRT_A}", "va-va"},
        {"${BRT_SELF}", "${BRT_SELF}"},
        {"${BRT_UNDEFINED} %PATH% %BRT_A% $BRT_A {BRT_A}", "${BRT_UNDEFINED} %PATH% %BRT_A% $BRT_A {BRT_A}"},
        {"${BrtFoo} ${BRTFOO} ${brtfoo} ${BrTfOo}", "1 1 ${brtfoo} ${BrTfOo}"},
        {"${BROLT_exedir}", "${BROLT_exedir}"},
        // "=C:=C:\" names the empty variable: its first "=" ends the name.
        {"${}|${=C:}|${NOEQUALS}", "C:=C:\\|${=C:}|${NOEQUALS}"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expanded(c.text), c.expected) << c.text;
}

TEST(Expand, ValueFromAnEarlierStepIsExpandedByALaterOne) {
    EXPECT_EQ(expanded("%QUENDRIAL_JVM_HOME%", {"", "", "C:\\${BRT_A}\\bin\\.."}), "C:\\va\\bin\\..");
    EXPECT_EQ(expanded("${BROLT_TEMPDIR}\\x", {"", "C:\\Temp\\${BrtFoo}", ""}), "C:\\Temp\\1\\x");
    // Environment entries are taken in block order: only a later entry sees an earlier one's value.
    EXPECT_EQ(expanded("${B}", kContext, block({"B=${A}", "A=x"})), "x");
    EXPECT_EQ(expanded("${B}", kContext, block({"A=x", "B=${A}"})), "${A}");
}

TEST(Expand, NoEnvironmentLeavesReferencesAsWritten) {
    std::string buffer(kBuffer, '\0');
    strcpy(buffer.data(), "${BRT_A}%BROLT_PATHLIST_SEPARATOR%");
    const ExpansionNotes notes = expandText(buffer.data(), kContext, nullptr);
    EXPECT_STREQ(buffer.c_str(), "${BRT_A};");
    EXPECT_TRUE(notes.cutWhileReplacing.empty());
}

// Texts that would outgrow the buffer are cut at its end; nothing is written behind it.
TEST(ExpandBounds, GrowthIsCutAtTheBuffersEnd) {
    constexpr char kGuard = '#';
    std::string buffer(kBuffer + 64, kGuard);
    std::string text = "${BRT_LONG}" + std::string(kBuffer - 200, 't');
    memcpy(buffer.data(), text.c_str(), text.size() + 1);
    std::string value(500, 'v');

    const ExpansionNotes notes = expandText(buffer.data(), kContext, block({"BRT_LONG=" + value}).c_str());

    EXPECT_EQ(std::string(buffer.c_str()), (value + std::string(kBuffer - 200, 't')).substr(0, kBuffer - 1));
    EXPECT_EQ(buffer.substr(kBuffer), std::string(64, kGuard));
    EXPECT_EQ(notes.cutWhileReplacing, std::vector<std::string>{"${BRT_LONG}"});
}

TEST(ExpandBounds, ReplaceAllWithAValueLongerThanTheBuffer) {
    std::string buffer(kBuffer + 64, '#');
    memcpy(buffer.data(), "a<P>b<P>c", 10);
    std::string value(kBuffer + 100, 'v');

    EXPECT_FALSE(replaceAll(buffer.data(), "<P>", value.c_str()));

    EXPECT_EQ(std::string(buffer.c_str()), "a" + std::string(kBuffer - 2, 'v'));
    EXPECT_EQ(buffer.substr(kBuffer), std::string(64, '#'));
}

TEST(ExpandBounds, EnvironmentEntryLongerThanTheScratchBufferIsSkipped) {
    std::string buffer(kBuffer, '\0');
    strcpy(buffer.data(), "${BRT_HUGE}|${BRT_AFTER}");
    const std::string environment = block({"BRT_HUGE=" + std::string(kBuffer + 10, 'v'), "BRT_AFTER=ok"});
    const ExpansionNotes notes = expandText(buffer.data(), kContext, environment.c_str());
    EXPECT_STREQ(buffer.c_str(), "${BRT_HUGE}|ok");
    EXPECT_EQ(notes.longEntriesSkipped, 1);
}

}  // namespace
