#include "pack_config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <map>
#include <optional>

#include "config/keys.h"
#include "entry_forms.h"
#include "files/file_names.h"
#include "file_io.h"
#include "pack_error.h"
#include "text_encoding.h"

namespace brolt::pack {
namespace {

namespace fs = std::filesystem;

constexpr DefaultMessage kDefaultMessages[] = {
    {1000, "Service error"},
    {1001, "No Java VM found. Set BROLT_JAVA_HOME to a Java runtime or install one."},
    {1002, "The Java VM found through the search path is damaged."},
    {1003, "The environment variable {0} does not point to a working Java runtime."},
    {1004, "The Java VM found at {0} is damaged."},
    {1005, "The Java VM could not be started. The main method may have thrown an exception."},
    {1006, "File or directory {0} not found or empty."},
    {1007, "Wrong Parameter Usage"},
    {1008, "The environment variable {0} has to be defined."},
    {1009, "An internal error occurred. Error code: {0}"},
    {1010, "Couldn't load main class."},
    {1011, "Main method not found."},
    {1012, "Error"},
    {1013, "OK"},
    {1014, "An error occurred while starting up {0}."},
    {1015, "You must be at least Poweruser to run this program."},
    {1016, "No Java VM found. A {0}-bit Java runtime is required."},
    {1017, "The {0}-bit Java VM found through the search path is damaged."},
    {1018, "The environment variable {0} does not point to a working 32-bit Java runtime."},
    {1019, "The environment variable {0} does not point to a working 64-bit Java runtime."},
    {1020, "The 32-bit Java VM found at {0} is damaged."},
    {1021, "The 64-bit Java VM found at {0} is damaged."},
};

constexpr std::string_view kRawTable = "raw";
constexpr std::string_view kIncludeFiles = "include.files";
constexpr std::string_view kIncludeRuntime = "include.runtime";
// The class path and the runtime search are written as paths and words; their letter forms stay
// available under the raw names (java.search_sequence is the key's own name).
constexpr std::string_view kClassPath = "java.class_path";
constexpr std::string_view kClassPathRaw = "java.class_path_raw";
constexpr std::string_view kSearch = "java.search";

// Where a key got its value, for the message when it is set a second time.
struct Origin {
    std::string how;  // "service.name" or "[raw] 101"
    int line;
    int column;
};

struct Mapping {
    std::string file;
    fs::path baseDirectory;
    StreamContent content;
    std::map<int32_t, Origin> narrowOrigins;
    std::map<int32_t, Origin> wideOrigins;
    const toml::node* includeFiles = nullptr;
    const toml::node* includeRuntime = nullptr;
};

[[noreturn]] void fail(const Mapping& mapping, const toml::source_region& where, const std::string& text) {
    throw PackError(
        {mapping.file, static_cast<int>(where.begin.line), static_cast<int>(where.begin.column), text});
}

const keys::KeyInfo* findKey(std::string_view name) {
    for (const keys::KeyInfo& info : keys::kKnownKeys) {
        if (info.name == name)
            return &info;
    }
    return nullptr;
}

std::string encodeNarrow(const Mapping& mapping, const toml::node& node, const std::string& what,
                         const std::string& utf8) {
    Cp1252Encoding encoded = utf8ToCp1252(utf8);
    if (encoded.unencodable) {
        fail(mapping, node.source(),
             what + ": character " + codePointName(*encoded.unencodable) +
                 " cannot be stored in Windows code page 1252");
    }
    return std::move(encoded.bytes);
}

void store(Mapping& mapping, bool wide, int32_t key, const std::string& how, const toml::node& node,
           const std::string& utf8) {
    auto& origins = wide ? mapping.wideOrigins : mapping.narrowOrigins;
    const int line = static_cast<int>(node.source().begin.line);
    const int column = static_cast<int>(node.source().begin.column);
    if (auto previous = origins.find(key); previous != origins.end()) {
        // toml++ visits tables by name, not in file order: report at the later of the two places.
        const bool laterHere = line >= previous->second.line;
        const Origin& first = laterHere ? previous->second : Origin{how, line, column};
        const std::string& second = laterHere ? how : previous->second.how;
        const std::string text = "key " + std::string(wide ? "w" : "") + std::to_string(key) +
                                 " is set twice: as " + second + " and as " + first.how + " (line " +
                                 std::to_string(first.line) + ")";
        if (laterHere)
            fail(mapping, node.source(), text);
        throw PackError({mapping.file, previous->second.line, previous->second.column, text});
    }
    origins.emplace(key, Origin{how, line, column});
    if (wide) {
        mapping.content.wide[key] = utf8ToUtf16(utf8);
    } else {
        mapping.content.narrow[key] = encodeNarrow(mapping, node, how, utf8);
    }
}

// Entries of an integer list are integers, those of any other list strings; one string is taken as the
// whole list, as written.
std::string listText(const Mapping& mapping, const toml::node& node, const std::string& name, char separator,
                     bool integers) {
    if (const auto* text = node.as_string())
        return text->get();
    const auto* array = node.as_array();
    if (!array) {
        fail(mapping, node.source(),
             name + (integers ? ": expected an array of integers or a string"
                              : ": expected an array of strings or a string"));
    }
    std::string joined;
    for (size_t i = 0; i < array->size(); ++i) {
        const toml::node& element = *array->get(i);
        std::string entry;
        if (integers) {
            const auto* number = element.as_integer();
            if (!number)
                fail(mapping, element.source(), name + ": every entry must be an integer");
            entry = std::to_string(number->get());
        } else {
            const auto* text = element.as_string();
            if (!text)
                fail(mapping, element.source(), name + ": every entry must be a string");
            entry = text->get();
        }
        if (entry.find(separator) != std::string::npos) {
            fail(mapping, element.source(),
                 name + ": entry \"" + entry + "\" contains the list separator '" + separator + "'");
        }
        if (i > 0)
            joined += separator;
        joined += entry;
    }
    return joined;
}

std::string valueText(const Mapping& mapping, const toml::node& node, const keys::KeyInfo& info) {
    const std::string name(info.name);
    switch (info.kind) {
        case keys::Kind::Text:
        case keys::Kind::WideText:
            if (const auto* text = node.as_string())
                return text->get();
            fail(mapping, node.source(), name + ": expected a string");
        case keys::Kind::Flag:
            if (const auto* flag = node.as_boolean())
                return flag->get() ? "1" : "0";
            if (const auto* number = node.as_integer())
                return std::to_string(number->get());
            fail(mapping, node.source(), name + ": expected true or false");
        case keys::Kind::Integer:
            if (const auto* number = node.as_integer())
                return std::to_string(number->get());
            fail(mapping, node.source(), name + ": expected an integer");
        case keys::Kind::List:
        case keys::Kind::IntegerList:
            return listText(mapping, node, name, keys::listSeparator(info.key),
                            info.kind == keys::Kind::IntegerList);
    }
    fail(mapping, node.source(), name + ": unsupported kind");
}

// The entries of a list: an array's, or one value as the only entry.
std::vector<const toml::node*> listEntries(const toml::node& node) {
    std::vector<const toml::node*> entries;
    if (const auto* array = node.as_array()) {
        for (const toml::node& element : *array)
            entries.push_back(&element);
    } else {
        entries.push_back(&node);
    }
    return entries;
}

std::string classPathEntry(const Mapping& mapping, const toml::node& entry) {
    const std::string name(kClassPath);
    std::string text;
    bool required = false;
    const toml::node* where = &entry;
    if (const auto* value = entry.as_string()) {
        text = value->get();
        // A letter-form entry is refused rather than stored as an archive of that name.
        if (const auto readable = readableClassPathEntry(text); readable && readable->empty()) {
            fail(mapping, entry.source(),
                 name + ": \"" + text +
                     "\" is in the letter form, which no path form writes; keep it under " +
                     std::string(kClassPathRaw));
        } else if (readable) {
            fail(mapping, entry.source(),
                 name + ": \"" + text + "\" is in the letter form; write " + *readable +
                     " (or keep the letter forms under " + std::string(kClassPathRaw) +
                     "); an archive of that name is written \"./" + text + "\"");
        }
    } else if (const auto* table = entry.as_table()) {
        const toml::node* path = nullptr;
        for (const auto& [key, value] : *table) {
            if (key.str() == "path" && value.is_string()) {
                path = &value;
            } else if (key.str() == "required" && value.is_boolean()) {
                required = value.as_boolean()->get();
            } else {
                fail(mapping, value.source(),
                     name + ": an entry's table holds path = \"...\" and required = true or false, not " +
                         std::string(key.str()) + " of this value");
            }
        }
        if (!path)
            fail(mapping, entry.source(), name + ": an entry's table needs path = \"...\"");
        text = path->as_string()->get();
        where = path;
    } else {
        fail(mapping, entry.source(),
             name + ": every entry must be a string or { path = \"...\", required = true }");
    }
    const EntryForm form = classPathEntryForm(text, required);
    if (!form.problem.empty())
        fail(mapping, where->source(), name + ": \"" + text + "\" " + form.problem);
    return form.stored;
}

std::string searchEntry(const Mapping& mapping, const toml::node& entry) {
    const std::string name(kSearch);
    const auto* value = entry.as_string();
    if (!value)
        fail(mapping, entry.source(),
             name + ": every entry must be a string; the forms are " + std::string(kSearchForms));
    const EntryForm form = searchEntryForm(value->get());
    if (!form.problem.empty())
        fail(mapping, entry.source(), name + ": \"" + value->get() + "\" " + form.problem);
    return form.stored;
}

// Stores the readable class path or search, or the class path's letter form under its raw name;
// false for any other key.
bool mapEntryList(Mapping& mapping, std::string_view fullName, const toml::node& node) {
    if (fullName == kClassPathRaw) {
        store(mapping, false, keys::kClassPath, std::string(fullName), node,
              listText(mapping, node, std::string(fullName), ';', false));
        return true;
    }
    const bool classPath = fullName == kClassPath;
    if (!classPath && fullName != kSearch)
        return false;
    if (!node.is_array() && !node.is_string() && !(classPath && node.is_table()))
        fail(mapping, node.source(), std::string(fullName) + ": expected an array of entries");
    std::string joined;
    for (const toml::node* entry : listEntries(node)) {
        joined += joined.empty() ? "" : ";";
        joined += classPath ? classPathEntry(mapping, *entry) : searchEntry(mapping, *entry);
    }
    store(mapping, false, classPath ? keys::kClassPath : keys::kSearchSequence, std::string(fullName), node,
          joined);
    return true;
}

// "101" names a narrow record, "w20017" a wide one.
std::optional<std::pair<bool, int32_t>> parseRawKey(std::string_view text) {
    const bool wide = !text.empty() && text.front() == 'w';
    if (wide)
        text.remove_prefix(1);
    int32_t key = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), key);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return std::pair{wide, key};
}

void mapRawTable(Mapping& mapping, const toml::table& raw) {
    for (const auto& [name, node] : raw) {
        const auto parsed = parseRawKey(name.str());
        if (!parsed) {
            fail(mapping, name.source(),
                 "[raw] key \"" + std::string(name.str()) +
                     "\" is not a key number (101 for a narrow value, w20017 for a wide one)");
        }
        std::string text;
        if (const auto* value = node.as_string()) {
            text = value->get();
        } else if (const auto* number = node.as_integer()) {
            text = std::to_string(number->get());
        } else {
            fail(mapping, node.source(),
                 "[raw] " + std::string(name.str()) + ": expected a string or an integer");
        }
        store(mapping, parsed->first, parsed->second, "[raw] " + std::string(name.str()), node, text);
    }
}

void mapNamedTable(Mapping& mapping, std::string_view tableName, const toml::table& table) {
    for (const auto& [name, node] : table) {
        const std::string fullName = std::string(tableName) + "." + std::string(name.str());
        if (fullName == kIncludeFiles) {
            mapping.includeFiles = &node;
            continue;
        }
        if (fullName == kIncludeRuntime) {
            mapping.includeRuntime = &node;
            continue;
        }
        if (mapEntryList(mapping, fullName, node))
            continue;
        const keys::KeyInfo* info = findKey(fullName);
        // A table inside a table ([service.recovery]) names its keys by the whole path.
        if (!info && node.is_table()) {
            mapNamedTable(mapping, fullName, *node.as_table());
            continue;
        }
        if (!info)
            fail(mapping, name.source(), "unknown key \"" + fullName + "\"");
        store(mapping, info->kind == keys::Kind::WideText, info->key, fullName, node,
              valueText(mapping, node, *info));
    }
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void mapIncludedFiles(Mapping& mapping) {
    const toml::node& node = *mapping.includeFiles;
    for (int32_t key : {keys::kIncludedFileCount, keys::kIncludedFileNames}) {
        if (auto origin = mapping.narrowOrigins.find(key); origin != mapping.narrowOrigins.end()) {
            throw PackError({mapping.file, origin->second.line, origin->second.column,
                             origin->second.how + ": key " + std::to_string(key) +
                                 " is written from include.files; do not set it as well"});
        }
    }
    const std::vector<const toml::node*> entries = listEntries(node);
    std::map<std::string, int> lineOfName;  // lower-case name: Windows file names ignore case
    std::string names;
    for (const toml::node* entry : entries) {
        const auto* text = entry->as_string();
        if (!text)
            fail(mapping, entry->source(), "include.files: every entry must be a string (a path)");
        const fs::path path = mapping.baseDirectory / pathFromUtf8(text->get());
        const std::string baseName = pathToUtf8(path.filename());
        if (baseName.empty() || baseName == "." || baseName == "..") {
            fail(mapping, entry->source(), "include.files: \"" + text->get() + "\" does not name a file");
        }
        if (baseName.find(';') != std::string::npos) {
            fail(mapping, entry->source(),
                 "include.files: file name \"" + baseName +
                     "\" contains ';', which separates the names in the stream");
        }
        // The launcher refuses to extract a file under any name this rule refuses.
        if (const FileNameProblem problem = checkPlainFileName(baseName); problem != FileNameProblem::None) {
            fail(mapping, entry->source(),
                 "include.files: \"" + baseName + "\" is not a valid Windows file name (it " +
                     describeFileNameProblem(problem) + ")");
        }
        const auto [previous, inserted] =
            lineOfName.emplace(lowerAscii(baseName), static_cast<int>(entry->source().begin.line));
        if (!inserted) {
            fail(mapping, entry->source(),
                 "include.files: file name \"" + baseName + "\" is given twice (also on line " +
                     std::to_string(previous->second) + "); files are stored under their base names");
        }
        const std::string storedName = encodeNarrow(mapping, *entry, "include.files", baseName);
        std::vector<uint8_t> content;
        try {
            content = readWholeFile(path);
        } catch (const PackError& error) {
            fail(mapping, entry->source(), "include.files: " + error.problem().describe());
        }
        if (!names.empty())
            names += ';';
        names += storedName;
        mapping.content.files.push_back({storedName, std::move(content)});
    }
    if (!mapping.content.files.empty()) {
        mapping.content.narrow[keys::kIncludedFileCount] = std::to_string(mapping.content.files.size());
        mapping.content.narrow[keys::kIncludedFileNames] = names;
    }
}

bool wantsRuntimeJar(const Mapping& mapping) {
    if (!mapping.includeRuntime)
        return true;
    if (const auto* flag = mapping.includeRuntime->as_boolean())
        return flag->get();
    fail(mapping, mapping.includeRuntime->source(), "include.runtime: expected true or false");
}

// Appended after the configured files, so that their order (and the names' order) stays as written.
void addRuntimeJar(Mapping& mapping, const fs::path& jar) {
    const std::string turnOff = "; set [include] runtime = false to leave the runtime archive out";
    for (int32_t key : {keys::kIncludedFileCount, keys::kIncludedFileNames}) {
        if (auto origin = mapping.narrowOrigins.find(key); origin != mapping.narrowOrigins.end()) {
            throw PackError({mapping.file, origin->second.line, origin->second.column,
                             origin->second.how + ": key " + std::to_string(key) +
                                 " is written for the included runtime archive" + turnOff});
        }
    }
    for (const IncludedFile& file : mapping.content.files) {
        if (lowerAscii(file.name) == kRuntimeJarName) {
            fail(mapping, mapping.includeFiles->source(),
                 "include.files: \"" + file.name + "\" is the runtime archive every launcher carries" +
                     turnOff + " and ship your own");
        }
    }
    std::vector<uint8_t> content;
    try {
        content = readWholeFile(jar);
    } catch (const PackError& error) {
        throw PackError({mapping.file, 0, 0,
                         "the runtime archive cannot be read (" + error.problem().describe() +
                             "); build it, name it with --runtime-jar" + turnOff});
    }
    std::string names = mapping.content.narrow[keys::kIncludedFileNames];
    names += names.empty() ? "" : ";";
    names += kRuntimeJarName;
    mapping.content.files.push_back({std::string(kRuntimeJarName), std::move(content)});
    mapping.content.narrow[keys::kIncludedFileCount] = std::to_string(mapping.content.files.size());
    mapping.content.narrow[keys::kIncludedFileNames] = names;
}

}  // namespace

std::span<const DefaultMessage> defaultMessages() {
    return kDefaultMessages;
}

StreamContent parsePackConfiguration(std::string_view tomlText, const fs::path& tomlFile,
                                     const std::optional<fs::path>& runtimeJar) {
    Mapping mapping;
    mapping.file = pathToUtf8(tomlFile);
    mapping.baseDirectory = tomlFile.parent_path();

    toml::table root;
    try {
        root = toml::parse(tomlText, mapping.file);
    } catch (const toml::parse_error& error) {
        throw PackError({mapping.file, static_cast<int>(error.source().begin.line),
                         static_cast<int>(error.source().begin.column), std::string(error.description())});
    }

    for (const auto& [name, node] : root) {
        const auto* table = node.as_table();
        if (!table) {
            fail(mapping, name.source(),
                 "unknown key \"" + std::string(name.str()) +
                     "\" (settings belong in tables such as [service])");
        }
        if (name.str() == kRawTable) {
            mapRawTable(mapping, *table);
        } else {
            mapNamedTable(mapping, name.str(), *table);
        }
    }
    if (mapping.includeFiles)
        mapIncludedFiles(mapping);
    if (wantsRuntimeJar(mapping) && runtimeJar)
        addRuntimeJar(mapping, *runtimeJar);
    for (const DefaultMessage& message : kDefaultMessages) {
        mapping.content.narrow.try_emplace(message.key, message.text);
    }
    return std::move(mapping.content);
}

StreamContent loadPackConfiguration(const fs::path& tomlFile, const std::optional<fs::path>& runtimeJar) {
    const std::vector<uint8_t> bytes = readWholeFile(tomlFile);
    return parsePackConfiguration(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                  tomlFile, runtimeJar);
}

}  // namespace brolt::pack
