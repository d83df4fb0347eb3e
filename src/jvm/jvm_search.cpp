#include "jvm/jvm_search.h"

#include "config/keys.h"
#include "config/messages.h"
#include "core/log.h"

// The search places (location files, search sequence, launcher-kind variable, registry) are not
// walked yet, so every search ends as one that found nothing.
bool LoadDLL(char, brolt::JavaRuntime& runtime) {
    runtime = {};
    logInfo("LoadDLL (%d, %s, %d)", 1, "(null)", 0);
    logInfo("Searching for a JVM");
    logInfo("Search sequence finished");
    logError("No JVM found");
    showMessage(brolt::keys::kMsgNoVmFound, "32");
    return false;
}
