// The main dialog class. It is also the base of the collector classes, which
// are constructed without a parent and never shown: they inherit the page
// operation and the status functions from here.
#pragma once
#include "app/app_state.h"
#include "framework/framework.h"

#include <cstdio>

class CHarvinDlg : public CDialog {
public:
    explicit CHarvinDlg(HWND parent = nullptr);
    ~CHarvinDlg() override;

    const MessageMapEntry* GetMessageMap() const override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    // The version text, the user's registered name and company as defaults
    // and the counter formats: what a run needs before it starts.
    static void LoadApplicationDefaults();

    void OnPaint();
    void OnStartCollection();
    void OnCancelOrClose();
    void OnDestroy();

    // ---- status functions: usable from any thread and without a dialog ----
    // They act by sending messages to the dialog's controls; with no dialog
    // they do nothing.
    static void SetStatusText(const char* text);
    // Text `id` used as a format with one integer (at most 520 bytes).
    static void SetStatusTextFromId(UINT id, long value);
    static void AddStatusLine(const char* text);
    // The program's `text`, a blank and `data` (a path): only the program's
    // text tells whether the line reports a failure.
    static void AddStatusLine(const char* text, const char* data);
    // Text `id` formatted with both texts when both are given, else with the first.
    static void AddStatusLineFromId(UINT id, const char* first, const char* second = nullptr);
    static void AnnounceStatus(UINT id);
    // Text `id` formatted with `text`, or with text `fallbackId` when text is null.
    static int ShowMessageFromId(UINT id, const char* text, UINT fallbackId, UINT style, UINT beepType);
    static void AdvanceStepCounter();
    // The run log: the status list's lines, or, in an unattended run (no
    // window), the lines kept in memory. Line `index` is copied cut to
    // `capacity`; returns its full length, or -1.
    static int RunLogLineCount();
    static int RunLogLine(int index, char* buffer, size_t capacity);
    static void ClearRunLog();
    static void AdvanceFileCounter();

    // Opens a report page (see report/page_writer.h).
    static FILE* CreateReportPage(const char* folder, const char* fileName, UINT statusTextId,
                                  const char* caption, const char* title, int announce);

protected:
    HICON m_hIcon;
};
