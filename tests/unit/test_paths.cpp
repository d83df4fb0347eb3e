#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "core/long_path.h"
#include "files/paths.h"
#include "stream_fixture.h"

namespace {

const std::string kDir = fixture::ownDirectory();

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string collapsed(const char* text) {
    char buffer[8192];
    strcpy(buffer, text);
    collapseBackslashes(buffer);
    return buffer;
}

TEST(Paths, IsRelativePath) {
    struct Case {
        const char* path;
        bool relative;
    } cases[] = {
        {"C:\\x", false},     {"\\\\host\\share", false},
        {"\"C:\\x\"", false}, {"\"\\\\host\\s\"", false},
        {"\"a\"", true},      {"C:x", true},
        {"\\x", true},        {"C:/x", true},
        {"x\\y", true},       {".", true},
        {"/x", true},         {"", true},
        {"C:", true},         {"\"C:\\", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.relative, isRelativePath(c.path)) << c.path;
    }
}

TEST(Paths, CollapseBackslashesKeepsAUncPrefix) {
    EXPECT_EQ("\\\\host\\share", collapsed("\\\\host\\share"));
    EXPECT_EQ("C:\\dir\\file", collapsed("C:\\\\dir\\\\\\file"));
    EXPECT_EQ("\\\\host\\x\\", collapsed("\\\\\\host\\\\x\\\\"));
    EXPECT_EQ("", collapsed(""));
    EXPECT_EQ("a", collapsed("a"));
    EXPECT_EQ("caf\xe9\\x", collapsed("caf\xe9\\\\x"));
}

TEST(Paths, ModulePathAndLauncherDirectory) {
    EXPECT_EQ(fixture::ownPath(), getModulePath());
    EXPECT_EQ(kDir, getLauncherDirectory());
}

TEST(Paths, ResolveLauncherPath) {
    struct Case {
        const char* path;
        std::string expected;
    } cases[] = {
        {"", kDir},
        {"lib\\a.jar", kDir + "lib\\a.jar"},
        {"lib\\\\a.jar", kDir + "lib\\a.jar"},
        {"D:\\x", "D:\\x"},
        {"\\\\host\\share\\x", "\\\\host\\share\\x"},
    };
    for (const Case& c : cases) {
        char destination[8192];
        resolveLauncherPath(destination, c.path);
        EXPECT_EQ(c.expected, destination) << c.path;
    }
}

TEST(Paths, ResolveLauncherPathCutsWhatDoesNotFit) {
    std::string longName(9000, 'a');
    char destination[8192 + 16];
    memset(destination, '#', sizeof destination);
    resolveLauncherPath(destination, longName.c_str());
    EXPECT_EQ(8191u, strlen(destination));
    EXPECT_EQ('#', destination[8192]);  // nothing written behind the buffer
}

TEST(Paths, GetFullPathNormalisesAndLowerCases) {
    char destination[8192];
    getFullPath(destination, "LIB\\sub\\..\\Ext.JAR", false);
    EXPECT_EQ(lower(kDir) + "lib\\ext.jar", destination);
    getFullPath(destination, "LIB\\.\\Ext.JAR", true);
    EXPECT_EQ(kDir + "LIB\\Ext.JAR", destination);
    // Only A to Z change case; other letters of the code page stay as they are.
    getFullPath(destination, "C:\\\xC9T\xC9\\A", false);
    EXPECT_STREQ("c:\\\xC9t\xC9\\a", destination);
}

TEST(Paths, ResolvePathList) {
    char destination[8192];
    resolvePathList(destination, "a;;b;");
    EXPECT_EQ(kDir + "a;" + kDir + "b", destination);
    resolvePathList(destination, "");
    EXPECT_STREQ("", destination);
    char small[16];
    resolvePathList(small, "C:\\one;C:\\two;C:\\three", sizeof small);
    EXPECT_STREQ("C:\\one;C:\\two;C", small);
}

TEST(Paths, FileExistsAndFindFile) {
    const std::string file = kDir + "exists.txt";
    fixture::writeFile(file, "x");
    struct Case {
        std::string path;
        bool exists;
    } cases[] = {
        {"c:\\", true},
        {"Q:\\", true},  // drive roots answer without asking the disk
        {"c:\\.", true},
        {"c:\\.\\.", true},
        {"c:\\missing", false},
        {file, true},
        {kDir + "exist?.txt", true},
        {"", false},
        {"Z", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.exists, fileExists(c.path.c_str())) << c.path;
    }
    uint64_t written = 0;
    ASSERT_TRUE(findFile(file.c_str(), &written));
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data);
    EXPECT_EQ((uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime,
              written);
    EXPECT_FALSE(findFile((kDir + "missing.txt").c_str(), &written));
    DeleteFileA(file.c_str());
}

TEST(Paths, ListFilesWithExtension) {
    const std::string dir = kDir + "listing";
    CreateDirectoryA(dir.c_str(), nullptr);
    for (const char* name : {"a.jar", "b.JAR", "c.txt"})
        fixture::writeFile(dir + "\\" + name, "x");
    for (const char* extension : {"jar", ".jar"}) {
        std::vector<std::string> names = listFilesWithExtension(dir.c_str(), extension);
        ASSERT_EQ(2u, names.size()) << extension;
        std::set<std::string> found(names.begin(), names.end());
        EXPECT_EQ((std::set<std::string>{"a.jar", "b.JAR"}), found);
    }
    EXPECT_TRUE(listFilesWithExtension(dir.c_str(), "zip").empty());
    for (const char* name : {"a.jar", "b.JAR", "c.txt"})
        DeleteFileA((dir + "\\" + name).c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST(Paths, LongPathNameThroughTheSystemAndThroughTheShell) {
    const std::string longDir = kDir + "A Long Directory Name";
    CreateDirectoryA(longDir.c_str(), nullptr);
    char shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(longDir.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(longDir, shortName);

    char result[8192];
    DWORD length = getLongPathName(shortName, result, sizeof result);
    EXPECT_EQ(longDir.size(), length);
    EXPECT_EQ(longDir, result);

    length = emulateLongPathName(shortName, result, sizeof result);
    EXPECT_EQ(longDir.size(), length);
    EXPECT_EQ(lower(longDir), lower(result));
    strcpy(result, "untouched");
    EXPECT_EQ(longDir.size() + 1, emulateLongPathName(shortName, result, 4));
    EXPECT_STREQ("untouched", result);
    EXPECT_EQ(0u, emulateLongPathName("C:\\no\\such\\file", result, sizeof result));
    RemoveDirectoryA(longDir.c_str());
}

TEST(Paths, ConversionsRefuseWhatTheCodePageCannotHold) {
    char narrow[16];
    EXPECT_TRUE(wideToNarrow(L"caf\x00e9", narrow, sizeof narrow));
    EXPECT_STREQ("caf\xe9", narrow);
    EXPECT_FALSE(wideToNarrow(L"\x65e5\x672c", narrow, sizeof narrow));
    EXPECT_FALSE(wideToNarrow(L"much too long for sixteen", narrow, sizeof narrow));
    wchar_t wide[4];
    EXPECT_FALSE(narrowToWide("too long", wide, 4));
}

}  // namespace
