// Runs a companion program the way the collector does: no arguments,
// standard output into a file, and hands back what it printed.
#pragma once
#include "platform/win.h"

#include <string>

namespace tools_test {

// Full Windows path of a built companion ("pidwalk64.exe", "provscan.exe").
std::string CompanionPath(const char* fileName);

// Starts `exePath` with standard output (and error) redirected into a scratch
// file, waits up to `timeoutMs` and reads the file. False when the program
// could not start or did not end in time (it is ended then).
bool RunCompanion(const std::string& exePath, std::string* output, DWORD* exitCode,
                  DWORD timeoutMs = 60000);

// Text-mode output ends lines with CR LF; tests compare with LF only.
std::string WithoutCarriageReturns(const std::string& text);

}  // namespace tools_test
