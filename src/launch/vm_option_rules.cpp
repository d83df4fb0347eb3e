#include "launch/vm_option_rules.h"

#include "core/split_list.h"
#include "core/text_case.h"

namespace brolt {

namespace {

struct Keyword {
    std::string_view text;  // with its space
    VmOptionKind kind;
};

// None of these is a prefix of another, so the order of comparison does not matter.
constexpr Keyword kKeywords[] = {
    {"-include-options ", VmOptionKind::Include},
    {"-classpath ", VmOptionKind::ClassPath},
    {"-classpath/p ", VmOptionKind::ClassPathPrefix},
    {"-classpath/a ", VmOptionKind::ClassPathSuffix},
};

constexpr std::wstring_view kWideJavaOptionPrefix = L"-J";

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

ClassifiedVmOption classifyVmOption(std::string_view option) {
    for (const Keyword& keyword : kKeywords) {
        if (option.starts_with(keyword.text))
            return {keyword.kind, option.substr(keyword.text.size())};
    }
    return {VmOptionKind::Plain, option};
}

std::optional<std::string_view> optionsFileLine(std::string_view line) {
    while (!line.empty() && isLineEnd(line.back()))
        line.remove_suffix(1);
    size_t first = line.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::nullopt;
    line = line.substr(first, line.find_last_not_of(' ') - first + 1);
    if (line.front() == '#')
        return std::nullopt;
    return line;
}

std::vector<std::string> joinIncludeTokens(const std::vector<std::string>& tokens) {
    std::vector<std::string> options;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == kIncludeOptionsKeyword && i + 1 < tokens.size()) {
            options.push_back(tokens[i] + " " + tokens[i + 1]);
            ++i;
        } else {
            options.push_back(tokens[i]);
        }
    }
    return options;
}

std::vector<std::wstring> javaOptionArguments(const std::vector<std::wstring>& launchArguments) {
    std::vector<std::wstring> options;
    for (const std::wstring& argument : launchArguments) {
        if (argument.starts_with(kWideJavaOptionPrefix))
            options.push_back(argument.substr(kWideJavaOptionPrefix.size()));
    }
    return options;
}

bool ClassPathModifiers::apply(const ClassifiedVmOption& option) {
    switch (option.kind) {
        case VmOptionKind::ClassPath:
            replacement = std::string(option.rest);
            return true;
        case VmOptionKind::ClassPathPrefix:
            prefix = std::string(option.rest);
            return true;
        case VmOptionKind::ClassPathSuffix:
            suffix = std::string(option.rest);
            return true;
        case VmOptionKind::Include:
        case VmOptionKind::Plain:
            break;
    }
    return false;
}

std::vector<ClassPathEntry> parseClassPathEntries(std::string_view configured) {
    std::vector<ClassPathEntry> entries;
    for (std::string_view entry : splitList(configured, ';', EmptyPieces::Skip)) {
        ClassPathEntry parsed;
        parsed.type = entry[0];
        parsed.required = entry.size() > 1 && entry[1] == '1';
        parsed.value = std::string(entry.size() > 2 ? entry.substr(2) : std::string_view());
        entries.push_back(std::move(parsed));
    }
    return entries;
}

std::vector<std::string> extractedArchives(std::string_view directory,
                                           const std::vector<std::string>& names) {
    std::vector<std::string> archives;
    if (directory.empty())
        return archives;
    for (std::string_view extension : {std::string_view(".jar"), std::string_view(".zip")}) {
        for (const std::string& name : names) {
            if (name.size() > extension.size() && endsWithIgnoringCase(name, extension))
                archives.push_back(std::string(directory) + "\\" + name);
        }
    }
    return archives;
}

std::string_view withoutSurroundingQuotes(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

ClassPathOption::ClassPathOption() : text_(kClassPathOptionStart) {}

void ClassPathOption::append(std::string_view first, std::string_view second) {
    if (cut_)
        return;
    if (text_.size() + first.size() + second.size() >= kClassPathOptionSize) {
        cut_ = true;
        return;
    }
    text_ += first;
    text_ += second;
}

void ClassPathOption::addEntry(std::string_view entry) {
    append(entry, ";");
}

void ClassPathOption::addText(std::string_view text) {
    append(text);
}

void ClassPathOption::addTerminated(std::string_view text) {
    append(text, text.ends_with(';') ? "" : ";");
}

void ClassPathOption::addSuffix(std::string_view text) {
    append(text_.ends_with(';') ? "" : ";", text);
}

std::vector<std::wstring> buildMainParameters(const MainParameterSources& sources,
                                              const std::vector<std::wstring>& launchArguments) {
    std::vector<std::wstring> parameters = {
        sources.windowedExecutable ? L"true" : L"false",
        widenBytes(sources.mainClass),
        sources.stderrFile,
        sources.stdoutFile,
        sources.mainFlag ? L"true" : L"false",
    };
    if (!launchArguments.empty())
        parameters.push_back(launchArguments.front());  // whatever it begins with
    parameters.insert(parameters.end(), sources.configuredArguments.begin(),
                      sources.configuredArguments.end());
    for (size_t i = 1; i < launchArguments.size(); ++i) {
        if (sources.javaOptionArguments && launchArguments[i].starts_with(kWideJavaOptionPrefix))
            continue;  // the VM has it as an option
        parameters.push_back(launchArguments[i]);
    }
    return parameters;
}

std::wstring widenBytes(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return wide;
}

}  // namespace brolt
