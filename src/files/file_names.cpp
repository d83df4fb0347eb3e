#include "files/file_names.h"

#include <array>

namespace brolt {
namespace {

constexpr std::string_view kPathSeparators = "\\/:";
constexpr std::string_view kForbiddenCharacters = "*?\"<>|";

// Names the system opens as devices whatever extension follows them.
constexpr std::array<std::string_view, 6> kDeviceNames = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
// COM and LPT followed by one digit; the system counts the superscripts one, two and three (their
// bytes in the ANSI code page the packer writes) as digits here.
constexpr std::array<std::string_view, 2> kNumberedDeviceNames = {"COM", "LPT"};
constexpr std::string_view kSuperscriptDigits = "\xB9\xB2\xB3";

constexpr unsigned char kDelete = 0x7F;

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (upperAscii(text[i]) != upper[i])
            return false;
    }
    return true;
}

bool isDigitOfDeviceNumber(char c) {
    return (c >= '0' && c <= '9') || kSuperscriptDigits.find(c) != std::string_view::npos;
}

// The part before the first dot, without the blanks in front of that dot: "nul .txt" opens NUL too.
std::string_view deviceStem(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    return stem;
}

bool isReservedDeviceName(std::string_view name) {
    std::string_view stem = deviceStem(name);
    for (std::string_view device : kDeviceNames) {
        if (equalsIgnoringAsciiCase(stem, device))
            return true;
    }
    if (stem.size() != 4 || !isDigitOfDeviceNumber(stem[3]))
        return false;
    for (std::string_view device : kNumberedDeviceNames) {
        if (equalsIgnoringAsciiCase(stem.substr(0, 3), device))
            return true;
    }
    return false;
}

}  // namespace

FileNameProblem checkPlainFileName(std::string_view name) {
    if (name.empty())
        return FileNameProblem::Empty;
    if (name == "." || name == "..")
        return FileNameProblem::DotName;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == kDelete)
            return FileNameProblem::ControlCharacter;
        if (kPathSeparators.find(c) != std::string_view::npos)
            return FileNameProblem::PathSeparator;
        if (kForbiddenCharacters.find(c) != std::string_view::npos)
            return FileNameProblem::ForbiddenCharacter;
    }
    if (name.back() == '.' || name.back() == ' ')
        return FileNameProblem::TrailingDotOrBlank;
    if (isReservedDeviceName(name))
        return FileNameProblem::ReservedDeviceName;
    return FileNameProblem::None;
}

const char* describeFileNameProblem(FileNameProblem problem) {
    switch (problem) {
        case FileNameProblem::None:
            return "";
        case FileNameProblem::Empty:
            return "is empty";
        case FileNameProblem::DotName:
            return "names a directory, not a file";
        case FileNameProblem::PathSeparator:
            return "contains \\, / or :";
        case FileNameProblem::ForbiddenCharacter:
            return "contains one of * ? \" < > |";
        case FileNameProblem::ControlCharacter:
            return "contains a control character";
        case FileNameProblem::ReservedDeviceName:
            return "names a device";
        case FileNameProblem::TrailingDotOrBlank:
            return "ends in a dot or a blank";
    }
    return "is not a plain file name";
}

}  // namespace brolt
