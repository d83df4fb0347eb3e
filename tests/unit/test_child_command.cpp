// The command lines of the child processes the search runs: "-version" and the unpacker.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "jvm/child_command.h"

namespace jvm = brolt::jvm;

namespace {

struct TextCase {
    std::string input;
    std::optional<std::string> output;
};

TEST(ChildCommandLine, ProgramQuotedArgumentsAsGiven) {
    const TextCase cases[] = {
        {"C:\\Program Files\\Java\\jre\\bin\\java.exe",
         "\"C:\\Program Files\\Java\\jre\\bin\\java.exe\" -version"},
        {"C:\\PROGRA~1\\Java\\jre\\bin\\java.exe", "\"C:\\PROGRA~1\\Java\\jre\\bin\\java.exe\" -version"},
        {"c:\\a\"b\\java.exe", std::nullopt},
        {"", std::nullopt},
        {std::string(jvm::kCommandLineLimit - 11, 'x'),
         "\"" + std::string(jvm::kCommandLineLimit - 11, 'x') + "\" -version"},
        {std::string(jvm::kCommandLineLimit - 10, 'x'), std::nullopt},
    };
    for (const TextCase& c : cases) {
        jvm::TextOutcome line = jvm::javaVersionCommandLine(c.input);
        EXPECT_EQ(line.text, c.output) << jvm::logExcerpt(c.input);
        EXPECT_EQ(line.reason.empty(), c.output.has_value()) << jvm::logExcerpt(c.input);
    }
    EXPECT_EQ(
        jvm::unpackCommandLine("c:\\my jre", "c:\\my jre\\lib\\rt.jar.pack", "c:\\my jre\\lib\\rt.jar").text,
        "\"c:\\my jre\\bin\\unpack200.exe\" -r \"c:\\my jre\\lib\\rt.jar.pack\" \"c:\\my jre\\lib\\rt.jar\"");
}

}  // namespace
