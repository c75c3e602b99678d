#include "app/output_tree.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "app/tree_deletion.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"

#include <cstdio>
#include <cstring>

namespace {

struct OutputSubfolder {
    const char* name;
    char* path;
};

const OutputSubfolder kSubfolders[] = {
    {"\\Dumps", DumpsFolder},     {"\\LOGs", LogsFolder},       {"\\INIFiles", IniFilesFolder},
    {"\\BATFiles", BatFilesFolder}, {"\\SYSInfo", SysInfoFolder}, {"\\Wardex", ProductBaseFolder},
    {"\\Startup", StartupFolder},
};

// The longest name the run puts directly into OutputRoot.
const char kLongestRootEntry[] = "\\GATHINFO.HTM";

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool IsLink(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool IsAbsolutePath(const char* path)
{
    if (path == nullptr) return false;
    bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
                 path[2] == '\\';
    bool unc = path[0] == '\\' && path[1] == '\\' && path[2] != '\0' && path[2] != '\\';
    return drive || unc;
}

TreeEntryKind ClassifyTreeEntry(DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TreeEntryKind::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TreeEntryKind::Folder : TreeEntryKind::File;
}

bool DeleteTree(const char* folder, const char* subfolder)
{
    if (folder == nullptr) return false;
    char path[kPathSize];
    bool fit = subfolder != nullptr ? JoinPath(path, folder, subfolder) : CopyText(path, folder);
    return fit && DeleteTreeWith(path, SystemTreeDeletionFunctions());
}

void CreateOutputFolders()
{
    if (Exists(OutputRoot)) {
        // A locked file kept the old tree: say so, but make sure every
        // subfolder is there so later pages are not lost.
        fputs("unable to create directories!", stdout);
    } else if (!CreateDirectoryA(OutputRoot, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        fputs("unable to create directories!", stdout);
        return;
    }
    for (const OutputSubfolder& sub : kSubfolders) CreateDirectoryA(sub.path, nullptr);
}

static bool IsFolder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static bool AllTreeFoldersExist()
{
    if (!IsFolder(OutputRoot)) return false;
    for (const OutputSubfolder& sub : kSubfolders) {
        if (!IsFolder(sub.path)) return false;
    }
    return true;
}

// Fills OutputBase, OutputRoot and the subfolder paths; false when any of
// them, or a file directly in the root, would be cut.
static bool BuildTreePaths(const char* outputBase)
{
    bool fit = CopyText(OutputBase, outputBase);
    fit = fit && CopyText(OutputRoot, OutputBase) && AppendText(OutputRoot, "SupportData");
    for (const OutputSubfolder& sub : kSubfolders) {
        fit = fit && CopyText(sub.path, kPathSize, OutputRoot) && AppendText(sub.path, kPathSize, sub.name);
    }
    return fit && strlen(OutputRoot) + strlen(kLongestRootEntry) < kPathSize;
}

bool SetUpOutputTree(const char* outputBase)
{
    if (outputBase == nullptr || !BuildTreePaths(outputBase) || !IsAbsolutePath(OutputRoot)) {
        // A cut path names some other folder: never delete or fill it.
        OutputRoot[0] = '\0';
        for (const OutputSubfolder& sub : kSubfolders) sub.path[0] = '\0';
        CHarvinDlg::AddStatusLineFromId(IDS_FMT_OUTPUT_PATH_TOO_LONG, outputBase != nullptr ? outputBase : "");
        return false;
    }
    DeleteTree(OutputRoot);
    if (IsLink(OutputRoot)) {
        // A link in our place that would not go: writing through it would
        // fill whatever folder it points to.
        CHarvinDlg::AddStatusLineFromId(IDS_FMT_OUTPUT_ROOT_IS_LINK, OutputRoot);
        return false;
    }
    if (IsFolder(OutputRoot)) {
        // What is left of the old tree (a file in use, a link that would not
        // go) would be packed and listed as this run's data.
        CHarvinDlg::AddStatusLineFromId(IDS_FMT_OLD_TREE_NOT_REMOVED, OutputRoot);
        return false;
    }
    CreateOutputFolders();
    if (!AllTreeFoldersExist()) {
        // Nowhere to write the pages (a file in the way, no write access).
        CHarvinDlg::AddStatusLineFromId(IDS_FMT_OUTPUT_NOT_WRITABLE, OutputRoot);
        return false;
    }
    return true;
}
