// What the VM prints through its "vfprintf" hook, and the texts of exceptions the launch's Java calls
// leave: to the redirected standard-error file (else the process's standard error) and, a line each as
// "vm: <text>", to the diagnostic log. A launcher started as a service has no console, so without this
// the VM's own word on why it could not start goes nowhere. When the text is kept and when written is
// decided in vm_output_rules.
#pragma once

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

namespace brolt {

// Starts over for a launch, before the VM is created: stderrFile absolute (empty: not redirected),
// append as launcher parameter 4 tells the Java side; vmEntry is an entry point of the VM library,
// whose C library prints what goes to streams other than its standard ones (nullptr: not known).
void openVmOutput(const std::wstring& stderrFile, bool append, const void* vmEntry);

// The VM's "vfprintf" hook. What the VM prints to its standard output or error (or to no stream, as a
// VM library that sorts its streams itself passes) is formatted and passed on; a print to any other
// stream of the VM (a -Xlog file) goes to that stream through the VM's own C library. Called on any
// thread of the VM.
jint JNICALL vmPrintHook(FILE* stream, const char* format, va_list arguments);

// Text of the launch's own (an exception's trace), the same way as the VM's.
void writeVmOutput(std::string_view text);

// The Java side's main has returned (javaSideRan), or the Java side will never run: the VM could not be
// created, ends before it, or the launch stopped short of it. What was kept is written now, and every
// text after it at once.
void releaseVmOutput(bool javaSideRan);

// The first line the VM printed since the launch began (empty when none): its own word on why it could
// not start, for the event log.
std::string firstVmLine();

}  // namespace brolt
