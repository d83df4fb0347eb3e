// The rules of the VM option list and of main's parameters, without any file or VM.
#include "launch/vm_option_rules.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using brolt::ClassPathOption;
using brolt::VmOptionKind;

struct ClassifyCase {
    const char* option;
    VmOptionKind kind;
    const char* rest;
};

TEST(VmOptions, ClassificationComparesFromTheStartWithTheKeywordsSpace) {
    const ClassifyCase cases[] = {
        {"-include-options common.opts", VmOptionKind::Include, "common.opts"},
        {"-include-options C:\\a b\\x.opts", VmOptionKind::Include, "C:\\a b\\x.opts"},
        {"-classpath x.jar;y.jar", VmOptionKind::ClassPath, "x.jar;y.jar"},
        {"-classpath/p first.jar", VmOptionKind::ClassPathPrefix, "first.jar"},
        {"-classpath/a last.jar", VmOptionKind::ClassPathSuffix, "last.jar"},
        {"-classpath ", VmOptionKind::ClassPath, ""},
        {"-classpath", VmOptionKind::Plain, "-classpath"},
        {"-classpath/a", VmOptionKind::Plain, "-classpath/a"},
        {"-classpathx y", VmOptionKind::Plain, "-classpathx y"},
        {"-include-options", VmOptionKind::Plain, "-include-options"},
        {" -classpath x", VmOptionKind::Plain, " -classpath x"},
        {"-Djava.class.path=x", VmOptionKind::Plain, "-Djava.class.path=x"},
    };
    for (const ClassifyCase& c : cases) {
        brolt::ClassifiedVmOption classified = brolt::classifyVmOption(c.option);
        EXPECT_EQ(classified.kind, c.kind) << c.option;
        EXPECT_EQ(classified.rest, c.rest) << c.option;
    }
}

TEST(VmOptions, OptionsFileLines) {
    struct Case {
        const char* line;
        const char* option;  // nullptr: skipped
    };
    const Case cases[] = {
        {"  -Xmx256m  \n", "-Xmx256m"},
        {"-Dx\r\r\n", "-Dx"},
        {"-Dx\n\r", "-Dx"},
        {"-Dname=a b \n", "-Dname=a b"},
        {"\t-Dtab\n", "\t-Dtab"},
        {"-Dx\t \n", "-Dx\t"},
        {"-Dx=#1\n", "-Dx=#1"},
        {"-Dlast", "-Dlast"},  // the file's last line, without a line end
        {"# comment\n", nullptr},
        {"   # indented comment\n", nullptr},
        {"\r\n", nullptr},
        {"    \n", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        std::optional<std::string_view> option = brolt::optionsFileLine(c.line);
        if (c.option == nullptr) {
            EXPECT_FALSE(option.has_value()) << c.line;
        } else {
            ASSERT_TRUE(option.has_value()) << c.line;
            EXPECT_EQ(*option, c.option) << c.line;
        }
    }
}

TEST(VmOptions, IncludeKeywordJoinsTheNextToken) {
    using Tokens = std::vector<std::string>;
    struct Case {
        Tokens tokens;
        Tokens options;
    };
    const Case cases[] = {
        {{"-Dx=1", "-include-options", "common.opts", "-Xss1m"},
         {"-Dx=1", "-include-options common.opts", "-Xss1m"}},
        {{"-Xrs", "-include-options"}, {"-Xrs", "-include-options"}},
        {{"-include-options", "-include-options", "a"}, {"-include-options -include-options", "a"}},
        {{"-include-options x"}, {"-include-options x"}},  // one quoted token stays as it is
        {{}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(brolt::joinIncludeTokens(c.tokens), c.options) << testing::PrintToString(c.tokens);
}

TEST(VmOptions, JavaOptionArgumentsLoseTheirPrefix) {
    std::vector<std::wstring> launch = {L"-Jfirst", L"svc", L"-J-Xmx1g", L"-j-small", L"x-J", L"-J"};
    EXPECT_EQ(brolt::javaOptionArguments(launch), (std::vector<std::wstring>{L"first", L"-Xmx1g", L""}));
}

TEST(VmOptions, TheLastClassPathSettingOfEachKindWins) {
    brolt::ClassPathModifiers modifiers;
    for (const char* option : {"-classpath/a a.jar", "-classpath/p p1.jar", "-Xrs", "-classpath/a b.jar",
                               "-classpath r.jar", "-include-options x"}) {
        bool isSetting = modifiers.apply(brolt::classifyVmOption(option));
        EXPECT_EQ(isSetting, std::string_view(option).starts_with("-classpath")) << option;
    }
    EXPECT_EQ(modifiers.suffix, "b.jar");
    EXPECT_EQ(modifiers.prefix, "p1.jar");
    EXPECT_EQ(modifiers.replacement, "r.jar");
}

TEST(VmOptions, ConfiguredClassPathEntries) {
    std::vector<brolt::ClassPathEntry> entries =
        brolt::parseClassPathEntries("A0lib\\a.jar;;S1ext;E1MY_CP;D2classes;X;A1");
    ASSERT_EQ(entries.size(), 6u);
    const brolt::ClassPathEntry expected[] = {
        {'A', false, "lib\\a.jar"}, {'S', true, "ext"}, {'E', true, "MY_CP"},
        {'D', false, "classes"},    {'X', false, ""},   {'A', true, ""},
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].type, expected[i].type) << i;
        EXPECT_EQ(entries[i].required, expected[i].required) << i;
        EXPECT_EQ(entries[i].value, expected[i].value) << i;
    }
    EXPECT_TRUE(brolt::parseClassPathEntries(";;").empty());
}

TEST(VmOptions, SurroundingQuotesOfAnEnvironmentValue) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\a;b\\x.jar\"", "C:\\a;b\\x.jar"},
        {"\"\"", ""},
        {"\"", "\""},
        {"\"a", "\"a"},
        {"a\"", "a\""},
        {"a\"b\"", "a\"b\""},
        {"", ""},
    };
    for (const auto& [value, unquoted] : cases)
        EXPECT_EQ(brolt::withoutSurroundingQuotes(value), unquoted) << value;
}

struct ComposeCase {
    const char* what;
    std::function<void(ClassPathOption&)> compose;
    std::string expected;  // after "-Djava.class.path="
};

TEST(VmOptions, ClassPathComposition) {
    const ComposeCase cases[] = {
        {"entries each end in a separator",
         [](ClassPathOption& cp) {
             cp.addEntry("a.jar");
             cp.addEntry("b");
         },
         "a.jar;b;"},
        {"replacement as written",
         [](ClassPathOption& cp) {
             cp.addEntry("p.jar");
             cp.addText("r1;r2");
         },
         "p.jar;r1;r2"},
        {"suffix after a separator",
         [](ClassPathOption& cp) {
             cp.addText("r");
             cp.addSuffix("s.jar");
         },
         "r;s.jar"},
        {"suffix where a separator is already",
         [](ClassPathOption& cp) {
             cp.addEntry("a");
             cp.addSuffix("s");
         },
         "a;s"},
        {"suffix alone", [](ClassPathOption& cp) { cp.addSuffix("s.jar"); }, ";s.jar"},
        {"variable value without a separator", [](ClassPathOption& cp) { cp.addTerminated("x;y"); }, "x;y;"},
        {"variable value with its separator", [](ClassPathOption& cp) { cp.addTerminated("x;y;"); }, "x;y;"},
    };
    for (const ComposeCase& c : cases) {
        ClassPathOption classPath;
        c.compose(classPath);
        EXPECT_EQ(classPath.text(), "-Djava.class.path=" + c.expected) << c.what;
        EXPECT_FALSE(classPath.cut()) << c.what;
    }
}

TEST(VmOptions, TheExtractionsArchivesComeFromTheNamesExtracted) {
    const std::string folder = "C:\\Windows\\Temp\\brt1.tmp_dir7";
    // Jars, then zips, each in the configuration's order; other files stay off.
    EXPECT_EQ(
        brolt::extractedArchives(folder, {"lib.zip", "app.jar", "conf.txt", "brolt-runtime.JAR", "x.Zip"}),
        (std::vector<std::string>{folder + "\\app.jar", folder + "\\brolt-runtime.JAR", folder + "\\lib.zip",
                                  folder + "\\x.Zip"}));
    // Only the extension counts: a name that is no more than one, or ends otherwise, is no archive.
    EXPECT_TRUE(brolt::extractedArchives(folder, {".jar", "a.jar.txt", "ajar", "a.jar "}).empty());
    // Nothing extracted, nothing on the class path.
    EXPECT_TRUE(brolt::extractedArchives("", {"app.jar"}).empty());
}

TEST(VmOptions, ClassPathOptionStaysWithinItsBufferWithWholeEntries) {
    const size_t room = brolt::kClassPathOptionSize - 1 - brolt::kClassPathOptionStart.size();
    ClassPathOption full;
    full.addEntry(std::string(room - 1, 'a'));  // with its separator exactly the room there is
    EXPECT_FALSE(full.cut());
    EXPECT_EQ(full.text().size(), brolt::kClassPathOptionSize - 1);

    ClassPathOption overflowing;
    overflowing.addEntry("first.jar");
    overflowing.addEntry(std::string(room, 'b'));  // one character too many
    overflowing.addEntry("small.jar");             // would fit, but would change the order
    overflowing.addSuffix("s.jar");
    EXPECT_TRUE(overflowing.cut());
    EXPECT_EQ(overflowing.text(), "-Djava.class.path=first.jar;");
}

TEST(MainParameters, LeadingParametersThenTheFirstLaunchArgumentThenConfiguredThenTheRest) {
    brolt::MainParameterSources example;  // the configuration of the documented example
    example.mainClass = "com.example.Main";
    example.stderrFile = L"C:\\app\\log\\err.log";
    example.mainFlag = true;
    example.configuredArguments = {L"--start"};

    brolt::MainParameterSources windowed;
    windowed.windowedExecutable = true;
    windowed.stdoutFile = L"C:\\out.log";
    windowed.javaOptionArguments = true;
    windowed.configuredArguments = {L"c1", L"c2"};

    using Parameters = std::vector<std::wstring>;
    struct Case {
        const char* what;
        const brolt::MainParameterSources& sources;
        Parameters launch;
        Parameters expected;
    };
    const Case cases[] = {
        {"example",
         example,
         {L"svc"},
         {L"false", L"com.example.Main", L"C:\\app\\log\\err.log", L"", L"true", L"svc", L"--start"}},
        {"no launch arguments",
         example,
         {},
         {L"false", L"com.example.Main", L"C:\\app\\log\\err.log", L"", L"true", L"--start"}},
        {"-J arguments stay with the VM, but the first",
         windowed,
         {L"-Jfirst", L"A", L"-Jx", L"B"},
         {L"true", L"", L"", L"C:\\out.log", L"false", L"-Jfirst", L"c1", L"c2", L"A", L"B"}},
        {"-J arguments reach main when they do not go to the VM",
         example,
         {L"svc", L"-Jx"},
         {L"false", L"com.example.Main", L"C:\\app\\log\\err.log", L"", L"true", L"svc", L"--start", L"-Jx"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(brolt::buildMainParameters(c.sources, c.launch), c.expected) << c.what;
}

TEST(MainParameters, MainClassIsWidenedByteByByte) {
    EXPECT_EQ(brolt::widenBytes("a.\xe9\x80"), std::wstring(L"a.\u00e9\u0080"));
}

}  // namespace
