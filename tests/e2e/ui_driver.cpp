// Drives harvin.exe from outside the way a person would: finds its windows,
// types into the edit fields and presses buttons, and reports what it saw on
// standard output, one line per fact, for the orchestrating scripts.
//
//   ui_driver.exe MODE [options] -- PROGRAM [program arguments...]
//
// Modes:
//   run          one collection per --runs (standard, or --extended), confirm
//                its messages, then close the program with button 1
//   cancel       start a collection and, while it runs, ask to cancel it three
//                ways: button 1 (answered No), Escape (No), the close box (Yes);
//                check that the dialog is idle again; --then-run starts a
//                second, normal collection afterwards
//   decline      open the user information dialog and leave it by its close
//                box, then by its Cancel button; the dialog must stay idle;
//                then one normal collection (none with --runs 0)
//   second       start the program, minimise it, start a second instance and
//                check that it ends and the first comes back to the front
//   close-idle   start the program and close it with button 1 at once
//   probe        report the first window the program shows: the main dialog
//                (its title) or a message box (its text), then dismiss it
//   unattended   start the program (its options in --raw), report every window
//                it shows or opens as a dialog, and its exit code; --lock holds
//                a file open without sharing meanwhile; --first-instance starts
//                an interactive instance before it and closes it afterwards
//
// A run stays under way for as long as the caller wants: the test prefix
// holds a stand-in system information tool that the run waits for and that
// the caller releases. Nothing of the program is suspended or slowed.
//
// Options:
//   --name T --company T --third T   text typed into the user information dialog
//   --extended                       press the extended button instead of OK
//   --redact                         check "Remove personal data" first
//   --runs N                         number of collections in mode run
//   --then-run                       mode cancel: a normal run afterwards
//   --title T                        expected main window title (default: text
//                                    23 of the language library beside the program)
//   --hold POINT                     pause at "running" (the run is under way),
//                                    "between" (after each run but the last) or
//                                    "finished" (after the final message): prints
//                                    "HOLD POINT" and waits for a line on stdin
//   --under-way N                    the run counts as under way once the
//                                    status list has N lines (default 3)
//   --run-timeout S                  limit for one collection (default 300)
//   --timeout S                      limit for everything (default 600)
//
// Lines written: TITLE, STATUS (status list after a run), MESSAGE (a message
// box during the run's end), FINAL (final message), QUESTION (cancel
// question: how it was asked, its text), BUTTON1 (text of button 1), CPU (the
// dialog thread's processor time over the run), STANDIN (whether the stand-in
// tool still runs after a cancel), HOLD, MESSAGEBOX, TEXT, EXITCODE, and at
// the end RESULT ok or FAIL <reason>.
// Exit code: 0 success, 1 failure, 2 bad arguments.
#include "lang/resource_ids.h"
#include "platform/win.h"

#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- output and failure -------------------------------------------------------

HANDLE g_target = nullptr;  // the program under test; ended on failure
HANDLE g_targetThread = nullptr;
DWORD g_targetId = 0;

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

// Message texts on one line: line feeds as \n, carriage returns dropped.
std::string OneLine(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void Fail(const char* format, ...)
{
    char reason[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    Say("FAIL %s", reason);
    if (g_target != nullptr) TerminateProcess(g_target, 99);
    ExitProcess(1);
}

DWORD WINAPI Watchdog(void* param)
{
    Sleep(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(param)));
    Fail("overall time limit reached");
}

// ---- windows of the target --------------------------------------------------------

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Texts of another process's windows come through WM_GETTEXT with a time
// limit, so a hung target cannot hang the driver.
std::string TextOf(HWND window)
{
    if (window == nullptr) return "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return "";
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, 5000, &got);
    buffer.back() = '\0';
    return buffer.data();
}

std::string ItemText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

bool IsDialog(HWND window) { return ClassOf(window) == "#32770"; }

bool IsMainDialog(HWND window)
{
    return IsDialog(window) && GetDlgItem(window, IDC_START_COLLECTION) != nullptr &&
           GetDlgItem(window, IDC_STATUS_LIST) != nullptr;
}

bool IsUserInfoDialog(HWND window)
{
    return IsDialog(window) && GetDlgItem(window, IDC_USER_NAME) != nullptr &&
           GetDlgItem(window, IDC_USER_COMPANY) != nullptr;
}

// A message box: a dialog with the static text control 0xFFFF.
bool IsMessageBox(HWND window) { return IsDialog(window) && GetDlgItem(window, 0xFFFF) != nullptr; }

bool IsQuestionBox(HWND window)
{
    return IsMessageBox(window) && GetDlgItem(window, IDYES) != nullptr && GetDlgItem(window, IDNO) != nullptr;
}

// A message box may be visible a moment before its text is set.
std::string MessageText(HWND box)
{
    std::string text;
    for (DWORD start = GetTickCount(); text.empty() && GetTickCount() - start < 5000; Sleep(20)) {
        text = ItemText(box, 0xFFFF);
    }
    return text;
}

struct FindRequest {
    DWORD processId;
    bool (*test)(HWND);
    std::string title;  // empty: any title
    HWND found;
};

BOOL CALLBACK FindCallback(HWND window, LPARAM param)
{
    auto* request = reinterpret_cast<FindRequest*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != request->processId || !IsWindowVisible(window)) return TRUE;
    if (!request->test(window)) return TRUE;
    if (!request->title.empty() && TextOf(window) != request->title) return TRUE;
    request->found = window;
    return FALSE;
}

HWND FindWindowOf(DWORD processId, bool (*test)(HWND), const std::string& title = "")
{
    FindRequest request{processId, test, title, nullptr};
    EnumWindows(&FindCallback, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

bool TargetEnded(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

HWND WaitForWindow(DWORD processId, bool (*test)(HWND), DWORD timeoutMs, const char* what,
                   const std::string& title = "")
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowOf(processId, test, title);
        if (window != nullptr) return window;
        if (g_target != nullptr && g_targetId == processId && TargetEnded(g_target)) {
            DWORD code = 0;
            GetExitCodeProcess(g_target, &code);
            Fail("the program ended (exit code %lu) while waiting for %s", code, what);
        }
        if (GetTickCount() - start > timeoutMs) Fail("no %s within %lu ms", what, timeoutMs);
        Sleep(50);
    }
}

void WaitUntilGone(HWND window, DWORD timeoutMs, const char* what)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start > timeoutMs) Fail("%s did not close within %lu ms", what, timeoutMs);
        Sleep(50);
    }
}

// A button press as the user makes it. Posted: the target runs whole
// collections inside the click's handler.
void Click(HWND dialog, int id, const char* what)
{
    HWND button = GetDlgItem(dialog, id);
    if (button == nullptr) Fail("no button %d (%s)", id, what);
    DWORD start = GetTickCount();
    while (!IsWindowEnabled(button)) {
        if (GetTickCount() - start > 10000) Fail("button %d (%s) stays disabled", id, what);
        Sleep(50);
    }
    PostMessageA(button, BM_CLICK, 0, 0);
}

void TypeText(HWND dialog, int id, const std::string& text)
{
    HWND edit = GetDlgItem(dialog, id);
    if (edit == nullptr) Fail("no edit control %d", id);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                             &result)) {
        Fail("typing into control %d timed out", id);
    }
    if (TextOf(edit) != text) Fail("control %d does not hold the typed text", id);
}

// The status list's lines. Asked in UTF-16: across processes Wine hands back
// the list's text wide whatever the request, so the buffer is sized for that
// and generously (the reply is copied without regard to the caller's size).
std::vector<std::string> StatusLines(HWND dialog)
{
    std::vector<std::string> lines;
    HWND list = GetDlgItem(dialog, IDC_STATUS_LIST);
    DWORD_PTR count = 0;
    if (list == nullptr || !SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count)) return lines;
    std::vector<wchar_t> wide(32768, L'\0');
    for (int i = 0; i < static_cast<int>(count); ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, SMTO_ABORTIFHUNG, 5000, &length);
        if (static_cast<LONG_PTR>(length) < 0 || length >= wide.size()) continue;
        std::fill(wide.begin(), wide.end(), L'\0');
        DWORD_PTR got = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide.data()),
                            SMTO_ABORTIFHUNG, 5000, &got);
        wide.back() = L'\0';
        char text[4096] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text, sizeof text - 1, nullptr, nullptr);
        lines.push_back(text);
    }
    return lines;
}

int StatusCount(HWND dialog)
{
    DWORD_PTR count = 0;
    HWND list = GetDlgItem(dialog, IDC_STATUS_LIST);
    if (list == nullptr || !SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count)) return 0;
    return static_cast<int>(count);
}

// ---- the program's processes ---------------------------------------------------------

// Whether a process with this image name runs.
bool ProcessRuns(const char* imageName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry)) {
        found = lstrcmpiA(entry.szExeFile, imageName) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

int ProgressPosition(HWND dialog)
{
    DWORD_PTR position = 0;
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
    if (bar == nullptr || !SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position)) return -1;
    return static_cast<int>(position);
}

ULONGLONG FileTimeMs(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 10000;
}

// User and kernel processor time of the dialog thread (the target's main thread).
bool DialogThreadTimes(ULONGLONG* userMs, ULONGLONG* kernelMs)
{
    FILETIME created, exited, kernel, user;
    if (g_targetThread == nullptr || !GetThreadTimes(g_targetThread, &created, &exited, &kernel, &user)) return false;
    *userMs = FileTimeMs(user);
    *kernelMs = FileTimeMs(kernel);
    return true;
}

// ---- options ------------------------------------------------------------------------

struct Options {
    std::string mode;
    std::string name, company, third;
    bool setName = false, setCompany = false, setThird = false;
    bool extended = false;
    bool redact = false;
    bool thenRun = false;
    int runs = 1;
    int underWayLines = 3;
    std::string title;
    std::set<std::string> holds;
    DWORD runTimeoutMs = 300000;
    DWORD timeoutMs = 600000;
    std::string program;
    std::string commandLine;  // program and its arguments, quoted
    std::string rawArguments;  // appended to the command line as they stand
    std::string lockPath;      // held open without sharing while the program runs
    bool firstInstance = false;
};

std::string Quote(const std::string& word)
{
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
    std::string out = "\"";
    for (char c : word) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

[[noreturn]] void Usage(const char* problem)
{
    fprintf(stderr, "ui_driver: %s\nusage: ui_driver MODE [options] -- PROGRAM [arguments]\n", problem);
    ExitProcess(2);
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    if (argc < 2) Usage("no mode");
    options.mode = argv[1];
    int i = 2;
    auto value = [&](const char* option) -> std::string {
        if (i + 1 >= argc) Usage(option);
        return argv[++i];
    };
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--name") { options.name = value("--name"); options.setName = true; }
        else if (arg == "--company") { options.company = value("--company"); options.setCompany = true; }
        else if (arg == "--third") { options.third = value("--third"); options.setThird = true; }
        else if (arg == "--extended") options.extended = true;
        else if (arg == "--redact") options.redact = true;
        else if (arg == "--then-run") options.thenRun = true;
        else if (arg == "--runs") options.runs = atoi(value("--runs").c_str());
        else if (arg == "--under-way") options.underWayLines = atoi(value("--under-way").c_str());
        else if (arg == "--title") options.title = value("--title");
        else if (arg == "--hold") options.holds.insert(value("--hold"));
        else if (arg == "--run-timeout") options.runTimeoutMs = 1000u * static_cast<DWORD>(atoi(value("--run-timeout").c_str()));
        else if (arg == "--timeout") options.timeoutMs = 1000u * static_cast<DWORD>(atoi(value("--timeout").c_str()));
        else if (arg == "--raw") options.rawArguments = value("--raw");
        else if (arg == "--lock") options.lockPath = value("--lock");
        else if (arg == "--first-instance") options.firstInstance = true;
        else Usage(argv[i]);
    }
    if (i >= argc) Usage("no program");
    options.program = argv[i];
    for (; i < argc; ++i) {
        if (!options.commandLine.empty()) options.commandLine += ' ';
        options.commandLine += Quote(argv[i]);
    }
    if (!options.rawArguments.empty()) options.commandLine += " " + options.rawArguments;
    return options;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : path.substr(0, slash + 1);
}

// A text of the language library the program would load (English wins).
std::string LibraryText(const std::string& program, UINT id)
{
    std::string folder = FolderOf(program);
    for (const char* language : {"en-us", "de-de"}) {
        std::string path = folder + language + "\\harvinr.dll";
        HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (library == nullptr) continue;
        char buffer[600] = "";
        LoadStringA(library, id, buffer, sizeof buffer);
        FreeLibrary(library);
        return buffer;
    }
    return "";
}

void Hold(const Options& options, const char* point)
{
    if (options.holds.count(point) == 0) return;
    Say("HOLD %s", point);
    char line[64];
    if (fgets(line, sizeof line, stdin) == nullptr) return;  // no one listening: go on
}

// ---- the program under test ------------------------------------------------------------

struct Target {
    PROCESS_INFORMATION info{};
};

Target StartTarget(const Options& options, bool keepAsMain)
{
    Target target;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::vector<char> commandLine(options.commandLine.begin(), options.commandLine.end());
    commandLine.push_back('\0');
    std::string folder = FolderOf(options.program);
    if (!CreateProcessA(options.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &target.info)) {
        Fail("cannot start %s (error %lu)", options.program.c_str(), GetLastError());
    }
    if (keepAsMain) {
        g_target = target.info.hProcess;
        g_targetThread = target.info.hThread;
        g_targetId = target.info.dwProcessId;
    }
    return target;
}

DWORD WaitForExit(HANDLE process, DWORD timeoutMs, const char* what)
{
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) Fail("%s did not end within %lu ms", what, timeoutMs);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

HWND WaitForMainDialog(const Options& options, DWORD processId)
{
    HWND dialog = WaitForWindow(processId, &IsMainDialog, 30000, "main dialog");
    std::string title = TextOf(dialog);
    Say("TITLE %s", title.c_str());
    if (!options.title.empty() && title != options.title) {
        Fail("main window title is \"%s\", expected \"%s\"", title.c_str(), options.title.c_str());
    }
    // A person finds the program by its title; so does a second instance.
    if (!options.title.empty() && FindWindowOf(processId, &IsMainDialog, options.title) != dialog) {
        Fail("the main dialog cannot be found by its title");
    }
    return dialog;
}

void ReportIdle(const Options& options, HWND dialog)
{
    std::string button = ItemText(dialog, IDOK);
    Say("BUTTON1 %s", button.c_str());
    if (!IsWindowEnabled(GetDlgItem(dialog, IDC_START_COLLECTION))) Fail("the start button stays disabled");
    std::string expected = LibraryText(options.program, IDS_BUTTON_CLOSE);
    if (!expected.empty() && button != expected) Fail("button 1 shows \"%s\" after the run", button.c_str());
}

enum class RunEnd { Finished, Cancelled };

// The final message is one of three texts (the archive on the desktop,
// beside the program, or not made); they are told apart from other message
// boxes by their text up to the first value.
bool IsFinalMessage(const Options& options, const std::string& text)
{
    for (UINT id : {IDS_COLLECTION_COMPLETE, IDS_FMT_COMPLETE_NOT_ON_DESKTOP, IDS_FMT_COMPLETE_NO_ARCHIVE}) {
        std::string fixed = OneLine(LibraryText(options.program, id));
        fixed = fixed.substr(0, fixed.find('%'));
        if (!fixed.empty() && text.compare(0, fixed.size(), fixed) == 0) return true;
    }
    return false;
}

// Presses Escape the way the keyboard does: a key message to the control
// that has the focus in the dialog's thread.
void PressEscape(HWND dialog)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus != nullptr &&
        IsChild(dialog, info.hwndFocus)) {
        target = info.hwndFocus;
    }
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

// Asks to cancel the running collection one way and answers the question.
void AskToCancel(HWND dialog, const char* how, bool yes)
{
    if (strcmp(how, "button") == 0) Click(dialog, IDOK, "cancel");
    else if (strcmp(how, "escape") == 0) PressEscape(dialog);
    else PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND question = WaitForWindow(g_targetId, &IsQuestionBox, 10000, "cancel question");
    Say("QUESTION %s %s", how, OneLine(MessageText(question)).c_str());
    Click(question, yes ? IDYES : IDNO, yes ? "yes to the cancel question" : "no to the cancel question");
    // Gone for good, not only hidden: until its window is destroyed the box's
    // own message loop still runs, and a key pressed now would go to it.
    DWORD start = GetTickCount();
    while (IsWindow(question)) {
        if (GetTickCount() - start > 10000) Fail("the cancel question (%s) did not close", how);
        Sleep(20);
    }
    if (!yes && !IsWindow(dialog)) Fail("after No to the question (%s) the dialog is gone", how);
}

// One collection from the start button to the end of the run. With `cancel`
// the run is cancelled while it is under way.
RunEnd DriveCollection(const Options& options, HWND dialog, bool cancel)
{
    DWORD processId = g_targetId;
    Click(dialog, IDC_START_COLLECTION, "start");

    // The administrator warning may come first (not under Wine, where every
    // user is an administrator).
    HWND details = nullptr;
    DWORD start = GetTickCount();
    while (details == nullptr) {
        HWND warning = FindWindowOf(processId, &IsQuestionBox);
        if (warning != nullptr) {
            Say("WARNING %s", OneLine(MessageText(warning)).c_str());
            Click(warning, IDYES, "yes to the administrator warning");
            WaitUntilGone(warning, 10000, "administrator warning");
        }
        details = FindWindowOf(processId, &IsUserInfoDialog);
        if (details == nullptr) {
            if (TargetEnded(g_target)) Fail("the program ended after the start button");
            if (GetTickCount() - start > 30000) Fail("no user information dialog");
            Sleep(50);
        }
    }
    if (options.setName) TypeText(details, IDC_USER_NAME, options.name);
    if (options.setCompany) TypeText(details, IDC_USER_COMPANY, options.company);
    if (options.setThird) TypeText(details, IDC_USER_THIRD, options.third);
    if (options.redact) Click(details, IDC_REMOVE_PERSONAL_DATA, "remove personal data");

    ULONGLONG user0 = 0, kernel0 = 0, user1 = 0, kernel1 = 0;
    bool timed = DialogThreadTimes(&user0, &kernel0);
    DWORD runStart = GetTickCount();
    Click(details, options.extended ? IDC_EXTENDED_COLLECTION : IDOK, options.extended ? "extended" : "standard");
    WaitUntilGone(details, 10000, "user information dialog");

    bool holdRunning = options.holds.count("running") != 0;
    if (cancel || holdRunning) {
        // Under way: the worker has written a few status lines.
        DWORD waitStart = GetTickCount();
        while (StatusCount(dialog) < options.underWayLines) {
            if (FindWindowOf(processId, &IsMessageBox) != nullptr) Fail("the run ended before it was under way");
            if (GetTickCount() - waitStart > options.runTimeoutMs) Fail("the run shows no status line");
            Sleep(20);
        }
        Say("UNDERWAY after %d status line(s)", StatusCount(dialog));
        if (holdRunning) {
            // Give the progress bar a few steps (one every 700 ms) and the
            // dialog time to paint.
            for (DWORD barStart = GetTickCount(); ProgressPosition(dialog) < 4 && GetTickCount() - barStart < 5000;) {
                Sleep(50);
            }
            Sleep(300);
            Say("PROGRESS %d", ProgressPosition(dialog));
            Hold(options, "running");
        }
        if (cancel) {
            AskToCancel(dialog, "button", false);
            AskToCancel(dialog, "escape", false);
            AskToCancel(dialog, "closebox", true);
        }
    }

    // The end: message boxes up to the final message, or (cancelled) the
    // start button enabled again.
    RunEnd end = RunEnd::Cancelled;
    DWORD waitStart = GetTickCount();
    for (;;) {
        HWND box = FindWindowOf(processId, &IsMessageBox);
        if (box != nullptr && !IsQuestionBox(box)) {
            std::string text = OneLine(MessageText(box));
            bool final = IsFinalMessage(options, text);
            Say("%s %s", final ? "FINAL" : "MESSAGE", text.c_str());
            std::string caption = TextOf(box);
            if (!options.title.empty() && caption != options.title) Fail("message caption \"%s\"", caption.c_str());
            Click(box, IDOK, "OK of the message");
            WaitUntilGone(box, 10000, "message");
            if (final) {
                if (cancel) Fail("a cancelled run showed its final message");
                end = RunEnd::Finished;
                break;
            }
            continue;
        }
        if (cancel && IsWindowEnabled(GetDlgItem(dialog, IDC_START_COLLECTION))) break;
        if (TargetEnded(g_target)) Fail("the program ended during the run");
        if (GetTickCount() - waitStart > options.runTimeoutMs) Fail("the run did not end in time");
        Sleep(20);
    }
    DWORD runMs = GetTickCount() - runStart;
    if (timed && DialogThreadTimes(&user1, &kernel1)) {
        Say("CPU dialog thread user=%llu ms kernel=%llu ms over a run of %lu ms", user1 - user0, kernel1 - kernel0,
            runMs);
    }
    // The dialog is idle again.
    DWORD idleStart = GetTickCount();
    while (!IsWindowEnabled(GetDlgItem(dialog, IDC_START_COLLECTION))) {
        if (GetTickCount() - idleStart > 30000) Fail("the dialog does not return to idle");
        Sleep(20);
    }
    for (const std::string& line : StatusLines(dialog)) Say("STATUS %s", line.c_str());
    ReportIdle(options, dialog);
    return end;
}

void CloseProgram(HWND dialog)
{
    Click(dialog, IDOK, "close");
    DWORD code = WaitForExit(g_target, 30000, "the program after close");
    Say("EXITCODE %lu", code);
    g_target = nullptr;
}

// ---- modes ---------------------------------------------------------------------------------

int ModeRun(const Options& options)
{
    StartTarget(options, true);
    HWND dialog = WaitForMainDialog(options, g_targetId);
    for (int run = 0; run < options.runs; ++run) {
        if (DriveCollection(options, dialog, false) != RunEnd::Finished) Fail("run %d did not finish", run + 1);
        if (run + 1 < options.runs) Hold(options, "between");
    }
    Hold(options, "finished");
    CloseProgram(dialog);
    return 0;
}

int ModeCancel(const Options& options)
{
    StartTarget(options, true);
    HWND dialog = WaitForMainDialog(options, g_targetId);
    DriveCollection(options, dialog, true);
    Say("CANCELLED");
    Say("STANDIN %s", ProcessRuns("msinfo32.exe") ? "running" : "ended");
    Hold(options, "cancelled");
    if (options.thenRun && DriveCollection(options, dialog, false) != RunEnd::Finished) {
        Fail("the run after the cancel did not finish");
    }
    Hold(options, "finished");
    CloseProgram(dialog);
    return 0;
}

// Opens the user information dialog and leaves it without a collection: by
// its close box, then by its Cancel button. Both times the dialog must be
// idle again with nothing started.
int ModeDecline(const Options& options)
{
    StartTarget(options, true);
    HWND dialog = WaitForMainDialog(options, g_targetId);
    const struct {
        const char* how;
        bool closeBox;
    } ways[] = {{"close box", true}, {"cancel button", false}};
    for (const auto& way : ways) {
        Click(dialog, IDC_START_COLLECTION, "start");
        HWND details = WaitForWindow(g_targetId, &IsUserInfoDialog, 30000, "user information dialog");
        if (way.closeBox) PostMessageA(details, WM_SYSCOMMAND, SC_CLOSE, 0);
        else Click(details, IDCANCEL, "cancel of the user information dialog");
        WaitUntilGone(details, 10000, "user information dialog");
        DWORD start = GetTickCount();
        while (!IsWindowEnabled(dialog) || !IsWindowEnabled(GetDlgItem(dialog, IDC_START_COLLECTION))) {
            if (GetTickCount() - start > 10000) Fail("after the %s the main dialog stays disabled", way.how);
            Sleep(20);
        }
        Sleep(300);  // a run would have shown its first status line by now
        if (StatusCount(dialog) != 0) Fail("after the %s a collection started", way.how);
        if (FindWindowOf(g_targetId, &IsMainDialog) != dialog) Fail("after the %s the main dialog is gone", way.how);
        Say("DECLINED %s", way.how);
    }
    if (options.runs > 0 && DriveCollection(options, dialog, false) != RunEnd::Finished) {
        Fail("the run after declining did not finish");
    }
    CloseProgram(dialog);
    return 0;
}

int ModeSecond(const Options& options)
{
    StartTarget(options, true);
    HWND dialog = WaitForMainDialog(options, g_targetId);
    PostMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    DWORD start = GetTickCount();
    while (!IsIconic(dialog)) {
        if (GetTickCount() - start > 10000) Fail("the dialog does not minimise");
        Sleep(20);
    }
    Say("MINIMISED");

    Target second = StartTarget(options, false);
    DWORD secondStart = GetTickCount();
    DWORD code = STILL_ACTIVE;
    while (WaitForSingleObject(second.info.hProcess, 20) != WAIT_OBJECT_0) {
        if (FindWindowOf(second.info.dwProcessId, &IsMainDialog) != nullptr) {
            TerminateProcess(second.info.hProcess, 98);
            Fail("the second instance shows its own dialog");
        }
        if (GetTickCount() - secondStart > 20000) {
            TerminateProcess(second.info.hProcess, 98);
            Fail("the second instance does not end");
        }
    }
    GetExitCodeProcess(second.info.hProcess, &code);
    Say("SECOND ended with exit code %lu after %lu ms", code, GetTickCount() - secondStart);
    CloseHandle(second.info.hProcess);
    CloseHandle(second.info.hThread);

    if (TargetEnded(g_target)) Fail("the first instance ended");
    start = GetTickCount();
    while (IsIconic(dialog)) {
        if (GetTickCount() - start > 10000) Fail("the first instance stays minimised");
        Sleep(20);
    }
    Say("RESTORED");
    HWND foreground = GetForegroundWindow();
    Say("FOREGROUND %s", foreground == dialog ? "first instance" : "other window");
    if (foreground != dialog) Fail("the first instance is not in the foreground");
    CloseProgram(dialog);
    return 0;
}

int ModeCloseIdle(const Options& options)
{
    StartTarget(options, true);
    HWND dialog = WaitForMainDialog(options, g_targetId);
    CloseProgram(dialog);
    return 0;
}

bool IsAnyDialog(HWND window) { return IsDialog(window); }

// Top-level windows of the program that a person could see or would have
// to answer: any visible one, and any dialog (message box, folder browser).
struct WindowWatch {
    DWORD processId;
    std::set<std::string> seen;
};

BOOL CALLBACK NoteWindow(HWND window, LPARAM param)
{
    auto* watch = reinterpret_cast<WindowWatch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != watch->processId) return TRUE;
    bool visible = IsWindowVisible(window) != FALSE;
    if (visible || IsDialog(window)) {
        watch->seen.insert(ClassOf(window) + (visible ? " visible" : " hidden") + " \"" + TextOf(window) + "\"");
    }
    return TRUE;
}

// An unattended collection: the program is started (after an interactive
// instance with --first-instance), watched for windows until it ends, and
// its exit code reported.
int ModeUnattended(const Options& options)
{
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (!options.lockPath.empty()) {
        lock = CreateFileA(options.lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (lock == INVALID_HANDLE_VALUE) Fail("cannot hold %s (error %lu)", options.lockPath.c_str(), GetLastError());
    }
    Target first;
    HWND firstDialog = nullptr;
    if (options.firstInstance) {
        Options interactive = options;
        interactive.commandLine = Quote(options.program);
        first = StartTarget(interactive, true);
        firstDialog = WaitForMainDialog(interactive, first.info.dwProcessId);
    }
    Target target = StartTarget(options, false);
    WindowWatch watch{target.info.dwProcessId, {}};
    DWORD start = GetTickCount();
    // Sampled while it runs: an ended process has no working set to ask about.
    SIZE_T peak = 0;
    while (WaitForSingleObject(target.info.hProcess, 10) == WAIT_TIMEOUT) {
        PROCESS_MEMORY_COUNTERS memory = {};
        if (GetProcessMemoryInfo(target.info.hProcess, &memory, sizeof memory)) {
            peak = std::max(peak, memory.PeakWorkingSetSize);
        }
        EnumWindows(&NoteWindow, reinterpret_cast<LPARAM>(&watch));
        if (GetTickCount() - start > options.runTimeoutMs) {
            TerminateProcess(target.info.hProcess, 98);
            Fail("the unattended run did not end in time");
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(target.info.hProcess, &code);
    for (const std::string& window : watch.seen) Say("WINDOW %s", window.c_str());
    Say("SECONDS %.1f", (GetTickCount() - start) / 1000.0);
    Say("PEAKWORKINGSET %llu", static_cast<unsigned long long>(peak));
    Say("EXITCODE %lu", code);
    CloseHandle(target.info.hProcess);
    CloseHandle(target.info.hThread);
    if (firstDialog != nullptr) CloseProgram(firstDialog);
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    return 0;
}

int ModeProbe(const Options& options)
{
    StartTarget(options, true);
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowOf(g_targetId, &IsAnyDialog);
        if (window != nullptr && IsMainDialog(window)) {
            Say("MAIN %s", TextOf(window).c_str());
            CloseProgram(window);
            return 0;
        }
        if (window != nullptr && IsMessageBox(window)) {
            Say("MESSAGEBOX %s", TextOf(window).c_str());
            Say("TEXT %s", OneLine(MessageText(window)).c_str());
            Click(window, IDOK, "OK of the message");
            DWORD code = WaitForExit(g_target, 30000, "the program after its message");
            Say("EXITCODE %lu", code);
            g_target = nullptr;
            return 0;
        }
        if (TargetEnded(g_target)) {
            DWORD code = 0;
            GetExitCodeProcess(g_target, &code);
            Say("EXITED %lu without a window", code);
            g_target = nullptr;
            return 0;
        }
        if (GetTickCount() - start > 30000) Fail("the program shows no window");
        Sleep(50);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options options = ParseOptions(argc, argv);
    CreateThread(nullptr, 0, &Watchdog, reinterpret_cast<void*>(static_cast<ULONG_PTR>(options.timeoutMs)), 0,
                 nullptr);
    if (options.title.empty() && options.mode != "probe") options.title = LibraryText(options.program, IDS_APP_TITLE);

    int code = 2;
    if (options.mode == "run") code = ModeRun(options);
    else if (options.mode == "cancel") code = ModeCancel(options);
    else if (options.mode == "decline") code = ModeDecline(options);
    else if (options.mode == "second") code = ModeSecond(options);
    else if (options.mode == "close-idle") code = ModeCloseIdle(options);
    else if (options.mode == "probe") code = ModeProbe(options);
    else if (options.mode == "unattended") code = ModeUnattended(options);
    else Usage("unknown mode");
    if (code == 0) Say("RESULT ok");
    return code;
}
