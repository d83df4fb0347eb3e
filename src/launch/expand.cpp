#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "core/limits.h"
#include "core/log.h"
#include "core/unique_resource.h"
#include "launch/expand.h"

void expandVariables(char* text, const ExpansionContext& context) {
    char* block = GetEnvironmentStringsA();
    brolt::ScopeExit release([block] {
        if (block != nullptr)
            FreeEnvironmentStringsA(block);
    });
    ExpansionNotes notes = expandText(text, context, block);
    for (const std::string& pattern : notes.cutWhileReplacing) {
        logError("text cut to %u characters while replacing %s",
                 static_cast<unsigned>(brolt::kTextBufferSize - 1), pattern.c_str());
    }
    for (int i = 0; i < notes.longEntriesSkipped; ++i) {
        logError("environment entry longer than %u characters skipped",
                 static_cast<unsigned>(brolt::kTextBufferSize - 1));
    }
}
