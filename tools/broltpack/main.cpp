// broltpack: writes a configuration stream and included files onto the generic launcher, and shows
// what a packed launcher carries.
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "pack_config.h"
#include "pack_error.h"
#include "packer.h"

namespace {

// Exit codes: see kHelp.
constexpr int kExitOk = 0;
constexpr int kExitInspectFailed = 1;
constexpr int kExitPackFailed = 2;  // also usage errors

constexpr std::string_view kUsage =
    "usage: broltpack pack --stub <brolt-service.exe> --config <app.toml> -o <output.exe>\n"
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
    "            -s, --stub FILE     the generic launcher (or a packed one to re-pack)\n"
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

// The build puts the runtime archive beside the packer, so a packer used from its build folder or
// installed together with the archive needs no option.
std::filesystem::path runtimeJarBesideProgram(const char* argv0) {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        program = std::filesystem::absolute(argv0, error);
    return program.parent_path() / brolt::pack::kRuntimeJarName;
}

int runPack(const std::vector<std::string_view>& args, const char* argv0) {
    std::string stub, config, output, runtimeJar;
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
        bool matched = false;
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
    if (stub.empty() || config.empty() || output.empty())
        return usageError("pack needs --stub, --config and -o");
    try {
        brolt::pack::packLauncher(
            stub, config, output,
            runtimeJar.empty() ? runtimeJarBesideProgram(argv0) : std::filesystem::path(runtimeJar));
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
        brolt::pack::inspectLauncher(std::string(args[0]), std::cout);
    } catch (const brolt::pack::PackError& error) {
        std::cout.flush();
        std::cerr << "broltpack: " << error.what() << "\n";
        return kExitInspectFailed;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
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
        return runPack(rest, argv[0]);
    if (command == "inspect")
        return runInspect(rest);
    return usageError("unknown command \"" + std::string(command) + "\"");
}
