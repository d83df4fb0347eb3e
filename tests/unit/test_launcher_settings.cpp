// The configuration read once at start-up into the search's and the launch's settings, and what the search
// makes of a value it had to refuse.
#include "windows/launcher_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "config/config.h"
#include "config/keys.h"
#include "core/limits.h"
#include "core/word_size.h"
#include "files/paths.h"
#include "stream_fixture.h"

namespace {

namespace keys = brolt::keys;

void loadFixture(const fixture::Stream& stream) {
    static const std::string path = fixture::ownDirectory() + "launcher_settings_fixture.exe";
    fixture::writeLauncher(fixture::ownPath(), path, fixture::streamBytes(stream));
    ASSERT_TRUE(loadConfiguration(path.c_str()).ok());
}

std::string absolute(const char* path) {
    char full[brolt::kTextBufferSize];
    getFullPath(full, path, true);
    return full;
}

TEST(LauncherSettings, EachKeyLandsInItsField) {
    loadFixture({{{keys::kMinVersion, "11"},
                  {keys::kMaxVersion, "17.0.9"},
                  {keys::kAllowPrerelease, "1"},
                  {keys::kRequireJdk, "0"},
                  {keys::kSearchSequence, "B.\\jre;EJAVA_HOME;Y"},
                  {keys::kPreferredVmKind, "server"},
                  {keys::kApplicationDirectory, "app dir"},
                  {keys::kSingleInstance, "1"},
                  {keys::kVmParameters, "-Xmx1g -Dx=%BROLT_JVM_HOME%"},
                  {keys::kJavaOptionArguments, "1"},
                  {keys::kClassPath, "A1app.jar;S0lib"},
                  {keys::kMainClass, "com.example.Main"},
                  {keys::kRedirectStderr, "1"},
                  {keys::kStderrFile, "log\\err.log"},
                  {keys::kRedirectStdout, "0"},
                  {keys::kStdoutFile, "log\\out.log"},
                  {keys::kMainParameterFlag, "1"},
                  {keys::kArguments, "--start"},
                  {keys::kOutputRotateBytes, "100000"},
                  {keys::kOutputKeep, "3"},
                  {keys::kStopTimeout, "7"},
                  {keys::kStartTimeout, "45"}},
                 {}});
    brolt::LauncherSettings settings = brolt::readLauncherSettings('q', brolt::ExecutableType::Windowed);
    EXPECT_EQ(settings.stopTimeoutMilliseconds, 7000u);
    EXPECT_EQ(settings.startTimeoutMilliseconds, 45000u);

    const brolt::SearchSettings& search = settings.search;
    EXPECT_EQ(search.validation.range.minimum, "11");
    EXPECT_EQ(search.validation.range.maximum, "17.0.9");
    EXPECT_TRUE(search.validation.range.prereleaseAllowed);
    EXPECT_FALSE(search.validation.requireDevelopmentKit);
    EXPECT_TRUE(search.validation.windowless);
    EXPECT_FALSE(search.rangeRefused);
    EXPECT_EQ(search.searchSequence, "B.\\jre;EJAVA_HOME;Y");
    EXPECT_EQ(search.preferredVmKind, "server");
    EXPECT_EQ(search.launcherKind, 'q');

    const brolt::LaunchSettings& launch = settings.launch;
    // Resolved once, the same for both.
    EXPECT_EQ(search.applicationDirectory, absolute("app dir"));
    EXPECT_EQ(launch.applicationDirectory, search.applicationDirectory);
    EXPECT_EQ(launch.launcherKind, 'q');
    EXPECT_EQ(launch.executableType, brolt::ExecutableType::Windowed);
    EXPECT_TRUE(launch.singleInstance);
    EXPECT_EQ(launch.vmParameters, "-Xmx1g -Dx=%BROLT_JVM_HOME%");  // expanded by the launch, not here
    EXPECT_TRUE(launch.javaOptionArguments);
    EXPECT_EQ(launch.classPath, "A1app.jar;S0lib");
    EXPECT_EQ(launch.mainClass, "com.example.Main");
    EXPECT_EQ(launch.stderrFile, "log\\err.log");
    EXPECT_EQ(launch.stdoutFile, std::nullopt);  // a file name without its flag redirects nothing
    EXPECT_TRUE(launch.mainParameterFlag);
    EXPECT_EQ(launch.arguments, "--start");
    EXPECT_EQ(launch.rotation.bytes, 100000u);
    EXPECT_EQ(launch.rotation.keep, 3u);
}

TEST(LauncherSettings, OutputRotationByValue) {
    const struct {
        int bytes;
        int keep;
        uint32_t expectedBytes;  // 0: no rotation, nothing kept
        uint32_t expectedKeep;
    } cases[] = {
        {0, 3, 0, 0},
        {-1, 3, 0, 0},  // nothing rolls, whatever keep says
        {100000, 3, 100000, 3},
        {100000, 0, 100000, brolt::kDefaultKeptOutputFiles},  // keep not set
        {100000, -2, 100000, brolt::kDefaultKeptOutputFiles},
    };
    for (const auto& c : cases) {
        brolt::OutputRotation rotation = brolt::outputRotation(c.bytes, c.keep);
        EXPECT_EQ(rotation.bytes, c.expectedBytes) << c.bytes << " " << c.keep;
        EXPECT_EQ(rotation.keep, c.expectedKeep) << c.bytes << " " << c.keep;
    }
}

TEST(LauncherSettings, ExecutableTypesByValue) {
    const struct {
        int value;
        brolt::ExecutableType type;
        bool boxes;
    } cases[] = {
        {0, brolt::ExecutableType::Console, false},     {1, brolt::ExecutableType::Windowed, true},
        {3, brolt::ExecutableType::Console, false},     {4, brolt::ExecutableType::AutoStartService, false},
        {5, brolt::ExecutableType::MessageBoxes, true}, {7, brolt::ExecutableType::Console, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(brolt::executableTypeOf(c.value), c.type) << c.value;
        EXPECT_EQ(brolt::showsMessageBoxes(c.type), c.boxes) << c.value;
    }
}

// A value longer than a configured text may be was cut where it was read, and a cut last entry of the
// search sequence named another folder that the relative pass took unchecked. Such values are refused.
TEST(LauncherSettings, OverlongSearchValuesAreRefusedNotCut) {
    const std::string fits(brolt::kTextBufferSize - 1, 'x');
    const std::string overlong = "B.\\jre;B" + std::string(brolt::kTextBufferSize, 'y');
    const struct {
        const char* what;
        int32_t key;
        std::string value;
        std::string sequence;
        bool rangeRefused;
    } cases[] = {
        {"a sequence that fits", keys::kSearchSequence, "B" + fits.substr(1), "B" + fits.substr(1), false},
        {"an overlong sequence", keys::kSearchSequence, overlong, "", false},
        {"an overlong minimum", keys::kMinVersion, "1." + fits, "", true},
        {"an overlong maximum", keys::kMaxVersion, "1." + fits, "", true},
    };
    for (const auto& c : cases) {
        loadFixture({{{c.key, c.value}}, {}});
        brolt::SearchSettings search =
            brolt::readLauncherSettings('b', brolt::ExecutableType::Console).search;
        EXPECT_EQ(search.searchSequence, c.sequence) << c.what;
        EXPECT_EQ(search.rangeRefused, c.rangeRefused) << c.what;
    }
}

TEST(LauncherSettings, ARefusedVersionBoundFindsNoRuntime) {
    brolt::SearchSettings search;
    search.rangeRefused = true;
    search.searchSequence = "S";  // would otherwise look on PATH
    brolt::JavaRuntime runtime;
    std::optional<brolt::Failure> failed = LoadDLL(search, runtime);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->messageKey, keys::kMsgNoVmFound);
    EXPECT_EQ(failed->argument, std::to_string(brolt::kLauncherWordSize.bits));
    EXPECT_TRUE(runtime.javaExePath.empty());
}

}  // namespace
