#include "app/output_location.h"

#include "app/app_state.h"
#include "app/folder_owner.h"
#include "app/harvin_dlg.h"
#include "app/output_tree.h"
#include "app/report_archive.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/system_helpers.h"
#include "report/page_writer.h"
#include "report/report_frame.h"

#include <cstdlib>
#include <cstring>
#include <objbase.h>
#include <shlobj.h>

char ProgramPathOverride[260] = "";

namespace {

// Empty when the path is longer than 256 characters: it is not used.
void ProgramFilePath(char (&path)[kPathSize])
{
    constexpr DWORD kLongestProgramPath = 256;
    char module[kPathSize] = "";
    DWORD n = ProgramPathOverride[0] != '\0' ? static_cast<DWORD>(strlen(ProgramPathOverride))
                                             : GetModuleFileNameA(nullptr, module, kLongestProgramPath + 1);
    if (ProgramPathOverride[0] != '\0') CopyText(module, ProgramPathOverride);
    if (n == 0 || n > kLongestProgramPath) module[0] = '\0';
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

// The shell's folder browser titled with text `titleId`; false when the
// user cancels.
bool ChooseOutputFolder(CHarvinDlg* dialog, UINT titleId, char (&chosen)[kPathSize])
{
    chosen[0] = '\0';
    HRESULT com = CoInitialize(nullptr);
    char title[200];
    LoadResourceText(titleId, title);
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

// `folder` + `name` as it stands (no separator added); false when cut.
bool JoinDirectly(char (&out)[kPathSize], const char* folder, const char* name)
{
    return CopyText(out, folder) && AppendText(out, name);
}

void ApplyCommandLineOptions()
{
    const CommandLineOptions& options = ParsedCommandLine;
    if (options.refusedPath[0] != '\0') CHarvinDlg::AddStatusLineFromId(IDS_FMT_OPTION_IGNORED, options.refusedPath);
    if (options.homePathGiven) CopyText(HomePathText, options.homePath);
    if (!options.htmlPathGiven) return;
    // The value is joined to the names as it stands, backslash or not. A cut
    // name would be some other file, deleted at the start and at the close:
    // then the option is not used.
    const char* value = options.htmlPath;
    char entry[kPathSize], navi[kPathSize], archive[kPathSize];
    if (!JoinDirectly(entry, value, "GATHINFO.HTM") || !JoinDirectly(navi, value, "NAVI.html") ||
        !JoinDirectly(archive, value, "GATHINFO.ZIP")) {
        CHarvinDlg::AddStatusLineFromId(IDS_FMT_OUTPUT_PATH_TOO_LONG, value);
        return;
    }
    CopyText(EntryPagePath, entry);
    CopyText(NaviFilePath, navi);
    CopyText(ArchivePath, archive);
}

// Where an unattended run puts the tree when it cannot use the program's
// folder: the "/HTMLPATH=" folder stands in for the folder browser's answer.
bool UnattendedOutputBase(char (&base)[kPathSize])
{
    if (!ParsedCommandLine.htmlPathGiven) return false;
    return CopyText(base, ParsedCommandLine.htmlPath) && EnsureTrailingBackslash(base);
}

// The folder that receives the tree: beside the program, or one the user
// picks when the program runs from a CD or its folder cannot be read.
bool PickOutputBase(CHarvinDlg* dialog, bool programFolderKnown, char (&base)[kPathSize])
{
    OutputBaseChosenByUser = false;
    if (programFolderKnown && !IsOnCdRom(HomePathText)) return CopyText(base, HomePathText);
    if (UnattendedRun) {
        if (!UnattendedOutputBase(base)) {
            CHarvinDlg::AddStatusLineFromId(IDS_FMT_OUTPUT_NOT_WRITABLE, HomePathText);
            return false;
        }
    } else {
        UINT title = programFolderKnown ? IDS_FOLDER_BROWSER_TITLE : IDS_FOLDER_BROWSER_TITLE_NO_FOLDER;
        if (!ChooseOutputFolder(dialog, title, base)) return false;
        EnsureTrailingBackslash(base);
    }
    OutputBaseChosenByUser = true;
    // A program path too long to read leaves no home path to report.
    if (!programFolderKnown) CopyText(HomePathText, base);
    return true;
}

// Outside the program's own folder, a run with administrator rights meets
// places where other users write (C:\Windows\Temp, a shared folder): an old
// tree there is deleted and replaced only when a trusted account made it,
// never when another user may have planted it. False with a status line.
bool MayReplaceOldTree(const char* base)
{
    if (_stricmp(base, ProgramFolder) == 0 || !IsUserAdministrator()) return true;
    char root[kPathSize];
    if (!JoinDirectly(root, base, "SupportData")) return true;  // the tree's set-up refuses it
    if (GetFileAttributesA(root) == INVALID_FILE_ATTRIBUTES || IsOwnedByTrustedAccount(root)) return true;
    CHarvinDlg::AddStatusLineFromId(IDS_FMT_FOREIGN_OUTPUT_OWNER, root);
    return false;
}

// The archive path in `archiveFolder` and the tree below `base`; false
// (with a status line) when either cannot be used.
bool SetUpOutputAt(const char* base, const char* archiveFolder, char (&archive)[kPathSize])
{
    if (!JoinDirectly(archive, archiveFolder, "GATHINFO.ZIP")) {
        CHarvinDlg::AddStatusLineFromId(IDS_FMT_OUTPUT_PATH_TOO_LONG, archiveFolder);
        return false;
    }
    return MayReplaceOldTree(base) && SetUpOutputTree(base);
}

}  // namespace

bool PrepareOutputLocation(CHarvinDlg* dialog)
{
    StepCounter = 0;
    StepCounterTotal = 0;
    FileCounter = 0;

    // Nothing of an earlier run may be deleted in this run's name.
    EntryPagePath[0] = '\0';
    NaviFilePath[0] = '\0';
    ArchivePath[0] = '\0';
    ArchiveCopiedToDesktop = false;

    char programPath[kPathSize];
    ProgramFilePath(programPath);
    ProgramFolderOf(programPath, ProgramFolder);
    CopyText(HomePathText, ProgramFolder);

    char base[kPathSize];
    if (!PickOutputBase(dialog, programPath[0] != '\0', base)) return false;
    char archive[kPathSize];
    bool ready = SetUpOutputAt(base, OutputBaseChosenByUser ? base : ProgramFolder, archive);
    // An unattended run cannot ask for another folder: "/HTMLPATH=" is its answer.
    if (!ready && UnattendedRun && !OutputBaseChosenByUser && UnattendedOutputBase(base)) {
        OutputBaseChosenByUser = true;
        ready = SetUpOutputAt(base, base, archive);
    }
    if (!ready) return false;

    JoinPath(EntryPagePath, OutputRoot, "GATHINFO.HTM");
    JoinPath(NaviFilePath, OutputRoot, "NAVI.html");
    CopyText(ArchivePath, archive);
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
