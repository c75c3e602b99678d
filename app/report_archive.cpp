#include "app/report_archive.h"

#include "app/app_state.h"
#include "app/findings.h"
#include "app/harvin_dlg.h"
#include "app/output_tree.h"
#include "app/repeating_callback.h"
#include "app/run_summary.h"
#include "info/redaction_run.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"

#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <objbase.h>
#include <string>
#include <shlobj.h>
#include <sys/stat.h>

bool ArchiveCopiedToDesktop = false;

namespace {

constexpr size_t kArchiveBufferSize = 8192;
// The progress text goes to the dialog at most ten times a second. One per
// block would send it thousands of messages a second: the dialog thread then
// spends its time repainting and the worker waits for each message.
constexpr DWORD kProgressIntervalMs = 100;
constexpr int kLongestLoggedLine = 254;
const char kArchiveComment[] = "Norvane Support Information File";

bool g_archiveIncomplete = false;
bool g_archiveWritten = false;
DWORD g_lastProgress = 0;

void ShowArchiveProgress(unsigned long long addedBytes)
{
    const DWORD now = GetTickCount();
    if (now - g_lastProgress < kProgressIntervalMs) return;
    g_lastProgress = now;
    CHarvinDlg::SetStatusTextFromId(IDS_FMT_ARCHIVE_PROGRESS, static_cast<long>(addedBytes / 1024));
}

ZipTime ToZipTime(const struct tm& t)
{
    return ZipTime{static_cast<unsigned>(t.tm_sec),  static_cast<unsigned>(t.tm_min),
                   static_cast<unsigned>(t.tm_hour), static_cast<unsigned>(t.tm_mday),
                   static_cast<unsigned>(t.tm_mon),  static_cast<unsigned>(t.tm_year + 1900)};
}

// A time that cannot be converted (before 1970, invalid) must not stop the
// archive: such entries get 1 January 1980, the first date a zip can hold.
ZipTime LocalZipTime(time_t when)
{
    const struct tm* local = localtime(&when);
    if (local == nullptr) return ZipTime{0, 0, 0, 1, 0, 1980};
    return ToZipTime(*local);
}

ZipEntryInfo EntryInfo(time_t when, uint32_t attributes)
{
    ZipEntryInfo info{};
    info.tmz_date = LocalZipTime(when);
    info.dosDate = 0;
    info.internal_fa = attributes;
    info.external_fa = attributes;
    return info;
}

bool JoinEntryName(char (&out)[kPathSize], const char* prefix, const char* name)
{
    if (prefix == nullptr) return CopyText(out, name);
    bool fit = CopyText(out, prefix);
    fit = AppendText(out, "/") && fit;
    return AppendText(out, name) && fit;
}

bool AddFolderEntry(ZipFile zip, const char* entryName)
{
    char name[kPathSize];
    if (!CopyText(name, entryName) || !AppendText(name, "/")) return false;
    ZipEntryInfo info = EntryInfo(time(nullptr), FILE_ATTRIBUTE_DIRECTORY);
    if (ZipOpenNewFileInZip(zip, name, &info, 8, 9) != ZIP_OK) return false;
    return ZipCloseFileInZip(zip) == ZIP_OK;
}

bool WriteRunLog(ZipFile zip)
{
    ZipEntryInfo info = EntryInfo(time(nullptr), 0);
    if (ZipOpenNewFileInZip(zip, "HVREPORT.LOG", &info, 8, 9) != ZIP_OK) return false;
    char buffer[kArchiveBufferSize];
    FormatText(buffer, "%s", "Report of Harvin:\n\n");
    if (ZipWriteInFileInZip(zip, buffer, static_cast<unsigned>(strlen(buffer))) != ZIP_OK) return false;
    int count = CHarvinDlg::RunLogLineCount();
    for (int i = 0; i < count; ++i) {
        char line[kLongestLoggedLine + 2];
        int length = CHarvinDlg::RunLogLine(i, line, kLongestLoggedLine + 1);
        if (length < 0 || length > kLongestLoggedLine) continue;
        const std::string logged = RedactedAnsi(line) + "\n";
        if (ZipWriteInFileInZip(zip, logged.data(), static_cast<unsigned>(logged.size())) != ZIP_OK) return false;
    }
    return true;
}

// Byte for byte, through two fixed buffers.
bool FilesHaveSameContent(const char* first, const char* second)
{
    FILE* a = fopen(first, "rb");
    FILE* b = a != nullptr ? fopen(second, "rb") : nullptr;
    bool same = a != nullptr && b != nullptr;
    char bufferA[kArchiveBufferSize];
    char bufferB[kArchiveBufferSize];
    while (same) {
        size_t gotA = fread(bufferA, 1, sizeof bufferA, a);
        size_t gotB = fread(bufferB, 1, sizeof bufferB, b);
        same = gotA == gotB && memcmp(bufferA, bufferB, gotA) == 0 && !ferror(a) && !ferror(b);
        if (gotA < sizeof bufferA) break;
    }
    if (a != nullptr) fclose(a);
    if (b != nullptr) fclose(b);
    return same;
}

// What the findings say, when the run evaluated them: the number of problems.
void AppendProblemCount(char (&message)[1024])
{
    if (RunFindingResults().empty()) return;
    char format[kPathSize];
    char line[2 * kPathSize];
    LoadResourceText(IDS_FMT_FINDINGS_PROBLEMS, format);
    if (FormatText(line, format, ProblemsFound(RunFindingResults()))) {
        AppendText(message, "\n\n");
        AppendText(message, line);
    }
}

// The final message: where the archive really is, and how many problems the findings show.
void ShowFinalMessage()
{
    char format[520];
    char message[1024];
    char caption[kPathSize];
    if (!g_archiveWritten) {
        LoadResourceText(IDS_FMT_COMPLETE_NO_ARCHIVE, format);
        FormatText(message, format, OutputRoot);
    } else if (!ArchiveCopiedToDesktop) {
        LoadResourceText(IDS_FMT_COMPLETE_NOT_ON_DESKTOP, format);
        FormatText(message, format, ArchivePath);
    } else {
        LoadResourceText(IDS_COLLECTION_COMPLETE, message);
    }
    AppendProblemCount(message);
    LoadResourceText(IDS_APP_TITLE, caption);
    // The dialog becomes usable while this box is still open.
    if (CollectionFinishedEvent != nullptr) SetEvent(CollectionFinishedEvent);
    if (!UnattendedRun) MessageBoxA(MainDialogWindow, message, caption, MB_OK);
}

RunOutcome OutcomeOfArchive(bool complete)
{
    if (!g_archiveWritten) return RunOutcome::NoArchive;
    return complete ? RunOutcome::ArchiveComplete : RunOutcome::ArchiveIncomplete;
}

}  // namespace

bool ArchiveIncomplete() { return g_archiveIncomplete; }

bool AddFileToArchive(ZipFile zip, const char* name, const char* prefix)
{
    char diskPath[kPathSize];
    bool fit = CopyText(diskPath, OutputRoot);
    fit = AppendText(diskPath, "\\") && fit;
    if (prefix != nullptr) {
        fit = AppendText(diskPath, prefix) && fit;
        fit = AppendText(diskPath, "\\") && fit;
    }
    fit = AppendText(diskPath, name) && fit;
    char entryName[kPathSize];
    if (!fit || !JoinEntryName(entryName, prefix, name)) return false;

    FILE* file = fopen(diskPath, "rb");
    if (file == nullptr) return false;
#ifdef _WIN64
    struct _stat64 status;
    const int statResult = _fstat64(_fileno(file), &status);
#else
    // msvcrt's _fstati64 (32-bit times, 64-bit size): Windows 2000 has it,
    // _fstat64 only came with XP.
    struct _stat32i64 status;
    const int statResult = _fstat32i64(_fileno(file), &status);
#endif
    if (statResult != 0) {
        fclose(file);
        return false;
    }
    ZipEntryInfo info = EntryInfo(static_cast<time_t>(status.st_ctime), 0);
    // The size tells the writer whether the entry needs Zip64 sizes (a dump
    // of 4 GiB or more).
    const uint64_t size = status.st_size > 0 ? static_cast<uint64_t>(status.st_size) : 0;
    if (ZipOpenNewFileInZip(zip, entryName, &info, 8, 9, size) != ZIP_OK) {
        fclose(file);
        return false;
    }

    bool complete = true;
    unsigned long long added = 0;
    char buffer[kArchiveBufferSize];
    while (added < static_cast<unsigned long long>(status.st_size)) {
        size_t got = fread(buffer, 1, sizeof buffer, file);
        if (got == 0 || ZipWriteInFileInZip(zip, buffer, static_cast<unsigned>(got)) != ZIP_OK) {
            complete = false;
            break;
        }
        added += got;
        ShowArchiveProgress(added);
        if (got < sizeof buffer && added < static_cast<unsigned long long>(status.st_size)) {
            complete = false;  // a short read before the end
            break;
        }
        if (IsCancelRequested()) {
            // A file cut short by a cancel is not a success.
            complete = added >= static_cast<unsigned long long>(status.st_size);
            break;
        }
    }
    fclose(file);
    bool closed = ZipCloseFileInZip(zip) == ZIP_OK;
    return complete && closed;
}

bool AddTreeToArchive(ZipFile zip, const char* diskFolder, const char* prefix)
{
    char pattern[kPathSize];
    if (!JoinPath(pattern, diskFolder, "*")) {
        g_archiveIncomplete = true;
        return false;
    }
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) {
        g_archiveIncomplete = true;
        return false;
    }
    bool result = true;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
        // A cancelled run deletes the archive: the rest of the walk is not worth waiting for.
        if (IsCancelRequestedAt(CancelPoint::ArchiveEntry)) {
            FindClose(find);
            return false;
        }
        const TreeEntryKind kind = ClassifyTreeEntry(entry.dwFileAttributes);
        if (kind == TreeEntryKind::Link) continue;
        if (kind == TreeEntryKind::Folder) {
            char subFolder[kPathSize];
            char subPrefix[kPathSize];
            if (!JoinPath(subFolder, diskFolder, entry.cFileName) ||
                !JoinEntryName(subPrefix, prefix, entry.cFileName) || !AddFolderEntry(zip, subPrefix)) {
                g_archiveIncomplete = true;
                FindClose(find);
                return false;
            }
            result = AddTreeToArchive(zip, subFolder, subPrefix);
        } else {
            result = AddFileToArchive(zip, entry.cFileName, prefix);
            if (!result) {
                g_archiveIncomplete = true;
                FindClose(find);
                return false;
            }
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return result;
}

bool BuildReportArchive()
{
    g_archiveIncomplete = false;
    g_archiveWritten = false;
    g_lastProgress = GetTickCount() - kProgressIntervalMs;  // the first block shows
    // Entries are deflated on every processor while this thread reads the
    // tree and writes the archive in the walk's order.
    ZipFile zip = ZipOpen(ArchivePath, ZipCompressorsForThisMachine());
    if (zip == nullptr) return false;
    g_archiveWritten = true;
    // Entries are written out behind the walk: only when all of them made it
    // does the run log follow.
    if (!AddTreeToArchive(zip, OutputRoot, nullptr) || ZipFlush(zip) != ZIP_OK) {
        g_archiveIncomplete = true;
        ZipClose(zip, nullptr);
        return false;
    }
    if (!WriteRunLog(zip)) {
        ZipClose(zip, nullptr);
        return false;
    }
    bool closed = ZipClose(zip, kArchiveComment) == ZIP_OK;
    return closed && !g_archiveIncomplete;
}

int CopyArchiveToDesktop(const char* archivePath, const char* fileName)
{
    const char* profile = getenv("USERPROFILE");
    if (profile == nullptr || profile[0] == '\0') {
        CHarvinDlg::ShowMessageFromId(IDS_FMT_DESKTOP_UNAVAILABLE, nullptr, IDS_REASON_NO_PROFILE,
                                      MB_ICONEXCLAMATION, MB_ICONHAND);
        return 0;
    }
    char desktop[MAX_PATH] = "";
    bool haveDesktop = SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)) &&
                       desktop[0] != '\0';
    char destination[kPathSize];
    haveDesktop = haveDesktop && JoinPath(destination, desktop, fileName);

    HRESULT com = CoInitialize(nullptr);
    if (FAILED(com)) {
        CHarvinDlg::ShowMessageFromId(IDS_FMT_DESKTOP_UNAVAILABLE, nullptr, IDS_REASON_NO_COM,
                                      MB_ICONEXCLAMATION, MB_ICONHAND);
        return 0;
    }
    // Without a desktop folder there is nowhere to copy to: that is a failed
    // copy. Only a copy read back whole lets the close delete the original.
    ArchiveCopiedToDesktop = haveDesktop && CopyFileA(archivePath, destination, FALSE) &&
                             FilesHaveSameContent(archivePath, destination);
    if (!ArchiveCopiedToDesktop) {
        CHarvinDlg::ShowMessageFromId(IDS_FMT_DESKTOP_COPY_FAILED, archivePath, 0, MB_ICONEXCLAMATION | MB_OK,
                                      MB_ICONEXCLAMATION);
    }
    CoUninitialize();
    return 1;
}

void FinishCollection(CHarvinDlg* dialog)
{
    (void)dialog;
    ArchiveCopiedToDesktop = false;
    if (!IsCancelRequested()) CHarvinDlg::AddStatusLineFromId(IDS_FMT_REPORT_FINISHED, "GATHINFO.HTM");
    // What programs wrote themselves is filtered before the summary takes the files' checksums.
    if (!IsCancelRequested()) RedactUnfilteredFiles(OutputRoot);
    if (!IsCancelRequested()) WriteRunSummary();
    CHarvinDlg::AddStatusLineFromId(IDS_FMT_PACKING, "GATHINFO.HTM", "GATHINFO.ZIP");
    bool complete = BuildReportArchive();
    if (!complete) CHarvinDlg::AddStatusLineFromId(IDS_FMT_ARCHIVE_FAILED, "GATHINFO.HTM");

    if (IsCancelRequested()) {
        CHarvinDlg::AnnounceStatus(IDS_STATUS_CANCELLED);
        DeleteTree(OutputRoot);
        // A cancelled run leaves nothing behind, not even the archive it began.
        if (g_archiveWritten) DeleteFileA(ArchivePath);
        LastRunOutcome = RunOutcome::Cancelled;
        return;
    }
    LastRunOutcome = OutcomeOfArchive(complete);
    CHarvinDlg::AnnounceStatus(complete ? IDS_STATUS_ARCHIVE_DONE : IDS_STATUS_ARCHIVE_INCOMPLETE);
    if (MainDialogWindow != nullptr) {
        LRESULT upper = SendDlgItemMessageA(MainDialogWindow, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0);
        SendDlgItemMessageA(MainDialogWindow, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(upper), 0);
    }
    if (ProgressTimer != nullptr) ProgressTimer->Stop();

    // Without an archive of this run there is nothing to copy; a file left
    // at the path by someone else must not travel to the desktop.
    if (g_archiveWritten && !NoDesktopCopy) CopyArchiveToDesktop(ArchivePath, "GATHINFO.ZIP");
    // The final message makes the dialog usable for the next run.
    EndRunRedaction();
    ShowFinalMessage();
}
