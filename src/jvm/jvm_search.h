// Java runtime search and VM library loading.
#pragma once

// True when a VM library is loaded and its JNI_CreateJavaVM is known; otherwise the failure
// has been shown already.
bool LoadDLL();
