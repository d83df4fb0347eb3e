// Placeholder until the service host lands.
#include "service/service_runtime.h"

void WINAPI serviceMain(DWORD, LPSTR*) {}
