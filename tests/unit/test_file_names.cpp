#include "files/file_names.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using brolt::checkPlainFileName;
using brolt::FileNameProblem;
using namespace std::string_view_literals;

struct NameCase {
    std::string_view name;
    FileNameProblem expected;
};

const NameCase kNameCases[] = {
    // Plain names, including some that merely look like devices or paths.
    {"readme.txt", FileNameProblem::None},
    {"a", FileNameProblem::None},
    {".hidden", FileNameProblem::None},
    {"..a", FileNameProblem::None},
    {" leading blank", FileNameProblem::None},
    {"semi;colon", FileNameProblem::None},  // the list separator is the packer's concern, not the system's
    {"CONSOLE.txt", FileNameProblem::None},
    {"nulx", FileNameProblem::None},
    {"xnul.bin", FileNameProblem::None},
    {"COM10", FileNameProblem::None},
    {"COM", FileNameProblem::None},
    {"LPT", FileNameProblem::None},
    {"CONOUT", FileNameProblem::None},
    {"caf\xE9.txt", FileNameProblem::None},  // a code page letter above 127
    {"\x80\x9F", FileNameProblem::None},     // printable in the ANSI code page, not control characters

    {"", FileNameProblem::Empty},
    {".", FileNameProblem::DotName},
    {"..", FileNameProblem::DotName},

    {"..\\esc.txt", FileNameProblem::PathSeparator},
    {"..\\..\\..\\..\\windows\\x", FileNameProblem::PathSeparator},
    {"../x", FileNameProblem::PathSeparator},
    {"sub/x", FileNameProblem::PathSeparator},
    {"C:x", FileNameProblem::PathSeparator},
    {"file.txt:stream", FileNameProblem::PathSeparator},
    {"\\\\server\\share", FileNameProblem::PathSeparator},

    {"a*b", FileNameProblem::ForbiddenCharacter},
    {"a?", FileNameProblem::ForbiddenCharacter},
    {"a|b", FileNameProblem::ForbiddenCharacter},
    {"<a>", FileNameProblem::ForbiddenCharacter},
    {"\"quoted\"", FileNameProblem::ForbiddenCharacter},

    {"tab\there", FileNameProblem::ControlCharacter},
    {"line\n", FileNameProblem::ControlCharacter},
    {"\x01", FileNameProblem::ControlCharacter},
    {"del\x7F", FileNameProblem::ControlCharacter},
    {"nul\0byte"sv, FileNameProblem::ControlCharacter},

    {"CON", FileNameProblem::ReservedDeviceName},
    {"prn", FileNameProblem::ReservedDeviceName},
    {"AUX", FileNameProblem::ReservedDeviceName},
    {"NUL", FileNameProblem::ReservedDeviceName},
    {"nul.bin", FileNameProblem::ReservedDeviceName},
    {"Nul.tar.gz", FileNameProblem::ReservedDeviceName},
    {"nul .txt", FileNameProblem::ReservedDeviceName},
    {"COM1", FileNameProblem::ReservedDeviceName},
    {"com9.log", FileNameProblem::ReservedDeviceName},
    {"COM0", FileNameProblem::ReservedDeviceName},
    {"COM\xB9", FileNameProblem::ReservedDeviceName},
    {"LPT1", FileNameProblem::ReservedDeviceName},
    {"lpt9.txt", FileNameProblem::ReservedDeviceName},
    {"LPT\xB3.txt", FileNameProblem::ReservedDeviceName},
    {"CONIN$", FileNameProblem::ReservedDeviceName},
    {"conout$.txt", FileNameProblem::ReservedDeviceName},

    {"name.", FileNameProblem::TrailingDotOrBlank},
    {"name ", FileNameProblem::TrailingDotOrBlank},
    {"...", FileNameProblem::TrailingDotOrBlank},
    {" ", FileNameProblem::TrailingDotOrBlank},
    {"nul.", FileNameProblem::TrailingDotOrBlank},
};

TEST(FileNames, Rule) {
    for (const NameCase& c : kNameCases) {
        EXPECT_EQ(checkPlainFileName(c.name), c.expected)
            << '"' << std::string(c.name) << "\" (" << c.name.size() << " bytes)";
    }
}

TEST(FileNames, EveryProblemHasADescription) {
    EXPECT_STREQ(brolt::describeFileNameProblem(FileNameProblem::None), "");
    for (const NameCase& c : kNameCases) {
        if (c.expected != FileNameProblem::None) {
            EXPECT_STRNE(brolt::describeFileNameProblem(c.expected), "") << std::string(c.name);
        }
    }
}

}  // namespace
