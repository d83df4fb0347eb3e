// What the VM prints on its way to the log and the standard-error file: the log's lines, and when the
// text is kept, written afresh or appended.
#include "launch/vm_output_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace brolt {
namespace {

using Lines = std::vector<std::string>;

TEST(VmOutputLogLines, PrintsInPiecesBecomeWholeLines) {
    const std::string longLine(kLogLineLimit + 10, 'x');
    struct Case {
        const char* what;
        std::vector<std::string_view> prints;
        Lines lines;       // from all the prints
        std::string last;  // what the end still gives
    };
    const Case cases[] = {
        {"the VM's failed start",
         {"Error occurred during initialization of VM\n", "Too small maximum heap", "\n"},
         {"Error occurred during initialization of VM", "Too small maximum heap"},
         ""},
        {"a line in pieces", {"Err", "or: x", "\r\n"}, {"Error: x"}, ""},
        {"returns before the line end", {"a\r\r\nb\r\r"}, {"a"}, "b"},
        {"empty lines and line ends alone", {"\n\r\n", "a\n\n", "\r\n"}, {"a"}, ""},
        {"a carriage return inside a line stays", {"a\rb\n"}, {"a\rb"}, ""},
        {"no line end at the end", {"one\ntwo"}, {"one"}, "two"},
        {"a line end split from its return", {"a\r", "\nb\r"}, {"a"}, "b"},
        {"a line past the limit in pieces",
         {longLine, "\n"},
         {longLine.substr(0, kLogLineLimit), std::string(10, 'x')},
         ""},
        {"nothing", {}, {}, ""},
    };
    for (const Case& c : cases) {
        std::string pending;
        Lines lines;
        for (std::string_view print : c.prints) {
            Lines taken = takeLogLines(pending, print);
            lines.insert(lines.end(), taken.begin(), taken.end());
        }
        EXPECT_EQ(lines, c.lines) << c.what;
        EXPECT_EQ(takeLastLogLine(pending), c.last) << c.what;
        EXPECT_EQ(pending, "") << c.what;
    }
}

// One step of the output's life: a print, or the release of what was kept.
struct Step {
    enum Kind { Print, JavaSideRan, JavaSideNeverRuns } kind;
    std::string_view text;
};

// The writes the steps make, as "afresh: <text>" or "append: <text>".
Lines writesOf(VmOutput output, const std::vector<Step>& steps) {
    Lines writes;
    for (const Step& step : steps) {
        PendingWrite write = step.kind == Step::Print ? printed(output, step.text)
                                                      : releaseKept(output, step.kind == Step::JavaSideRan);
        if (!write.text.empty())
            writes.push_back((write.mode == OutputWrite::StartAfresh ? "afresh: " : "append: ") + write.text);
    }
    return writes;
}

TEST(VmOutputKeeping, KeptUntilTheJavaSideHadItsChanceThenWrittenAtOnce) {
    const Step print1{Step::Print, "one\n"};
    const Step print2{Step::Print, "two\n"};
    const Step ran{Step::JavaSideRan, ""};
    const Step never{Step::JavaSideNeverRuns, ""};
    struct Case {
        const char* what;
        bool toFile;
        bool append;
        std::vector<Step> steps;
        Lines writes;
    };
    const Case cases[] = {
        {"creation fails, afresh", true, false, {print1, print2, never}, {"afresh: one\ntwo\n"}},
        {"creation fails, appending", true, true, {print1, never}, {"append: one\n"}},
        {"after main, behind what the Java side wrote",
         true,
         false,
         {print1, ran, print2},
         {"append: one\n", "append: two\n"}},
        {"a second release has nothing left",
         true,
         false,
         {print1, never, never, print2},
         {"afresh: one\n", "append: two\n"}},
        // A launch that stops before main with nothing printed leaves the file alone until a print comes.
        {"nothing kept: the first later print starts afresh",
         true,
         false,
         {never, print1, print2},
         {"afresh: one\n", "append: two\n"}},
        {"nothing kept before main: the Java side started the file",
         true,
         false,
         {ran, print1},
         {"append: one\n"}},
        {"not redirected: written at once",
         false,
         false,
         {print1, never, print2},
         {"append: one\n", "append: two\n"}},
        // The VM prints a line in pieces; the Java side may append between them.
        {"after main, whole lines only",
         true,
         false,
         {ran, {Step::Print, "[gc] "}, {Step::Print, "GC(0) Pause"}, {Step::Print, " 1M\nnext "}, never},
         {"append: [gc] GC(0) Pause 1M\n", "append: next "}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(writesOf(startVmOutput(c.toFile, c.append), c.steps), c.writes) << c.what;
}

TEST(VmOutputKeeping, PastTheLimitTheLatestTextStaysFromALineStart) {
    VmOutput output = startVmOutput(true, true);
    const std::string line = std::string(99, 'a') + "\n";
    std::string all;
    for (int i = 0; all.size() <= kKeptOutputLimit + 2 * line.size(); ++i) {
        std::string numbered = std::to_string(i) + line;
        all += numbered;
        EXPECT_EQ(printed(output, numbered).text, "");
        EXPECT_LE(output.kept.size(), kKeptOutputLimit);
    }
    all += "the error";
    printed(output, "the error");
    const std::string kept = output.kept;
    ASSERT_GT(output.leftOut, 0u);
    EXPECT_EQ(all.substr(output.leftOut), kept);
    EXPECT_EQ(all[output.leftOut - 1], '\n');

    PendingWrite write = releaseKept(output, false);
    EXPECT_EQ(write.text,
              "(" + std::to_string(all.size() - kept.size()) + " bytes of earlier output left out)\n" + kept);

    // One print larger than the limit keeps its end even without a line end to cut at.
    VmOutput big = startVmOutput(true, false);
    const std::string huge(2 * kKeptOutputLimit, 'h');
    printed(big, huge + "end");
    EXPECT_LE(big.kept.size(), kKeptOutputLimit);
    EXPECT_EQ(big.kept.substr(big.kept.size() - 4), "hend");
}

TEST(VmOutputStreams, TheCLibraryTheVmPrintsWith) {
    struct Case {
        std::vector<std::string> imports;
        CLibraryKind kind;
        const char* module;
    } cases[] = {
        {{"KERNEL32.dll", "api-ms-win-crt-stdio-l1-1-0.dll", "VCRUNTIME140.dll"},
         CLibraryKind::Universal,
         "ucrtbase.dll"},
        {{"ucrtbase.dll"}, CLibraryKind::Universal, "ucrtbase.dll"},
        {{"KERNEL32.dll", "MSVCR100.dll"}, CLibraryKind::Classic, "MSVCR100.dll"},
        {{"msvcrt.dll", "USER32.dll"}, CLibraryKind::Classic, "msvcrt.dll"},
        {{"MSVCR100D.dll", "msvcrtx.dll", "msvcr.dll", "KERNEL32.dll"}, CLibraryKind::Unknown, ""},
        {{}, CLibraryKind::Unknown, ""},
    };
    for (const Case& c : cases) {
        CLibrary library = vmCLibrary(c.imports);
        EXPECT_EQ(library.kind, c.kind) << testing::PrintToString(c.imports);
        EXPECT_EQ(library.module, c.module) << testing::PrintToString(c.imports);
    }
}

}  // namespace
}  // namespace brolt
