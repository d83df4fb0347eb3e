#include "entry_forms.h"

#include "core/text_case.h"
#include "jvm/search_rules.h"

namespace brolt::pack {
namespace {

constexpr std::string_view kVariablePrefix = "env:";
constexpr char kListSeparator = ';';

struct SearchWord {
    std::string_view word;
    std::string_view stored;
};

constexpr SearchWord kSearchWords[] = {{"registry", "Y"}, {"path", "S"}};
// A folder of the runtime search: B is tried again without the version check when nothing else was found,
// A only when its value is relative.
constexpr char kRelativeFolderLetter = 'B';
constexpr char kAbsoluteFolderLetter = 'A';

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

EntryForm refused(std::string problem) {
    return {{}, std::move(problem)};
}

// A path of the launcher's machine: backslashes only, and no character a path cannot hold. A colon is
// a drive's ("C:"); anywhere else it is a misspelt prefix such as "ENV:" or "var:".
EntryForm pathForm(std::string_view text, std::string_view forms) {
    if (text.empty())
        return refused("names nothing; the forms are " + std::string(forms));
    std::string path;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == kListSeparator)
            return refused("contains ';', which separates the entries where they are stored");
        if (byte < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' ||
            (c == ':' && i != 1)) {
            return refused("matches no form (it holds '" + std::string(1, c) + "'); the forms are " +
                           std::string(forms));
        }
        path += isSeparator(c) ? '\\' : c;
    }
    return {path, {}};
}

// "C:\" keeps its separator: without it the drive's current folder is meant.
std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '\\' && path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

EntryForm variableForm(std::string_view name, std::string_view letters) {
    if (name.empty())
        return refused("names no variable after \"env:\"");
    for (char c : name) {
        if (c == '=' || c == '%' || c == kListSeparator || static_cast<unsigned char>(c) <= 0x20)
            return refused("is not a variable name after \"env:\" (it holds '" + std::string(1, c) + "')");
    }
    return {std::string(letters) + std::string(name), {}};
}

}  // namespace

EntryForm classPathEntryForm(std::string_view text, bool required) {
    const std::string flag = required ? "1" : "0";
    if (text.starts_with(kVariablePrefix))
        return variableForm(text.substr(kVariablePrefix.size()), "E" + flag);
    char letter = 'A';
    std::string_view path = text;
    if (text == "*" || text.ends_with("/*") || text.ends_with("\\*")) {
        letter = 'S';
        path = text.substr(0, text.size() - 1);
        if (path.empty())
            path = ".";
    } else if (!text.empty() && isSeparator(text.back())) {
        letter = 'D';
    }
    EntryForm form = pathForm(path, kClassPathForms);
    if (!form.problem.empty())
        return form;
    if (letter != 'A')
        form.stored = withoutTrailingSeparators(std::move(form.stored));
    form.stored = letter + flag + form.stored;
    return form;
}

EntryForm searchEntryForm(std::string_view text) {
    for (const SearchWord& word : kSearchWords) {
        if (text == word.word)
            return {std::string(word.stored), {}};
        // "Registry" or "PATH" is a slip, not a folder beside the launcher.
        if (equalIgnoringCase(text, word.word))
            return refused("matches no form (the word is \"" + std::string(word.word) +
                           "\", in lower case; a folder of that name is written \"./" + std::string(text) +
                           "\"); the forms are " + std::string(kSearchForms));
    }
    if (text.starts_with(kVariablePrefix))
        return variableForm(text.substr(kVariablePrefix.size()), "E");
    EntryForm form = pathForm(text, kSearchForms);
    if (!form.problem.empty())
        return form;
    // The search tries a relative folder again, without its version check, when nothing else qualified: a
    // runtime shipped beside the launcher. An absolute folder is someone else's runtime and must always
    // pass the version range, so it is stored with the letter the second pass leaves out.
    form.stored = withoutTrailingSeparators(std::move(form.stored));
    const char letter = jvm::isAbsoluteLocation(form.stored) ? kAbsoluteFolderLetter : kRelativeFolderLetter;
    form.stored = letter + form.stored;
    return form;
}

std::optional<std::string> readableClassPathEntry(std::string_view rawEntry) {
    if (rawEntry.size() < 3 || (rawEntry[1] != '0' && rawEntry[1] != '1'))
        return std::nullopt;
    std::string value(rawEntry.substr(2));
    switch (rawEntry[0]) {
        case 'A':
            break;
        case 'D':
            value += isSeparator(value.back()) ? "" : "/";
            break;
        case 'S':
            value += isSeparator(value.back()) ? "*" : "/*";
            break;
        case 'E':
            value = std::string(kVariablePrefix) + value;
            break;
        default:
            return std::nullopt;
    }
    // "A0env:X" or "A0lib/" would read as another type: no path form writes such an entry.
    const bool required = rawEntry[1] == '1';
    const EntryForm back = classPathEntryForm(value, required);
    if (!back.problem.empty() || back.stored.substr(0, 2) != rawEntry.substr(0, 2))
        return std::string();
    std::string quoted;
    for (char c : value) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    quoted = "\"" + quoted + "\"";
    return required ? "{ path = " + quoted + ", required = true }" : quoted;
}

}  // namespace brolt::pack
