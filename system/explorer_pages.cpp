// The Explorer, browser and logon pages: the components that hook into
// Explorer, Internet Explorer and the logon, each with the version data of
// the module behind it, and the known DLLs.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <cstring>
#include <vector>

namespace {

using Mode = CWindowsStuff::ComponentMode;

constexpr size_t kEntrySize = 256;
constexpr size_t kHiveNameSize = 50;
constexpr size_t kValueTextSize = 520;
constexpr DWORD kMaxComponentEntries = 100000;

const char kNotAvailable[] = "[not available]";

void WriteNotAvailable(Page page, const char* lineEnd = "<br>")
{
    AppendFailureText(page, kNotAvailable);
    AppendLiteral(page, lineEnd);
}

const char kWinlogonKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kScriptsKey[] = "SOFTWARE\\Policies\\Microsoft\\Windows\\System\\Scripts";
const char kPolicySystemKey[] = "SOFTWARE\\Policies\\Microsoft\\Windows\\System";

using EntryText = HtmlText<kEntrySize>;
using PathText = HtmlText<kPathSize>;

REGSAM ReadAccess(DWORD view) { return IsWindows64Bit() ? (KEY_READ | view) : KEY_READ; }

// The text data of a string value of the open key, cut to the buffer;
// empty for other types and for values that cannot be read.
void ReadEntryText(HKEY key, const char* name, char (&out)[kEntrySize])
{
    out[0] = '\0';
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return;
    std::vector<BYTE> data(static_cast<size_t>(size) + 2, 0);
    DWORD length = size;
    // Grown since the size was asked: its first bytes still tell what it is.
    LONG status = RegQueryValueExA(key, name, nullptr, &type, data.data(), &length);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return;
    CopyText(out, reinterpret_cast<const char*>(data.data()));
}

// "{8-4-4-4-12 hex digits}", the form in which the registry names a class.
bool IsClassIdText(const char* text)
{
    static const char kForm[] = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (strlen(text) != sizeof kForm - 1) return false;
    for (size_t i = 0; kForm[i] != '\0'; ++i) {
        const bool fits = kForm[i] == 'x' ? strchr("0123456789abcdefABCDEF", text[i]) != nullptr : text[i] == kForm[i];
        if (!fits) return false;
    }
    return true;
}

// Module of class id `clsid`; writes "[Can't find ...]" when it is named
// but not registered.
bool ResolveNamedClassId(const char* clsid, char (&module)[kPathSize], DWORD view, Page page)
{
    if (ResolveClsidServer(clsid, module, sizeof module, view)) return true;
    if (clsid[0] == '\0') return false;
    std::string text = std::string("[Can't find ") + EntryText(clsid).c_str() + " in HKCR\\CLSID]";
    AppendFailureText(page, text.c_str());
    AppendLiteral(page, "<br>");
    return false;
}

// The module of a subkey that names its class id by "CLSID", or else by
// "ClsidExtension".
bool ResolveSubkeyClassId(HKEY hive, const char* subkeyPath, DWORD view, char (&module)[kPathSize], Page page)
{
    char clsid[kEntrySize];
    ReadStringValue(hive, subkeyPath, "CLSID", clsid, sizeof clsid, "", view);
    if (clsid[0] != '\0' && ResolveNamedClassId(clsid, module, view, page)) return true;

    char extension[kEntrySize];
    ReadStringValue(hive, subkeyPath, "ClsidExtension", extension, sizeof extension, "", view);
    if (extension[0] == '\0') return false;
    if (ResolveClsidServer(extension, module, sizeof module, view)) {
        AppendToPage(page, "Found ClsidExtension=%s in HKCR\\CLSID instead:<br>", EntryText(extension).c_str());
        return true;
    }
    std::string text = std::string("[Can't find ") + EntryText(extension).c_str() + "]";
    AppendFailureText(page, text.c_str());
    AppendLiteral(page, "<br>");
    return false;
}

// A module text made a full path; false when nothing names a file.
bool ResolveModuleText(const char* text, char (&module)[kPathSize])
{
    // A cut path would name another file.
    if (!CopyText(module, text)) module[0] = '\0';
    ResolveModulePath(module, sizeof module);
    return module[0] != '\0';
}

void WriteModuleVersion(const char* module, Page page)
{
    FileEntryRequest request;
    request.path = module;
    request.page = page;
    request.withVersion = true;
    WriteFileEntry(request);
}

bool IsDllDirectoryValue(const char* name)
{
    return _stricmp(name, "DllDirectory") == 0 || _stricmp(name, "DllDirectory32") == 0;
}

// The line of one entry and the module behind it, or "[not available]".
void WriteComponentEntry(Page page, HKEY hive, const char* path, HKEY key, const char* name, bool isValue, Mode mode,
                         DWORD view)
{
    char module[kPathSize] = "";
    bool found = false;
    char subkeyPath[kPathSize] = "";
    if (!isValue && !JoinPath(subkeyPath, path, name)) subkeyPath[0] = '\0';  // its values cannot be read then

    switch (mode) {
    case Mode::ClassIdSubkeys:
        AppendToPage(page, "<strong>%s</strong>:<BR>\n", EntryText(name).c_str());
        found = subkeyPath[0] != '\0' && ResolveSubkeyClassId(hive, subkeyPath, view, module, page);
        break;
    case Mode::NamedEntries: {
        char caption[kEntrySize] = "";
        if (isValue) ReadEntryText(key, name, caption);
        AppendToPage(page, "<strong>%s</strong>:<br>\n", EntryText(caption[0] != '\0' ? caption : name).c_str());
        // Some keys name the class in the data ("WebCheck" = "{...}"), most
        // in the name. Which class id is missing tells the engineer what to
        // look for.
        const char* clsid = !IsClassIdText(name) && IsClassIdText(caption) ? caption : name;
        found = ResolveNamedClassId(clsid, module, view, page);
        break;
    }
    case Mode::DllNameSubkeys: {
        AppendToPage(page, "<strong>%s</strong>:<br>\n", EntryText(name).c_str());
        char dllName[kPathSize] = "";
        if (subkeyPath[0] != '\0') ReadStringValue(hive, subkeyPath, "DllName", dllName, sizeof dllName, "", view);
        found = ResolveModuleText(dllName, module);
        break;
    }
    case Mode::DllValues: {
        AppendToPage(page, "<strong>%s</strong>\n", EntryText(name).c_str());
        char data[kEntrySize];
        ReadEntryText(key, name, data);
        found = ResolveModuleText(data, module);
        break;
    }
    }
    if (found) {
        WriteModuleVersion(module, page);
    } else {
        WriteNotAvailable(page, "<br><br>");
    }
}

// One section of the Explorer and browser pages: its text, then the entries.
struct ComponentSection {
    const char* heading;  // written as a heading; may be null
    const char* text;     // written as it is; may be null
    HKEY hive;
    const char* path;
    bool values;  // the entries are values (else subkeys)
    Mode mode;
};

void WriteSectionEntries(Page page, const ComponentSection& section, DWORD view)
{
    if (!CWindowsStuff::WriteComponentKey(page, section.hive, section.path, section.values, section.mode, view)) {
        WriteNotAvailable(page);
    }
}

// Explorer and the browser of a 64-bit Windows are 64-bit programs that load
// only what the 64-bit view names; 32-bit programs that host them load what
// the 32-bit view names. Each entry's class and module file are looked up as
// a program of the entry's view would look them up.
void WriteSectionViews(Page page, const ComponentSection& section)
{
    if (!IsWindows64Bit()) {
        WriteSectionEntries(page, section, RegistryView32);
        return;
    }
    {
        FsRedirectionOff nativeFiles;
        WriteSectionEntries(page, section, RegistryView64);
    }
    BeginViewBlock(page);
    WriteSectionEntries(page, section, RegistryView32);
    EndViewBlock(page);
}

void WriteComponentSections(Page page, const ComponentSection* sections, size_t count)
{
    for (size_t i = 0; i < count && !IsCancelRequested(); ++i) {
        const ComponentSection& section = sections[i];
        if (section.heading != nullptr) WriteHeading(page, section.heading);
        if (section.text != nullptr) AppendLiteral(page, section.text);
        WriteSectionViews(page, section);
    }
}

const char kApprovedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kDelayLoadKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad";
const char kMachineCaption[] = "<strong>HKEY_LOCAL_MACHINE</strong><br>\n";
const char kUserCaption[] = "<strong>HKEY_CURRENT_USER</strong><br>\n";

const ComponentSection kExplorerSections[] = {
    {nullptr, "<a name=\"shellExtensions\"></a><h2>\nShell Extensions\n</h2>\n<strong>HKEY_LOCAL_MACHINE</strong><br>\n",
     HKEY_LOCAL_MACHINE, kApprovedKey, true, Mode::NamedEntries},
    {nullptr, kUserCaption, HKEY_CURRENT_USER, kApprovedKey, true, Mode::NamedEntries},
    {nullptr, "<a name=\"columnHandlers\"></a><h2>\nColumn Handlers\n</h2>\n", HKEY_LOCAL_MACHINE,
     "Software\\Classes\\Folder\\Shellex\\ColumnHandlers\\", false, Mode::NamedEntries},
    {nullptr, "<a name=\"protocolFilters\"></a><h2>\nProtocol Filters\n</h2>\n", HKEY_LOCAL_MACHINE,
     "Software\\Classes\\Protocols\\Filter\\", false, Mode::ClassIdSubkeys},
    {nullptr, "<a name=\"protocolHandlers\"></a><h2>\nProtocol Handlers\n</h2>\n", HKEY_LOCAL_MACHINE,
     "Software\\Classes\\Protocols\\Handler\\", false, Mode::ClassIdSubkeys},
    {nullptr, "<a name=\"shTasksSched\"></a><h2>\nShared Tasks Scheduler\n</h2>\n", HKEY_LOCAL_MACHINE,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler", true, Mode::NamedEntries},
    {nullptr,
     "<a name=\"ssoDelayLoad\"></a><h2>\nShell Service Object Delay Load\n</h2>\n"
     "<strong>HKEY_LOCAL_MACHINE</strong><br>\n",
     HKEY_LOCAL_MACHINE, kDelayLoadKey, true, Mode::NamedEntries},
    {nullptr, kUserCaption, HKEY_CURRENT_USER, kDelayLoadKey, true, Mode::NamedEntries},
    {nullptr, "<a name=\"shExecHooks\"></a><h2>\nShell Execute Hooks\n</h2>\n", HKEY_LOCAL_MACHINE,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks", true, Mode::NamedEntries},
};

const char kExtensionsKey[] = "Software\\Microsoft\\Internet Explorer\\Extensions\\";

const ComponentSection kBrowserSections[] = {
    {"Browser Helper Objects", nullptr, HKEY_LOCAL_MACHINE,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\", false, Mode::NamedEntries},
    {"Url Search Hooks", nullptr, HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\UrlSearchHooks", true,
     Mode::NamedEntries},
    {"IE Toolbar", nullptr, HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Toolbar", true,
     Mode::NamedEntries},
    {"IE Extensions", kMachineCaption, HKEY_LOCAL_MACHINE, kExtensionsKey, false, Mode::ClassIdSubkeys},
    {nullptr, kUserCaption, HKEY_CURRENT_USER, kExtensionsKey, false, Mode::ClassIdSubkeys},
};

struct ModuleValue {
    HKEY hive;
    const char* path;
    const char* name;
};

const ModuleValue kWinlogonValues[] = {
    {HKEY_CURRENT_USER, "Control Panel\\Desktop", "Scrnsave.exe"},
    {HKEY_LOCAL_MACHINE, kWinlogonKey, "UIHost"},
    {HKEY_CURRENT_USER, kWinlogonKey, "Shell"},
    {HKEY_LOCAL_MACHINE, kWinlogonKey, "Shell"},
    {HKEY_LOCAL_MACHINE, kWinlogonKey, "Taskman"},
    {HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL"},
    {HKEY_LOCAL_MACHINE, kWinlogonKey, "System"},
};

const ModuleValue kMiscellaneousValues[] = {
    {HKEY_LOCAL_MACHINE, kScriptsKey, "Startup"},
    {HKEY_CURRENT_USER, kScriptsKey, "Logon"},
    {HKEY_LOCAL_MACHINE, kScriptsKey, "Logon"},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd", "StartupPrograms"},
    {HKEY_CURRENT_USER, kPolicySystemKey, "Shell"},
    {HKEY_LOCAL_MACHINE, kPolicySystemKey, "Shell"},
};

template <size_t N>
void WriteModuleValues(const ModuleValue (&values)[N], Page page)
{
    for (const ModuleValue& value : values) {
        if (IsCancelRequested()) return;
        CWindowsStuff::WriteValueModules(value.hive, value.path, value.name, page);
    }
}

}  // namespace

bool CWindowsStuff::WriteComponentKey(Page page, HKEY hive, const char* path, bool enumerateValues,
                                      ComponentMode mode, DWORD view)
{
    ScopedRegKey key;
    if (RegOpenKeyExA(hive, path, 0, ReadAccess(view), key.Receive()) != ERROR_SUCCESS) return false;
    for (DWORD index = 0; index < kMaxComponentEntries && !IsCancelRequested(); ++index) {
        char name[kEntrySize];
        DWORD nameLength = sizeof name;
        LONG status = enumerateValues
                          ? RegEnumValueA(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr)
                          : RegEnumKeyExA(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // a name longer than any class id or file name: not ours to cut
        if (status != ERROR_SUCCESS) break;       // ERROR_NO_MORE_ITEMS is the normal end
        if (mode == ComponentMode::DllValues && IsDllDirectoryValue(name)) continue;
        WriteComponentEntry(page, hive, path, key.Get(), name, enumerateValues, mode, view);
    }
    return true;
}

void CWindowsStuff::WriteValueModules(HKEY hive, const char* path, const char* valueName, Page page)
{
    char hiveName[kHiveNameSize];
    HiveName(hive, hiveName, sizeof hiveName);
    char heading[2 * kPathSize];
    FormatText(heading, "%s\\%s\\%s", hiveName, path, valueName);
    AppendToPage(page, "<h2>%s</h2>\n", HtmlText<sizeof heading>(heading).c_str());

    char value[kValueTextSize];
    ReadStringValue(hive, path, valueName, value, sizeof value, "", RegistryView32);
    if (value[0] == '\0') {
        WriteNotAvailable(page);
        return;
    }
    // Each comma-separated part names one program.
    const char* part = value;
    for (;;) {
        const char* comma = strchr(part, ',');
        const size_t length = comma != nullptr ? static_cast<size_t>(comma - part) : strlen(part);
        char program[kPathSize] = "";
        if (length < sizeof program) {
            memcpy(program, part, length);
            program[length] = '\0';
            TrimLeadingBlanks(program);
            TrimTrailingBlanks(program);
            // A bare program name ("explorer") is started as an .exe; a
            // name that no longer fits names another file.
            if (program[0] != '\0' && strchr(program, '.') == nullptr && !AppendText(program, ".exe")) {
                program[0] = '\0';
            }
            ResolveModulePath(program, sizeof program);
        }
        if (program[0] != '\0') {
            WriteModuleVersion(program, page);
        } else {
            WriteNotAvailable(page);
        }
        if (comma == nullptr) break;
        part = comma + 1;
    }
}

void CWindowsStuff::CollectExplorer(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_EXPLORER, "Explorer", "Explorer", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    StepCounter = 0;
    AppendLiteral(page,
                  "<a href=\"#shellExtensions\">[Shell_Extensions]</a> <a href=\"#columnHandlers\">[Column_Handlers]</a> "
                  "<a href=\"#protocolFilters\">[Protocol_Filters]</a> <a href=\"#protocolHandlers\">[Protocol_Handlers]</a> "
                  "<a href=\"#shTasksSched\">[Shared_Tasks_Scheduler]</a> "
                  "<a href=\"#ssoDelayLoad\">[Shell_Service_Object_Delay_Load]</a> "
                  "<a href=\"#shExecHooks\">[Shell_Execute_Hooks]</a> ");
    WriteComponentSections(page, kExplorerSections, sizeof kExplorerSections / sizeof kExplorerSections[0]);
    FinalizePage(page);
}

void CWindowsStuff::CollectInternetExplorer(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_INTERNET_EXPLORER, "Internet Explorer",
                                 "Internet Explorer", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    StepCounter = 0;
    WriteComponentSections(page, kBrowserSections, sizeof kBrowserSections / sizeof kBrowserSections[0]);
    FinalizePage(page);
}

void CWindowsStuff::CollectWinlogon(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_WINLOGON, "Winlogon", "Winlogon", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    WriteHeading(page, "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\\n");
    WriteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", true, page,
                 RegistryView64);
    WriteModuleValues(kWinlogonValues, page);
    if (!IsCancelRequested()) {
        WriteHeading(page, "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\n");
        if (!WriteComponentKey(page, HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\",
                               false, ComponentMode::DllNameSubkeys, RegistryView32)) {
            WriteNotAvailable(page);
        }
    }
    FinalizePage(page);
}

void CWindowsStuff::CollectMiscellaneous(const char* folder, const char* fileName)
{
    if (Autostart == 0) return;
    StepCounter = 0;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_MISCELLANEOUS, "Miscellaneous", "Miscellaneous", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    {
        FsRedirectionOff redirectionOff;
        WriteModuleValues(kMiscellaneousValues, page);
        if (!IsCancelRequested()) {
            WriteHeading(page, "Known Dlls\n");
            if (!WriteComponentKey(page, HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager\\KnownDlls",
                                   true, ComponentMode::DllValues, RegistryView32)) {
                WriteNotAvailable(page);
            }
        }
    }
    FinalizePage(page);
}
