// File pages: the Windows folder listing, the system information tool's
// report, system file versions, the system configuration and driver folder
// files, the copied configuration files with the Exchange and ISA Server
// versions, and the crash dumps with the Dr Watson log.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/file_collection.h"
#include "info/file_info.h"
#include "info/redaction_run.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/system_helpers.h"
#include "platform/windows_version.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kMsinfoStartPauseMs = 500;
constexpr DWORD kMsinfoPollMs = 350;
// No window, and the tool's own process flags as it has always been started.
constexpr DWORD kMsinfoCreationFlags = 0x08002000;
constexpr DWORD kNoWindow = 0x08000000;
// Navigation texts with every "%" doubled (AddNaviLine collapses them again).
constexpr size_t kEscapedSize = 2 * kPathSize;

const char kDrWatsonKey[] = "SOFTWARE\\Microsoft\\DrWatson";
const char kDrWatsonFolder[] = "C:\\Documents and Settings\\All Users\\Application Data\\Microsoft\\Dr Watson\\";

// A folder text of a Windows call; false when there is none or it was cut.
bool WindowsFolder(char (&out)[kPathSize])
{
    UINT length = GetWindowsDirectoryA(out, kPathSize);
    if (length == 0 || length >= kPathSize) out[0] = '\0';
    return out[0] != '\0';
}

bool SystemFolder(char (&out)[kPathSize])
{
    UINT length = GetSystemDirectoryA(out, kPathSize);
    if (length == 0 || length >= kPathSize) out[0] = '\0';
    return out[0] != '\0';
}

bool IsExistingFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The type of a value in the 32-bit view; REG_NONE when it cannot be read.
DWORD ValueType(HKEY hive, const char* path, const char* name)
{
    ScopedRegKey key;
    REGSAM access = KEY_QUERY_VALUE | (IsWindows64Bit() ? RegistryView32 : 0);
    if (RegOpenKeyExA(hive, path, 0, access, key.Receive()) != ERROR_SUCCESS) return REG_NONE;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return REG_NONE;
    return type;
}

// A path value of the 32-bit view, its environment variables expanded when
// it is stored as REG_EXPAND_SZ. False (and out empty) when it is not set
// or does not fit: a cut path would name another file.
bool ReadPathValue(HKEY hive, const char* path, const char* name, char (&out)[kPathSize])
{
    out[0] = '\0';
    char text[4 * kPathSize];
    if (!ReadStringValue(hive, path, name, text, sizeof text, "", RegistryView32)) return false;
    if (ValueType(hive, path, name) == REG_EXPAND_SZ) {
        char expanded[kPathSize];
        DWORD length = ExpandEnvironmentStringsA(text, expanded, sizeof expanded);
        if (length == 0 || length > sizeof expanded) return false;
        return CopyText(out, expanded);
    }
    if (!CopyText(out, text)) out[0] = '\0';
    return out[0] != '\0';
}

bool IsSubfolder(const WIN32_FIND_DATAA& found)
{
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && strcmp(found.cFileName, ".") != 0 &&
           strcmp(found.cFileName, "..") != 0;
}

// The folders of a walk, and whether it stopped at the walk limit.
struct FolderTreeWalk {
    std::vector<std::string> folders;
    bool cut = false;
};

// `folder` and every folder below it, depth first in search order, as the
// recursive folder collection visits them. Junctions and other reparse
// points are not entered: several lead back up the tree.
void AddFolderTree(const char* folder, FolderTreeWalk& walk)
{
    if (IsCancelRequested()) return;
    if (walk.folders.size() >= FolderWalkLimit) {
        walk.cut = true;
        return;
    }
    walk.folders.push_back(folder);
    char search[kPathSize];
    if (!JoinPath(search, folder, "*")) return;
    WIN32_FIND_DATAA found;
    ScopedFindHandle handle(FindFirstFileA(search, &found));
    if (!handle) return;
    do {
        if (!IsSubfolder(found) || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
        char subfolder[kPathSize];
        if (JoinPath(subfolder, folder, found.cFileName)) AddFolderTree(subfolder, walk);
    } while (!walk.cut && !IsCancelRequested() && FindNextFileA(handle.Get(), &found));
}

// A walk cut at the limit says so in the run log, so no one takes its
// listings and copies for the whole tree.
FolderTreeWalk WalkFolderTree(const char* top)
{
    FolderTreeWalk walk;
    AddFolderTree(top, walk);
    if (walk.cut) {
        char format[kPathSize];
        char line[2 * kPathSize];
        LoadResourceText(IDS_FMT_FOLDER_WALK_LIMIT, format);
        FormatText(line, format, top, static_cast<int>(walk.folders.size()));
        CHarvinDlg::AddStatusLine(line);
    }
    return walk;
}

std::vector<std::string> FolderTree(const char* top) { return WalkFolderTree(top).folders; }

// The files matching `pattern` in each folder of a tree, folder by folder.
void CollectTreeFiles(const std::vector<std::string>& folders, const char* pattern, FileCollectionOptions options)
{
    options.recursive = false;
    for (const std::string& folder : folders) {
        if (IsCancelRequested()) return;
        CollectFolderFiles(folder.c_str(), pattern, options);
    }
}

// Copies of the files matching `pattern` in each folder of a tree into
// `target`. Each folder is given with its closing backslash, so the copies
// keep the whole folder path below the target and two files of one name in
// sibling folders never land on one another.
void CopyTreeFiles(const std::vector<std::string>& folders, const char* pattern, const char* target)
{
    FileCollectionOptions options;
    options.copy = true;
    options.targetBase = target;
    options.targetOverride = target;
    for (const std::string& folder : folders) {
        if (IsCancelRequested()) return;
        char source[kPathSize];
        if (CopyText(source, folder.c_str()) && EnsureTrailingBackslash(source)) {
            CollectFolderFiles(source, pattern, options);
        }
    }
}

void AddEscapedNaviLink(const char* caption, const char* path)
{
    char escapedCaption[kEscapedSize];
    char escapedPath[kEscapedSize];
    EscapePercent(caption, escapedCaption, sizeof escapedCaption);
    EscapePercent(path, escapedPath, sizeof escapedPath);
    AddNaviLink(escapedCaption, escapedPath, nullptr);
}

// A server whose program version the configuration files collection shows.
struct ServerProgram {
    const char* serviceKey;
    const char* heading;
    const char* fileName;
    const char* caption;
    const char* title;
    const char* program;
};

const ServerProgram kServerPrograms[] = {
    {"SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS", "MS Exchange", "ExchangeFileVersions.html",
     "MS Exchange File Versions", "MSExchange File Versions", "store.exe"},
    {"SYSTEM\\CurrentControlSet\\Services\\fwsrv", "MS ISA Server", "ISAServerFiles.html",
     "MS ISA Server File Versions", "MS ISA Server Files Versions", "wspsrv.exe"},
};

// The page of one server's program, in the folder of its service's image.
void WriteServerProgramPage(const ServerProgram& server, const char* folder)
{
    if (!KeyExists(HKEY_LOCAL_MACHINE, server.serviceKey, RegistryView32)) return;
    AddNaviHeading(server.heading);
    Page page = CreateReportPage(folder, server.fileName, IDS_STATUS_SYSTEM_FILES, server.caption, server.title, 1);
    if (page == nullptr) return;
    char image[kPathSize];
    if (ReadPathValue(HKEY_LOCAL_MACHINE, server.serviceKey, "ImagePath", image)) {
        if (char* quote = strchr(image, '"')) memmove(quote, quote + 1, strlen(quote + 1) + 1);
        char programFolder[kPathSize];
        if (CopyPathFolder(programFolder, image) && programFolder[0] != '\0') {
            FileCollectionOptions options;
            options.page = page;
            options.listing = true;
            options.withVersion = true;
            CollectFolderFiles(programFolder, server.program, options);
        }
    }
    FinalizePage(page);
}

// Stops a long copy when the run is cancelled (the copy is then removed).
DWORD CALLBACK CopyUntilCancelled(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                                  HANDLE, LPVOID)
{
    return IsCancelRequested() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

}  // namespace

size_t FolderWalkLimit = 200000;

void CWindowsStuff::ListWindowsFolder(const char* folder, const char* fileName)
{
    if (Extended == 0) return;
    AnnounceStatus(IDS_STATUS_WINDOWS_FOLDER);
    const char* command =
        IsWindows6Workstation64() ? "cmd /c dir /s/a %systemroot%" : "cmd /c dir /s /a %SystemRoot%";
    RunCommandToFile(folder, fileName, "dir /s /a Windows", nullptr, command, INFINITE, true, kNoWindow, 0);
}

BackgroundProcess CWindowsStuff::StartMsinfoReport(const char* folder, const char* fileName)
{
    BackgroundProcess report;
    if (!ConfigFiles) return report;
    char tool[kPathSize];
    if (LocateMsinfo32(tool, sizeof tool) != 0) {
        AnnounceStatus(IDS_STATUS_MSINFO_MISSING);
        return report;
    }
    char commandLine[3 * kPathSize];
    if (!FormatText(commandLine, "\"%s\" /report \"%s\\%s\"", tool, folder, fileName)) return report;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, kMsinfoCreationFlags, nullptr, nullptr,
                        &startup, &info)) {
        return report;
    }
    report.process.Reset(info.hProcess);
    report.thread.Reset(info.hThread);
    report.processId = info.dwProcessId;
    Sleep(kMsinfoStartPauseMs);
    return report;
}

void CWindowsStuff::FinishMsinfoReport(const char* folder, const char* fileName, BackgroundProcess& report)
{
    if (!ConfigFiles || !report.IsStarted()) return;
    char reportPath[kPathSize];
    if (JoinPath(reportPath, folder, fileName)) AddEscapedNaviLink("MSInfo32.exe - Report", reportPath);
    // The tool may take minutes, or hang: a cancel must not wait for it.
    if (IsCancelRequestedAt(CancelPoint::ProgramWait)) return;
    for (;;) {
        DWORD waited = WaitForSingleObject(report.process.Get(), kMsinfoPollMs);
        if (waited != WAIT_TIMEOUT) break;
        if (IsCancelRequested()) return;
    }
    report.Release();
}

void CWindowsStuff::CollectSystemFileVersions(const char* folder, const char* fileName)
{
    if (Extended == 0 || System == 0) return;
    StepCounter = 0;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_SYSTEM_FILE_VERSIONS, "System File Versions",
                                 "System File Versions", 1);
    if (page == nullptr) return;
    char system[kPathSize];
    if (SystemFolder(system)) {
        for (const char* name : {"MFC42.dll", "MSVCRT.dll", "WININET.dll", "COMCTL32.dll"}) {
            FileEntryRequest request;
            request.path = system;
            request.name = name;
            request.page = page;
            request.withVersion = true;
            WriteFileEntry(request);
        }
        FileCollectionOptions options;
        options.page = page;
        options.listing = true;
        options.withVersion = true;
        for (const char* pattern : {"*.dll", "*.exe"}) {
            AppendToPage(page, "<BR><BR>\n<h2>%s in %s</h2>\n", pattern, HtmlText<kPathSize>(system).c_str());
            CollectFolderFiles(system, pattern, options);
        }
    }
    FinalizePage(page);
}

void CWindowsStuff::CollectSystemFiles(const char* folder, const char* fileName)
{
    if (ConfigFiles == 0) return;
    char windows[kPathSize];
    if (!WindowsFolder(windows)) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_SYSTEM_FILES, "System Files Information",
                                 "System Files Information", 1);
    if (page == nullptr) return;
    // One walk of the tree serves all four patterns.
    const FolderTreeWalk walk = WalkFolderTree(windows);
    const std::vector<std::string>& tree = walk.folders;
    if (walk.cut) {
        AppendToPage(page, "[The walk of %s stopped after %u folders: the folders after them are not listed.]<br>\n",
                     HtmlText<kPathSize>(windows).c_str(), static_cast<unsigned>(tree.size()));
    }
    FileCollectionOptions options;
    options.page = page;
    options.listing = true;
    options.withSize = true;
    options.withAttributes = true;
    options.withTime = true;
    static const struct {
        const char* heading;
        const char* pattern;
    } kSections[] = {{"HOSTS", "*hosts*"}, {"LOG files", "*.log"}, {"Batch files", "*.bat"}, {"Ini files", "*.ini"}};
    for (const auto& section : kSections) {
        WriteHeading(page, section.heading);
        CollectTreeFiles(tree, section.pattern, options);
    }
    FinalizePage(page);
}

void CWindowsStuff::CollectDriverFolderFiles(const char* folder, const char* fileName)
{
    if (ConfigFiles == 0) return;
    char system[kPathSize];
    char drivers[kPathSize];
    if (!SystemFolder(system) || !JoinPath(drivers, system, "Drivers")) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_DRIVER_FOLDER, "System32\\Drivers Files Information",
                                 "System32\\Drivers Files Information", 1);
    if (page == nullptr) return;
    FileCollectionOptions options;
    options.recursive = true;
    options.page = page;
    options.listing = true;
    options.withSize = true;
    options.withAttributes = true;
    options.withVersion = true;
    options.withTime = true;
    {
        FsRedirectionOff nativeView;
        CollectFolderFiles(drivers, "*.*", options);
    }
    if (IsWindows64Bit()) {
        // The 32-bit driver folder, named by its own path in its entries.
        char wow64System[kPathSize];
        char wow64Drivers[kPathSize];
        if (!GetWow64SystemFolder(wow64System, sizeof wow64System) ||
            !JoinPath(wow64Drivers, wow64System, "Drivers")) {
            CopyText(wow64Drivers, drivers);  // with redirection on, the same view
        }
        AppendLiteral(page, "<br><div style=\"color:blue;\">");
        WriteHeading(page, "SysWOW64\\Drivers");
        CollectFolderFiles(wow64Drivers, "*.*", options);
        AppendLiteral(page, "</div>");
    }
    FinalizePage(page);
}

void CWindowsStuff::CollectConfigFiles(const char* folder)
{
    char windows[kPathSize];
    if (!WindowsFolder(windows) || windows[1] != ':') return;
    const char systemRoot[] = {windows[0], ':', '\\', '\0'};

    char hosts[kPathSize];
    AddNaviHeading("Hosts files");
    if (JoinPath(hosts, windows, "System32\\drivers\\etc")) CopyTreeFiles(FolderTree(hosts), "*", folder);

    // One walk of the Windows folder serves every pattern below.
    const std::vector<std::string> tree = FolderTree(windows);
    if (Extended == 1) {
        AddNaviHeading("Log files");
        CopyTreeFiles(tree, "*.log", folder);
        AddNaviHeading("Batch files");
        CopyTreeFiles(tree, "*.bat", folder);
    }
    AddNaviHeading("Ini files");
    CopyTreeFiles(tree, "win.ini", folder);
    CopyTreeFiles(tree, "system.ini", folder);
    FileCollectionOptions rootOptions;
    rootOptions.copy = true;
    rootOptions.targetBase = folder;
    rootOptions.targetOverride = folder;
    CollectFolderFiles(systemRoot, "boot.ini", rootOptions);

    for (const ServerProgram& server : kServerPrograms) {
        if (IsCancelRequested()) return;
        WriteServerProgramPage(server, folder);
    }
}

void CWindowsStuff::CollectDrWatsonLog(const char* folder)
{
    if (ExtendedCollection != 1) return;
    char log[kPathSize] = "";
    char logFolder[kPathSize];
    if (!ReadPathValue(HKEY_LOCAL_MACHINE, kDrWatsonKey, "LogFilePath", logFolder) ||
        !JoinPath(log, logFolder, "drwtsn32.log")) {
        FormatText(log, "%s%s", kDrWatsonFolder, "drwtsn32.log");
    }
    if (!IsExistingFile(log)) {
        char windows[kPathSize];
        if (!WindowsFolder(windows) || !JoinPath(log, windows, "drwatson.log")) return;
    }
    char copy[kPathSize];
    if (!JoinPath(copy, folder, "drwtsn32.txt")) return;
    CopyFileIntoTree(log, copy, "drwtsn32.log");
}

void CWindowsStuff::CollectMinidumps(const char* folder)
{
    if (ExtendedCollection != 1) return;
    AnnounceStatus(IDS_STATUS_MINIDUMPS);
    char minidumps[kPathSize] = "%SystemRoot%\\minidump\\";
    ResolveModulePath(minidumps, sizeof minidumps);
    char windows[kPathSize];
    WindowsFolder(windows);
    const char* const sources[] = {
        minidumps,
        windows,
        "c:\\documents and settings\\all users\\documents\\DrWatson\\",
        "c:\\dokumente und einstellungen\\all users\\dokumente\\DrWatson\\",
        "c:\\documents and settings\\all users\\application data\\microsoft\\DrWatson\\",
        "c:\\documents and settings\\all users\\application data\\microsoft\\Dr Watson\\",
        "c:\\dokumente und einstellungen\\all users\\anwendungsdaten\\microsoft\\DrWatson\\",
        "c:\\dokumente und einstellungen\\all users\\anwendungsdaten\\microsoft\\Dr Watson\\",
    };
    FileCollectionOptions options;
    options.copy = true;
    options.askLarge = true;
    options.targetBase = folder;
    options.targetOverride = folder;
    for (const char* source : sources) {
        if (IsCancelRequested()) return;
        if (source[0] != '\0') CollectFolderFiles(source, "*.dmp", options);
    }
}

void CWindowsStuff::CollectUserDump(const char* folder)
{
    if (ExtendedCollection != 1) return;
    char dump[kPathSize];
    if (!ReadPathValue(HKEY_LOCAL_MACHINE, kDrWatsonKey, "CrashDumpFile", dump)) {
        FormatText(dump, "%s%s", kDrWatsonFolder, "user.dmp");
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(dump, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return;
    }
    // A dump may hold gigabytes: its size is taken in full.
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const char* name = strrchr(dump, '\\') != nullptr ? strrchr(dump, '\\') + 1 : dump;
    if (!ConfirmLargeFileCopy(name, size)) {
        AddStatusLine("The file was not collected !!!", dump);
        return;
    }
    char copy[kPathSize];
    if (!JoinPath(copy, folder, "user.dmp")) return;
    // A redacted run cannot filter a dump: the shared copy leaves it out with its entry.
    if (ActiveRedaction() != nullptr) {
        CopyFileIntoTree(dump, copy, "user.dmp");
    } else if (CopyFileExA(dump, copy, &CopyUntilCancelled, nullptr, nullptr, 0)) {
        AddEscapedNaviLink("user.dmp", copy);
    }
}
