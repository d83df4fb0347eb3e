// The class path and runtime search entries a user writes, mapped onto the letter forms the launcher
// reads from keys 121 and 128.
//
//   class path             stored          search                 stored
//   "lib/*"                S0lib           "jre"                  Bjre
//   "classes/"             D0classes       "C:/java/jre"          AC:\java\jre
//   "env:APP_CP"           E0APP_CP        "env:JAVA_HOME"        EJAVA_HOME
//   "app.jar"              A0app.jar       "registry"             Y
//   { path = "app.jar", required = true }  "path"                 S
//                          A1app.jar
//
// Forward slashes become backslashes and a folder loses its trailing separator. An absolute search
// folder is stored as A, which the search's unchecked second pass leaves out. A word the forms do not
// know, or one of the words in another case, is refused with the forms that exist, never stored as a
// path by accident.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brolt::pack {

// The stored entry, or why the text is refused (the problem is a sentence to follow the entry's name).
struct EntryForm {
    std::string stored;
    std::string problem;  // empty when stored is set
};

EntryForm classPathEntryForm(std::string_view text, bool required);
EntryForm searchEntryForm(std::string_view text);

// What to write instead of an entry of the letter form ("A1app.jar" gives
// `{ path = "app.jar", required = true }`); empty for one no path form writes ("A0env:X"), nothing
// when the text does not look like one.
std::optional<std::string> readableClassPathEntry(std::string_view rawEntry);

// The forms, for the messages.
inline constexpr std::string_view kClassPathForms =
    "\"lib/*\" (every archive in lib), \"classes/\" (a folder of classes), \"env:NAME\" (the value of a "
    "variable), \"app.jar\" (an archive), and { path = \"app.jar\", required = true } for an entry that "
    "must exist";
inline constexpr std::string_view kSearchForms =
    "\"jre\" or \"C:/java/jre\" (a runtime folder), \"env:NAME\" (a variable naming one), \"registry\" (the "
    "registered runtimes) and \"path\" (java.exe on PATH)";

}  // namespace brolt::pack
