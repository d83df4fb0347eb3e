// Diagnostic log: off unless BROLT_LOG or QUENDRIAL_LOG is exactly "yes"; opened at the first line.
#pragma once

// One printf-formatted line each ("%I64d" included), line end added, flushed at once.
void logInfo(const char* format, ...);
// Like logInfo, with "ERROR: " in front of the line.
void logError(const char* format, ...);
// The file the log was opened on (or the last one tried); nullptr while logging is off.
const char* getLogPath();
