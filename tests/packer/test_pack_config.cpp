#include <gtest/gtest.h>

#include <optional>

#include "pack_config.h"
#include "pack_error.h"
#include "stream_writer.h"
#include "temp_dir.h"

namespace brolt::pack {
namespace {

using testing::TempDir;

StreamContent parse(const TempDir& dir, std::string_view toml,
                    const std::optional<std::filesystem::path>& runtimeJar = std::nullopt) {
    return parsePackConfiguration(toml, dir.path / "app.toml", runtimeJar);
}

TEST(PackConfiguration, MapsReadableNamesAndRawKeysToNarrowRecords) {
    struct Case {
        const char* toml;
        int32_t key;
        std::string expected;
    };
    const Case cases[] = {
        {"[service]\nname = \"MySvc\"", 101, "MySvc"},
        {"service.name = \"Dotted\"", 101, "Dotted"},
        {"[java]\nmin_version = \"1.8\"", 126, "1.8"},
        {"[output]\nredirect_stderr = true", 102, "1"},
        {"[java]\nallow_prerelease = false", 130, "0"},
        {"[launcher]\nexecutable_type = 4", 107, "4"},
        // The class path and the search as paths and words; their letter forms under the raw names.
        {"[java]\nclass_path = [\"app.jar\", \"lib/*\", \"classes/\", \"env:X\", { path = \"must.jar\", "
         "required = true }, { path = \"A1.jar\", required = false }]",
         121, "A0app.jar;S0lib;D0classes;E0X;A1must.jar;A0A1.jar"},
        {"[java]\nclass_path = \"lib/*\"", 121, "S0lib"},
        {"[java]\nclass_path = { path = \"app.jar\", required = true }", 121, "A1app.jar"},
        {"[java]\nclass_path_raw = [\"A1app.jar\", \"D0lib\"]", 121, "A1app.jar;D0lib"},
        {"[java]\nsearch = [\"jre\", \"C:/java\", \"env:JAVA_HOME\", \"registry\", \"path\"]", 128,
         "Bjre;AC:\\java;EJAVA_HOME;Y;S"},
        {"[java]\nsearch_sequence = ['B.\\jre', \"Y\"]", 128, "B.\\jre;Y"},
        {"[service]\ndependencies = [\"Tcpip\", \"Dnscache\"]", 149, "Tcpip,Dnscache"},
        {"[launcher]\nsearch_path = \"lib;bin\"", 10004, "lib;bin"},
        {"[output]\nrotate_bytes = 100000", 30008, "100000"},
        {"[output]\nkeep = 3", 30009, "3"},
        {"[raw]\n101 = \"Raw\"", 101, "Raw"},
        {"[raw]\n99999 = 7", 99999, "7"},
        {"[raw]\n\"-3\" = \"negative keys too\"", -3, "negative keys too"},
        {"[messages]\ncaption = \"Café €\"", 1000, "Caf\xE9 \x80"},
        {"[messages]\ninternal_error = \"Fehler {0}\"", 1009, "Fehler {0}"},
        {"[raw]\n1015 = \"Admin only\"", 1015, "Admin only"},
        {"[service]\naccount = \"NT SERVICE\\\\MySvc\"", 30003, "NT SERVICE\\MySvc"},
        {"[service]\nstart = \"delayed-auto\"", 30005, "delayed-auto"},
        // A table inside a table, and the same key written dotted.
        {"[service.recovery]\nrestart_delays = [10, 60, 300]", 30006, "10;60;300"},
        {"[service]\nrecovery.restart_delays = []", 30006, ""},
        {"[service.recovery]\nrestart_delays = \"5;5\"", 30006, "5;5"},
        {"[service.recovery]\nreset_after = 86400", 30007, "86400"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const StreamContent content = parse(dir, c.toml);
        ASSERT_TRUE(content.narrow.contains(c.key)) << c.toml;
        EXPECT_EQ(content.narrow.at(c.key), c.expected) << c.toml;
        EXPECT_TRUE(content.wide.empty()) << c.toml;
    }
}

// An editor on Windows may save the file with a byte order mark and CRLF line ends.
TEST(PackConfiguration, ReadsAByteOrderMarkAndCrlfLineEndsAsThePlainFile) {
    TempDir dir;
    dir.write("data/a.txt", "included");
    const std::string plain =
        "# comment\n[service]\nname = \"MySvc\"\ndescription = \"\"\"first\nsecond\"\"\"\n"
        "[java]\nclass_path = [\n  \"lib/*\",\n  \"app.jar\",\n]\n[include]\nfiles = [\"data/a.txt\"]\n";
    const std::string bad = "[service]\nname = \"x\"\n  nmae = 1\n";
    auto variant = [](std::string text, bool bom, bool crlf) {
        std::string out = bom ? "\xEF\xBB\xBF" : "";
        for (const char c : text)
            out += crlf && c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    const std::vector<uint8_t> expected = encodeStream(parse(dir, plain), 512);
    for (const auto& [bom, crlf] : {std::pair{true, false}, {false, true}, {true, true}}) {
        EXPECT_EQ(encodeStream(parse(dir, variant(plain, bom, crlf)), 512), expected) << bom << crlf;
        try {
            parse(dir, variant(bad, bom, crlf));
            ADD_FAILURE() << "accepted an unknown key";
        } catch (const PackError& error) {
            EXPECT_EQ(error.problem().line, 3) << bom << crlf;
            EXPECT_EQ(error.problem().column, 3) << bom << crlf;
        }
    }
}

TEST(PackConfiguration, MapsTheDescriptionAndWideRawKeysToWideRecords) {
    TempDir dir;
    const StreamContent content = parse(dir, "[service]\ndescription = \"Dienst 日本\"\n[raw]\nw7 = 5\n");
    EXPECT_EQ(content.wide.at(20017), u"Dienst \u65E5\u672C");
    EXPECT_EQ(content.wide.at(7), u"5");
    EXPECT_FALSE(content.narrow.contains(20017));
    EXPECT_FALSE(content.narrow.contains(7));
}

TEST(PackConfiguration, WritesEveryMessageTextWithEnglishDefaults) {
    TempDir dir;
    const StreamContent defaults = parse(dir, "");
    EXPECT_EQ(defaults.narrow.size(), 22u);
    for (int32_t key = 1000; key <= 1021; ++key) {
        ASSERT_TRUE(defaults.narrow.contains(key)) << key;
        EXPECT_FALSE(defaults.narrow.at(key).empty()) << key;
    }
    EXPECT_EQ(defaults.narrow.at(1007), "Wrong Parameter Usage");
    EXPECT_EQ(defaults.narrow.at(1009), "An internal error occurred. Error code: {0}");
    EXPECT_EQ(defaults.narrow.at(1015), "You must be at least Poweruser to run this program.");
    EXPECT_EQ(defaults.narrow.at(1016), "No Java VM found. A {0}-bit Java runtime is required.");

    const StreamContent overridden =
        parse(dir, "[messages]\nno_vm_bits = \"Kein Java\"\n[raw]\n1000 = \"Fehler\"");
    EXPECT_EQ(overridden.narrow.at(1016), "Kein Java");
    EXPECT_EQ(overridden.narrow.at(1000), "Fehler");
    EXPECT_EQ(overridden.narrow.at(1007), "Wrong Parameter Usage");
}

TEST(PackConfiguration, StoresIncludedFilesUnderTheirBaseNames) {
    TempDir dir;
    dir.write("a.txt", "hello");
    dir.write("sub/b.bin", std::vector<uint8_t>{0, 1, 255});
    const StreamContent content = parse(dir, "[include]\nfiles = [\"a.txt\", \"sub/b.bin\"]\n");
    ASSERT_EQ(content.files.size(), 2u);
    EXPECT_EQ(content.files[0].name, "a.txt");
    EXPECT_EQ(content.files[0].content, (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(content.files[1].name, "b.bin");
    EXPECT_EQ(content.files[1].content, (std::vector<uint8_t>{0, 1, 255}));
    EXPECT_EQ(content.narrow.at(2002), "2");
    EXPECT_EQ(content.narrow.at(2003), "a.txt;b.bin");
}

TEST(PackConfiguration, ReportsEveryProblemWithItsLine) {
    struct Case {
        const char* toml;
        int line;
        int column;  // 0: not checked
        const char* expected;
    };
    const Case cases[] = {
        {"[service]\nname = \"unterminated\n", 2, 0, ""},
        {"[service]\nname = \"a\"\nname = \"b\"\n", 3, 0, "name"},
        {"[service]\nnmae = \"x\"", 2, 1, "unknown key \"service.nmae\""},
        {"[service.extra]\nx = 1", 2, 1, "unknown key \"service.extra.x\""},
        {"[service]\nrecovery = 5", 2, 1, "unknown key \"service.recovery\""},
        {"name = \"x\"", 1, 1, "unknown key \"name\""},
        {"[service]\nname = \"日本\"", 2, 8, "service.name: character U+65E5 \"日\" cannot be stored"},
        {"[raw]\n101 = \"€ ok, 日 not\"", 2, 7, "[raw] 101: character U+65E5"},
        {"[service]\nname = \"a\"\n[raw]\n101 = \"b\"", 4, 7,
         "key 101 is set twice: as [raw] 101 and as service.name (line 2)"},
        {"[raw]\n101 = \"b\"\n[service]\nname = \"a\"", 4, 8,
         "key 101 is set twice: as service.name and as [raw] 101"},
        {"[service]\ndescription = \"a\"\n[raw]\nw20017 = \"b\"", 4, 0, "key w20017 is set twice"},
        {"[raw]\nabc = \"x\"", 2, 1, "[raw] key \"abc\" is not a key number"},
        {"[raw]\n99999999999 = \"x\"", 2, 1, "is not a key number"},
        {"[raw]\n101 = true", 2, 7, "expected a string or an integer"},
        {"[output]\nredirect_stderr = \"yes\"", 2, 19, "output.redirect_stderr: expected true or false"},
        {"[java]\nmin_version = 1.8", 2, 15, "java.min_version: expected a string"},
        {"[launcher]\nexecutable_type = \"1\"", 2, 0, "expected an integer"},
        {"[service]\ndependencies = [\"a\", \"b,c\"]", 2, 22, "contains the list separator ','"},
        {"[java]\nclass_path = [\"x\", 3]", 2, 20, "java.class_path: every entry must be a string or { path"},
        {"[java]\nclass_path = 5", 2, 14, "java.class_path: expected an array of entries"},
        {"[java]\nclass_path = [\"app.jar\", \"A1app.jar\"]", 2, 26,
         "\"A1app.jar\" is in the letter form; write { path = \"app.jar\", required = true } (or keep the "
         "letter "
         "forms under java.class_path_raw); an archive of that name is written \"./A1app.jar\""},
        {"[java]\nclass_path = [\"lib/*.jar\"]", 2, 15,
         "\"lib/*.jar\" matches no form (it holds '*'); the forms are"},
        {"[java]\nclass_path = [{ path = \"a.jar\", reqired = true }]", 2, 43, "not reqired"},
        {"[java]\nclass_path = [{ path = \"a.jar\", required = \"yes\" }]", 2, 0, "not required"},
        {"[java]\nclass_path = [{ required = true }]", 2, 15, "needs path"},
        {"[java]\nsearch = [\"jre\", \"ENV:JAVA_HOME\"]", 2, 18,
         "java.search: \"ENV:JAVA_HOME\" matches no form (it holds ':'); the forms are \"jre\""},
        {"[java]\nsearch = [\"jre\", 1]", 2, 18, "java.search: every entry must be a string"},
        {"[java]\nsearch = [\"jre\"]\nsearch_sequence = \"Y\"", 3, 19, "key 128 is set twice"},
        {"[service.recovery]\nrestart_delays = [10, \"60\"]", 2, 23,
         "service.recovery.restart_delays: every entry must be an integer"},
        {"[service.recovery]\nrestart_delays = 10", 2, 18, "expected an array of integers or a string"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        try {
            parse(dir, c.toml);
            ADD_FAILURE() << c.toml << ": accepted";
        } catch (const PackError& error) {
            const Problem& problem = error.problem();
            EXPECT_EQ(problem.file, (dir.path / "app.toml").string());
            EXPECT_EQ(problem.line, c.line) << c.toml << "\n" << error.what();
            if (c.column != 0) {
                EXPECT_EQ(problem.column, c.column) << c.toml << "\n" << error.what();
            }
            EXPECT_NE(problem.text.find(c.expected), std::string::npos) << c.toml << "\n" << error.what();
        }
    }
}

TEST(PackConfiguration, RefusesIncludedFilesThatCannotBeStored) {
    TempDir dir;
    dir.write("a.txt", "1");
    dir.write("sub/a.txt", "2");
    dir.write("sub/A.TXT", "3");
    dir.write("x;y.txt", "4");
    dir.write("日.txt", "5");
    struct Case {
        const char* files;
        const char* expected;
    };
    const Case cases[] = {
        {"[\"a.txt\", \"nope.txt\"]", "nope.txt: cannot open: No such file or directory"},
        {"[\"a.txt\", \"sub/a.txt\"]", "file name \"a.txt\" is given twice (also on line 2)"},
        {"[\"a.txt\", \"sub/A.TXT\"]", "file name \"A.TXT\" is given twice"},
        {"[\"x;y.txt\"]", "\"x;y.txt\" contains ';'"},
        {"[\"sub\"]", "cannot read: Is a directory"},
        {"[\"sub/\"]", "does not name a file"},
        {"[\"nul.bin\"]", "\"nul.bin\" is not a valid Windows file name (it names a device)"},
        {"[\"a.\"]", "\"a.\" is not a valid Windows file name (it ends in a dot or a blank)"},
        {"[\"日.txt\"]", "include.files: character U+65E5"},
        {"[1]", "every entry must be a string"},
    };
    for (const Case& c : cases) {
        const std::string toml = std::string("[include]\nfiles = ") + c.files + "\n";
        try {
            parse(dir, toml);
            ADD_FAILURE() << c.files << ": accepted";
        } catch (const PackError& error) {
            EXPECT_EQ(error.problem().line, 2) << c.files;
            EXPECT_NE(error.problem().text.find(c.expected), std::string::npos) << c.files << "\n"
                                                                                << error.what();
        }
    }
}

TEST(PackConfiguration, RefusesIncludeKeysSetByHandBesideIncludedFiles) {
    TempDir dir;
    dir.write("a.txt", "1");
    const char* cases[] = {
        "[include]\nfiles = [\"a.txt\"]\ncount = 1\n",
        "[raw]\n2003 = \"a.txt\"\n[include]\nfiles = [\"a.txt\"]\n",
    };
    for (const char* toml : cases) {
        EXPECT_THROW(
            {
                try {
                    parse(dir, toml);
                } catch (const PackError& error) {
                    EXPECT_NE(std::string(error.what()).find("is written from include.files"),
                              std::string::npos)
                        << error.what();
                    throw;
                }
            },
            PackError)
            << toml;
    }
    // Without included files the keys are the author's, e.g. to build a launcher for a failure test.
    EXPECT_EQ(parse(dir, "[raw]\n2002 = 3\n").narrow.at(2002), "3");
}

TEST(PackConfiguration, AddsTheRuntimeArchiveAfterTheConfiguredFilesUnlessTurnedOff) {
    TempDir dir;
    dir.write("a.txt", "1");
    const auto jar = dir.write("build/brolt-runtime.jar", "PK runtime");
    const auto missing = dir.path / "nowhere" / "brolt-runtime.jar";
    struct Case {
        const char* toml;
        std::filesystem::path jar;
        const char* names;  // key 2003; empty: no included files at all
    };
    const Case cases[] = {
        {"", jar, "brolt-runtime.jar"},
        {"[include]\nfiles = [\"a.txt\"]\n", jar, "a.txt;brolt-runtime.jar"},
        {"[include]\nruntime = true\nfiles = []\n", jar, "brolt-runtime.jar"},
        {"[include]\nruntime = false\nfiles = [\"a.txt\"]\n", missing, "a.txt"},
        {"[include]\nruntime = false\n", missing, ""},
    };
    for (const Case& c : cases) {
        const StreamContent content = parse(dir, c.toml, c.jar);
        std::string names;
        for (const IncludedFile& file : content.files)
            names += (names.empty() ? "" : ";") + file.name;
        EXPECT_EQ(names, c.names) << c.toml;
        if (names.empty()) {
            EXPECT_FALSE(content.narrow.contains(2002)) << c.toml;
            EXPECT_FALSE(content.narrow.contains(2003)) << c.toml;
            continue;
        }
        EXPECT_EQ(content.narrow.at(2003), c.names) << c.toml;
        EXPECT_EQ(content.narrow.at(2002), std::to_string(content.files.size())) << c.toml;
        if (c.jar == jar) {
            EXPECT_EQ(std::string(content.files.back().content.begin(), content.files.back().content.end()),
                      "PK runtime");
        }
    }
}

TEST(PackConfiguration, RefusesARuntimeArchiveThatCannotBeAdded) {
    TempDir dir;
    const auto jar = dir.write("brolt-runtime.jar", "PK");
    const auto missing = dir.path / "nowhere" / "brolt-runtime.jar";
    struct Case {
        const char* toml;
        std::filesystem::path jar;
        int line;
        std::string expected;
    };
    const Case cases[] = {
        {"", missing, 0, "the runtime archive cannot be read (" + missing.string() + ": cannot open"},
        {"", missing, 0, "set [include] runtime = false to leave the runtime archive out"},
        {"[include]\nruntime = \"no\"\n", jar, 2, "include.runtime: expected true or false"},
        {"[include]\nfiles = [\"Brolt-Runtime.jar\"]\n", dir.write("Brolt-Runtime.jar", "own"), 2,
         "\"Brolt-Runtime.jar\" is the runtime archive every launcher carries"},
        {"[raw]\n2002 = 3\n", jar, 2, "[raw] 2002: key 2002 is written for the included runtime archive"},
    };
    for (const Case& c : cases) {
        try {
            parse(dir, c.toml, c.jar);
            ADD_FAILURE() << c.toml << ": accepted";
        } catch (const PackError& error) {
            EXPECT_EQ(error.problem().line, c.line) << c.toml << "\n" << error.what();
            EXPECT_NE(error.problem().text.find(c.expected), std::string::npos) << c.toml << "\n"
                                                                                << error.what();
        }
    }
}

}  // namespace
}  // namespace brolt::pack
