#include <gtest/gtest.h>

#include "entry_forms.h"
#include "jvm/search_rules.h"
#include "launch/vm_option_rules.h"

namespace brolt::pack {
namespace {

// Each stored entry is read back with the launcher's own parser: the type it sees is the one meant.
TEST(EntryForms, ClassPathEntriesReachTheLauncherAsTheirType) {
    struct Case {
        const char* text;
        bool required;
        char type;
        const char* value;
    };
    const Case cases[] = {
        {"lib/*", false, 'S', "lib"},
        {"lib\\sub\\*", true, 'S', "lib\\sub"},
        {"*", false, 'S', "."},
        {"classes/", false, 'D', "classes"},
        {"out/classes//", true, 'D', "out\\classes"},
        {"C:/", false, 'D', "C:\\"},
        {"env:APP_CP", false, 'E', "APP_CP"},
        {"env:APP_CP", true, 'E', "APP_CP"},
        {"app.jar", true, 'A', "app.jar"},
        {"C:/Program Files/Müller/app.jar", false, 'A', "C:\\Program Files\\Müller\\app.jar"},
        {"%APP_HOME%/app.jar", false, 'A', "%APP_HOME%\\app.jar"},
        {"./A1app.jar", false, 'A', ".\\A1app.jar"},
        {"\\\\server\\share\\app.jar", false, 'A', "\\\\server\\share\\app.jar"},
    };
    for (const Case& c : cases) {
        const EntryForm form = classPathEntryForm(c.text, c.required);
        ASSERT_EQ(form.problem, "") << c.text;
        const std::vector<ClassPathEntry> read = parseClassPathEntries(form.stored);
        ASSERT_EQ(read.size(), 1u) << c.text << " stored as " << form.stored;
        EXPECT_EQ(read[0].type, c.type) << c.text;
        EXPECT_EQ(read[0].required, c.required) << c.text;
        EXPECT_EQ(read[0].value, c.value) << c.text;
    }
}

// Each stored entry is read back with the launcher's own rules: the place it sees is the one meant, and
// only a folder beside the launcher is tried again without the version check when nothing qualified. An
// absolute folder holds some other runtime, which must always be of a version in the range.
TEST(EntryForms, SearchEntriesReachTheLauncherAsTheirPlace) {
    struct Case {
        const char* text;
        jvm::CandidateCheck check;
        const char* value;
        bool triedUnchecked;  // in the relative fallback pass
    };
    const Case cases[] = {
        {"jre", jvm::CandidateCheck::Directory, "jre", true},
        {"./jre/", jvm::CandidateCheck::Directory, ".\\jre", true},
        {"..\\runtimes\\x64", jvm::CandidateCheck::Directory, "..\\runtimes\\x64", true},
        {"./registry", jvm::CandidateCheck::Directory, ".\\registry", true},
        // A leading separator without a drive is still below the launcher's folder.
        {"/jre", jvm::CandidateCheck::Directory, "\\jre", true},
        {"C:/java/jdk-21", jvm::CandidateCheck::Directory, "C:\\java\\jdk-21", false},
        {"c:\\java\\jre8\\", jvm::CandidateCheck::Directory, "c:\\java\\jre8", false},
        {"C:/", jvm::CandidateCheck::Directory, "C:\\", false},
        {"D:jre", jvm::CandidateCheck::Directory, "D:jre", false},
        {"//server/java/jre", jvm::CandidateCheck::Directory, "\\\\server\\java\\jre", false},
        {"env:JAVA_HOME", jvm::CandidateCheck::EnvironmentVariable, "JAVA_HOME", false},
        {"registry", jvm::CandidateCheck::Registry, "", false},
        {"path", jvm::CandidateCheck::SystemPath, "", false},
    };
    for (const Case& c : cases) {
        const EntryForm form = searchEntryForm(c.text);
        ASSERT_EQ(form.problem, "") << c.text;
        const jvm::SearchSequence read = jvm::parseSearchSequence(form.stored);
        ASSERT_EQ(read.entries.size(), 1u) << c.text << " stored as " << form.stored;
        const jvm::SearchLetter* row = jvm::searchLetter(read.entries[0].letter);
        ASSERT_NE(row, nullptr) << c.text;
        EXPECT_EQ(row->check, c.check) << c.text;
        EXPECT_EQ(read.entries[0].value, c.value) << c.text;
        EXPECT_EQ(static_cast<bool>(jvm::fallbackCandidate(read.entries[0])), c.triedUnchecked)
            << c.text << " stored as " << form.stored;
    }
}

// A word in another case is a slip for the word, not a folder of that name beside the launcher.
TEST(EntryForms, SearchWordsInAnotherCaseAreRefusedWithTheForms) {
    for (const char* text : {"Registry", "REGISTRY", "PATH", "Path", "pAth"}) {
        const EntryForm form = searchEntryForm(text);
        EXPECT_EQ(form.stored, "") << text;
        EXPECT_NE(form.problem.find(kSearchForms), std::string::npos) << text << ": " << form.problem;
        EXPECT_NE(form.problem.find("\"./" + std::string(text) + "\""), std::string::npos) << form.problem;
    }
    // A folder of such a name, as the refusal tells, and the words themselves.
    EXPECT_EQ(searchEntryForm("./Registry").stored, "B.\\Registry");
    EXPECT_EQ(searchEntryForm("PATH/jre").stored, "BPATH\\jre");
    EXPECT_EQ(searchEntryForm("registry").stored, "Y");
}

TEST(EntryForms, RefusesEntriesOfNoFormAndNamesWhy) {
    struct Case {
        const char* text;
        const char* problem;  // a part of the refusal
    };
    const Case cases[] = {
        {"", "names nothing"},
        {"lib/*.jar", "matches no form (it holds '*')"},
        {"lib/*/x", "matches no form"},
        {"ENV:JAVA_HOME", "matches no form (it holds ':')"},
        {"var:JAVA_HOME", "matches no form"},
        {"a?.jar", "matches no form"},
        {"a|b", "matches no form"},
        {"a.jar;b.jar", "separates the entries"},
        {"env:", "names no variable"},
        {"env:A B", "is not a variable name"},
        {"env:A=B", "is not a variable name"},
        {"env:%X%", "is not a variable name"},
    };
    for (const Case& c : cases) {
        for (const EntryForm& form : {classPathEntryForm(c.text, false), searchEntryForm(c.text)}) {
            EXPECT_EQ(form.stored, "") << c.text;
            EXPECT_NE(form.problem.find(c.problem), std::string::npos) << c.text << ": " << form.problem;
        }
    }
    // A path of no form is told the forms that exist, each list its own.
    EXPECT_NE(classPathEntryForm("x*", false).problem.find(kClassPathForms), std::string::npos);
    EXPECT_NE(searchEntryForm("x*").problem.find(kSearchForms), std::string::npos);
}

// The readable entry suggested for a letter-form entry maps back to that very entry.
TEST(EntryForms, SuggestsTheReadableEntryOfALetterFormEntry) {
    struct Case {
        const char* raw;
        const char* readable;
        const char* text;  // the suggestion's path, as classPathEntryForm gets it
        bool required;
    };
    const Case cases[] = {
        {"A1app.jar", "{ path = \"app.jar\", required = true }", "app.jar", true},
        {"A0.\\app.jar", "\".\\\\app.jar\"", ".\\app.jar", false},
        {"S0lib", "\"lib/*\"", "lib/*", false},
        {"S1lib", "{ path = \"lib/*\", required = true }", "lib/*", true},
        {"D0classes", "\"classes/\"", "classes/", false},
        {"E1APP_CP", "{ path = \"env:APP_CP\", required = true }", "env:APP_CP", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readableClassPathEntry(c.raw), c.readable) << c.raw;
        const EntryForm form = classPathEntryForm(c.text, c.required);
        EXPECT_EQ(form.stored, c.raw);
    }
    for (const char* unwritable : {"A0env:X", "A1lib/", "A0a*.jar", "D0ab:c", "E0A=B"})
        EXPECT_EQ(readableClassPathEntry(unwritable), "") << unwritable;
    for (const char* plain : {"app.jar", "lib", "X1app.jar", "A2app.jar", "A1", "Data.jar", "./A1app.jar"})
        EXPECT_EQ(readableClassPathEntry(plain), std::nullopt) << plain;
}

}  // namespace
}  // namespace brolt::pack
