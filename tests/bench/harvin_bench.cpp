// Times the program's own code as it runs under Wine, for scripts/bench,
// which runs the peers on the Linux side and prints the table. Each mode does
// its work once and prints "seconds S" and what it produced:
//
//   harvin_bench archive TREE ZIP        the archive step (BuildReportArchive)
//                                        over TREE as the output tree, its status
//                                        texts going to a window on another
//                                        thread as they go to the dialog
//   harvin_bench archive1 TREE ZIP       the same walk with one thread (for comparison)
//   harvin_bench md5 FILE                FileMd5Hex
//   harvin_bench crc FILE                FileCrc32 over the whole file
//   harvin_bench processes N SLEEPER DLL the processes page (WriteProcessList)
//                                        with N sleepers that load DLL running;
//                                        also the process enumeration alone
//   harvin_bench collection FOLDER DIST on|off
//                                        a standard collection as an unattended
//                                        run makes it, output in FOLDER, with
//                                        DIST's English language library, with
//                                        or without the signature checks
//   harvin_bench eventlog-classic N A B [KEPT|limit]
//                                        the classic event log export of N
//                                        crafted records whose messages are in
//                                        the libraries A and B, and its floor;
//                                        KEPT libraries kept (0: none); "limit":
//                                        the export alone
//   harvin_bench eventlog-modern N       the newer export of N fake events, and its floor
#include "app/app_state.h"
#include "app/output_location.h"
#include "app/report_archive.h"
#include "app/unattended_run.h"
#include "framework/framework.h"
#include "info/file_info.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/process_list.h"
#include "system/windows_stuff.h"
#include "tests/bench/eventlog_bench.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A stand-in for the main dialog on a thread of its own: a window with the
// status line control, so the status texts cross threads as in the program.
class StatusWindow {
public:
    StatusWindow()
    {
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &StatusWindow::Main, this, 0, &threadId_);
        if (thread_ != nullptr) WaitForSingleObject(ready_, 10000);
        MainDialogWindow = window_;
    }
    ~StatusWindow()
    {
        MainDialogWindow = nullptr;
        if (thread_ != nullptr) {
            PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
            WaitForSingleObject(thread_, 10000);
            CloseHandle(thread_);
        }
        CloseHandle(ready_);
    }
    // User and kernel time of the window's thread so far.
    double CpuSeconds() const
    {
        FILETIME created, exited, kernel, user;
        if (thread_ == nullptr || !GetThreadTimes(thread_, &created, &exited, &kernel, &user)) return -1;
        auto seconds = [](const FILETIME& t) {
            return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
        };
        return seconds(kernel) + seconds(user);
    }

private:
    static DWORD WINAPI Main(LPVOID parameter)
    {
        StatusWindow* self = static_cast<StatusWindow*>(parameter);
        HWND window = CreateWindowExA(0, "STATIC", "Harvin bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 120,
                                      nullptr, nullptr, nullptr, nullptr);
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 460, 20, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_LINE)), nullptr, nullptr);
        self->window_ = window;
        SetEvent(self->ready_);
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DestroyWindow(window);
        return 0;
    }

    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
};

int Archive(const char* tree, const char* zipPath, bool oneThread)
{
    CopyText(OutputRoot, tree);
    CopyText(ArchivePath, zipPath);
    StatusWindow status;
    const double cpuBefore = status.CpuSeconds();
    double start = Now();
    bool complete;
    if (oneThread) {
        ZipFile zip = ZipOpen(ArchivePath, 0);
        complete = zip != nullptr && AddTreeToArchive(zip, OutputRoot, nullptr);
        complete = zip != nullptr && ZipClose(zip, "Norvane Support Information File") == ZIP_OK && complete;
    } else {
        complete = BuildReportArchive();
    }
    const double seconds = Now() - start;
    printf("seconds %.3f complete %d status-thread-cpu %.3f\n", seconds, complete ? 1 : 0,
           status.CpuSeconds() - cpuBefore);
    return complete ? 0 : 1;
}

int Md5(const char* path)
{
    char hex[33];
    double start = Now();
    bool ok = FileMd5Hex(path, hex, sizeof hex);
    printf("seconds %.3f md5 %s\n", Now() - start, ok ? hex : "-");
    return ok ? 0 : 1;
}

int Crc(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 1;
    unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    DWORD crc = 0;
    double start = Now();
    bool ok = FileCrc32(path, size, &crc);
    printf("seconds %.3f crc %08lx\n", Now() - start, static_cast<unsigned long>(crc));
    return ok ? 0 : 1;
}

// Sleepers that load the same module, as the programs of a real machine
// share ntdll.dll, kernel32.dll and the rest; ended when it goes.
class Sleepers {
public:
    Sleepers(int count, const char* sleeper, const char* dll)
    {
        char eventName[64];
        snprintf(eventName, sizeof eventName, "harvin-bench-sleeper-%lu", GetCurrentProcessId());
        for (int i = 0; i < count; ++i) {
            HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName);
            std::string command = std::string("\"") + sleeper + "\" \"" + dll + "\" " + eventName + " 600000";
            std::vector<char> line(command.begin(), command.end());
            line.push_back('\0');
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info = {};
            if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
                HANDLE waits[2] = {ready, info.hProcess};
                if (WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0) ++started_;
                CloseHandle(info.hThread);
                processes_.push_back(info.hProcess);
            }
            CloseHandle(ready);
        }
    }
    ~Sleepers()
    {
        for (HANDLE process : processes_) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
    int Started() const { return started_; }

private:
    std::vector<HANDLE> processes_;
    int started_ = 0;
};

int Processes(int count, const char* sleeper, const char* dll)
{
    Sleepers sleepers(count, sleeper, dll);
    if (sleepers.Started() != count) {
        printf("started %d of %d sleepers\n", sleepers.Started(), count);
        return 1;
    }
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    std::string pagePath = std::string(folder) + "harvin-bench-processes.html";
    FILE* page = fopen(pagePath.c_str(), "w");
    if (page == nullptr) return 1;
    // The enumeration alone, which the page does first, for comparison.
    const double enumerateStart = Now();
    DWORD error = 0;
    ProcessEntry* list = EnumerateProcesses(true, &error);
    int modules = 0;
    for (const ProcessEntry* process = list; process != nullptr; process = process->next) {
        for (const ModuleEntry* module = process->modules; module != nullptr; module = module->next) ++modules;
    }
    FreeProcessList(list);
    printf("enumerate %.3f modules %d\n", Now() - enumerateStart, modules);

    CWindowsStuff windows;
    double start = Now();
    windows.WriteProcessList(page);
    double seconds = Now() - start;
    long bytes = ftell(page);
    fclose(page);
    DeleteFileA(pagePath.c_str());
    printf("seconds %.3f processes %d page-bytes %ld\n", seconds, count, bytes);
    return 0;
}

int Collection(const std::string& folder, const std::string& dist, bool signatures)
{
    HMODULE library = LoadLibraryA((dist + "\\en-us\\harvinr.dll").c_str());
    if (library == nullptr) return 1;
    SetResourceModule(library);
    ResourceLibrary = library;
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyText(ProgramPathOverride, (folder + "\\harvin.exe").c_str());
    SetSignatureChecksEnabled(signatures);
    CommandLineOptions options;
    options.noDesktop = true;
    double start = Now();
    int code = RunUnattendedCollection(options);
    printf("seconds %.3f exit %d signatures %s\n", Now() - start, code, signatures ? "on" : "off");
    return code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if ((mode == "archive" || mode == "archive1") && argc == 4) return Archive(argv[2], argv[3], mode == "archive1");
    if (mode == "md5" && argc == 3) return Md5(argv[2]);
    if (mode == "crc" && argc == 3) return Crc(argv[2]);
    if (mode == "processes" && argc == 5) return Processes(atoi(argv[2]), argv[3], argv[4]);
    if (mode == "collection" && argc == 5) return Collection(argv[2], argv[3], std::string(argv[4]) == "on");
    if (mode == "eventlog-classic" && (argc == 5 || argc == 6)) {
        const std::string last = argc == 6 ? argv[5] : "";
        const size_t kept = last.empty() || last == "limit" ? kKeptEventLibraries : strtoul(last.c_str(), nullptr, 10);
        return BenchClassicEventLog(atoi(argv[2]), argv[3], argv[4], last != "limit", kept);
    }
    if (mode == "eventlog-modern" && argc == 3) return BenchModernEventLog(atoi(argv[2]));
    fprintf(stderr,
            "usage: harvin_bench archive|archive1 TREE ZIP | md5 FILE | crc FILE | processes N SLEEPER DLL |\n"
            "       collection FOLDER DIST on|off | eventlog-classic N A B [KEPT|limit] | eventlog-modern N\n");
    return 2;
}
