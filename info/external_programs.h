// Running programs with their output captured into report files, and
// writing embedded programs to disk.
#pragma once
#include "platform/win.h"

constexpr DWORD kProgramWaitMs = 20000;

bool ExtractResourceToFile(int resourceId, const char* resourceType, const char* path);
// Runs `commandLine` with standard output and error going to
// `folder`\`outputName` (when given), links that file in NAVI.html as
// `caption`, waits at most `timeoutMs` and repairs CR CR LF line ends.
void RunCommandToFile(const char* folder, const char* outputName, const char* caption,
                      const char* applicationName, const char* commandLine, DWORD timeoutMs,
                      bool inheritHandles, DWORD creationFlags, int utf16Mark);
void RepairCapturedLineEnds(const char* path);
