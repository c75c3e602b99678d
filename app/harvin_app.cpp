#include "app/harvin_app.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
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

}  // namespace

BOOL CHarvinApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    char libraryPath[kPathSize];
    ChooseLanguageLibrary(libraryPath);
    HMODULE library = LoadLibraryA(libraryPath);
    if (library == nullptr) {
        char message[600];
        FormatText(message, "Unable to load the resource file\n\n %s\n\nWardex Harvin cannot be loaded!", libraryPath);
        MessageBoxA(nullptr, message, nullptr, MB_ICONERROR);
        return FALSE;
    }
    SetResourceModule(library);
    ResourceLibrary = library;

    if (IsWindowsNT4()) {
        ShowErrorFromId(IDS_NT4_REFUSED);
        FreeLibrary(library);
        ResourceLibrary = nullptr;
        return FALSE;
    }

    char title[kPathSize];
    LoadResourceText(IDS_APP_TITLE, title);

    HANDLE mutex = CreateMutexA(nullptr, TRUE, kInstanceMutexName);
    bool otherInstance = GetLastError() == ERROR_ALREADY_EXISTS;
    if (mutex != nullptr && !otherInstance) ReleaseMutex(mutex);

    if (otherInstance) {
        BringOtherInstanceToFront(title);
    } else {
        auto* dialog = new CHarvinDlg;
        m_pMainWnd = dialog;
        CopyText(CommandLineCopy, m_lpCmdLine);
        dialog->DoModal();
        m_pMainWnd = nullptr;
        delete dialog;
    }
    SetResourceModule(nullptr);
    ResourceLibrary = nullptr;
    FreeLibrary(library);
    if (mutex != nullptr) CloseHandle(mutex);
    return FALSE;
}
