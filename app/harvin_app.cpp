#include "app/harvin_app.h"

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/harvin_dlg.h"
#include "app/unattended_run.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/windows_version.h"

#include <commctrl.h>
#include <cstdlib>

namespace {

const char kInstanceMutexName[] = "Wardex_Support_Information_Collection_Utility_Instance";

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// The English library wins when both exist; with neither the bare folder stays.
void ChooseLanguageLibrary(char (&chosen)[kPathSize])
{
    char programPath[kPathSize] = "";
    DWORD n = GetModuleFileNameA(nullptr, programPath, sizeof programPath);
    if (n >= sizeof programPath) programPath[0] = '\0';
    char folder[kPathSize];
    CopyPathFolder(folder, programPath);

    CopyText(chosen, folder);
    const char* candidates[] = {"de-de\\harvinr.dll", "en-us\\harvinr.dll"};
    for (const char* candidate : candidates) {
        char path[kPathSize];
        CopyText(path, folder);
        if (AppendText(path, candidate) && FileExists(path)) CopyText(chosen, path);
    }
}

void ShowErrorFromId(UINT id)
{
    char text[520];
    LoadResourceText(id, text);
    MessageBoxA(nullptr, text, nullptr, MB_ICONERROR);
}

void BringOtherInstanceToFront(const char* title)
{
    HWND other = FindWindowA(nullptr, title);
    if (other == nullptr) return;
    BringWindowToTop(other);
    if (IsIconic(other)) SendMessageA(other, WM_SYSCOMMAND, SC_RESTORE, 0);
    SetForegroundWindow(other);
}

// The options and exit codes, as a message box ("/?").
void ShowCommandLineHelp()
{
    char text[1000];
    char caption[kPathSize];
    LoadResourceText(IDS_COMMAND_LINE_HELP, text);
    LoadResourceText(IDS_APP_TITLE, caption);
    MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION);
}

}  // namespace

BOOL CHarvinApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // Unknown options are ignored in an interactive run, as they always were;
    // an unattended run must not guess.
    CommandLineOptions options;
    char badOption[kPathSize];
    bool validCommandLine = ParseCommandLine(m_lpCmdLine, &options, badOption, sizeof badOption);
    bool unattended = options.unattended;

    char libraryPath[kPathSize];
    ChooseLanguageLibrary(libraryPath);
    HMODULE library = LoadLibraryA(libraryPath);
    if (library == nullptr) {
        if (unattended) {
            m_exitCode = kExitNoArchive;
            return FALSE;
        }
        char message[600];
        FormatText(message, "Unable to load the resource file\n\n %s\n\nWardex Harvin cannot be loaded!", libraryPath);
        MessageBoxA(nullptr, message, nullptr, MB_ICONERROR);
        return FALSE;
    }
    SetResourceModule(library);
    ResourceLibrary = library;
    RunWithLibrary(options, validCommandLine);
    SetResourceModule(nullptr);
    ResourceLibrary = nullptr;
    FreeLibrary(library);
    return FALSE;
}

void CHarvinApp::RunWithLibrary(const CommandLineOptions& options, bool validCommandLine)
{
    bool unattended = options.unattended;
    if (IsWindowsNT4()) {
        if (unattended) m_exitCode = kExitNoArchive;
        else ShowErrorFromId(IDS_NT4_REFUSED);
        return;
    }
    if (unattended && (!validCommandLine || options.help)) {
        m_exitCode = kExitBadCommandLine;
        return;
    }
    if (options.help) {
        ShowCommandLineHelp();
        return;
    }

    char title[kPathSize];
    LoadResourceText(IDS_APP_TITLE, title);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kInstanceMutexName);
    bool otherInstance = GetLastError() == ERROR_ALREADY_EXISTS;
    if (mutex != nullptr && !otherInstance) ReleaseMutex(mutex);

    CopyText(CommandLineCopy, m_lpCmdLine);
    ParsedCommandLine = options;
    if (otherInstance) {
        if (unattended) m_exitCode = kExitSecondInstance;
        else BringOtherInstanceToFront(title);
    } else if (unattended) {
        m_exitCode = RunUnattendedCollection(options);
    } else {
        UserInfo.removePersonalData = options.redact;  // the check box starts checked
        auto* dialog = new CHarvinDlg;
        m_pMainWnd = dialog;
        dialog->DoModal();
        m_pMainWnd = nullptr;
        delete dialog;
    }
    if (mutex != nullptr) CloseHandle(mutex);
}

int CHarvinApp::ExitInstance() { return m_exitCode; }
