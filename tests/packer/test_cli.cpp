// The shipped program driven the way a build script drives it: arguments in, exit code and output back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "file_io.h"
#include "stream_reader.h"
#include "temp_dir.h"
#include "tiny_pe.h"

namespace brolt::pack {
namespace {

using testing::TempDir;

struct ProgramRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs broltpack with `args` (already quoted for the shell), capturing both output streams in `dir`.
ProgramRun broltpack(const TempDir& dir, const std::string& args,
                     const std::filesystem::path& program = BROLTPACK_PROGRAM) {
    const auto out = dir.path / "stdout.txt";
    const auto err = dir.path / "stderr.txt";
    const std::string command =
        "'" + program.string() + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

std::string q(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

TEST(Cli, HelpAndVersion) {
    TempDir dir;
    const ProgramRun version = broltpack(dir, "--version");
    EXPECT_EQ(version.exitCode, 0);
    // The version is the one the VERSION file holds (its line, without the line end).
    const std::string versionFile = slurp(BROLT_VERSION_FILE);
    EXPECT_EQ(version.out, "broltpack " + versionFile.substr(0, versionFile.find_first_of("\r\n")) + "\n");
    const ProgramRun help = broltpack(dir, "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: broltpack pack [--stub <brolt-service.exe> | --32]"), std::string::npos);
    EXPECT_NE(help.out.find("Exit codes:"), std::string::npos);
}

TEST(Cli, UsageErrorsExitWithTwoAndTheUsageLine) {
    const char* cases[] = {"",        "frobnicate",  "pack --stub a.exe --config a.toml",    "pack --stub",
                           "inspect", "inspect a b", "pack --stub a --config b -o c --bogus"};
    TempDir dir;
    for (const char* args : cases) {
        const ProgramRun run = broltpack(dir, args);
        EXPECT_EQ(run.exitCode, 2) << args;
        EXPECT_EQ(run.err.rfind("broltpack: ", 0), 0u) << args << "\n" << run.err;
        EXPECT_NE(run.err.find("usage: broltpack"), std::string::npos) << args;
    }
}

TEST(Cli, PacksAndInspectsALauncher) {
    TempDir dir;
    const auto stub = dir.write("brolt-service.exe", testing::makeTinyPe({3, false, 16, 0x80, 40}).bytes);
    dir.write("data/readme.txt", "read me");
    const auto config = dir.write("app.toml",
                                  "[service]\nname = \"MySvc\"\ndescription = \"Dienst\"\n"
                                  "[include]\nfiles = [\"data/readme.txt\"]\n");
    const auto runtimeJar = dir.write("java/runtime.jar", "PK-runtime");
    const auto output = dir.path / "MyService.exe";
    const ProgramRun pack = broltpack(dir, "pack --stub " + q(stub) + " --config " + q(config) + " -o " +
                                               q(output) + " --runtime-jar " + q(runtimeJar));
    ASSERT_EQ(pack.exitCode, 0) << pack.err;
    EXPECT_EQ(pack.err, "");

    const ProgramRun inspect = broltpack(dir, "inspect " + q(output));
    EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
    for (const char* line :
         {"  101 service.name = \"MySvc\"\n", "  20017 service.description = \"Dienst\"\n",
          "  2003 include.names = \"readme.txt;brolt-runtime.jar\"\n", "  \"readme.txt\" 7 bytes at offset ",
          "  \"brolt-runtime.jar\" 10 bytes at offset "}) {
        EXPECT_NE(inspect.out.find(line), std::string::npos) << line << "\n" << inspect.out;
    }
    const auto bytes = readWholeFile(output);
    const LauncherStream stream = readLauncherStream(bytes, "MyService.exe");
    EXPECT_NE(inspect.out.find("end marker at offset " + std::to_string(*stream.endMarker) + "\n"),
              std::string::npos);
    EXPECT_NE(inspect.out.find("file size " + std::to_string(bytes.size()) + "\n"), std::string::npos);
}

TEST(Cli, PacksEitherLauncherAndInspectNamesItsMachine) {
    TempDir dir;
    const auto config = dir.write("app.toml", "[service]\nname = \"x\"\n[include]\nruntime = false\n");
    const std::pair<bool, const char*> cases[] = {{false, "machine: i386 (32-bit launcher)\n"},
                                                  {true, "machine: x86-64 (64-bit launcher)\n"}};
    for (const auto& [pe32Plus, machineLine] : cases) {
        const auto stub = dir.write("stub.exe", testing::makeTinyPe({2, pe32Plus, 16, 0x80, 0}).bytes);
        const auto output = dir.path / "My.exe";
        const ProgramRun pack =
            broltpack(dir, "pack -s " + q(stub) + " -c " + q(config) + " -o " + q(output));
        ASSERT_EQ(pack.exitCode, 0) << pack.err;
        const ProgramRun inspect = broltpack(dir, "inspect " + q(output));
        EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
        EXPECT_EQ(inspect.out.rfind(machineLine, 0), 0u) << inspect.out;
    }
}

TEST(Cli, AFailedPackLeavesNoOutputAndNoTemporaryFile) {
    TempDir dir;
    const auto stub = dir.write("stub.exe", testing::makeTinyPe({1, false, 16, 0x80, 0}).bytes);
    const auto notAStub = dir.write("notes.txt", "not an executable");
    const auto good = dir.write("good.toml", "[service]\nname = \"x\"\n");
    struct Case {
        const char* label;
        std::filesystem::path stub;
        std::string toml;  // empty: use good.toml
        std::string expected;
    };
    const Case cases[] = {
        {"syntax", stub, "[service]\nname = \n", "bad.toml:2:"},
        {"unknown key", stub, "[service]\n\nnmae = \"x\"\n", "bad.toml:3:1: unknown key \"service.nmae\""},
        {"cp1252", stub, "[service]\nname = \"日\"\n", "bad.toml:2:8: service.name: character U+65E5"},
        {"missing include", stub, "[include]\nfiles = [\"gone.bin\"]\n", "bad.toml:2:10: include.files: "},
        {"stub not a PE", notAStub, "", "notes.txt: not a Windows executable: no MZ header"},
        {"stub missing", dir.path / "absent.exe", "", "absent.exe: cannot open: No such file or directory"},
    };
    for (const Case& c : cases) {
        const auto config = c.toml.empty() ? good : dir.write("bad.toml", c.toml);
        const auto output = dir.path / "out" / "MyService.exe";
        std::filesystem::create_directories(output.parent_path());
        const ProgramRun run =
            broltpack(dir, "pack --stub " + q(c.stub) + " --config " + q(config) + " -o " + q(output));
        EXPECT_EQ(run.exitCode, 2) << c.label;
        EXPECT_EQ(run.err.rfind("broltpack: ", 0), 0u) << c.label << "\n" << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.label << "\n" << run.err;
        EXPECT_TRUE(std::filesystem::is_empty(output.parent_path())) << c.label;
    }

    // An existing launcher stays as it was.
    const auto existing = dir.write("out/MyService.exe", "previous launcher");
    const auto bad = dir.write("bad.toml", "[service]\nnmae = 1\n");
    EXPECT_EQ(broltpack(dir, "pack -s " + q(stub) + " -c " + q(bad) + " -o " + q(existing)).exitCode, 2);
    EXPECT_EQ(slurp(existing), "previous launcher");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path / "out"), {}), 1);
}

TEST(Cli, AnOutputThatCannotBeWrittenLeavesNoTemporaryFile) {
    TempDir dir;
    const auto stub = dir.write("stub.exe", testing::makeTinyPe({1, false, 16, 0x80, 0}).bytes);
    const auto config = dir.write("app.toml", "[service]\nname = \"x\"\n");
    dir.write("out/taken/file.txt", "a directory where the launcher should go");
    struct Case {
        std::filesystem::path output;
        const char* expected;
    };
    const Case cases[] = {{dir.path / "out" / "taken", "taken: cannot write: "},
                          {dir.path / "missing" / "My.exe", "cannot create a temporary file in "}};
    for (const Case& c : cases) {
        const ProgramRun run =
            broltpack(dir, "pack -s " + q(stub) + " -c " + q(config) + " -o " + q(c.output));
        EXPECT_EQ(run.exitCode, 2) << c.output;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path / "out"), {}), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "missing"));
}

TEST(Cli, LooksForTheRuntimeArchiveBesideItself) {
    TempDir dir;
    const auto stub = dir.write("stub.exe", testing::makeTinyPe({1, false, 16, 0x80, 0}).bytes);
    const auto config = dir.write("app.toml", "[service]\nname = \"x\"\n");
    const auto program = dir.path / "bin" / "broltpack";
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file(BROLTPACK_PROGRAM, program);
    const auto output = dir.path / "My.exe";
    const std::string pack = "pack -s " + q(stub) + " -c " + q(config) + " -o " + q(output);

    const ProgramRun missing = broltpack(dir, pack, program);
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("the runtime archive cannot be read (" +
                               (program.parent_path() / "brolt-runtime.jar").string() + ": cannot open"),
              std::string::npos)
        << missing.err;
    EXPECT_FALSE(std::filesystem::exists(output));

    dir.write("bin/brolt-runtime.jar", "PK");
    const ProgramRun found = broltpack(dir, pack, program);
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_NE(broltpack(dir, "inspect " + q(output)).out.find("  \"brolt-runtime.jar\" 2 bytes at offset "),
              std::string::npos);
}

// A release holds the packer beside both launchers; a build folder holds it beside its own launcher.
TEST(Cli, TakesTheLauncherBesideItselfWithoutStub) {
    TempDir dir;
    const auto config = dir.write("app.toml", "[service]\nname = \"x\"\n[include]\nruntime = false\n");
    const auto bin = dir.path / "bin";
    const auto program = bin / "broltpack";
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file(BROLTPACK_PROGRAM, program);
    const auto output = dir.path / "My.exe";
    const std::string pack = "pack -c " + q(config) + " -o " + q(output);
    const std::string i386 = "machine: i386 (32-bit launcher)\n";
    const std::string x8664 = "machine: x86-64 (64-bit launcher)\n";
    struct Case {
        std::vector<std::pair<const char*, bool>> stubs;  // name beside the packer, built for x86-64
        const char* option;
        std::string machine;  // empty: none found
    };
    const Case cases[] = {
        {{{"brolt-service.exe", true}}, "", x8664},
        {{{"brolt-service.exe", false}, {"brolt-service-win64.exe", true}}, "", x8664},
        {{{"brolt-service-win64.exe", true}, {"brolt-service-win32.exe", false}}, " --32", i386},
        {{{"brolt-service-win32.exe", false}}, "", ""},
        {{{"brolt-service.exe", true}, {"brolt-service-win64.exe", true}}, " --32", ""},
    };
    for (const Case& c : cases) {
        for (const auto& [name, pe32Plus] : c.stubs)
            dir.write(std::string("bin/") + name, testing::makeTinyPe({2, pe32Plus, 16, 0x80, 0}).bytes);
        const ProgramRun run = broltpack(dir, pack + c.option, program);
        if (c.machine.empty()) {
            const bool want32 = std::string_view(c.option) == " --32";
            EXPECT_EQ(run.exitCode, 2) << c.option;
            const std::string looked = want32 ? (bin / "brolt-service-win32.exe").string()
                                              : (bin / "brolt-service-win64.exe").string() + ", " +
                                                    (bin / "brolt-service.exe").string();
            EXPECT_EQ(run.err, "broltpack: " + bin.string() + ": no " + (want32 ? "32" : "64") +
                                   "-bit launcher beside the packer (looked for " + looked +
                                   "); name one with --stub\n");
            EXPECT_FALSE(std::filesystem::exists(output));
        } else {
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(broltpack(dir, "inspect " + q(output)).out.rfind(c.machine, 0), 0u) << c.option;
        }
        for (const auto& [name, pe32Plus] : c.stubs)
            std::filesystem::remove(bin / name);
        std::filesystem::remove(output);
    }

    dir.write("bin/brolt-service-win32.exe", testing::makeTinyPe({2, false, 16, 0x80, 0}).bytes);
    const ProgramRun both =
        broltpack(dir, pack + " --32 --stub " + q(bin / "brolt-service-win32.exe"), program);
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_NE(both.err.find("usage: broltpack"), std::string::npos) << both.err;
}

TEST(Cli, InspectOfABrokenFileExitsWithOne) {
    TempDir dir;
    const auto plain = dir.write("plain.exe", testing::makeTinyPe({2, false, 16, 0x80, 0}).bytes);
    const auto text = dir.write("text.txt", "hello");
    struct Case {
        std::filesystem::path file;
        const char* expected;
    };
    const Case cases[] = {{plain, "magic not found"},
                          {text, "not a Windows executable"},
                          {dir.path / "missing.exe", "cannot open"}};
    for (const Case& c : cases) {
        const ProgramRun run = broltpack(dir, "inspect " + q(c.file));
        EXPECT_EQ(run.exitCode, 1) << c.file;
        EXPECT_NE(run.err.find("broltpack: " + c.file.string() + ": "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace brolt::pack
