#include "app/output_tree.h"

#include "app/app_state.h"
#include "platform/bounded_text.h"

#include <cstdio>
#include <cstring>

namespace {

// Paths of this length or more are left alone: joining a name would cut them.
constexpr size_t kDeletablePathLimit = 258;

struct OutputSubfolder {
    const char* name;
    char* path;
};

const OutputSubfolder kSubfolders[] = {
    {"\\Dumps", DumpsFolder},     {"\\LOGs", LogsFolder},       {"\\INIFiles", IniFilesFolder},
    {"\\BATFiles", BatFilesFolder}, {"\\SYSInfo", SysInfoFolder}, {"\\Wardex", ProductBaseFolder},
    {"\\Startup", StartupFolder},
};

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void DeleteFileForced(const char* path)
{
    if (DeleteFileA(path)) return;
    if (GetLastError() == ERROR_ACCESS_DENIED) {
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path);
    }
}

void DeleteEntry(const char* path, const WIN32_FIND_DATAA& entry)
{
    char child[kPathSize];
    if (strlen(path) + 1 + strlen(entry.cFileName) >= kDeletablePathLimit) return;
    JoinPath(child, path, entry.cFileName);
    bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool isLink = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isFolder && isLink) {
        // A junction or folder link: remove the link, never what it points to.
        SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY);
        RemoveDirectoryA(child);
    } else if (isFolder) {
        DeleteTree(child);
    } else {
        DeleteFileForced(child);
    }
}

}  // namespace

void DeleteTree(const char* folder, const char* subfolder)
{
    if (folder == nullptr) return;
    char path[kPathSize];
    bool fit = subfolder != nullptr ? JoinPath(path, folder, subfolder) : CopyText(path, folder);
    if (!fit || strlen(path) >= kDeletablePathLimit) return;

    char pattern[kPathSize];
    if (!JoinPath(pattern, path, "*")) return;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
            DeleteEntry(path, entry);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    // Fails quietly when something inside could not be deleted.
    RemoveDirectoryA(path);
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

void SetUpOutputTree(const char* outputBase)
{
    CopyText(OutputBase, outputBase);
    CopyText(OutputRoot, OutputBase);
    AppendText(OutputRoot, "SupportData");
    for (const OutputSubfolder& sub : kSubfolders) {
        CopyText(sub.path, kPathSize, OutputRoot);
        AppendText(sub.path, kPathSize, sub.name);
    }
    DeleteTree(OutputRoot);
    CreateOutputFolders();
}
