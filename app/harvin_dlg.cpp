// The main dialog's handlers: start, cancel/close and painting.
#include "app/harvin_dlg.h"

#include "app/collection_worker.h"
#include "app/repeating_callback.h"
#include "app/report_archive.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/system_helpers.h"

#include <commctrl.h>

namespace {

constexpr UINT kProgressPeriodMs = 700;
constexpr DWORD kTimerThreadStopMs = 5000;

// The worker of the last run, kept until it has ended so that its handles
// are never closed under it and no second run overlaps it.
HANDLE g_workerThread = nullptr;
DWORD g_workerThreadId = 0;

bool PreviousWorkerStillRunning()
{
    if (g_workerThread == nullptr) return false;
    if (WaitForSingleObject(g_workerThread, 0) == WAIT_TIMEOUT) return true;
    CloseHandle(g_workerThread);
    g_workerThread = nullptr;
    g_workerThreadId = 0;
    if (CollectionFinishedEvent != nullptr) {
        CloseHandle(CollectionFinishedEvent);
        CollectionFinishedEvent = nullptr;
    }
    return false;
}

void SetButtonTextFromId(HWND dialog, int button, UINT textId)
{
    char text[40];
    LoadResourceText(textId, text);
    SetDlgItemTextA(dialog, button, text);
}

void DeleteFileIfPresent(const char* path)
{
    if (path[0] != '\0') DeleteFileA(path);
}

// Serves the messages waiting for this thread. Keys meant for the dialog
// (Tab, Escape, the buttons' accelerators) go through the dialog manager,
// as in the dialog's own loop. A quit request is kept (`quitSeen`, `quitCode`)
// for the dialog's own loop once the run is over.
void PumpDialogMessages(HWND dialog, bool* quitSeen, int* quitCode)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            *quitSeen = true;
            *quitCode = static_cast<int>(message.wParam);
            continue;
        }
        if (dialog != nullptr && IsWindow(dialog) && IsDialogMessageA(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Waits for the run's end while serving the dialog's messages; the thread
// sleeps until a message or the event arrives. The worker's status calls
// need this pump until the very end, so a quit request waits for it.
void WaitForRunPumping(HWND dialog, HANDLE finished)
{
    bool quitSeen = false;
    int quitCode = 0;
    while (WaitForSingleObject(finished, 0) != WAIT_OBJECT_0) {
        MsgWaitForMultipleObjects(1, &finished, FALSE, INFINITE, QS_ALLINPUT);
        PumpDialogMessages(dialog, &quitSeen, &quitCode);
    }
    if (quitSeen) PostQuitMessage(quitCode);
}

// Ends the progress animation's thread and frees its object. An object whose
// thread would not end stays: its thread may still use it.
void EndProgressTimer()
{
    if (ProgressTimer == nullptr) return;
    ProgressTimer->Stop();  // no tick runs once this returns
    if (ProgressTimer->StopAndWait(kTimerThreadStopMs)) delete ProgressTimer;
    ProgressTimer = nullptr;
}

}  // namespace

CHarvinDlg::CHarvinDlg(HWND parent) : CDialog(IDD_HARVIN_MAIN, parent), m_hIcon(nullptr) {}

CHarvinDlg::~CHarvinDlg() = default;

const MessageMapEntry* CHarvinDlg::GetMessageMap() const
{
    static const MessageMapEntry map[] = {
        OnMessage(WM_PAINT, &CHarvinDlg::OnPaint),
        OnButtonClicked(IDC_START_COLLECTION, &CHarvinDlg::OnStartCollection),
        OnButtonClicked(IDOK, &CHarvinDlg::OnCancelOrClose),
        // Escape and the close box: like button 1, so a run is only ever
        // cancelled after the question and closing always cleans up.
        OnButtonClicked(IDCANCEL, &CHarvinDlg::OnCancelOrClose),
        OnMessage(WM_DESTROY, &CHarvinDlg::OnDestroy),
        {0, 0, 0, nullptr},
    };
    return map;
}

void CHarvinDlg::DoDataExchange(CDataExchange* dx) { CDialog::DoDataExchange(dx); }

BOOL CHarvinDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hIcon = LoadIconA(ResourceLibrary, MAKEINTRESOURCEA(IDI_HARVIN));
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    CollectionFinished = 0;
    CollectionRunning = 0;
    ClosingGuard = 0;
    CancelRequested = 0;
    MainDialogWindow = m_hWnd;

    StatusList.SubclassDlgItem(IDC_STATUS_LIST, m_hWnd);
    SetStatusText("");

    LoadApplicationDefaults();

    auto* timer = new RepeatingCallback;
    timer->Configure(kProgressPeriodMs, &AdvanceProgress, this);
    if (timer->CreateThread(CREATE_SUSPENDED, 50)) {
        ProgressTimer = timer;
    } else {
        delete timer;
        ProgressTimer = nullptr;
        // Without the animation the program still works: every use is guarded.
        SendMessageA(m_hWnd, WM_QUIT, 0, 0);
    }

    SendDlgItemMessageA(m_hWnd, IDC_PROGRESS, PBM_SETSTEP, 1, 0);
    return TRUE;
}

void CHarvinDlg::LoadApplicationDefaults()
{
    char programPath[kPathSize] = "";
    GetModuleFileNameA(nullptr, programPath, sizeof programPath);
    ReadFileVersionStrings(programPath, ProgramVersion, nullptr, nullptr, nullptr);

    const char* currentVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    ReadStringValue(HKEY_LOCAL_MACHINE, currentVersionKey, "RegisteredOwner", UserInfo.name, sizeof UserInfo.name,
                    "", RegistryView32);
    ReadStringValue(HKEY_LOCAL_MACHINE, currentVersionKey, "RegisteredOrganization", UserInfo.company,
                    sizeof UserInfo.company, "", RegistryView32);

    LoadResourceText(IDS_FMT_STEP_COUNTER, StepCounterFormat);
    LoadResourceText(IDS_FMT_FILE_COUNTER, FileCounterFormat);
}

void CHarvinDlg::OnPaint()
{
    if (!IsIconic(m_hWnd)) {
        Default();
        return;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}

void CHarvinDlg::OnStartCollection()
{
    if (PreviousWorkerStillRunning()) {
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    CancelRequested = 0;
    if (!IsUserAdministrator()) {
        MessageBeep(MB_ICONEXCLAMATION);
        char text[520];
        char caption[kPathSize];
        LoadResourceText(IDS_NOT_ADMINISTRATOR, text);
        LoadResourceText(IDS_APP_TITLE, caption);
        if (MessageBoxA(m_hWnd, text, caption, MB_YESNO | MB_ICONEXCLAMATION) == IDNO) {
            CancelRequested = 0;
            OnCancelOrClose();
            return;
        }
    }

    UserInfo.SetParentWindow(m_hWnd);
    if (UserInfo.DoModal() != IDOK) return;

    ExtendedCollection = UserInfo.mode;
    CollectionRunning = 1;
    EnableWindow(GetDlgItem(IDC_START_COLLECTION), FALSE);
    SetButtonTextFromId(m_hWnd, IDOK, IDS_BUTTON_CANCEL);
    ClearRunLog();

    HANDLE finished = CreateEventA(nullptr, TRUE, FALSE, "WaitUntilCollectionFinished");
    if (finished != nullptr) ResetEvent(finished);
    CollectionFinishedEvent = finished;

    if (ProgressTimer != nullptr) {
        ProgressTimer->SetPaused(0);
        ProgressTimer->Start();
    }

    g_workerThread = ::CreateThread(nullptr, 0, &CollectionWorker, this, CREATE_SUSPENDED, &g_workerThreadId);
    if (g_workerThread != nullptr) {
        ::ResumeThread(g_workerThread);
        // Without the event the worker's end is the only sign the run is over.
        WaitForRunPumping(m_hWnd, finished != nullptr ? finished : g_workerThread);
    } else if (finished != nullptr) {
        CloseHandle(finished);
        CollectionFinishedEvent = nullptr;
    }

    EnableWindow(GetDlgItem(IDC_START_COLLECTION), TRUE);
    SetButtonTextFromId(m_hWnd, IDOK, IDS_BUTTON_CLOSE);
    CollectionRunning = 0;
    if (ProgressTimer != nullptr) ProgressTimer->SetPaused(1);
    LRESULT upper = SendDlgItemMessageA(m_hWnd, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0);
    SendDlgItemMessageA(m_hWnd, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(upper), 0);
    if (ProgressTimer != nullptr) ProgressTimer->Stop();
    PreviousWorkerStillRunning();  // releases the run's handles once the worker is gone
}

void CHarvinDlg::OnCancelOrClose()
{
    if (ClosingGuard) return;
    if (CollectionRunning) {
        MessageBeep(MB_ICONEXCLAMATION);
        char text[520];
        char caption[kPathSize];
        LoadResourceText(IDS_CONFIRM_CANCEL, text);
        LoadResourceText(IDS_APP_TITLE, caption);
        if (MessageBoxA(m_hWnd, text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES) CancelRequested = 1;
        return;
    }
    ClosingGuard = 1;
    EndProgressTimer();
    DeleteFileIfPresent(EntryPagePath);
    // The archive beside the program goes only when a verified copy of it
    // lies on the desktop; otherwise it is the only one.
    if (ArchiveCopiedToDesktop) DeleteFileIfPresent(ArchivePath);
    DestroyWindow();
}

void CHarvinDlg::OnDestroy()
{
    // Status calls made from now on find no dialog and do nothing.
    MainDialogWindow = nullptr;
    StatusList.Detach();
    Default();
}
