// VM creation, main invocation and the stop through the Java platform's exit method.
#pragma once

#include <string>
#include <vector>

// True when the VM was created and the application's main returned normally.
bool launchJavaApplication(const std::vector<std::wstring>& arguments);
void stopJavaApplication();
