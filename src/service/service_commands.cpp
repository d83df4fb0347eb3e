// Placeholder until the service host lands.
#include "service/service_commands.h"

int installCommand(DWORD) {
    return 1;
}
int uninstallCommand(bool) {
    return 1;
}
int stopCommand(bool) {
    return 1;
}
int startCommand() {
    return 1;
}
int statusCommand() {
    return 1;
}
