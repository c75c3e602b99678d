#include "framework/framework.h"

#include "platform/bounded_text.h"

#include <cstring>

namespace {

HMODULE g_resourceModule = nullptr;
CWinApp* g_application = nullptr;

}  // namespace

HMODULE GetResourceModule()
{
    return g_resourceModule != nullptr ? g_resourceModule : GetModuleHandleA(nullptr);
}

void SetResourceModule(HMODULE module) { g_resourceModule = module; }

int LoadResourceText(UINT id, char* buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0) return 0;
    memset(buffer, 0, static_cast<size_t>(capacity));
    int length = LoadStringA(GetResourceModule(), id, buffer, capacity);
    buffer[capacity - 1] = '\0';
    return length > 0 ? length : 0;
}

void DDX_Text(CDataExchange* dx, int controlId, char* buffer, size_t capacity)
{
    if (dx == nullptr || buffer == nullptr || capacity == 0) return;
    HWND control = GetDlgItem(dx->m_hDialog, controlId);
    if (control == nullptr) return;
    if (dx->m_bSaveAndValidate) {
        buffer[0] = '\0';
        GetWindowTextA(control, buffer, static_cast<int>(capacity));
        buffer[capacity - 1] = '\0';
    } else {
        SetWindowTextA(control, buffer);
    }
}

void DDX_Check(CDataExchange* dx, int controlId, bool& checked)
{
    if (dx == nullptr) return;
    HWND control = GetDlgItem(dx->m_hDialog, controlId);
    if (control == nullptr) return;
    if (dx->m_bSaveAndValidate) {
        checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    } else {
        SendMessageA(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

// ---- CListBox -------------------------------------------------------------

bool CListBox::SubclassDlgItem(int controlId, HWND parent)
{
    m_hWnd = ::GetDlgItem(parent, controlId);
    return m_hWnd != nullptr;
}

int CListBox::AddString(const char* text)
{
    return static_cast<int>(SendMessageA(m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int CListBox::GetCount() const { return static_cast<int>(SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0)); }

int CListBox::GetTextLen(int index) const
{
    return static_cast<int>(SendMessageA(m_hWnd, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0));
}

int CListBox::GetText(int index, char* buffer, size_t capacity) const
{
    if (buffer == nullptr || capacity == 0) return -1;
    buffer[0] = '\0';
    int length = GetTextLen(index);
    if (length == LB_ERR || length < 0) return -1;
    if (static_cast<size_t>(length) < capacity) {
        int got = static_cast<int>(SendMessageA(m_hWnd, LB_GETTEXT, static_cast<WPARAM>(index),
                                                reinterpret_cast<LPARAM>(buffer)));
        buffer[capacity - 1] = '\0';
        return got;
    }
    // LB_GETTEXT has no size argument: read long lines through a big enough buffer.
    char* whole = new char[static_cast<size_t>(length) + 1];
    int got = static_cast<int>(SendMessageA(m_hWnd, LB_GETTEXT, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(whole)));
    whole[length] = '\0';
    CopyText(buffer, capacity, whole);
    delete[] whole;
    return got;
}

void CListBox::ResetContent() { SendMessageA(m_hWnd, LB_RESETCONTENT, 0, 0); }

int CListBox::GetHorizontalExtent() const
{
    return static_cast<int>(SendMessageA(m_hWnd, LB_GETHORIZONTALEXTENT, 0, 0));
}

void CListBox::SetHorizontalExtent(int extent)
{
    SendMessageA(m_hWnd, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(extent), 0);
}

void CListBox::SetTopIndex(int index) { SendMessageA(m_hWnd, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0); }

// ---- CDialog --------------------------------------------------------------

CDialog::CDialog(UINT templateId, HWND parent)
    : m_hWnd(nullptr),
      m_templateId(templateId),
      m_parent(parent),
      m_currentMessage(nullptr),
      m_defaultMessage(nullptr),
      m_modal(false)
{
}

CDialog::~CDialog()
{
    if (m_hWnd != nullptr && IsWindow(m_hWnd) && !m_modal) {
        SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
    }
}

const MessageMapEntry* CDialog::GetMessageMap() const
{
    static const MessageMapEntry none[] = {{0, 0, 0, nullptr}};
    return none;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CDialog::DoModal()
{
    m_modal = true;
    INT_PTR result = DialogBoxParamA(GetResourceModule(), MAKEINTRESOURCEA(m_templateId), m_parent,
                                     &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    m_modal = false;
    return result;
}

bool CDialog::CreateModeless(HWND parent)
{
    if (parent != nullptr) m_parent = parent;
    m_modal = false;
    HWND window = CreateDialogParamA(GetResourceModule(), MAKEINTRESOURCEA(m_templateId), m_parent,
                                     &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    if (m_hWnd == nullptr) return FALSE;
    CDataExchange dx(m_hWnd, saveAndValidate != FALSE);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::EndDialog(INT_PTR result)
{
    if (m_hWnd == nullptr) return;
    if (m_modal) {
        ::EndDialog(m_hWnd, result);
    } else {
        DestroyWindow();
    }
}

void CDialog::DestroyWindow()
{
    if (m_hWnd == nullptr) return;
    if (m_modal) {
        // A modal dialog ends through its loop; destroying it directly would
        // leave DialogBoxParam's loop running on a dead window.
        ::EndDialog(m_hWnd, IDCANCEL);
        return;
    }
    HWND window = m_hWnd;
    m_hWnd = nullptr;
    SetWindowLongPtrA(window, DWLP_USER, 0);
    ::DestroyWindow(window);
}

HWND CDialog::GetDlgItem(int controlId) const { return ::GetDlgItem(m_hWnd, controlId); }

LRESULT CDialog::Default()
{
    if (m_currentMessage == nullptr || m_hWnd == nullptr) return 0;
    // The dialog manager's handling, not DefWindowProc's: for WM_CLOSE that
    // is a Cancel press, which ends a modal dialog through its loop and
    // enables the owner again (DefWindowProc would destroy the window and
    // leave the owner disabled). DefDlgProc first asks our dialog procedure,
    // which lets this one message through unhandled.
    const MSG* previous = m_defaultMessage;
    m_defaultMessage = m_currentMessage;
    LRESULT result = DefDlgProcA(m_hWnd, m_currentMessage->message, m_currentMessage->wParam,
                                 m_currentMessage->lParam);
    m_defaultMessage = previous;
    return result;
}

bool CDialog::Dispatch(UINT message, WPARAM wParam)
{
    for (const MessageMapEntry* entry = GetMessageMap(); entry != nullptr && entry->message != 0; ++entry) {
        if (entry->message != message) continue;
        if (message == WM_COMMAND &&
            (LOWORD(wParam) != entry->controlId || HIWORD(wParam) != entry->notifyCode)) {
            continue;
        }
        (this->*(entry->handler))();
        return true;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) { OnOK(); return true; }
        if (LOWORD(wParam) == IDCANCEL) { OnCancel(); return true; }
    }
    return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = window;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        self->m_hWnd = nullptr;
        return FALSE;
    }

    const MSG* passOn = self->m_defaultMessage;
    if (passOn != nullptr && passOn->message == message && passOn->wParam == wParam && passOn->lParam == lParam) {
        self->m_defaultMessage = nullptr;  // only the call that Default() makes
        return FALSE;
    }

    MSG current{window, message, wParam, lParam, 0, {0, 0}};
    const MSG* previous = self->m_currentMessage;
    self->m_currentMessage = &current;
    bool handled = self->Dispatch(message, wParam);
    self->m_currentMessage = previous;
    return handled ? TRUE : FALSE;
}

// ---- CWinThread -----------------------------------------------------------

CWinThread::CWinThread()
    : m_hThread(nullptr), m_nThreadID(0), m_bAutoDelete(true), m_quitRequested(false)
{
}

CWinThread::~CWinThread()
{
    if (m_hThread != nullptr) CloseHandle(m_hThread);
}

bool CWinThread::CreateThread(DWORD creationFlags, UINT stackSize)
{
    m_hThread = ::CreateThread(nullptr, stackSize, &CWinThread::ThreadStart, this, creationFlags, &m_nThreadID);
    return m_hThread != nullptr;
}

DWORD CWinThread::ResumeThread() { return m_hThread != nullptr ? ::ResumeThread(m_hThread) : static_cast<DWORD>(-1); }

bool CWinThread::StopAndWait(DWORD timeoutMs)
{
    if (m_hThread == nullptr) return true;
    m_bAutoDelete = false;  // the caller deletes the object once the thread is gone
    m_quitRequested.store(true);
    PostThreadMessageA(m_nThreadID, WM_QUIT, 0, 0);
    // A thread still suspended must run to see the request. Its suspend
    // count is bounded; a failed resume ((DWORD)-1) ends the attempts.
    for (int attempt = 0; attempt <= MAXIMUM_SUSPEND_COUNT; ++attempt) {
        DWORD previous = ::ResumeThread(m_hThread);
        if (previous == static_cast<DWORD>(-1) || previous <= 1) break;
    }
    return WaitForSingleObject(m_hThread, timeoutMs) == WAIT_OBJECT_0;
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::ExitInstance() { return 0; }

int CWinThread::Run()
{
    MSG message;
    // Make sure the queue exists before the stop flag is looked at, so a
    // request posted after the look cannot be lost.
    PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (m_quitRequested.load()) return ExitInstance();
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return ExitInstance();
}

DWORD WINAPI CWinThread::ThreadStart(void* param)
{
    CWinThread* self = static_cast<CWinThread*>(param);
    int code = 0;
    if (!self->m_quitRequested.load() && self->InitInstance()) {
        code = self->Run();
    } else {
        code = self->ExitInstance();
    }
    if (self->m_bAutoDelete) delete self;
    return static_cast<DWORD>(code);
}

// ---- CWinApp --------------------------------------------------------------

CWinApp::CWinApp() : m_pMainWnd(nullptr), m_hInstance(nullptr), m_lpCmdLine("") { g_application = this; }

CWinApp::~CWinApp()
{
    if (g_application == this) g_application = nullptr;
}

BOOL CWinApp::InitInstance() { return FALSE; }

int CWinApp::ExitInstance() { return 0; }

CWinApp* AfxGetApp() { return g_application; }

int RunApplication(HINSTANCE instance, const char* commandLine)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 1;
    app->m_hInstance = instance;
    app->m_lpCmdLine = commandLine != nullptr ? commandLine : "";
    app->InitInstance();
    return app->ExitInstance();
}
