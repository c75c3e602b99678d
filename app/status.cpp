// The status functions: the dialog's status line and its status list, which
// is the run log stored in the archive.
#include "app/harvin_dlg.h"
#include "app/run_journal.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kPixelsPerCharacter = 6;

// The run log of an unattended run, which has no status list.
std::vector<std::string> g_windowlessLog;

// Texts of the language library that report a failure.
bool IsFailureText(UINT id)
{
    static const UINT kFailures[] = {IDS_FMT_DESKTOP_COPY_FAILED, IDS_FMT_ARCHIVE_FAILED,
                                     IDS_FMT_DESKTOP_UNAVAILABLE, IDS_STATUS_MSINFO_MISSING,
                                     IDS_FMT_OUTPUT_PATH_TOO_LONG, IDS_FMT_OUTPUT_ROOT_IS_LINK,
                                     IDS_STATUS_ARCHIVE_INCOMPLETE, IDS_FMT_OUTPUT_NOT_WRITABLE,
                                     IDS_FMT_OLD_TREE_NOT_REMOVED, IDS_FMT_FOREIGN_OUTPUT_OWNER,
                                     IDS_FMT_OPTION_IGNORED};
    for (UINT failure : kFailures) {
        if (failure == id) return true;
    }
    return false;
}

// The program's own lines ("couldn't create html file", "Error on Registry
// Read", "RegError") are English whatever the language.
bool ReportsFailure(const char* text)
{
    return strstr(text, "couldn't") != nullptr || strstr(text, "Couldn't") != nullptr ||
           strstr(text, "Error") != nullptr;
}

// Appends to the status list (or the windowless log) and the journal.
void AppendStatusLine(const char* text, bool failure)
{
    JournalNoteStatus(text, failure);
    if (StatusList.GetSafeHwnd() == nullptr) {
        if (UnattendedRun) g_windowlessLog.emplace_back(text);
        return;
    }
    int width = static_cast<int>(strlen(text)) * kPixelsPerCharacter;
    if (StatusList.GetHorizontalExtent() < width) StatusList.SetHorizontalExtent(width);
    StatusList.AddString(text);
    StatusList.SetTopIndex(StatusList.GetCount() - 1);
}

HWND StatusLineControl()
{
    return MainDialogWindow != nullptr ? GetDlgItem(MainDialogWindow, IDC_STATUS_LINE) : nullptr;
}

}  // namespace

void CHarvinDlg::SetStatusText(const char* text)
{
    HWND line = StatusLineControl();
    if (line == nullptr) return;
    SetWindowTextA(line, text != nullptr ? text : "");
}

void CHarvinDlg::SetStatusTextFromId(UINT id, long value)
{
    char format[200];
    char text[520];
    LoadResourceText(id, format);
    FormatText(text, format, value);
    SetStatusText(text);
}

void CHarvinDlg::AddStatusLine(const char* text)
{
    if (text == nullptr) text = "";
    AppendStatusLine(text, ReportsFailure(text));
}

void CHarvinDlg::AddStatusLine(const char* text, const char* data)
{
    if (text == nullptr) text = "";
    char line[2 * kPathSize];
    FormatText(line, "%s %s", text, data != nullptr ? data : "");
    AppendStatusLine(line, ReportsFailure(text));
}

void CHarvinDlg::AddStatusLineFromId(UINT id, const char* first, const char* second)
{
    char format[520];
    char text[520];
    LoadResourceText(id, format);
    if (first != nullptr && second != nullptr) {
        FormatText(text, format, first, second);
    } else {
        FormatText(text, format, first != nullptr ? first : "");
    }
    AppendStatusLine(text, IsFailureText(id));
}

void CHarvinDlg::AnnounceStatus(UINT id)
{
    char text[520];
    LoadResourceText(id, text);
    AppendStatusLine(text, IsFailureText(id));
    SetStatusText(text);
}

int CHarvinDlg::RunLogLineCount()
{
    if (StatusList.GetSafeHwnd() != nullptr) return StatusList.GetCount();
    return static_cast<int>(g_windowlessLog.size());
}

int CHarvinDlg::RunLogLine(int index, char* buffer, size_t capacity)
{
    if (StatusList.GetSafeHwnd() != nullptr) {
        int length = StatusList.GetTextLen(index);
        if (length < 0) return -1;
        StatusList.GetText(index, buffer, capacity);
        return length;
    }
    if (index < 0 || static_cast<size_t>(index) >= g_windowlessLog.size()) return -1;
    CopyText(buffer, capacity, g_windowlessLog[static_cast<size_t>(index)].c_str());
    return static_cast<int>(g_windowlessLog[static_cast<size_t>(index)].size());
}

void CHarvinDlg::ClearRunLog()
{
    if (StatusList.GetSafeHwnd() != nullptr) StatusList.ResetContent();
    g_windowlessLog.clear();
}

int CHarvinDlg::ShowMessageFromId(UINT id, const char* text, UINT fallbackId, UINT style, UINT beepType)
{
    char format[300];
    char fallback[200];
    char message[520];
    LoadResourceText(id, format);
    if (text == nullptr) {
        LoadResourceText(fallbackId, fallback);
        text = fallback;
    }
    FormatText(message, format, text);
    if (UnattendedRun) {
        // No one to read it: it goes into the run log, and the answer is
        // the one that lets the run go on.
        AppendStatusLine(message, IsFailureText(id));
        return IDOK;
    }
    MessageBeep(beepType);
    char caption[kPathSize];
    LoadResourceText(IDS_APP_TITLE, caption);
    return MessageBoxA(MainDialogWindow, message, caption, style);
}

void CHarvinDlg::AdvanceStepCounter()
{
    ++StepCounter;
    char text[520];
    FormatText(text, StepCounterFormat, 0, static_cast<int>(StepCounter));
    SetStatusText(text);
}

void CHarvinDlg::AdvanceFileCounter()
{
    ++FileCounter;
    char text[520];
    FormatText(text, FileCounterFormat, static_cast<int>(FileCounter));
    SetStatusText(text);
}
