// Variable expansion in configured texts (buffers of 8192 characters, changed in place).
#pragma once

#include <string>
#include <vector>

// The values of the launcher variables at the moment of expansion.
struct ExpansionContext {
    std::string launcherDirectory;    // the executable's directory with its trailing backslash
    std::string extractionDirectory;  // where the included files went; empty when none were extracted
    std::string jvmHome;              // the chosen java executable's directory and ".."; empty before
};

// What an expansion had to leave out, for the caller to log.
struct ExpansionNotes {
    std::vector<std::string> cutWhileReplacing;  // patterns whose values made the text outgrow its buffer
    int longEntriesSkipped = 0;                  // environment entries longer than the scratch buffer
};

// Replaces the twenty launcher variables in their fixed order with the values of context, then
// "${name}" of every entry of environmentBlock (as the block spells the name, then upper-cased). The
// block holds "name=value" entries, each ended by a zero character, and ends with an empty entry; an
// entry without "=" is skipped, and nullptr means no environment. A text that would grow beyond its
// buffer is cut at the buffer's end. No operating-system calls.
ExpansionNotes expandText(char* text, const ExpansionContext& context, const char* environmentBlock);
// Replaces every occurrence of pattern in text (a buffer of 8192 characters) by value; an inserted value
// is not searched for the pattern again. False when the text had to be cut at the buffer's end.
bool replaceAll(char* text, const char* pattern, const char* value);
