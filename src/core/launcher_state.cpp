#include "core/launcher_state.h"

#include <cstring>

#include "core/limits.h"
#include "core/log.h"

namespace {

char serviceName[brolt::kTextBufferSize];
char launcherKind = '\0';

}  // namespace

const char* getServiceName() {
    return serviceName;
}

void setServiceName(const char* name) {
    if (!brolt::copyBounded(serviceName, sizeof serviceName, name)) {
        logError("service name cut to %u characters", static_cast<unsigned>(sizeof serviceName - 1));
    }
}

char getLauncherKind() {
    return launcherKind;
}

void setLauncherKind(char kind) {
    launcherKind = kind;
}

bool isQuendrialKind() {
    return launcherKind == 'q';
}
