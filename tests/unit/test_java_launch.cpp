// The launch against the VM double: the option list and its sources, the class path, main's
// parameters, the first-run check, the launch's failures, what the VM prints and the exceptions the
// launch's Java calls leave, and the stop through the exit method.
#include "launch/java_launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/keys.h"
#include "core/log.h"
#include "files/paths.h"
#include "files/tempdir.h"
#include "launch/launch_context.h"
#include "launch/vm_options.h"
#include "scratch_directory.h"
#include "stream_fixture.h"
#include "utf8.h"
#include "vm_double.h"

namespace {

// Every test runs with the diagnostic log on, in a folder of its own below the current one, so the
// log's lines can be read: set before the first line opens the log.
const std::string logFolder = [] {
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    std::string folder = std::string(current) + "\\java-launch-log";
    fixture::removeTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    _putenv(("TMP=" + folder).c_str());
    _putenv("BROLT_LOG=yes");
    return folder;
}();

namespace keys = brolt::keys;
using fixture::ScratchDirectory;
using Options = std::vector<std::string>;
using Arguments = std::vector<std::wstring>;

brolt::JavaRuntime doubleRuntime() {
    brolt::JavaRuntime runtime;
    runtime.javaExePath = "C:\\jre\\bin\\java.exe";
    runtime.entryPoints = vmdouble::entryPoints();
    return runtime;
}

std::optional<brolt::Failure> launchFailure(const vmdouble::Behaviour& behaviour, const Arguments& arguments,
                                            const brolt::LaunchSettings& settings = {}) {
    vmdouble::reset(behaviour);
    return launchJavaApplication(doubleRuntime(), settings, arguments);
}

bool launch(const vmdouble::Behaviour& behaviour, const Arguments& arguments,
            const brolt::LaunchSettings& settings = {}) {
    return !launchFailure(behaviour, arguments, settings);
}

// The failure a launch answered, as "<message key> <argument>" ("none" when it succeeded).
std::string failureOf(const std::optional<brolt::Failure>& failure) {
    if (!failure)
        return "none";
    return std::to_string(failure->messageKey) + " " + failure->argument.value_or("");
}

// The launch's own vfprintf, exit and abort hooks follow the composed options.
constexpr size_t kHookOptions = 3;

// The options of the last creation without the hooks.
Options composedOptions() {
    Options options = vmdouble::record().options;
    options.resize(options.size() - kHookOptions);
    return options;
}

std::string logText() {
    return getLogPath() != nullptr ? fixture::readFile(getLogPath()) : "";
}

std::string launcherDirectory() {
    return getLauncherDirectory();
}

// The properties a brolt-kind launcher without included files passes, the console's code page last.
Options broltProperties() {
    return {"-Dbrolt.isService=true", std::string("-Dbrolt.moduleName=") + getModulePath(),
            "-Dbrolt.tempDir=", "-Dbrolt.unextractedPosition=0",
            "-Dbrolt.consoleCodepage=cp" + std::to_string(GetConsoleOutputCP())};
}

Options concat(Options first, const Options& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::vector<std::string> utf8(const Arguments& texts) {
    std::vector<std::string> out;
    for (const std::wstring& text : texts)
        out.push_back(fixture::utf8(text));
    return out;
}

void setVariable(const char* name, const char* value) {
    SetEnvironmentVariableA(name, value);
}

// The default options file beside this test program, removed before and after each test.
class WithOptionsFile : public testing::Test {
  protected:
    void SetUp() override { DeleteFileA(optionsFile.c_str()); }
    void TearDown() override { DeleteFileA(optionsFile.c_str()); }
    void writeOptionsFile(const std::string& text) { ASSERT_TRUE(fixture::writeFile(optionsFile, text)); }
    const std::string optionsFile = [] {
        std::string path = getModulePath();
        return path.substr(0, path.size() - 4) + ".vmoptions";
    }();
};

// What reached the service runtime's hooks.
std::vector<std::string> hookCalls;
void JNICALL testExitHook(jint code) {
    hookCalls.push_back("exit " + std::to_string(code));
}
void JNICALL testAbortHook() {
    hookCalls.push_back("abort");
}

using LaunchOptions = WithOptionsFile;

TEST_F(LaunchOptions, SourcesInTheirOrderWithTheHooksBehindTheClassPath) {
    ScratchDirectory scratch;
    ASSERT_TRUE(fixture::writeFile(scratch / "common.opts", "-Dcommon\n"));
    brolt::LaunchSettings settings;
    settings.vmParameters = "-Dx=1 -include-options " + scratch / "common.opts" + " -Xss1m";
    settings.javaOptionArguments = true;
    settings.classPath = "A0app.jar";
    writeOptionsFile(
        "# comment\r\n\r\n  -Xmx256m  \r\n\t-Dtab\r\n-classpath/a a.jar\r\n-classpath/a b.jar\r\n"
        "-Djava.class.path=x\r\n");
    settings.hooks = {testExitHook, testAbortHook};

    ASSERT_TRUE(launch({}, {L"-Jfirst", L"svc", L"-J-Xmx1g"}, settings));

    const vmdouble::Record& record = vmdouble::record();
    Options expected = concat(
        broltProperties(),
        {"-Dx=1", "-Dcommon", "-Xss1m", "first", "-Xmx1g", "-Xmx256m", "\t-Dtab", "-Djava.class.path=x",
         "-Djava.class.path=" + launcherDirectory() + "app.jar;b.jar", "vfprintf", "exit", "abort"});
    EXPECT_EQ(record.options, expected);
    EXPECT_EQ(record.optionExtraInfo[0], nullptr);
    // The launch's own exit and abort hooks end in the service runtime's.
    size_t hooks = expected.size() - kHookOptions;
    for (size_t i = hooks; i < expected.size(); ++i)
        ASSERT_NE(record.optionExtraInfo[i], nullptr) << expected[i];
    hookCalls.clear();
    reinterpret_cast<void(JNICALL*)(jint)>(record.optionExtraInfo[hooks + 1])(7);
    reinterpret_cast<void(JNICALL*)()>(record.optionExtraInfo[hooks + 2])();
    EXPECT_EQ(hookCalls, (std::vector<std::string>{"exit 7", "abort"}));
    EXPECT_EQ(record.version, JNI_VERSION_1_2);
    EXPECT_TRUE(record.ignoreUnrecognized);
    // The first launch argument reaches main whatever it is; the other "-J" ones went to the VM.
    EXPECT_EQ(record.mainParameters, (Options{"false", "", "", "", "false", "-Jfirst", "svc"}));
}

TEST_F(LaunchOptions, ConfiguredParametersAndIncludes) {
    ScratchDirectory scratch;
    // Includes are found from the current directory (this one's parent), and their paths are expanded.
    std::string relative = scratch.path.substr(scratch.path.find_last_of('\\') + 1);
    ASSERT_TRUE(
        fixture::writeFile(scratch / "a.opts", "-Da\n-include-options " + relative + "\\b.opts\n-Dz\n"));
    ASSERT_TRUE(fixture::writeFile(scratch / "b.opts", "-Db"));
    setVariable("BRT_OPTS", scratch.path.c_str());
    struct Case {
        std::string parameters;
        Options expected;  // after the launcher properties, before the class path
    };
    const Case cases[] = {
        {"-include-options ${BRT_OPTS}\\a.opts -Xss1m", {"-Da", "-Db", "-Dz", "-Xss1m"}},
        {"-Xrs -include-options", {"-Xrs", "-include-options"}},
        {"-include-options missing.opts -Dafter", {"-Dafter"}},
        // The JVM home follows from the runtime's java executable.
        {"-Dhome=%BROLT_JVM_HOME%", {"-Dhome=C:\\jre\\bin\\.."}},
        {"\"-classpath/p p.jar\" \"-Dq=a b\"", {"-Dq=a b"}},
    };
    for (const Case& c : cases) {
        brolt::LaunchSettings settings;
        settings.vmParameters = c.parameters;
        ASSERT_TRUE(launch({}, {L"svc"}, settings)) << c.parameters;
        Options options = composedOptions();
        Options middle(options.begin() + 5, options.end() - 1);
        EXPECT_EQ(middle, c.expected) << c.parameters;
    }
    EXPECT_EQ(composedOptions().back(), "-Djava.class.path=p.jar;");
    setVariable("BRT_OPTS", nullptr);
}

TEST_F(LaunchOptions, OptionsFileBesideTheLauncherWithoutItsExtensionComesFirst) {
    ScratchDirectory scratch;
    std::string tool = scratch / "tool.exe";
    ASSERT_TRUE(fixture::writeFile(scratch / "tool.exe.vmoptions", "-Dsecond\n"));
    brolt::UniqueStdioFile second = brolt::openDefaultOptionsFile(tool.c_str());
    ASSERT_TRUE(second);
    char line[64] = "";
    EXPECT_STREQ(fgets(line, sizeof line, second.get()), "-Dsecond\n");
    second.reset();

    ASSERT_TRUE(fixture::writeFile(scratch / "tool.vmoptions", "-Dfirst\n"));
    brolt::UniqueStdioFile first = brolt::openDefaultOptionsFile(tool.c_str());
    ASSERT_TRUE(first);
    EXPECT_STREQ(fgets(line, sizeof line, first.get()), "-Dfirst\n");
}

TEST_F(LaunchOptions, IncludeRingStopsAtTheNestingLimit) {
    ScratchDirectory scratch;
    ASSERT_TRUE(fixture::writeFile(scratch / "a.opts", "-Da\n-include-options " + scratch / "b.opts\n"));
    ASSERT_TRUE(fixture::writeFile(scratch / "b.opts", "-Db\n-include-options " + scratch / "a.opts\n"));
    writeOptionsFile("-include-options " + scratch / "a.opts\n");

    ASSERT_TRUE(launch({}, {L"svc"}));

    // The default file stands at depth 1; a.opts and b.opts take turns from depth 2 to the limit.
    Options expected;
    for (int depth = 2; depth <= brolt::kMaxIncludeDepth; ++depth)
        expected.push_back(depth % 2 == 0 ? "-Da" : "-Db");
    Options options = composedOptions();
    EXPECT_EQ(Options(options.begin() + 5, options.end() - 1), expected);
}

TEST_F(LaunchOptions, LineLongerThanOneReadContinuesAsAnOptionOfItsOwn) {
    std::string longLine = "-Dlong=" + std::string(9000, 'x');
    writeOptionsFile(longLine + "\n-Dnext\n");
    ASSERT_TRUE(launch({}, {L"svc"}));
    const size_t read = brolt::kOptionsLineSize - 1;
    Options options = composedOptions();
    EXPECT_EQ(Options(options.begin() + 5, options.end() - 1),
              (Options{longLine.substr(0, read), longLine.substr(read), "-Dnext"}));
}

TEST(LaunchProperties, EachByItsCondition) {
    ScratchDirectory scratch;
    char commFile[8192];
    makeProcessCommFileName(commFile, GetCurrentProcessId());
    std::string codepage = "-Dbrolt.consoleCodepage=cp" + std::to_string(GetConsoleOutputCP());
    std::string module = std::string("-Dbrolt.moduleName=") + getModulePath();
    struct Case {
        const char* what;
        char kind;
        bool singleInstance;
        const char* manPath;  // nullptr: not defined
        brolt::OutputRotation rotation;
        Options expected;  // every option but the class path
    };
    const Case cases[] = {
        {"brolt kind",
         'b',
         false,
         nullptr,
         {},
         {"-Dbrolt.isService=true", module, "-Dbrolt.tempDir=" + scratch.path,
          "-Dbrolt.unextractedPosition=4096", codepage}},
        {"quendrial kind, single instance, MANPATH",
         'q',
         true,
         "",
         {},
         {"-Dbrolt.isQuendrial=true", "-Dbrolt.isService=true", module,
          std::string("-Dbrolt.processCommFile=") + commFile, "-Dbrolt.tempDir=" + scratch.path,
          "-Dbrolt.unextractedPosition=4096"}},
        {"rolling output files",
         'b',
         false,
         nullptr,
         {100000, 3},
         {"-Dbrolt.isService=true", module, "-Dbrolt.tempDir=" + scratch.path,
          "-Dbrolt.unextractedPosition=4096", codepage, "-Dbrolt.output.rotateBytes=100000",
          "-Dbrolt.output.keep=3"}},
    };
    for (const Case& c : cases) {
        setVariable("MANPATH", c.manPath);
        brolt::LaunchSettings settings;
        settings.singleInstance = c.singleInstance;
        settings.launcherKind = c.kind;
        settings.extractionDirectory = scratch.path;
        settings.unextractedPosition = 4096;
        settings.rotation = c.rotation;
        ASSERT_TRUE(launch({}, {L"svc"}, settings)) << c.what;
        Options options = composedOptions();
        EXPECT_EQ(Options(options.begin(), options.end() - 1), c.expected) << c.what;
    }
    setVariable("MANPATH", nullptr);
}

struct ClassPathCase {
    const char* what;
    std::string configured;  // key 121
    brolt::ClassPathModifiers modifiers;
    char kind;
    std::string expected;  // after "-Djava.class.path="
};

TEST(LaunchClassPath, Composition) {
    ScratchDirectory scratch;
    CreateDirectoryA((scratch / "lib").c_str(), nullptr);
    for (const char* name : {"x.jar", "y.zip", "notes.txt"})
        ASSERT_TRUE(fixture::writeFile(scratch / (std::string("lib\\") + name), "PK"));
    CreateDirectoryA((scratch / "extracted").c_str(), nullptr);
    ASSERT_TRUE(fixture::writeFile(scratch / "extracted\\e.jar", "PK"));
    // What someone else put in the folder, or a start left there, sorting before the launcher's own:
    // a folder named as an archive and a stray jar. Neither is among the names extracted.
    CreateDirectoryA((scratch / "extracted\\a.jar").c_str(), nullptr);
    ASSERT_TRUE(fixture::writeFile(scratch / "extracted\\aaa.jar", "PK"));
    setVariable("BRT_QUOTED", "\"C:\\a;b.jar\"");
    setVariable("BRT_ENDS", "x.jar;");
    setVariable("BRT_EMPTY", "");
    setVariable("BRT_LIB", (scratch / "lib").c_str());
    const std::string dir = launcherDirectory();
    const std::string lib = scratch / "lib";

    brolt::ClassPathModifiers all;
    all.prefix = "p.jar";
    all.replacement = "r1.jar;r2.jar";
    all.suffix = "s.jar";
    brolt::ClassPathModifiers suffixOnly;
    suffixOnly.suffix = "s.jar";

    const ClassPathCase cases[] = {
        {"archives and directories, there or not",
         "A0app.jar;D0classes;A1" + lib + "\\x.jar",
         {},
         'b',
         dir + "app.jar;" + dir + "classes;" + lib + "\\x.jar;"},
        {"directory of archives: jar, then zip",
         "S1${BRT_LIB}",
         {},
         'b',
         lib + "\\x.jar;" + lib + "\\y.zip;"},
        {"missing optional directory of archives", "S0ext", {}, 'b', ""},
        {"variables", "E0BRT_QUOTED;E0BRT_ENDS;E0BRT_EMPTY;E0BRT_UNDEFINED", {}, 'b', "C:\\a;b.jar;x.jar;"},
        {"unknown type", "X1whatever", {}, 'b', ""},
        {"replacement, prefix and suffix; the extraction's and quendrial archives stay", "A0app.jar", all,
         'q',
         "p.jar;" + scratch.path + "\\extracted\\e.jar;" + scratch.path + "\\.quendrial\\qdlruntime.jar;" +
             "r1.jar;r2.jar;s.jar"},
        {"nothing but a suffix", "", suffixOnly, 'b', ";s.jar"},
    };
    for (const ClassPathCase& c : cases) {
        brolt::LaunchSettings settings;
        settings.classPath = c.configured;
        settings.applicationDirectory = scratch.path;
        settings.launcherKind = c.kind;
        settings.extractionDirectory = c.kind == 'q' ? scratch / "extracted" : "";
        settings.extractedFiles = {"e.jar", "notes.txt"};
        brolt::LaunchContext context = brolt::makeLaunchContext(doubleRuntime(), settings);
        brolt::ClassPathOption classPath;
        EXPECT_FALSE(brolt::composeClassPath(c.modifiers, context, classPath)) << c.what;
        EXPECT_EQ(classPath.text(), "-Djava.class.path=" + c.expected) << c.what;
    }
    for (const char* name : {"BRT_QUOTED", "BRT_ENDS", "BRT_EMPTY", "BRT_LIB"})
        setVariable(name, nullptr);
}

TEST(LaunchClassPath, LongEntriesAreLeftOutWhole) {
    // Each entry expands to nearly a whole text buffer; four fit in the option, the fifth does not.
    std::string big(8000, 'j');
    setVariable("BRT_BIG", big.c_str());
    brolt::LaunchSettings settings;
    settings.classPath =
        "A0C:\\1${BRT_BIG};A0C:\\2${BRT_BIG};A0C:\\3${BRT_BIG};A0C:\\4${BRT_BIG};A0C:\\5${BRT_BIG}";
    brolt::LaunchContext context = brolt::makeLaunchContext(doubleRuntime(), settings);
    brolt::ClassPathOption classPath;
    EXPECT_FALSE(brolt::composeClassPath({}, context, classPath));
    EXPECT_TRUE(classPath.cut());
    EXPECT_LT(classPath.text().size(), brolt::kClassPathOptionSize);
    EXPECT_EQ(classPath.text(),
              "-Djava.class.path=C:\\1" + big + ";C:\\2" + big + ";C:\\3" + big + ";C:\\4" + big + ";");
    setVariable("BRT_BIG", nullptr);
}

TEST(LaunchFailures, EachFailureBeforeMainIsAValueWithItsMessage) {
    setVariable("BRT_EMPTY", "");
    struct Case {
        const char* what;
        brolt::LaunchSettings settings;
        vmdouble::Behaviour behaviour;
        std::string failure;  // as failureOf tells it
        bool vmCreated;
    };
    auto settings = [](const char* classPath, const char* vmParameters = "", const char* arguments = "") {
        brolt::LaunchSettings s;
        s.classPath = classPath;
        s.vmParameters = vmParameters;
        s.arguments = arguments;
        return s;
    };
    vmdouble::Behaviour refused;
    refused.createResult = JNI_ENOMEM;
    vmdouble::Behaviour noClass;
    noClass.missingClasses = {"com/brolt/runtime/WinLauncher"};
    vmdouble::Behaviour noMethod;
    noMethod.missingMethods = {"com/brolt/runtime/WinLauncher.main"};
    const std::string fileNotFound = std::to_string(keys::kMsgFileNotFound) + " ";
    const std::string wrongUsage = std::to_string(keys::kMsgWrongParameterUsage) + " ";
    const Case cases[] = {
        {"missing directory of archives", settings("A0there.jar;S1ext"), {}, fileNotFound + "ext", false},
        {"missing archive", settings("A1missing\\a.jar"), {}, fileNotFound + "missing\\a.jar", false},
        {"empty variable", settings("E1BRT_EMPTY"), {}, fileNotFound + "BRT_EMPTY", false},
        {"undefined variable",
         settings("E1BRT_UNDEFINED"),
         {},
         std::to_string(keys::kMsgVariableUndefined) + " BRT_UNDEFINED",
         false},
        {"unclosed quote in the VM parameters", settings("", "-Da \"-Db"), {}, wrongUsage, false},
        {"unclosed quote in the arguments", settings("", "", "a 'b"), {}, wrongUsage, true},
        {"creation refused", settings(""), refused, std::to_string(keys::kMsgVmCouldNotStart) + " ", false},
        {"no runtime class", settings(""), noClass, std::to_string(keys::kMsgMainClassNotLoaded) + " ", true},
        {"no main method", settings(""), noMethod, std::to_string(keys::kMsgMainMethodNotFound) + " ", true},
    };
    for (const Case& c : cases) {
        std::optional<brolt::Failure> failed = launchFailure(c.behaviour, {L"svc"}, c.settings);
        EXPECT_EQ(failureOf(failed), c.failure) << c.what;
        if (failed) {
            EXPECT_EQ(failed->serviceExitCode, brolt::kFailedStartExitCode) << c.what;
        }
        const std::vector<std::string>& calls = vmdouble::record().calls;
        EXPECT_EQ(!calls.empty(), c.vmCreated) << c.what;
        EXPECT_EQ(
            std::find(calls.begin(), calls.end(), "CallStaticVoidMethodV com/brolt/runtime/WinLauncher.main"),
            calls.end())
            << c.what;
    }
    setVariable("BRT_EMPTY", nullptr);
}

TEST(LaunchMain, ParametersOfTheDocumentedExampleAndTextsOutsideTheCodePage) {
    brolt::LaunchSettings example;
    example.mainClass = "com.example.Main";
    example.stderrFile = "log\\err.log";
    example.mainParameterFlag = true;
    example.arguments = "--start";
    ASSERT_TRUE(launch({}, {L"svc"}, example));
    EXPECT_EQ(vmdouble::record().mainParameters,
              (Options{"false", "com.example.Main", launcherDirectory() + "log\\err.log", "", "true", "svc",
                       "--start"}));

    // Configured arguments in the ANSI code page, launch arguments in any script.
    brolt::LaunchSettings ansi;
    ansi.arguments = "caf\xe9 'a b'";
    Arguments arguments = {L"svc", L"\u65e5\u672c\u8a9e", L"Gr\u00fc\u00dfe \u20ac", L"\u0416"};
    ASSERT_TRUE(launch({}, arguments, ansi));
    EXPECT_EQ(
        vmdouble::record().mainParameters,
        concat({"false", "", "", "", "false"}, utf8({L"svc", L"caf\u00e9", L"a b", L"\u65e5\u672c\u8a9e",
                                                     L"Gr\u00fc\u00dfe \u20ac", L"\u0416"})));
}

struct FirstRunCase {
    const char* what;
    bool marker;
    vmdouble::FirstRunAnswer answer;
    bool mainCalled;
};

TEST(LaunchFirstRun, QuendrialKindAsksTheFirstRunClassWhenTheMarkerIsThere) {
    ScratchDirectory scratch;
    const FirstRunCase cases[] = {
        {"no marker", false, vmdouble::FirstRunAnswer::False, true},
        {"marker, true", true, vmdouble::FirstRunAnswer::True, true},
        {"marker, false", true, vmdouble::FirstRunAnswer::False, false},
        {"marker, throws", true, vmdouble::FirstRunAnswer::Throws, false},
    };
    CreateDirectoryA((scratch / ".quendrial").c_str(), nullptr);
    brolt::LaunchSettings settings;
    settings.applicationDirectory = scratch.path;
    settings.launcherKind = 'q';
    for (const FirstRunCase& c : cases) {
        DeleteFileA((scratch / ".quendrial\\firstrun").c_str());
        if (c.marker) {
            ASSERT_TRUE(fixture::writeFile(scratch / ".quendrial\\firstrun", ""));
        }
        vmdouble::Behaviour behaviour;
        behaviour.firstRun = c.answer;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(launch(behaviour, {L"svc"}, settings)) << c.what;
        std::string standardError = testing::internal::GetCapturedStderr();

        const std::vector<std::string>& calls = vmdouble::record().calls;
        auto called = [&](const std::string& call) {
            return std::find(calls.begin(), calls.end(), call) != calls.end();
        };
        EXPECT_EQ(called("CallStaticBooleanMethodV com/quendrial/runtime/FirstRun.firstRun"), c.marker)
            << c.what;
        EXPECT_EQ(called("CallStaticVoidMethodV com/brolt/runtime/WinLauncher.main"), c.mainCalled) << c.what;
        bool threw = c.answer == vmdouble::FirstRunAnswer::Throws && c.marker;
        // Not redirected: the exception's text goes to the process's standard error, once.
        EXPECT_FALSE(called("ExceptionDescribe")) << c.what;
        EXPECT_EQ(standardError, threw ? "java.lang.IllegalStateException: firstRun failed\n" : "") << c.what;
    }
}

TEST(LaunchFirstRun, MissingFirstRunClassOrMethodIsAnInternalError) {
    ScratchDirectory scratch;
    CreateDirectoryA((scratch / ".quendrial").c_str(), nullptr);
    ASSERT_TRUE(fixture::writeFile(scratch / ".quendrial\\firstrun", ""));
    brolt::LaunchSettings settings;
    settings.applicationDirectory = scratch.path;
    settings.launcherKind = 'q';
    vmdouble::Behaviour noClass;
    noClass.missingClasses = {"com/quendrial/runtime/FirstRun"};
    vmdouble::Behaviour noMethod;
    noMethod.missingMethods = {"com/quendrial/runtime/FirstRun.firstRun"};
    const std::string internalError = std::to_string(keys::kMsgInternalError);
    EXPECT_EQ(failureOf(launchFailure(noClass, {L"svc"}, settings)), internalError + " 14");
    EXPECT_EQ(failureOf(launchFailure(noMethod, {L"svc"}, settings)), internalError + " 15");
}

TEST(LaunchFailures, CreationFailsOrMainThrows) {
    vmdouble::Behaviour refused;
    refused.createResult = JNI_ENOMEM;
    EXPECT_EQ(failureOf(launchFailure(refused, {L"svc"})), std::to_string(keys::kMsgVmCouldNotStart) + " ");
    EXPECT_TRUE(vmdouble::record().calls.empty());
    stopJavaApplication();  // no VM: nothing to call
    EXPECT_TRUE(vmdouble::record().calls.empty());

    // An exception whose text cannot be read is described by the VM itself.
    vmdouble::Behaviour unreadable;
    unreadable.mainThrows = true;
    unreadable.missingMethods = {"java/lang/Throwable.toString"};
    testing::internal::CaptureStderr();
    EXPECT_EQ(failureOf(launchFailure(unreadable, {L"svc"})), "0 ");
    std::string standardError = testing::internal::GetCapturedStderr();
    EXPECT_EQ(standardError,
              "Exception in thread \"main\" java.lang.IllegalStateException: the application's main failed\n"
              "\tat com.brolt.runtime.WinLauncher.main(vm double)\n");
    EXPECT_EQ(vmdouble::record().calls.back(), "ExceptionDescribe");
}

struct OutputCase {
    const char* what;
    bool append;  // launcher parameter 4
    vmdouble::Behaviour behaviour;
    std::string file;  // the standard-error file afterwards; "old\n" before the launch
    std::vector<std::string> logLines;
};

vmdouble::Behaviour printing(std::string text, jint createResult = JNI_OK) {
    vmdouble::Behaviour behaviour;
    behaviour.createPrints = std::move(text);
    behaviour.createResult = createResult;
    // Main starts the file as the Java side does: afresh unless told to append.
    behaviour.redirectStandardError = true;
    return behaviour;
}

vmdouble::Behaviour also(vmdouble::Behaviour behaviour, void (*change)(vmdouble::Behaviour&)) {
    change(behaviour);
    return behaviour;
}

// The standard-error file when the service runtime's abort hook was called.
std::string standardErrorFile;
std::string fileAtAbort;
void JNICALL readingAbortHook() {
    fileAtAbort = fixture::readFile(standardErrorFile);
}

TEST(LaunchOutput, WhatTheVmPrintsAndExceptionTextsReachTheStandardErrorFileAndTheLog) {
    ScratchDirectory scratch;
    const std::string thrown = "java.lang.IllegalStateException: the application's main failed\n";
    const OutputCase cases[] = {
        {"creation fails, afresh",
         false,
         printing("Error occurred\nToo small heap 1\n", JNI_ERR),
         "Error occurred\nToo small heap 1\n",
         {"vm: Error occurred", "vm: Too small heap 1"}},
        {"creation fails, appending",
         true,
         printing("Too small heap 2", JNI_ERR),
         "old\nToo small heap 2",
         {"vm: Too small heap 2"}},
        {"kept while main starts the file afresh, then appended",
         false,
         printing("warning 3\n"),
         "warning 3\n",
         {"vm: warning 3"}},
        {"main throws",
         false,
         also(printing("warning 4\n"), [](vmdouble::Behaviour& b) { b.mainThrows = true; }),
         "warning 4\n" + thrown,
         {"vm: warning 4", "vm: " + thrown.substr(0, thrown.size() - 1)}},
        {"the launch stops short of main",
         false,
         also(printing("warning 5\n"),
              [](vmdouble::Behaviour& b) { b.missingClasses = {"com/brolt/runtime/WinLauncher"}; }),
         "warning 5\n",
         {"vm: warning 5"}},
        {"the VM aborts while it is created",
         false,
         also(printing("aborted 6\n", JNI_ERR), [](vmdouble::Behaviour& b) { b.createAborts = true; }),
         "aborted 6\n",
         {"vm: aborted 6"}},
        {"nothing printed: the file is left alone", false, printing("", JNI_ERR), "old\n", {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const OutputCase& c = cases[i];
        standardErrorFile = scratch / ("logs\\err" + std::to_string(i) + ".log");
        CreateDirectoryA((scratch / "logs").c_str(), nullptr);
        ASSERT_TRUE(fixture::writeFile(standardErrorFile, "old\n"));
        fileAtAbort.clear();
        brolt::LaunchSettings settings;
        settings.stderrFile = standardErrorFile;
        settings.mainParameterFlag = c.append;
        settings.hooks.vmAbort = readingAbortHook;
        size_t logBefore = logText().size();

        launchFailure(c.behaviour, {L"svc"}, settings);
        vmdouble::reset({});  // lets go of the file main opened

        EXPECT_EQ(fixture::readFile(standardErrorFile), c.file) << c.what;
        if (c.behaviour.createAborts) {
            EXPECT_EQ(fileAtAbort, c.file) << c.what;
        }
        std::string log = logText().substr(logBefore);
        std::vector<std::string> logLines;
        for (size_t at = log.find("vm: "); at != std::string::npos; at = log.find("vm: ", at + 1))
            logLines.push_back(log.substr(at, log.find_first_of("\r\n", at) - at));
        EXPECT_EQ(logLines, c.logLines) << c.what;
    }
    // The file's folder is made when it is missing.
    standardErrorFile = scratch / "new\\folder\\err.log";
    brolt::LaunchSettings settings;
    settings.stderrFile = standardErrorFile;
    launchFailure(printing("made 8", JNI_ERR), {L"svc"}, settings);
    EXPECT_EQ(fixture::readFile(standardErrorFile), "made 8");
}

struct StopCase {
    const char* what;
    vmdouble::Behaviour behaviour;
    Options calls;  // from the stop on
};

vmdouble::Behaviour with(std::set<std::string> missingClasses, std::set<std::string> missingMethods,
                         vmdouble::ExitBehaviour exit = vmdouble::ExitBehaviour::Returns) {
    vmdouble::Behaviour behaviour;
    behaviour.missingClasses = std::move(missingClasses);
    behaviour.missingMethods = std::move(missingMethods);
    behaviour.exit = exit;
    return behaviour;
}

TEST(LaunchStop, ThroughShutdownElseSystemAndTheVmIsDestroyedOnlyAfterACleanCall) {
    const StopCase cases[] = {
        {"Shutdown",
         {},
         {"FindClass java/lang/Shutdown", "GetStaticMethodID java/lang/Shutdown.exit(I)V",
          "CallStaticVoidMethodV java/lang/Shutdown.exit 0", "ExceptionOccurred", "DestroyJavaVM"}},
        {"no Shutdown class",
         with({"java/lang/Shutdown"}, {}),
         {"FindClass java/lang/Shutdown -> null", "ExceptionOccurred -> java/lang/NoClassDefFoundError",
          "ExceptionClear", "FindClass java/lang/System", "GetStaticMethodID java/lang/System.exit(I)V",
          "CallStaticVoidMethodV java/lang/System.exit 0", "ExceptionOccurred", "DestroyJavaVM"}},
        {"no exit in Shutdown",
         with({}, {"java/lang/Shutdown.exit"}),
         {"FindClass java/lang/Shutdown", "GetStaticMethodID java/lang/Shutdown.exit(I)V -> null",
          "ExceptionOccurred -> java/lang/NoSuchMethodError", "ExceptionClear", "FindClass java/lang/System",
          "GetStaticMethodID java/lang/System.exit(I)V", "CallStaticVoidMethodV java/lang/System.exit 0",
          "ExceptionOccurred", "DestroyJavaVM"}},
        {"exit throws",
         with({}, {}, vmdouble::ExitBehaviour::Throws),
         {"FindClass java/lang/Shutdown", "GetStaticMethodID java/lang/Shutdown.exit(I)V",
          "CallStaticVoidMethodV java/lang/Shutdown.exit 0",
          "ExceptionOccurred -> java/lang/SecurityException", "ExceptionClear"}},
        {"no exit anywhere",
         with({"java/lang/Shutdown", "java/lang/System"}, {}),
         {"FindClass java/lang/Shutdown -> null", "ExceptionOccurred -> java/lang/NoClassDefFoundError",
          "ExceptionClear", "FindClass java/lang/System -> null",
          "ExceptionOccurred -> java/lang/NoClassDefFoundError", "ExceptionClear"}},
    };
    for (const StopCase& c : cases) {
        ASSERT_TRUE(launch(c.behaviour, {L"svc"})) << c.what;
        size_t launchCalls = vmdouble::record().calls.size();
        stopJavaApplication();
        const Options& calls = vmdouble::record().calls;
        EXPECT_EQ(Options(calls.begin() + launchCalls, calls.end()), c.calls) << c.what;
    }
}

TEST(LaunchThreads, EveryCallOnTheThreadThatCreatedTheVm) {
    bool launched = false;
    std::thread service([&] {
        launched = launch({}, {L"svc"});
        stopJavaApplication();
    });
    service.join();
    ASSERT_TRUE(launched);
    EXPECT_TRUE(vmdouble::record().foreignThreadCalls.empty());

    // The double does notice a call from elsewhere.
    std::thread([&] { launched = launch({}, {L"svc"}); }).join();
    stopJavaApplication();
    EXPECT_EQ(vmdouble::record().foreignThreadCalls.front(), "FindClass");
}

}  // namespace
