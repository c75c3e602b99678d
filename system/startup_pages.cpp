// The startup and registry pages: the autostart keys of the registry, the
// two Startup folders, the network services' keys, and the raw dumps of the
// services tree and of the Image File Execution Options tree.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"
#include "system/autostart_entries.h"

#include <shlobj.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const char kShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

// The shell's names of the Startup folders that "Shell Folders" copies.
struct StartupFolderId {
    const char* valueName;
    int csidl;
};
const StartupFolderId kStartupFolderIds[] = {{"Startup", CSIDL_STARTUP}, {"Common Startup", CSIDL_COMMON_STARTUP}};

// ---- startup registry keys ------------------------------------------------------

struct StartupKey {
    const char* path;
    bool twin;         // the WOW6432NODE twin of the key before it: 64-bit Windows only
    const char* kind;  // what the summary calls its values' entries; null: not programs (folders, services)
};

// The kinds of the page's entries in the summary.
const char kRunKey[] = "run-key";
const char kWinlogonKind[] = "winlogon";
const char kWindowsKeyKind[] = "windows-key";
const char kOpenCommand[] = "open-command";
// Of the Windows key's values only these start programs.
const char* const kWindowsKeyValues[] = {"AppInit_DLLs", "Load", "Run", nullptr};

// Listed twice on the page, with their twins.
const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kRunOnce32[] = "Software\\WOW6432NODE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kRunOnceEx[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
const char kRunOnceEx32[] = "Software\\WOW6432NODE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";

const StartupKey kMachineKeys[] = {
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", false, kRunKey},
    {"SOFTWARE\\WOW6432NODE\\Microsoft\\Windows\\CurrentVersion\\Run", true, kRunKey},
    {kRunOnce, false, kRunKey},
    {kRunOnce32, true, kRunKey},
    {kRunOnceEx, false, kRunKey},
    {kRunOnceEx32, true, kRunKey},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", false, nullptr},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Userinit", false, kWinlogonKind},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Load", false, kRunKey},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", false, kWindowsKeyKind},
    {"Software\\WOW6432NODE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", true, kWindowsKeyKind},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\Common AltStartup", false, nullptr},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders\\Common Startup", false, nullptr},
    {kRunOnce, false, kRunKey},
    {kRunOnce32, true, kRunKey},
    {kRunOnceEx, false, kRunKey},
    {kRunOnceEx32, true, kRunKey},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\RunServices", false, kRunKey},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", false, kRunKey},
    {"System\\ControlSet001\\Services", false, nullptr},
    {"Software\\Classes\\exefile\\shell\\open\\command", false, kOpenCommand},
    {"Software\\WOW6432NODE\\Classes\\exefile\\shell\\open\\command", true, kOpenCommand},
    {"Software\\Classes\\comfile\\shell\\open\\command", false, kOpenCommand},
    {"Software\\WOW6432NODE\\Classes\\comfile\\shell\\open\\command", true, kOpenCommand},
    {"Software\\Classes\\batfile\\shell\\open\\command", false, kOpenCommand},
    {"Software\\WOW6432NODE\\Classes\\batfile\\shell\\open\\command", true, kOpenCommand},
    {"Software\\Classes\\vbsfile\\shell\\open\\command", false, kOpenCommand},
    {"Software\\WOW6432NODE\\Classes\\vbsfile\\shell\\open\\command", true, kOpenCommand},
    {"Software\\Classes\\piffile\\shell\\open\\command", false, kOpenCommand},
    {"Software\\WOW6432NODE\\Classes\\piffile\\shell\\open\\command", true, kOpenCommand},
};

const StartupKey kUserKeys[] = {
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", false, kRunKey},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", false, kRunKey},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx", false, kRunKey},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", false, nullptr},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Run", false, kRunKey},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Load", false, kRunKey},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Userinit", false, kWinlogonKind},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\Startup", false, nullptr},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders\\Startup", false, nullptr},
    {"Software\\Mirabilis\\ICQ\\Agent\\Apps\\test", false, kRunKey},
    {"Software\\Mirabilis\\ICQ\\Agent\\Apps", false, kRunKey},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\RunServices", false, kRunKey},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce", false, kRunKey},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", false, kWindowsKeyKind},
};

const StartupKey kUsersKeys[] = {
    {".default\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", false, kWindowsKeyKind},
    {".default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", false, nullptr},
};

const StartupKey kClassesKeys[] = {
    {"jpegfile\\shell\\open\\command", false, kOpenCommand}, {"mp3file\\shell\\open\\command", false, kOpenCommand},
    {"piffile\\shell\\open\\command", false, kOpenCommand},  {"txtfile\\shell\\open\\command", false, kOpenCommand},
    {"WMVFile\\shell\\open\\command", false, kOpenCommand},  {"batfile\\shell\\open\\command", false, kOpenCommand},
    {"comfile\\shell\\open\\command", false, kOpenCommand},  {"exefile\\shell\\open\\command", false, kOpenCommand},
    {"htafile\\shell\\open\\command", false, kOpenCommand},  {"htmlfile\\shell\\open\\command", false, kOpenCommand},
    {"pfifile\\shell\\open\\command", false, kOpenCommand},  {"vbsfile\\shell\\open2\\command", false, kOpenCommand},
    {"vbsfile\\shell\\open\\command", false, kOpenCommand},  {"scrfile\\shell\\open\\command", false, kOpenCommand},
};

struct StartupGroup {
    const char* heading;
    HKEY hive;
    const StartupKey* keys;
    size_t count;
};

template <size_t N>
StartupGroup Group(const char* heading, HKEY hive, const StartupKey (&keys)[N])
{
    return {heading, hive, keys, N};
}

// ---- network registry keys ----------------------------------------------------------

struct ServiceKeys {
    const char* service;
    const char* subkeys[7];  // in page order, up to the first null
};

const ServiceKeys kNetworkServices[] = {
    {"Tcpip", {"Parameters", "Linkage", "ServiceProvider"}},
    {"TapiSrv", {"Enum", "Parameters", "Performance"}},
    {"COMSyApp", {}},
    {"ContentFilter", {"Linkage", "Performance"}},
    {"ContentIndex", {"Linkage", "Performance"}},
    {"DHCP",
     {"Linkage", "Parameters", "Parameters\\Options", "Parameters\\Options\\DhcpNetbiosOptions", "Enum",
      "configurations"}},
    {"Dnscache", {"Parameters", "Enum"}},
    {"Imapi", {"Enum"}},
    {"inetaccs", {"parameters"}},
    {"IpFilterDriver", {}},
    {"IpInIp", {}},
    {"IpNat", {}},
    {"IpSec", {"Enum"}},
    {"RasAcd", {"Enum", "Parameters"}},
    {"RasAuto", {"Enum"}},
    {"RasMan",
     {"Enum", "Parameters", "PPP", "PPP\\Control Protocols", "PPP\\Control Protocols\\BuiltIn",
      "PPP\\Control Protocols\\Chap", "PPP\\EAP"}},
    {"RasPppoe", {"Enum", "Linkage"}},
    {"Raspti", {"Enum"}},
    {"Winsock",
     {"Parameters", "Setup Migration", "Setup Migration\\Providers", "Setup Migration\\Providers\\NetBios",
      "Setup Migration\\Providers\\Tcpip", "Setup Migration\\Well known Guids"}},
    {"Winsock2", {"Parameters"}},
};

const char kInternetSettingsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char* const kUserInternetKeys[] = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet",
    kInternetSettingsKey,
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zone Map",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zone Map\\ProtocolDefaults",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\0",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\1",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\4",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\5",
};

// ---- registry tree ----------------------------------------------------------------

constexpr size_t kHiveNameSize = 50;
constexpr size_t kKeyPathSize = 520;
constexpr size_t kSubkeyNameSize = 256;  // key names have at most 255 characters
constexpr DWORD kValueNameSize = 16384;  // value names have at most 16,383
// A value bigger than this is not listed: no registry value worth reading
// here comes near it, and the formatted line takes five times its size.
constexpr DWORD kMaxTreeValueData = 1024 * 1024;
constexpr DWORD kFirstDataSize = 4;
// Keys deeper than this are not walked: a tree that deep is a loop (the
// registry itself allows 512 levels, real trees use a dozen).
constexpr int kMaxTreeDepth = 64;
// A key never lists more entries than this, so a key that keeps changing
// cannot keep the walk going forever.
constexpr DWORD kMaxTreeEntries = 200000;

REGSAM ReadAccess(DWORD view) { return IsWindows64Bit() ? (KEY_READ | view) : KEY_READ; }

// What one walk shares down the tree: the page, the view and the value
// buffers, reused key after key (a deep tree keeps them off the stack).
struct TreeWalk {
    Page page;
    DWORD view;
    bool viewBlock;
    char hiveName[kHiveNameSize];
    std::vector<char> valueName;
    std::vector<BYTE> data;
    std::vector<char> line;
};

// The value at `index` with all its data, followed by two zero bytes.
// ERROR_MORE_DATA when it stays too big to be listed.
LONG ReadTreeValue(HKEY key, DWORD index, TreeWalk& walk, DWORD& type, DWORD& length)
{
    for (;;) {
        DWORD nameLength = static_cast<DWORD>(walk.valueName.size());
        length = static_cast<DWORD>(walk.data.size() - 2);
        LONG status = RegEnumValueA(key, index, walk.valueName.data(), &nameLength, nullptr, &type, walk.data.data(),
                                    &length);
        if (status == ERROR_SUCCESS) {
            walk.data[length] = 0;
            walk.data[length + 1] = 0;
            return status;
        }
        if (status != ERROR_MORE_DATA) return status;
        // The system tells how much data there is; one byte more, zero-filled.
        const DWORD current = static_cast<DWORD>(walk.data.size() - 2);
        if (length > kMaxTreeValueData) {
            // Its name and size alone, for the line that says it is not listed.
            nameLength = static_cast<DWORD>(walk.valueName.size());
            if (RegEnumValueA(key, index, walk.valueName.data(), &nameLength, nullptr, &type, nullptr, &length) !=
                ERROR_SUCCESS) {
                length = 0;
            }
            return ERROR_MORE_DATA;
        }
        if (length <= current) return ERROR_MORE_DATA;
        walk.data.assign(static_cast<size_t>(length) + 1 + 2, 0);
    }
}

// The default value's data as text (up to its first zero byte), cut to the
// buffer. False when the key has no default value.
bool ReadDefaultText(HKEY key, char (&out)[kPathSize])
{
    out[0] = '\0';
    DWORD size = 0;
    if (RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    if (size > kMaxTreeValueData) size = kMaxTreeValueData;
    std::vector<BYTE> data(static_cast<size_t>(size) + 2, 0);
    DWORD length = size;
    LONG status = RegQueryValueExA(key, "", nullptr, nullptr, data.data(), &length);
    // Grown since the size was asked: its first bytes are still the value.
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return false;
    CopyText(out, reinterpret_cast<const char*>(data.data()));
    return true;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

void WriteTreeValues(HKEY key, TreeWalk& walk)
{
    for (DWORD index = 0; index < kMaxTreeEntries && !IsCancelRequested(); ++index) {
        DWORD type = REG_NONE;
        DWORD length = 0;
        LONG status = ReadTreeValue(key, index, walk, type, length);
        if (status == ERROR_MORE_DATA) {
            // Too big to list: it keeps its place with its size (a dropped line
            // would read as a value that is not there); the next may be listed.
            if (length > kMaxTreeValueData) {
                AppendLiteral(walk.page, "&nbsp;");
                WriteHtmlText(walk.page, walk.valueName.data());
                AppendToPage(walk.page, " = [value of %lu bytes not listed]<br>", static_cast<unsigned long>(length));
            }
            continue;
        }
        if (status != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS is the normal end

        char* name = walk.valueName.data();
        const size_t lineSize = 5 * static_cast<size_t>(length) + 260;
        if (walk.line.size() < lineSize) walk.line.resize(lineSize);
        FormatRegistryValue(type, name, walk.data.data(), length, walk.line.data(), walk.line.size(), nullptr);

        const char* stored = reinterpret_cast<const char*>(walk.data.data());
        if (IsStringType(type) && stored[0] != '\0') {
            // The string as stored: "%SystemRoot%" shows once, and names the
            // same file to the details below.
            AppendLiteral(walk.page, "\n&nbsp;");
            WriteHtmlText(walk.page, name);
            AppendLiteral(walk.page, ":&nbsp;");
            WriteHtmlText(walk.page, stored);
            AppendLiteral(walk.page, "<br>");
            char fileText[kPathSize];
            CopyText(fileText, stored);
            WriteFileDetailsForText(fileText, walk.page);
        } else {
            AppendLiteral(walk.page, "&nbsp;");
            WriteHtmlText(walk.page, walk.line.data());
            AppendLiteral(walk.page, "<br>");
        }
    }
}

// Texts are streamed out as HTML text rather than held in buffers: every
// level of a deep tree keeps its stack frame small.
void WriteKeyHeader(const TreeWalk& walk, const char* path)
{
    AppendToPage(walk.page, "\n<BR><strong>%s\\", walk.hiveName);
    WriteHtmlText(walk.page, path);
    AppendLiteral(walk.page, "</strong><BR>\n");
}

// A subkey that is not walked: its name and why.
void WriteSkippedKey(const TreeWalk& walk, const char* path, const char* reason)
{
    WriteKeyHeader(walk, path);
    AppendToPage(walk.page, "&nbsp;[%s]<br>", reason);
}

// A registry link (opened as the link itself) points elsewhere, maybe back
// up the tree.
bool IsRegistryLink(HKEY key)
{
    DWORD type = REG_NONE;
    return RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

void WriteTreeKey(HKEY key, const char* path, int depth, TreeWalk& walk);

void WriteSubkeys(HKEY key, const char* path, int depth, TreeWalk& walk)
{
    char name[kSubkeyNameSize];
    for (DWORD index = 0; index < kMaxTreeEntries && !IsCancelRequested(); ++index) {
        DWORD nameLength = sizeof name;
        LONG status = RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // a cut name would open another key
        if (status != ERROR_SUCCESS) break;

        char child[kKeyPathSize];
        if (!JoinPath(child, path, name) || !AppendText(child, "\\")) {
            WriteSkippedKey(walk, child, "key path too long");
            continue;
        }
        // Opened as a link where it is one, so a link is never followed.
        ScopedRegKey childKey;
        LONG opened = RegOpenKeyExA(key, name, REG_OPTION_OPEN_LINK, ReadAccess(walk.view), childKey.Receive());
        if (opened == ERROR_INVALID_PARAMETER) {
            // A system that does not know the option: the depth bound still holds.
            opened = RegOpenKeyExA(key, name, 0, ReadAccess(walk.view), childKey.Receive());
        }
        if (opened != ERROR_SUCCESS) continue;  // unreadable keys are simply absent
        if (IsRegistryLink(childKey.Get())) {
            WriteSkippedKey(walk, child, "registry link: not followed");
        } else if (depth + 1 > kMaxTreeDepth) {
            WriteSkippedKey(walk, child, "nested too deeply: not listed");
        } else {
            WriteTreeKey(childKey.Get(), child, depth + 1, walk);
        }
    }
}

void WriteTreeKey(HKEY key, const char* path, int depth, TreeWalk& walk)
{
    if (walk.viewBlock) BeginViewBlock(walk.page);
    char defaultText[kPathSize];
    WriteKeyHeader(walk, path);
    if (ReadDefaultText(key, defaultText)) {
        AppendLiteral(walk.page, "\n&nbsp;&lt;default&gt;: &nbsp;&nbsp;&nbsp;    ");
        WriteHtmlText(walk.page, defaultText);
        AppendLiteral(walk.page, "<br>");
    } else {
        AppendLiteral(walk.page, "\n&nbsp;&lt;default&gt;: &nbsp;&nbsp;&nbsp;     Value is not set!<br>");
    }
    WriteTreeValues(key, walk);
    if (walk.viewBlock) EndViewBlock(walk.page);
    WriteSubkeys(key, path, depth, walk);
}

// ---- folder tree --------------------------------------------------------------------

// Folders deeper than this are not entered.
constexpr int kMaxFolderDepth = 32;

bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

bool IsFolder(const char* path)
{
    if (path[0] == '\0') return false;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A file of a Startup folder for the summary: a shortcut by its target.
void NoteStartupFile(const char* folder, const char* name)
{
    char path[kPathSize];
    if (!JoinPath(path, folder, name)) return;
    const size_t length = strlen(name);
    char target[kPathSize] = "";
    char description[kPathSize];
    if (length > 4 && _stricmp(name + length - 4, ".lnk") == 0 &&
        FAILED(ResolveShortcut(nullptr, path, target, description))) {
        target[0] = '\0';
    }
    char file[kPathSize];
    ResolveCommandFile(target[0] != '\0' ? target : path, file, sizeof file);
    NoteAutostart("startup-folder", folder, name, target[0] != '\0' ? target : path, file);
}

// `noteFiles`: the files are entries of a Startup folder, for the summary.
void ListFolderLevel(const char* folder, Page page, int depth, bool noteFiles)
{
    char pattern[kPathSize];
    if (!JoinPath(pattern, folder, "*.*")) return;  // a cut pattern would list another folder
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(pattern, &found));
    if (!search) return;

    AppendLiteral(page, "<div style=\"margin-left: 40px;\">\n");
    int listed = 0;
    do {
        if (IsDotEntry(found.cFileName)) continue;
        ++listed;
        char child[kPathSize];
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!isFolder || !JoinPath(child, folder, found.cFileName)) {
            WriteHtmlText(page, found.cFileName);
            AppendLiteral(page, "<BR>\n");
            if (noteFiles && !isFolder) NoteStartupFile(folder, found.cFileName);
            continue;
        }
        WriteHtmlText(page, child);
        AppendLiteral(page, "<BR>\n");
        // A junction or link may lead out of the folder, or back into it.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (depth + 1 > kMaxFolderDepth || IsCancelRequested()) continue;
        ListFolderLevel(child, page, depth + 1, noteFiles);
    } while (!IsCancelRequested() && FindNextFileA(search.Get(), &found));
    if (listed == 0) AppendLiteral(page, "[empty]<BR>\n");
    AppendLiteral(page, "</div>\n");
}

}  // namespace

void CWindowsStuff::CollectStartupRegistry(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_STARTUP_REGISTRY, "Startup Registry Entries",
                                 "Startup Registry Entries", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;

    const StartupGroup groups[] = {
        Group("Registry (HKEY_LOCAL_MACHINE)", HKEY_LOCAL_MACHINE, kMachineKeys),
        Group("Registry (HKEY_CURRENT_USER)", HKEY_CURRENT_USER, kUserKeys),
        Group("Registry (HKEY_USERS)", HKEY_USERS, kUsersKeys),
        Group("Registry (HKEY_CLASSES_ROOT)", HKEY_CLASSES_ROOT, kClassesKeys),
    };
    const bool system64 = IsWindows64Bit();
    std::set<std::string> noted;  // keys listed twice on the page give their entries once
    for (const StartupGroup& group : groups) {
        if (IsCancelRequested()) break;
        WriteHeading(page, group.heading);
        for (size_t i = 0; i < group.count && !IsCancelRequested(); ++i) {
            const StartupKey& key = group.keys[i];
            if (key.twin && !system64) continue;
            WriteKeyValues(group.hive, key.path, page, true, RegistryViewBoth);
            if (key.kind != nullptr && noted.insert(RegistryLocation(group.hive, key.path, RegistryView64)).second) {
                NoteKeyValues(key.kind, group.hive, key.path, key.kind == kWindowsKeyKind ? kWindowsKeyValues : nullptr);
            }
        }
    }
    AppendLiteral(page, "<BR>\n");
    FinalizePage(page);
}

void CWindowsStuff::CollectStartupFolders(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    char userFolder[kPathSize];
    char commonFolder[kPathSize];
    ReadStartupFolderPath(HKEY_CURRENT_USER, "Startup", userFolder);
    ReadStartupFolderPath(HKEY_LOCAL_MACHINE, "Common Startup", commonFolder);
    // Either folder starts programs: the page is there when one of them is.
    const bool userExists = IsFolder(userFolder);
    const bool commonExists = IsFolder(commonFolder);
    if (!userExists && !commonExists) return;

    Page page = CreateReportPage(folder, fileName, IDS_STATUS_STARTUP_FOLDERS, "Start Menu/Startup",
                                 "Entries in the startup directory", 1);
    if (page == nullptr) return;
    if (userExists) {
        AppendToPage(page, "%s<BR>\n", HtmlText<kPathSize>(userFolder).c_str());
        ListFolderLevel(userFolder, page, 0, true);
    }
    if (commonExists && !IsCancelRequested()) {
        AppendToPage(page, "<BR><BR>\n%s<BR>\n", HtmlText<kPathSize>(commonFolder).c_str());
        ListFolderLevel(commonFolder, page, 0, true);
    }
    FinalizePage(page);
}

bool CWindowsStuff::ReadStartupFolderPath(HKEY hive, const char* valueName, char (&folder)[kPathSize])
{
    folder[0] = '\0';
    char text[2 * kPathSize];  // room to tell a path too long for any folder call
    ReadStringValue(hive, kShellFoldersKey, valueName, text, sizeof text, "", RegistryView32);
    if (text[0] != '\0') {
        if (!CopyText(folder, text)) folder[0] = '\0';  // a cut path would name another folder
        return folder[0] != '\0';
    }
    // Windows keeps these values only as a copy for old programs; the shell
    // knows the folder itself.
    for (const StartupFolderId& id : kStartupFolderIds) {
        if (_stricmp(id.valueName, valueName) != 0) continue;
        if (FAILED(SHGetFolderPathA(nullptr, id.csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) folder[0] = '\0';
        return folder[0] != '\0';
    }
    return false;
}

void CWindowsStuff::ListFolderTree(const char* folder, Page page)
{
    if (folder == nullptr || folder[0] == '\0') return;
    ListFolderLevel(folder, page, 0, false);
}

void CWindowsStuff::CollectNetworkRegistry(const char* folder, const char* fileName)
{
    if (Registry == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_NETWORK_REGISTRY, "Network Registry Entries",
                                 "Network Registry Entries", 1);
    if (page == nullptr) return;

    char path[kKeyPathSize];
    for (const ServiceKeys& service : kNetworkServices) {
        if (IsCancelRequested()) break;
        if (!CopyText(path, kServicesKey) || !AppendText(path, service.service)) continue;
        WriteKeyValues(HKEY_LOCAL_MACHINE, path, page, true, RegistryView64);
        const size_t serviceLength = strlen(path);
        for (const char* subkey : service.subkeys) {
            if (subkey == nullptr || IsCancelRequested()) break;
            path[serviceLength] = '\0';
            if (!AppendText(path, "\\") || !AppendText(path, subkey)) continue;
            WriteKeyValues(HKEY_LOCAL_MACHINE, path, page, true, RegistryView64);
        }
    }
    for (const char* key : kUserInternetKeys) {
        if (IsCancelRequested()) break;
        WriteKeyValues(HKEY_CURRENT_USER, key, page, true, RegistryViewBoth);
    }
    if (!IsCancelRequested()) WriteKeyValues(HKEY_LOCAL_MACHINE, kInternetSettingsKey, page, true, RegistryViewBoth);
    FinalizePage(page);
}

void CWindowsStuff::CollectServicesRegistry(const char* folder, const char* fileName)
{
    if (Registry == 0) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_SERVICES_REGISTRY, "Services Registry Entries",
                                 "Services Registry Entries", 1);
    if (page == nullptr) return;
    // The services' programs and libraries are named here, with their entries.
    SignatureLinesScope signatures;
    WriteRegistryTree(page, HKEY_LOCAL_MACHINE, kServicesKey, RegistryView64);
    FinalizePage(page);
}

void CWindowsStuff::CollectDiverseRegistry(const char* folder, const char* fileName)
{
    if (Registry == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_DIVERSE_REGISTRY, "Diverse Registry Entries",
                                 "Diverse Registry Entries", 1);
    if (page == nullptr) return;
    const char kExecutionOptionsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";
    WriteRegistryTree(page, HKEY_LOCAL_MACHINE, kExecutionOptionsKey, RegistryView64);
    if (IsWindows64Bit()) WriteRegistryTree(page, HKEY_LOCAL_MACHINE, kExecutionOptionsKey, RegistryView32);
    FinalizePage(page);
}

void CWindowsStuff::WriteRegistryTree(Page page, HKEY hive, const char* path, DWORD view)
{
    if (path == nullptr) return;
    // Read access is all a listing needs, and all a user without
    // administrator rights gets to many keys.
    ScopedRegKey key;
    if (RegOpenKeyExA(hive, path, 0, ReadAccess(view), key.Receive()) != ERROR_SUCCESS) return;

    TreeWalk walk;
    walk.page = page;
    walk.view = view;
    walk.viewBlock = IsWindows64Bit() && view == RegistryView32;
    HiveName(hive, walk.hiveName, sizeof walk.hiveName);
    walk.valueName.assign(kValueNameSize, '\0');
    walk.data.assign(kFirstDataSize + 2, 0);
    WriteTreeKey(key.Get(), path, 0, walk);
}
