// The doubles behave as the runtime search will rely on: java.exe writes its chosen text, ends with its
// chosen code or hangs, and records each run; unpack200.exe restores an archive with and without -r;
// the VM library loads by full path, records it, resolves JNI_CreateJavaVM by its plain name, and
// creates a VM only when told how.
#include <windows.h>

#include <gtest/gtest.h>
#include <jni.h>

#include <string>
#include <vector>

#include "scratch_directory.h"
#include "stream_fixture.h"

namespace {

using fixture::readFile;

std::string doublesDirectory() {
    return fixture::ownDirectory() + "doubles\\";
}

void writeText(const std::string& path, const std::string& text) {
    ASSERT_TRUE(fixture::writeFile(path, text)) << path;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A copy of a double inside directory (made with its parents).
std::string install(const std::string& name, const std::string& directory) {
    for (size_t at = directory.find('\\', 3); at != std::string::npos; at = directory.find('\\', at + 1))
        CreateDirectoryA(directory.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(directory.c_str(), nullptr);
    std::string path = directory + "\\" + name;
    EXPECT_TRUE(CopyFileA((doublesDirectory() + name).c_str(), path.c_str(), FALSE)) << path;
    return path;
}

struct ChildRun {
    bool ended;
    DWORD exitCode;
};

// Generous for a process start under Wine; a run that ends at all ends well within it.
constexpr DWORD kRunMilliseconds = 30000;
// Long enough to tell a hanging run from one that ends at once, once it has written its output.
constexpr DWORD kHangMilliseconds = 1000;
constexpr DWORD kPollMilliseconds = 50;

// Starts commandLine with standard error going to errorFile, the way the launcher runs "-version",
// and gives it waitMilliseconds to end; a run still going then is terminated. With awaitedOutput,
// the time starts once the error file holds that text, so a slow start is not taken for a hang.
ChildRun runWithStandardError(const std::string& commandLine, const std::string& errorFile,
                              DWORD waitMilliseconds, const std::string& awaitedOutput = {}) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE error =
        CreateFileA(errorFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(error, INVALID_HANDLE_VALUE);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = error;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(error);
    EXPECT_TRUE(started) << commandLine << " (error " << GetLastError() << ")";
    if (!started)
        return {false, 0};
    for (DWORD waited = 0;
         !awaitedOutput.empty() && readFile(errorFile) != awaitedOutput && waited < kRunMilliseconds;
         waited += kPollMilliseconds) {
        if (WaitForSingleObject(process.hProcess, kPollMilliseconds) == WAIT_OBJECT_0)
            break;
    }
    ChildRun run{WaitForSingleObject(process.hProcess, waitMilliseconds) == WAIT_OBJECT_0, 0};
    if (!run.ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

TEST(JavaDouble, WritesItsTextEndsWithItsCodeAndRecordsEachRun) {
    fixture::ScratchDirectory scratch;
    const std::string java = install("java.exe", scratch / "jre with blanks\\bin");
    const std::string control = scratch / "jre with blanks\\bin\\java-double.txt";
    const std::string errors = scratch / "stderr.txt";
    const std::string commandLine = "\"" + java + "\" -version";
    struct JavaCase {
        std::string control;
        DWORD exitCode;
        std::string standardError;
    };
    const JavaCase cases[] = {
        {"0\njava version \"1.8.0_392\"\r\nJava(TM) SE Runtime Environment\r\n", 0,
         "java version \"1.8.0_392\"\r\nJava(TM) SE Runtime Environment\r\n"},
        {"1\r\nError: could not open `jvm.cfg'\n", 1, "Error: could not open `jvm.cfg'\n"},
        {"3", 3, ""},
        {"-1\n", static_cast<DWORD>(-1), ""},
    };
    std::string runs;
    for (const JavaCase& c : cases) {
        writeText(control, c.control);
        ChildRun run = runWithStandardError(commandLine, errors, kRunMilliseconds);
        EXPECT_TRUE(run.ended) << c.control;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.control;
        EXPECT_EQ(readFile(errors), c.standardError) << c.control;
        runs += commandLine + "\r\n";
    }
    EXPECT_EQ(readFile(scratch / "jre with blanks\\bin\\java-runs.txt"), runs);

    DeleteFileA(control.c_str());
    ChildRun uninstructed = runWithStandardError(commandLine, errors, kRunMilliseconds);
    EXPECT_EQ(uninstructed.exitCode, 2u);
    EXPECT_NE(readFile(errors).find("java-double.txt"), std::string::npos);
}

TEST(JavaDouble, HangsWhenToldAndIsRecordedBeforeIt) {
    fixture::ScratchDirectory scratch;
    const std::string java = install("java.exe", scratch / "bin");
    writeText(scratch / "bin\\java-double.txt", "hang\npartial output\n");
    const std::string commandLine = "\"" + java + "\" -version";
    ChildRun run =
        runWithStandardError(commandLine, scratch / "stderr.txt", kHangMilliseconds, "partial output\n");
    EXPECT_FALSE(run.ended);
    EXPECT_EQ(readFile(scratch / "stderr.txt"), "partial output\n");
    EXPECT_EQ(readFile(scratch / "bin\\java-runs.txt"), commandLine + "\r\n");
}

TEST(UnpackDouble, RestoresTheArchiveAndRemovesThePackedFileOnlyWithR) {
    struct UnpackCase {
        const char* options;
        bool packRemains;
    };
    const UnpackCase cases[] = {{"-r ", false}, {"", true}};
    const std::string packedBytes("packed\0\x01\xff bytes", 16);
    for (const UnpackCase& c : cases) {
        fixture::ScratchDirectory scratch;
        const std::string unpacker = install("unpack200.exe", scratch / "my jre\\bin");
        CreateDirectoryA((scratch / "my jre\\lib").c_str(), nullptr);
        const std::string packed = scratch / "my jre\\lib\\rt.jar.pack";
        const std::string archive = scratch / "my jre\\lib\\rt.jar";
        writeText(packed, packedBytes);
        std::string commandLine =
            "\"" + unpacker + "\" " + c.options + "\"" + packed + "\" \"" + archive + "\"";
        ChildRun run = runWithStandardError(commandLine, scratch / "stderr.txt", kRunMilliseconds);
        EXPECT_EQ(run.exitCode, 0u) << commandLine;
        EXPECT_EQ(readFile(archive), packedBytes) << commandLine;
        EXPECT_EQ(exists(packed), c.packRemains) << commandLine;
        EXPECT_EQ(readFile(scratch / "my jre\\bin\\unpack200-runs.txt"), commandLine + "\r\n");

        DeleteFileA(packed.c_str());
        DeleteFileA(archive.c_str());
        ChildRun missing = runWithStandardError(commandLine, scratch / "stderr.txt", kRunMilliseconds);
        EXPECT_EQ(missing.exitCode, 1u) << commandLine;
        EXPECT_FALSE(exists(archive)) << commandLine;
    }
}

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

TEST(VmLibraryDouble, LoadsByFullPathRecordsItAndResolvesUndecoratedEntries) {
    fixture::ScratchDirectory scratch;
    const std::string library = install("jvm.dll", scratch / "jre\\bin\\client");
    HMODULE module = LoadLibraryA(library.c_str());
    ASSERT_NE(module, nullptr) << library << " (error " << GetLastError() << ")";

    std::string loads = readFile(scratch / "jre\\bin\\client\\jvm-loads.txt");
    EXPECT_EQ(CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, loads.c_str(), -1,
                             (library + "\r\n").c_str(), -1),
              CSTR_EQUAL)
        << loads;

    EXPECT_NE(GetProcAddress(module, "JNI_CreateJavaVM"), nullptr);
    EXPECT_NE(GetProcAddress(module, "JNI_GetDefaultJavaVMInitArgs"), nullptr);
    EXPECT_NE(GetProcAddress(module, "JNI_GetCreatedJavaVMs"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "JNI_CreateJavaVM@12"), nullptr);
    FreeLibrary(module);
}

// A runtime laid out only to be found has no vm_double.cfg: its VM cannot be created. With the file,
// the library is the whole VM double and creates the VM the file describes.
TEST(VmLibraryDouble, CreatesAVmOnlyWhenItsConfigurationIsBesideIt) {
    struct CreateCase {
        const char* configuration;  // null: no vm_double.cfg
        jint result;
    };
    const CreateCase cases[] = {
        {nullptr, JNI_ERR},
        {"", JNI_OK},
        {"create_result -4\n", JNI_ENOMEM},
    };
    for (const CreateCase& c : cases) {
        const std::string told = c.configuration != nullptr ? c.configuration : "(none)";
        fixture::ScratchDirectory scratch;
        const std::string library = install("jvm.dll", scratch / "jre\\bin\\server");
        if (c.configuration != nullptr)
            writeText(scratch / "jre\\bin\\server\\vm_double.cfg", c.configuration);
        HMODULE module = LoadLibraryA(library.c_str());
        ASSERT_NE(module, nullptr) << library << " (error " << GetLastError() << ")";
        auto create = reinterpret_cast<CreateJavaVm>(GetProcAddress(module, "JNI_CreateJavaVM"));
        ASSERT_NE(create, nullptr);

        JavaVMOption option{const_cast<char*>("-Xrs"), nullptr};
        JavaVMInitArgs args{JNI_VERSION_1_2, 1, &option, JNI_FALSE};
        JavaVM* vm = reinterpret_cast<JavaVM*>(&scratch);
        void* environment = &scratch;
        EXPECT_EQ(create(&vm, &environment, &args), c.result) << told;
        EXPECT_EQ(vm != nullptr, c.result == JNI_OK) << told;
        EXPECT_EQ(environment != nullptr, c.result == JNI_OK) << told;
        EXPECT_EQ(readFile(scratch / "jre\\bin\\server\\vm_double.record")
                      .find("create version=0x10002 ignoreUnrecognized=0 options=1\noption 0 -Xrs\n"),
                  0u)
            << told;
        FreeLibrary(module);
    }
}

}  // namespace
