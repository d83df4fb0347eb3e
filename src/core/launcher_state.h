// Process-wide values fixed at start-up and read by the service host and the launch.
#pragma once

// The service name: configuration key 101, or the text given after a command word.
const char* getServiceName();
// Replaces the service name; a name longer than the buffer is cut (and logged).
void setServiceName(const char* name);

// First character of key 2001: 'q' selects the quendrial kind, anything else the brolt kind.
char getLauncherKind();
void setLauncherKind(char kind);
bool isQuendrialKind();
