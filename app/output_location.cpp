#include "app/output_location.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "app/output_tree.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "report/page_writer.h"
#include "report/report_frame.h"

#include <cstdlib>
#include <cstring>
#include <objbase.h>
#include <shlobj.h>

char ProgramPathOverride[260] = "";

namespace {

void ProgramFilePath(char (&path)[kPathSize])
{
    if (ProgramPathOverride[0] != '\0') {
        CopyText(path, ProgramPathOverride);
        return;
    }
    // At most 256 characters; a longer path is not used.
    char module[kPathSize] = "";
    DWORD n = GetModuleFileNameA(nullptr, module, 257);
    if (n == 0 || n >= 257) module[0] = '\0';
    CopyText(path, module);
}

void ProgramFolderOf(const char* programPath, char (&folder)[kPathSize])
{
    CopyPathFolder(folder, programPath);
    EnsureTrailingBackslash(folder);
}

// The root GetDriveType understands: "X:\" or "\\server\share\".
void DriveRootOf(const char* folder, char (&root)[kPathSize])
{
    root[0] = '\0';
    if (folder[0] != '\0' && folder[1] == ':') {
        FormatText(root, "%c:\\", folder[0]);
        return;
    }
    if (folder[0] == '\\' && folder[1] == '\\') {
        const char* share = strchr(folder + 2, '\\');
        const char* end = share != nullptr ? strchr(share + 1, '\\') : nullptr;
        size_t length = end != nullptr ? static_cast<size_t>(end - folder) + 1 : strlen(folder);
        if (length < sizeof root) {
            memcpy(root, folder, length);
            root[length] = '\0';
            EnsureTrailingBackslash(root);
        }
    }
}

bool IsOnCdRom(const char* folder)
{
    char root[kPathSize];
    DriveRootOf(folder, root);
    return root[0] != '\0' && GetDriveTypeA(root) == DRIVE_CDROM;
}

// The shell's folder browser; false when the user cancels.
bool ChooseOutputFolder(CHarvinDlg* dialog, char (&chosen)[kPathSize])
{
    chosen[0] = '\0';
    HRESULT com = CoInitialize(nullptr);
    char title[200];
    LoadResourceText(IDS_FOLDER_BROWSER_TITLE, title);
    BROWSEINFOA info{};
    info.hwndOwner = dialog != nullptr ? dialog->GetSafeHwnd() : MainDialogWindow;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info);
    bool ok = false;
    if (item != nullptr) {
        char path[MAX_PATH] = "";
        ok = SHGetPathFromIDListA(item, path) && path[0] != '\0';
        if (ok) CopyText(chosen, path);
        CoTaskMemFree(item);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return ok;
}

void DeleteIfFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(path);
}

void ApplyCommandLineOptions()
{
    if (CommandLineCopy[0] == '\0') return;
    char value[kPathSize];
    if (ReadCommandOption("/HOMEPATH=", value, sizeof value)) CopyText(HomePathText, value);
    if (ReadCommandOption("/HTMLPATH=", value, sizeof value)) {
        // The value is joined to the name as it stands, backslash or not.
        CopyText(EntryPagePath, value);
        AppendText(EntryPagePath, "GATHINFO.HTM");
        CopyText(NaviFilePath, value);
        AppendText(NaviFilePath, "NAVI.html");
        CopyText(ArchivePath, value);
        AppendText(ArchivePath, "GATHINFO.ZIP");
    }
}

}  // namespace

bool ReadCommandOption(const char* key, char* value, size_t capacity)
{
    if (value == nullptr || capacity == 0) return false;
    value[0] = '\0';
    if (key == nullptr || key[0] == '\0') return false;
    const char* found = strstr(CommandLineCopy, key);
    if (found == nullptr) return false;
    const char* start = found + strlen(key);
    size_t length = strcspn(start, " /");
    if (length >= capacity) length = capacity - 1;
    memcpy(value, start, length);
    value[length] = '\0';
    return true;
}

bool PrepareOutputLocation(CHarvinDlg* dialog)
{
    StepCounter = 0;
    StepCounterTotal = 0;
    FileCounter = 0;

    char programPath[kPathSize];
    ProgramFilePath(programPath);
    ProgramFolderOf(programPath, ProgramFolder);
    CopyText(HomePathText, ProgramFolder);

    OutputBaseChosenByUser = false;
    char base[kPathSize];
    if (IsOnCdRom(HomePathText)) {
        if (!ChooseOutputFolder(dialog, base)) return false;
        EnsureTrailingBackslash(base);
        OutputBaseChosenByUser = true;
    } else {
        CopyText(base, HomePathText);
    }
    SetUpOutputTree(base);

    JoinPath(EntryPagePath, OutputRoot, "GATHINFO.HTM");
    JoinPath(NaviFilePath, OutputRoot, "NAVI.html");
    // A program started from a CD cannot write beside itself: the archive
    // goes to the folder the user chose.
    CopyText(ArchivePath, OutputBaseChosenByUser ? OutputBase : ProgramFolder);
    AppendText(ArchivePath, "GATHINFO.ZIP");
    ApplyCommandLineOptions();

    DeleteIfFile(EntryPagePath);
    DeleteIfFile(ArchivePath);

    CHarvinDlg::AddStatusLineFromId(IDS_FMT_HOME_PATH, HomePathText);
    char rootWithSeparator[kPathSize];
    CopyText(rootWithSeparator, OutputRoot);
    EnsureTrailingBackslash(rootWithSeparator);
    CHarvinDlg::AddStatusLineFromId(IDS_FMT_REPORT_LOCATION, "GATHINFO.HTM", rootWithSeparator);

    if (GetFileAttributesA(NaviFilePath) != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesA(NaviFilePath, FILE_ATTRIBUTE_NORMAL);
    }
    CreateNaviFile();
    AddNaviLine("<A NAME=\"?IDX?\"></A>\n", 0, 2);
    return true;
}
