// Restoring a packed runtime: how one is recognised and the unpacker runs it takes.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "jvm/unpack_rules.h"

namespace jvm = brolt::jvm;

namespace {

TEST(PackedRuntime, RecognisedByItsFirstPackedAndLastRestoredArchive) {
    struct PackedCase {
        std::set<std::string> files;
        bool packed;
    };
    const PackedCase cases[] = {
        {{"c:\\jre\\lib\\rt.jar.pack"}, true},
        {{"c:\\jre\\lib\\rt.jar.pack", "c:\\jre\\lib\\jsse.jar"}, false},
        {{"c:\\jre\\lib\\charsets.jar.pack", "c:\\jre\\lib\\jsse.jar.pack"}, false},
        {{}, false},
    };
    for (const PackedCase& c : cases) {
        auto exists = [&c](const std::string& path) { return c.files.count(path) > 0; };
        EXPECT_EQ(jvm::isPackedRuntime("c:\\jre", exists), c.packed) << c.files.size();
    }
}

TEST(PackedRuntime, OneUnpackerRunPerArchiveInOrder) {
    std::vector<std::string> lines;
    for (const jvm::UnpackStep& step : jvm::unpackSteps("c:\\my jre")) {
        EXPECT_EQ(step.packedFile, step.archive + ".pack");
        ASSERT_TRUE(step.commandLine) << step.commandLine.reason;
        lines.push_back(*step.commandLine.text);
    }
    const std::string unpacker = "\"c:\\my jre\\bin\\unpack200.exe\" -r ";
    auto run = [&unpacker](const std::string& archive) {
        return unpacker + "\"c:\\my jre\\" + archive + ".pack\" \"c:\\my jre\\" + archive + "\"";
    };
    EXPECT_EQ(lines, (std::vector<std::string>{run("lib\\rt.jar"), run("lib\\charsets.jar"),
                                               run("lib\\plugin.jar"), run("lib\\deploy.jar"),
                                               run("lib\\ext\\localedata.jar"), run("lib\\jsse.jar")}));

    jvm::UnpackStep tooLong = jvm::unpackSteps(std::string(3000, 'd')).front();
    EXPECT_FALSE(tooLong.commandLine);
    EXPECT_FALSE(tooLong.commandLine.reason.empty());
}

}  // namespace
