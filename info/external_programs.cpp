#include "info/external_programs.h"

#include "app/app_state.h"
#include "info/redaction_run.h"
#include "info/registry.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/system_helpers.h"
#include "platform/windows_version.h"
#include "report/page_writer.h"

#include <cstring>

namespace {

constexpr size_t kCommandLineSize = 2048;
constexpr DWORD kRepairPieceSize = 65536;
// How long an ended program is given to be gone, and its output file to be let go.
constexpr DWORD kEndWaitMs = 5000;
constexpr DWORD kReleasePollMs = 20;
// How often a wait for a program looks at the cancel flag.
constexpr DWORD kCancelPollMs = 100;

// Where the program name of a command line ends and its arguments begin.
// A quoted name ends at its closing quote; an unquoted path (which may hold
// blanks, like the companions' folder) ends at ".exe" followed by a blank or
// the end; anything else ends at the first blank.
void SplitProgramName(const char* commandLine, char* program, size_t capacity, const char** arguments)
{
    const char* start = commandLine;
    const char* end = nullptr;
    if (*start == '"') {
        ++start;
        end = strchr(start, '"');
        if (end == nullptr) end = start + strlen(start);
        *arguments = *end == '"' ? end + 1 : end;
    } else {
        end = start + strcspn(start, " \t");
        if (memchr(start, '\\', static_cast<size_t>(end - start)) != nullptr) {
            for (const char* p = start; *p != '\0'; ++p) {
                if (_strnicmp(p, ".exe", 4) == 0 && (p[4] == '\0' || p[4] == ' ' || p[4] == '\t')) {
                    end = p + 4;
                    break;
                }
            }
        }
        *arguments = end;
    }
    size_t length = static_cast<size_t>(end - start);
    if (length >= capacity) length = capacity - 1;
    memcpy(program, start, length);
    program[length] = '\0';
}

// The command line with its program named by a full, quoted path. A bare
// name ("netstat.exe", "cmd") is taken from the system folder: the search
// path would look in the program's own folder first, where anyone could
// have put a file of that name. False when the result does not fit.
bool BuildCommandLine(const char* commandLine, char* out, size_t capacity)
{
    char program[kCommandLineSize];
    const char* arguments = "";
    SplitProgramName(commandLine, program, sizeof program, &arguments);
    if (program[0] == '\0') return CopyText(out, capacity, commandLine);

    char programPath[kCommandLineSize];
    if (strpbrk(program, "\\/:") == nullptr) {
        char systemFolder[MAX_PATH];
        UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return false;
        if (!JoinPath(programPath, systemFolder, program)) return false;
        if (strchr(program, '.') == nullptr && !AppendText(programPath, ".exe")) return false;
    } else if (!CopyText(programPath, program)) {
        return false;
    }
    return FormatText(out, capacity, "\"%s\"%s", programPath, arguments);
}

// One pass over a captured file: the second of two directly following
// carriage returns goes; everything from the first zero byte on stays as it
// is (text in UTF-16 has one right after its first character).
class LineEndRepair {
public:
    // Repairs `length` bytes in place and returns the new length.
    DWORD Process(unsigned char* bytes, DWORD length)
    {
        DWORD kept = 0;
        for (DWORD i = 0; i < length; ++i) {
            unsigned char c = bytes[i];
            if (!afterZero_) {
                if (c == 0) {
                    afterZero_ = true;
                } else if (c == '\r' && unpairedReturn_) {
                    unpairedReturn_ = false;
                    ++dropped_;
                    continue;
                } else {
                    unpairedReturn_ = (c == '\r');
                }
            }
            bytes[kept++] = c;
        }
        return kept;
    }
    unsigned long long Dropped() const { return dropped_; }

private:
    bool afterZero_ = false;
    bool unpairedReturn_ = false;
    unsigned long long dropped_ = 0;
};

// Waits, at most `timeoutMs`, until nothing holds the file any more: a
// console host that inherited the output handle may keep it a moment after
// the program itself has ended, and the file is only complete (and can only
// be deleted) once it has let go.
void WaitUntilReleased(const char* path, DWORD timeoutMs)
{
    for (DWORD waited = 0;; waited += kReleasePollMs) {
        ScopedKernelHandle file(
            CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || GetLastError() != ERROR_SHARING_VIOLATION || waited >= timeoutMs) return;
        Sleep(kReleasePollMs);
    }
}

enum class WaitEnd { Ended, TimeUp, Cancelled };

// Waits for the program at most `timeoutMs` (INFINITE: no limit), but not
// past a cancel: the run then deletes the folder the program writes into.
WaitEnd WaitForProgram(HANDLE process, DWORD timeoutMs)
{
    if (IsCancelRequestedAt(CancelPoint::ProgramWait)) return WaitEnd::Cancelled;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD step = kCancelPollMs;
        bool last = false;
        if (timeoutMs != INFINITE) {
            DWORD elapsed = GetTickCount() - start;
            DWORD left = elapsed < timeoutMs ? timeoutMs - elapsed : 0;
            if (left <= step) {
                step = left;
                last = true;
            }
        }
        if (WaitForSingleObject(process, step) != WAIT_TIMEOUT) return WaitEnd::Ended;
        if (IsCancelRequested()) return WaitEnd::Cancelled;
        if (last) return WaitEnd::TimeUp;
    }
}

}  // namespace

bool ExtractResourceToFile(int resourceId, const char* resourceType, const char* path)
{
    if (resourceType == nullptr || path == nullptr) return false;
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(resourceId), resourceType);
    if (resource == nullptr) return false;
    HGLOBAL loaded = LoadResource(self, resource);
    if (loaded == nullptr) return false;
    const void* bytes = LockResource(loaded);
    DWORD size = SizeofResource(self, resource);
    if (bytes == nullptr || size == 0) return false;

    ScopedKernelHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    bool ok = WriteFile(file.Get(), bytes, size, &written, nullptr) && written == size;
    file.Close();
    // A cut program must not be run: the caller gets no file then.
    if (!ok) DeleteFileA(path);
    return ok;
}

void RunCommandToFile(const char* folder, const char* outputName, const char* caption, const char* applicationName,
                      const char* commandLine, DWORD timeoutMs, bool inheritHandles, DWORD creationFlags,
                      int utf16Mark, LateProgram late)
{
    if (IsCancelRequested()) return;
    if (commandLine == nullptr) return;

    // CreateProcess may write into the command line: it gets a copy.
    char command[kCommandLineSize];
    if (!BuildCommandLine(commandLine, command, sizeof command)) return;

    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;

    char outputPath[kPathSize] = "";
    ScopedKernelHandle output;
    if (outputName != nullptr) {
        if (folder == nullptr || !FormatText(outputPath, "%s\\%s", folder, outputName)) return;
        output.Reset(CreateFileA(outputPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output) return;
        if (utf16Mark == 1 && !IsWindows6OrLater()) {
            static const unsigned char kByteOrderMark[2] = {0xFF, 0xFE};
            DWORD written = 0;
            WriteFile(output.Get(), kByteOrderMark, sizeof kByteOrderMark, &written, nullptr);
        }
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = output.Get();
        startup.hStdError = output.Get();
    }

    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessA(applicationName, command, nullptr, nullptr, inheritHandles ? TRUE : FALSE,
                                  creationFlags, nullptr, nullptr, &startup, &info);
    ScopedKernelHandle process(started ? info.hProcess : nullptr);
    ScopedKernelHandle thread(started ? info.hThread : nullptr);

    if (started && output) {
        char escapedPath[2 * kPathSize];
        EscapePercent(outputPath, escapedPath, sizeof escapedPath);
        AddNaviLink(caption != nullptr ? caption : outputName, escapedPath, nullptr);
    }

    WaitEnd end = started ? WaitForProgram(process.Get(), timeoutMs) : WaitEnd::Ended;
    bool stillRunning = end != WaitEnd::Ended;
    // A redacted run must filter the output, which it can only once the program is gone.
    const bool endLate = late == LateProgram::End || (output && ActiveRedaction() != nullptr);
    if (end == WaitEnd::Cancelled || (stillRunning && endLate)) {
        // Ended before the caller goes on: a running program file cannot be
        // deleted, nor can the folder of a cancelled run while it writes there.
        TerminateProcess(process.Get(), 1);
        stillRunning = WaitForSingleObject(process.Get(), kEndWaitMs) != WAIT_OBJECT_0;
    }
    thread.Close();
    process.Close();

    if (output) {
        output.Close();
        // A program still running holds the file and may still write to it:
        // rewriting it under its feet would mix old and new bytes. A
        // cancelled run deletes the file anyway: it waits for nothing more.
        if (!stillRunning && end != WaitEnd::Cancelled) {
            WaitUntilReleased(outputPath, kEndWaitMs);
            RepairCapturedLineEnds(outputPath);
            RedactFileInPlace(outputPath);
        }
    }
}

void RepairCapturedLineEnds(const char* path)
{
    if (path == nullptr) return;
    // Write sharing: a console host that inherited the output handle may
    // still hold it for a moment after the program itself has ended.
    ScopedKernelHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;

    unsigned char* piece = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, kRepairPieceSize));
    if (piece == nullptr) return;

    // First pass: is there anything to repair at all? Most files have nothing.
    LineEndRepair probe;
    DWORD got = 0;
    bool readOk = true;
    while ((readOk = ReadFile(file.Get(), piece, kRepairPieceSize, &got, nullptr) != FALSE) && got > 0) {
        probe.Process(piece, got);
    }

    if (readOk && probe.Dropped() > 0) {
        // Second pass in place: the text only gets shorter, so every piece is
        // read before the place it is written back to.
        LineEndRepair repair;
        LARGE_INTEGER readPosition = {};
        LARGE_INTEGER writePosition = {};
        bool complete = false;
        for (;;) {
            if (!SetFilePointerEx(file.Get(), readPosition, nullptr, FILE_BEGIN)) break;
            if (!ReadFile(file.Get(), piece, kRepairPieceSize, &got, nullptr)) break;
            if (got == 0) {
                complete = true;
                break;
            }
            readPosition.QuadPart += got;
            DWORD kept = repair.Process(piece, got);
            DWORD written = 0;
            if (!SetFilePointerEx(file.Get(), writePosition, nullptr, FILE_BEGIN)) break;
            if (!WriteFile(file.Get(), piece, kept, &written, nullptr) || written != kept) break;
            writePosition.QuadPart += kept;
        }
        // After a failed step the tail is left in place rather than cut off.
        if (complete && SetFilePointerEx(file.Get(), writePosition, nullptr, FILE_BEGIN)) SetEndOfFile(file.Get());
    }
    HeapFree(GetProcessHeap(), 0, piece);
}

void EndBackgroundProcess(BackgroundProcess& background)
{
    if (background.IsRunning()) {
        DWORD error = 0;
        TerminateProcessById(background.processId, &error);
        // Its files can go with the tree only once it has let go of them.
        WaitForSingleObject(background.process.Get(), kProgramWaitMs);
    }
    background.Release();
}
