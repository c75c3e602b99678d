// A small dialog framework over Win32: an application object, modal and
// modeless dialogs driven by a table of handlers, a list box wrapper, edit
// text data exchange and a worker thread class with its own message loop.
// Only what the program uses is here.
#pragma once
#include "platform/win.h"

#include <atomic>
#include <cstddef>

// The module that dialogs, icons and strings are loaded from (the language
// library once the application has chosen it).
HMODULE GetResourceModule();
void SetResourceModule(HMODULE module);

// Loads a numbered text of the resource module. The buffer is cleared first,
// so a missing text reads as empty. Returns the length loaded.
int LoadResourceText(UINT id, char* buffer, int capacity);
template <size_t N> int LoadResourceText(UINT id, char (&buffer)[N])
{
    return LoadResourceText(id, buffer, static_cast<int>(N));
}

class CDataExchange {
public:
    CDataExchange(HWND dialog, bool saveAndValidate) : m_hDialog(dialog), m_bSaveAndValidate(saveAndValidate) {}
    HWND m_hDialog;
    bool m_bSaveAndValidate;
};

// Moves an edit control's text into a fixed buffer (cut to fit) or back.
void DDX_Text(CDataExchange* dx, int controlId, char* buffer, size_t capacity);
template <size_t N> void DDX_Text(CDataExchange* dx, int controlId, char (&buffer)[N])
{
    DDX_Text(dx, controlId, buffer, N);
}

// Moves a check box's state into a flag or back.
void DDX_Check(CDataExchange* dx, int controlId, bool& checked);

class CListBox {
public:
    CListBox() : m_hWnd(nullptr) {}
    bool SubclassDlgItem(int controlId, HWND parent);
    void Detach() { m_hWnd = nullptr; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    int AddString(const char* text);
    int GetCount() const;
    int GetTextLen(int index) const;
    // Copies line `index` into buffer (cut to capacity); returns its length or -1.
    int GetText(int index, char* buffer, size_t capacity) const;
    void ResetContent();
    int GetHorizontalExtent() const;
    void SetHorizontalExtent(int extent);
    void SetTopIndex(int index);

    HWND m_hWnd;
};

class CDialog;
using DialogHandler = void (CDialog::*)();

// One row of a dialog's handler table. A WM_COMMAND row matches control id and
// notification code; any other row matches the message alone.
struct MessageMapEntry {
    UINT message;
    UINT notifyCode;
    UINT controlId;
    DialogHandler handler;
};

template <typename T>
constexpr MessageMapEntry OnMessage(UINT message, void (T::*handler)())
{
    return MessageMapEntry{message, 0, 0, static_cast<DialogHandler>(handler)};
}

template <typename T>
constexpr MessageMapEntry OnButtonClicked(UINT controlId, void (T::*handler)())
{
    return MessageMapEntry{WM_COMMAND, BN_CLICKED, controlId, static_cast<DialogHandler>(handler)};
}

class CDialog {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // The handler table, ended by an entry with message 0.
    virtual const MessageMapEntry* GetMessageMap() const;
    virtual void DoDataExchange(CDataExchange* dx);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    INT_PTR DoModal();
    // Modeless creation (hidden until shown); used where no modal loop runs.
    bool CreateModeless(HWND parent = nullptr);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    void EndDialog(INT_PTR result);
    void DestroyWindow();
    HWND GetDlgItem(int controlId) const;
    HWND GetSafeHwnd() const { return m_hWnd; }
    UINT GetTemplateId() const { return m_templateId; }
    void SetParentWindow(HWND parent) { m_parent = parent; }

    HWND m_hWnd;

protected:
    // The dialog's default handling (DefDlgProc) of the message being handled.
    LRESULT Default();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Dispatch(UINT message, WPARAM wParam);

    UINT m_templateId;
    HWND m_parent;
    const MSG* m_currentMessage;
    const MSG* m_defaultMessage;  // the message Default() hands to DefDlgProc
    bool m_modal;
};

class CWinThread {
public:
    CWinThread();
    virtual ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    bool CreateThread(DWORD creationFlags = 0, UINT stackSize = 0);
    DWORD ResumeThread();
    // Asks the thread's message loop to end and waits for the thread. True
    // when it has ended; on false it still runs, may still use the object,
    // and the object must not be deleted. Either way the caller owns it now.
    bool StopAndWait(DWORD timeoutMs);

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual int Run();

    HANDLE m_hThread;
    DWORD m_nThreadID;
    bool m_bAutoDelete;

private:
    static DWORD WINAPI ThreadStart(void* self);
    std::atomic<bool> m_quitRequested;
};

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    virtual BOOL InitInstance();
    virtual int ExitInstance();

    CDialog* m_pMainWnd;
    HINSTANCE m_hInstance;
    const char* m_lpCmdLine;
};

CWinApp* AfxGetApp();

// The entry point's body: runs the one application object.
int RunApplication(HINSTANCE instance, const char* commandLine);
