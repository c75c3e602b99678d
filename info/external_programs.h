// Running programs with their output captured into report files, and
// writing embedded programs to disk.
#pragma once
#include "platform/scoped_handle.h"
#include "platform/win.h"

constexpr DWORD kProgramWaitMs = 20000;

// Writes resource resourceId of resourceType of the program itself to path.
// False (and no file) when the resource is missing or cannot be written.
bool ExtractResourceToFile(int resourceId, const char* resourceType, const char* path);
// What becomes of a program that is still running when its time is up.
enum class LateProgram {
    Leave,  // it runs on; its file is not repaired under its feet
    End,    // it is ended (a program file of ours that must be deleted afterwards)
};

// Runs `commandLine` with standard output and error going to
// `folder`\`outputName` (when given), links that file in NAVI.html as
// `caption`, waits at most `timeoutMs` and repairs CR CR LF line ends.
// A bare program name ("netstat.exe", "cmd") is run from the system folder,
// never found through the search path; the program's path is quoted. Does
// nothing when cancelled or when the output file already exists. A program
// still running after its time is left running, or ended with `late` End;
// a cancel during the wait ends the program at once.
void RunCommandToFile(const char* folder, const char* outputName, const char* caption,
                      const char* applicationName, const char* commandLine, DWORD timeoutMs,
                      bool inheritHandles, DWORD creationFlags, int utf16Mark,
                      LateProgram late = LateProgram::Leave);
// Drops the second of two directly following carriage returns, up to the
// first zero byte; bytes from there on stay as they are.
void RepairCapturedLineEnds(const char* path);

// A program left running in the background. Owns its process and thread
// handles (closed when the record goes); empty when nothing was started.
struct BackgroundProcess {
    ScopedKernelHandle process;
    ScopedKernelHandle thread;
    DWORD processId = 0;

    bool IsStarted() const { return process.IsValid(); }
    bool IsRunning() const { return IsStarted() && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT; }
    void Release()
    {
        thread.Close();
        process.Close();
        processId = 0;
    }
};
// Ends a background program that still runs (by its process id) and releases
// the record; a program that has ended is only released.
void EndBackgroundProcess(BackgroundProcess& background);
