// broltpack: writes a configuration stream and included files onto the generic launcher, and shows
// what a packed launcher carries.
#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"
#include "pack_config.h"
#include "pack_error.h"
#include "packer.h"
#include "text_encoding.h"

namespace {

using brolt::pack::pathFromUtf8;
using brolt::pack::pathToUtf8;

// Exit codes: see kHelp.
constexpr int kExitOk = 0;
constexpr int kExitInspectFailed = 1;
constexpr int kExitPackFailed = 2;  // also usage errors

constexpr std::string_view kUsage =
    "usage: broltpack pack [--stub <brolt-service.exe> | --32] --config <app.toml> -o <output.exe>\n"
    "                      [--runtime-jar <brolt-runtime.jar>]\n"
    "       broltpack inspect <launcher.exe>\n"
    "       broltpack --help | --version\n";

constexpr std::string_view kHelp =
    "Writes an application's configuration (and included files) onto the generic launcher, or lists\n"
    "what a packed launcher carries.\n"
    "\n"
    "  pack      cut the stub behind its last section (dropping an old configuration and a code\n"
    "            signature), append the configuration read from the TOML file, write the output.\n"
    "            The stub is the 32-bit launcher (out/win32) or the 64-bit one (out/win64).\n"
    "            The output is written completely or not at all.\n"
    "            -s, --stub FILE     the generic launcher (or a packed one to re-pack); default: the\n"
    "                                64-bit launcher beside this program, brolt-service-win64.exe\n"
    "                                or else brolt-service.exe\n"
    "            --32                the 32-bit launcher beside this program instead,\n"
    "                                brolt-service-win32.exe\n"
    "            -c, --config FILE   the application's configuration (TOML)\n"
    "            -o, --output FILE   the launcher to write\n"
    "            -r, --runtime-jar FILE\n"
    "                                the Java-side runtime archive every launcher includes (default:\n"
    "                                brolt-runtime.jar beside this program; [include] runtime = false\n"
    "                                in the configuration leaves it out)\n"
    "  inspect   print the launcher's machine, every record, the included files and where the\n"
    "            stream ends.\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  inspect: the file cannot be read, is not an executable or carries no intact stream\n"
    "  2  usage error; pack: any failure (configuration, stub, included file, output I/O)\n"
    "\n"
    "Errors are printed as \"broltpack: <file>:<line>:<col>: <problem>\" on standard error.\n";

int usageError(const std::string& problem) {
    std::cerr << "broltpack: " << problem << "\n" << kUsage;
    return kExitPackFailed;
}

// The launchers looked for beside the packer when no --stub names one, in order. A release holds
// both word sizes under their own names; a build folder (out/win64) holds its own under the generic name.
constexpr std::string_view kStubs64[] = {"brolt-service-win64.exe", "brolt-service.exe"};
constexpr std::string_view kStubs32[] = {"brolt-service-win32.exe"};

// The first launcher of its word size present in `directory`; a PackError naming every place looked at
// otherwise.
std::filesystem::path stubBesideProgram(const std::filesystem::path& directory, bool want32) {
    const std::span<const std::string_view> names =
        want32 ? std::span<const std::string_view>(kStubs32) : kStubs64;
    std::string looked;
    for (const std::string_view name : names) {
        const std::filesystem::path candidate = directory / pathFromUtf8(name);
        std::error_code ignored;
        if (std::filesystem::is_regular_file(candidate, ignored))
            return candidate;
        looked += (looked.empty() ? "" : ", ") + pathToUtf8(candidate);
    }
    throw brolt::pack::PackError({pathToUtf8(directory), 0, 0,
                                  "no " + std::string(want32 ? "32" : "64") +
                                      "-bit launcher beside the packer (looked for " + looked +
                                      "); name one with --stub"});
}

int runPack(const std::vector<std::string_view>& args, const std::filesystem::path& programFolder) {
    std::string stub, config, output, runtimeJar;
    bool want32 = false;
    struct Option {
        std::string_view shortName, longName;
        std::string* value;
    };
    const Option options[] = {{"-s", "--stub", &stub},
                              {"-c", "--config", &config},
                              {"-o", "--output", &output},
                              {"-r", "--runtime-jar", &runtimeJar}};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        bool matched = arg == "--32";
        want32 = want32 || matched;
        for (const Option& option : options) {
            const std::string withEquals = std::string(option.longName) + "=";
            if (arg == option.shortName || arg == option.longName) {
                if (i + 1 >= args.size())
                    return usageError(std::string(arg) + " needs a value");
                *option.value = args[++i];
                matched = true;
            } else if (arg.starts_with(withEquals)) {
                *option.value = arg.substr(withEquals.size());
                matched = true;
            }
        }
        if (!matched)
            return usageError("unexpected argument \"" + std::string(arg) + "\"");
    }
    if (config.empty() || output.empty())
        return usageError("pack needs --config and -o");
    if (want32 && !stub.empty())
        return usageError("--32 picks the launcher beside the packer; --stub names one: give either");
    try {
        brolt::pack::packLauncher(
            stub.empty() ? stubBesideProgram(programFolder, want32) : pathFromUtf8(stub),
            pathFromUtf8(config), pathFromUtf8(output),
            runtimeJar.empty() ? programFolder / brolt::pack::kRuntimeJarName : pathFromUtf8(runtimeJar));
    } catch (const brolt::pack::PackError& error) {
        std::cerr << "broltpack: " << error.what() << "\n";
        return kExitPackFailed;
    }
    return kExitOk;
}

int runInspect(const std::vector<std::string_view>& args) {
    if (args.size() != 1)
        return usageError("inspect needs exactly one file");
    try {
        brolt::pack::inspectLauncher(pathFromUtf8(args[0]), std::cout);
    } catch (const brolt::pack::PackError& error) {
        std::cout.flush();
        std::cerr << "broltpack: " << error.what() << "\n";
        return kExitInspectFailed;
    }
    return kExitOk;
}

// The command line as UTF-8 text.
int run(const std::vector<std::string>& arguments, const char* argv0) {
    const std::vector<std::string_view> args(arguments.begin() + 1, arguments.end());
    if (args.empty())
        return usageError("no command given");
    const std::string_view command = args.front();
    const std::vector<std::string_view> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage << "\n" << kHelp;
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "broltpack " << BROLT_VERSION << "\n";
        return kExitOk;
    }
    if (command == "pack")
        return runPack(rest, brolt::pack::programDirectory(argv0));
    if (command == "inspect")
        return runInspect(rest);
    return usageError("unknown command \"" + std::string(command) + "\"");
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16, so a name outside the ANSI code page survives; messages go out as
// UTF-8, which a console shows as such while the packer runs.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(brolt::pack::utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    const UINT consoleCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    const int exitCode = run(arguments, "");
    std::cout.flush();
    std::cerr.flush();
    if (consoleCodePage != 0)
        SetConsoleOutputCP(consoleCodePage);
    return exitCode;
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv, argv + argc), argv[0]);
}
#endif
