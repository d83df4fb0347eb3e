// The rules of the VM option list and of the main parameters that need no operating system: how an
// option text is classified, how a line of an options file becomes an option, how the class path option
// is composed, and in which order main receives its parameters. The calls that read files, the
// configuration and the environment live in vm_options.cpp and java_launch.cpp.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brolt {

// The class path option's buffer, terminator included.
inline constexpr size_t kClassPathOptionSize = 32768;
// An options file is read one line per read into a buffer of this size, terminator included; a longer
// line continues as a line of its own.
inline constexpr size_t kOptionsLineSize = 8192;
// How deep "-include-options" files may nest. Ten is far more than any real layout needs, and a file
// that includes itself, directly or through others, stops here instead of recursing without end.
inline constexpr int kMaxIncludeDepth = 10;

inline constexpr std::string_view kClassPathOptionStart = "-Djava.class.path=";
inline constexpr std::string_view kIncludeOptionsKeyword = "-include-options";

enum class VmOptionKind {
    Include,          // "-include-options <path>"
    ClassPath,        // "-classpath <path>": replaces the configured class path
    ClassPathPrefix,  // "-classpath/p <path>": goes in front of everything
    ClassPathSuffix,  // "-classpath/a <path>": goes at the end
    Plain,            // handed to the VM as it is
};

struct ClassifiedVmOption {
    VmOptionKind kind;
    std::string_view rest;  // what follows the keyword and its space; the whole text for Plain
};

// Compared from the start of the text; a keyword without its space is a plain option.
ClassifiedVmOption classifyVmOption(std::string_view option);

// True when an option met at this nesting depth may read the file it includes. The configured VM
// parameters and "-J" arguments stand at depth 0, the default options file at depth 1, and a file
// included from depth d at depth d + 1.
constexpr bool mayIncludeAt(int depth) {
    return depth < kMaxIncludeDepth;
}

// One read of an options file as an option: line ends removed (repeatedly), then leading and trailing
// spaces (tabs stay). nullopt when nothing is left or the line is a comment ("#").
std::optional<std::string_view> optionsFileLine(std::string_view line);

// The tokens of the configured VM parameters as options: "-include-options" and the token after it
// become one option; as the last token it stays on its own.
std::vector<std::string> joinIncludeTokens(const std::vector<std::string>& tokens);

// "-J" launch arguments without their "-J", in order, from the first launch argument on.
std::vector<std::wstring> javaOptionArguments(const std::vector<std::wstring>& launchArguments);

// The class path settings met among the options; the last one of each kind wins.
struct ClassPathModifiers {
    std::optional<std::string> replacement;
    std::optional<std::string> prefix;
    std::optional<std::string> suffix;

    // Records a ClassPath, ClassPathPrefix or ClassPathSuffix option; false for any other kind.
    bool apply(const ClassifiedVmOption& option);
};

// One entry of the configured class path: a type letter, a required flag and a value.
struct ClassPathEntry {
    char type = '\0';       // 'A' archive, 'D' directory, 'S' directory of archives, 'E' variable
    bool required = false;  // flag "1"
    std::string value;      // from the third character on, not yet expanded
};

// Entries separated by ";"; empty entries vanish.
std::vector<ClassPathEntry> parseClassPathEntries(std::string_view configured);

// The extraction's part of the class path: directory\name for each extracted file whose name ends in
// ".jar", then for each ending in ".zip" (ASCII case ignored), each in the configuration's order. Made
// from the names the launcher extracted, never from what the folder holds: a file or folder someone
// else put there, or one left over, is never on the class path.
std::vector<std::string> extractedArchives(std::string_view directory, const std::vector<std::string>& names);

// An environment value that begins and ends with a double quote, without both quotes.
std::string_view withoutSurroundingQuotes(std::string_view value);

// The class path option as it is composed: "-Djava.class.path=" and entries, within its buffer. What
// does not fit whole is left out, and so is everything after it, so the entries that are there stay in
// their order.
class ClassPathOption {
  public:
    ClassPathOption();
    // The entry, then ";".
    void addEntry(std::string_view entry);
    // The text as it is.
    void addText(std::string_view text);
    // The text, then ";" unless it ends in one.
    void addTerminated(std::string_view text);
    // ";" unless the option already ends in one, then the text.
    void addSuffix(std::string_view text);

    const std::string& text() const { return text_; }
    // True once something was left out.
    bool cut() const { return cut_; }

  private:
    void append(std::string_view first, std::string_view second = {});
    std::string text_;
    bool cut_ = false;
};

// What main receives besides the launch arguments, as read from the configuration.
struct MainParameterSources {
    bool windowedExecutable = false;                // executable type 1
    std::string mainClass;                          // the application's main class, as configured
    std::wstring stderrFile;                        // empty when standard error is not redirected
    std::wstring stdoutFile;                        // empty when standard output is not redirected
    bool mainFlag = false;                          // key 106
    std::vector<std::wstring> configuredArguments;  // key 124, split
    bool javaOptionArguments = false;               // key 125: "-J" launch arguments go to the VM
};

// The five leading parameters, the first launch argument whatever it is, the configured arguments,
// then the other launch arguments (without the "-J" ones when they go to the VM).
std::vector<std::wstring> buildMainParameters(const MainParameterSources& sources,
                                              const std::vector<std::wstring>& launchArguments);

// Each byte becomes the UTF-16 unit of the same value.
std::wstring widenBytes(std::string_view text);

}  // namespace brolt
