// Directory pages: the folder trees below the program folders, and the
// programs, scripts, links, documents and temporary files in the user
// profiles.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/file_info.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kProgramFolderDepth = 3;
// Profiles hold folders many levels deep; a bound keeps a pathological tree
// from taking the run (no path of 258 characters goes deeper anyway).
constexpr int kUserFolderDepth = 16;
constexpr size_t kTextSize = 260;

// Compared with a name's last three characters.
const char* const kUserFileTypes[] = {"exe", "dll", "vbs", "bat", "lnk", "pdf", "tmp"};

using GetProfilesDirectoryFunction = BOOL(WINAPI*)(LPSTR, LPDWORD);

bool IsSubfolder(const WIN32_FIND_DATAA& found)
{
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && strcmp(found.cFileName, ".") != 0 &&
           strcmp(found.cFileName, "..") != 0;
}

// Junctions and symbolic links are listed but never entered: a profile's
// "Application Data" and its like lead back into the profile.
bool IsEnteredSubfolder(const WIN32_FIND_DATAA& found)
{
    return IsSubfolder(found) && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool IsExistingFolder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int64_t UnixTimeOf(const FILETIME& fileTime)
{
    ULARGE_INTEGER ticks;
    ticks.LowPart = fileTime.dwLowDateTime;
    ticks.HighPart = fileTime.dwHighDateTime;
    return static_cast<int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
}

// The program folder whose tree the page shows; false when it is unknown or
// does not fit.
bool ProgramFolderRoot(bool x86, char (&root)[kPathSize])
{
    root[0] = '\0';
    DWORD length = 0;
    if (IsNativeX86()) {
        length = GetEnvironmentVariableA("PROGRAMFILES", root, kPathSize);
    } else if (x86) {
        length = GetEnvironmentVariableA("ProgramFiles(x86)", root, kPathSize);
    } else {
        length = ExpandEnvironmentStringsA("%ProgramW6432%", root, kPathSize);
    }
    if (length == 0 || length >= kPathSize) root[0] = '\0';
    return root[0] != '\0';
}

bool ProfilesFolder(char (&out)[kPathSize])
{
    out[0] = '\0';
    ScopedLibrary userenv(LoadLibraryA("userenv.dll"));
    auto getFolder = LookupProc<GetProfilesDirectoryFunction>(userenv.Get(), "GetProfilesDirectoryA");
    DWORD size = kPathSize;
    if (getFolder == nullptr || !getFolder(out, &size)) out[0] = '\0';
    return out[0] != '\0';
}

bool IsListedUserFile(const char* name)
{
    const size_t length = strlen(name);
    if (length < 3) return false;
    for (const char* type : kUserFileTypes) {
        if (lstrcmpiA(name + length - 3, type) == 0) return true;
    }
    return false;
}

}  // namespace

void CWindowsStuff::CollectProgramDirectories(const char* folder, const char* fileName, bool x86)
{
    if (System == 0) return;
    StepCounter = 0;
    const char* title = x86 ? "Program Directories (x86)" : "Program Directories";
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_DIRECTORIES, title, title, 1);
    if (page == nullptr) return;
    char root[kPathSize];
    if (ProgramFolderRoot(x86, root) && IsExistingFolder(root)) ListDirectoryTree(root, page, kProgramFolderDepth);
    FinalizePage(page);
}

void CWindowsStuff::ListDirectoryTree(const char* path, Page page, int depth)
{
    if (depth <= 0 || path == nullptr || strlen(path) >= 258) return;
    char search[kPathSize];
    if (!JoinPath(search, path, "*")) return;
    WIN32_FIND_DATAA found;
    ScopedFindHandle handle(FindFirstFileA(search, &found));
    if (!handle) return;
    AppendLiteral(page, "<div style=\"margin-left: 50px; border-left-style:solid; border-left-width:1px\">");
    do {
        if (!IsSubfolder(found)) continue;
        char attributes[kTextSize];
        char created[kTextSize];
        FormatFileAttributes(found.dwFileAttributes, attributes, sizeof attributes);
        FormatGmtTime(UnixTimeOf(found.ftCreationTime), created, sizeof created);
        AppendLiteral(page, "- ");
        FileEntryRequest request;
        request.path = path;
        request.name = found.cFileName;
        request.page = page;
        request.withText1 = true;
        request.text1 = attributes;
        request.withVersion = true;
        request.withText2 = true;
        request.text2 = created;
        WriteFileEntry(request);
        char subfolder[kPathSize];
        if (IsEnteredSubfolder(found) && JoinPath(subfolder, path, found.cFileName)) {
            ListDirectoryTree(subfolder, page, depth - 1);
        }
    } while (!IsCancelRequested() && FindNextFileA(handle.Get(), &found));
    AppendLiteral(page, "</div>");
}

void CWindowsStuff::CollectUserDirectories(const char* folder, const char* fileName)
{
    Page page =
        CreateReportPage(folder, fileName, IDS_STATUS_DIRECTORIES, "Users Directories", "Users Directories:", 1);
    if (page == nullptr) return;
    AppendLiteral(page, "<b>(only *.exe, *.dll, *.vbs, *.bat, *.lnk, *.pdf and *.tmp)</b><BR><BR>");
    char profiles[kPathSize];
    if (ProfilesFolder(profiles)) ListUserFiles(profiles, page, kUserFolderDepth);
    FinalizePage(page);
}

void CWindowsStuff::ListUserFiles(const char* path, Page page, int depth)
{
    if (depth <= 0 || path == nullptr || strlen(path) > 257) return;
    char search[kPathSize];
    if (!JoinPath(search, path, "*")) return;
    WIN32_FIND_DATAA found;
    std::vector<std::string> subfolders;
    {
        ScopedFindHandle handle(FindFirstFileA(search, &found));
        if (!handle) return;
        bool headed = false;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (IsEnteredSubfolder(found)) subfolders.push_back(found.cFileName);
                continue;
            }
            if (!IsListedUserFile(found.cFileName)) continue;
            if (!headed) {
                AppendToPage(page, "<BR>%s\\", HtmlText<kPathSize>(path).c_str());
                headed = true;
            }
            AppendToPage(page, "<DIV style='margin-left:50px;'>%s</DIV>", HtmlText<MAX_PATH>(found.cFileName).c_str());
        } while (!IsCancelRequested() && FindNextFileA(handle.Get(), &found));
    }
    // The folder's own files come first, so none of them shows under a subfolder's line.
    for (const std::string& name : subfolders) {
        if (IsCancelRequested()) return;
        char subfolder[kPathSize];
        if (JoinPath(subfolder, path, name.c_str())) ListUserFiles(subfolder, page, depth - 1);
    }
}
