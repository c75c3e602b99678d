// The execution hooks page: the places that make Windows start a program
// or load a library when something else starts: Image File Execution
// Options, AppCertDlls, Active Setup, BootExecute, the LSA packages and the
// print monitors, each program or library with its file entry.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/registry.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"
#include "system/autostart_entries.h"

#include <string>
#include <vector>

namespace {

const char kExecutionOptionsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
const char kSilentExitKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit";
const char kActiveSetupKey[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";
const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kAppCertDllsKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\AppCertDlls";
const char kLsaKey[] = "SYSTEM\\CurrentControlSet\\Control\\Lsa";
const char kPrintMonitorsKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
const char* const kLsaPackageValues[] = {"Authentication Packages", "Notification Packages", "Security Packages"};

const char kEntryStart[] = "</strong><br>\n<div style=\"margin-left: 40px;\">\n";
const char kEntryEnd[] = "</div><br>\n";

void WriteText(Page page, const std::string& text) { WriteHtmlText(page, text.c_str()); }

// "<strong>name</strong>" and the indented block of its lines.
void OpenEntry(Page page, const std::string& name)
{
    AppendLiteral(page, "<strong>");
    WriteText(page, name);
    AppendLiteral(page, kEntryStart);
}

// "label: text", the file the text names and its record for the summary.
void WriteCommandLine(Page page, const char* label, const std::string& text, const char* kind,
                      const std::string& location)
{
    AppendToPage(page, "%s: ", label);
    WriteText(page, text);
    AppendLiteral(page, "<br>\n");
    char file[kPathSize];
    ResolveCommandFile(text.c_str(), file, sizeof file);
    WriteAutostartFile(file, page);
    NoteAutostart(kind, location, label, text, file);
}

// Opens a key of a section: "[none]" for a key that is not there (most of
// these are there only where something uses them), "[not available]" for one
// that cannot be read.
bool OpenSectionKey(Page page, const char* path, DWORD view, ScopedRegKey& key)
{
    const LONG status = OpenKeyForReading(HKEY_LOCAL_MACHINE, path, view, key.Receive());
    if (status == ERROR_SUCCESS) return true;
    AppendLiteral(page, status == ERROR_FILE_NOT_FOUND ? "[none]<br>\n" : "[not available]<br>\n");
    return false;
}

// The views a machine-wide SOFTWARE key is listed in: the 64-bit view, then
// on 64-bit Windows the 32-bit one in its blue block.
template <typename WriteView>
void WriteBothViews(Page page, WriteView write)
{
    write(RegistryView64);
    if (!IsWindows64Bit() || IsCancelRequested()) return;
    AppendLiteral(page, kTwinViewBlock);
    AppendLiteral(page, "<br>\n");
    write(RegistryView32);
    AppendLiteral(page, "</div>");
}

// ---- Image File Execution Options ---------------------------------------------------

// The debugger, global flag and exit monitor of one image; false when it
// has none of them.
bool WriteImageHooks(Page page, HKEY options, const std::string& image, DWORD view)
{
    ScopedRegKey imageKey;
    ScopedRegKey exitKey;
    std::string debugger, monitor;
    DWORD globalFlag = 0;
    if (OpenKeyForReading(options, image.c_str(), view, imageKey.Receive()) == ERROR_SUCCESS) {
        ReadKeyText(imageKey.Get(), "Debugger", debugger);
        ReadKeyNumber(imageKey.Get(), "GlobalFlag", globalFlag);
    }
    const std::string exitPath = std::string(kSilentExitKey) + "\\" + image;
    if (OpenKeyForReading(HKEY_LOCAL_MACHINE, exitPath.c_str(), view, exitKey.Receive()) == ERROR_SUCCESS) {
        ReadKeyText(exitKey.Get(), "MonitorProcess", monitor);
    }
    if (debugger.empty() && globalFlag == 0 && monitor.empty()) return false;

    OpenEntry(page, image);
    const std::string imagePath = std::string(kExecutionOptionsKey) + "\\" + image;
    const std::string location = RegistryLocation(HKEY_LOCAL_MACHINE, imagePath.c_str(), view);
    if (!debugger.empty()) WriteCommandLine(page, "Debugger", debugger, "ifeo-debugger", location);
    if (globalFlag != 0) {
        char flag[16];
        FormatText(flag, "0x%08lX", static_cast<unsigned long>(globalFlag));
        AppendToPage(page, "GlobalFlag: %s<br>\n", flag);
        NoteAutostart("ifeo-global-flag", location, "GlobalFlag", flag, "");
    }
    if (!monitor.empty()) {
        WriteCommandLine(page, "MonitorProcess", monitor, "silent-process-exit",
                         RegistryLocation(HKEY_LOCAL_MACHINE, exitPath.c_str(), view));
    }
    AppendLiteral(page, kEntryEnd);
    return true;
}

void WriteExecutionOptions(Page page, DWORD view)
{
    ScopedRegKey options;
    if (!OpenSectionKey(page, kExecutionOptionsKey, view, options)) return;
    std::vector<std::string> images;
    ListSubkeyNames(options.Get(), images);
    int listed = 0;
    for (const std::string& image : images) {
        if (IsCancelRequested()) return;
        if (WriteImageHooks(page, options.Get(), image, view)) ++listed;
    }
    if (listed == 0) AppendLiteral(page, "[none]<br>\n");
}

// ---- Active Setup ------------------------------------------------------------------

void WriteActiveSetup(Page page, DWORD view)
{
    ScopedRegKey components;
    if (!OpenSectionKey(page, kActiveSetupKey, view, components)) return;
    std::vector<std::string> ids;
    ListSubkeyNames(components.Get(), ids);
    int listed = 0;
    for (const std::string& id : ids) {
        if (IsCancelRequested()) return;
        ScopedRegKey component;
        std::string stubPath, name;
        if (OpenKeyForReading(components.Get(), id.c_str(), view, component.Receive()) != ERROR_SUCCESS ||
            !ReadKeyText(component.Get(), "StubPath", stubPath)) {
            continue;
        }
        OpenEntry(page, id);
        if (ReadKeyText(component.Get(), "", name)) {
            AppendLiteral(page, "Name: ");
            WriteText(page, name);
            AppendLiteral(page, "<br>\n");
        }
        const std::string path = std::string(kActiveSetupKey) + "\\" + id;
        WriteCommandLine(page, "StubPath", stubPath, "active-setup",
                         RegistryLocation(HKEY_LOCAL_MACHINE, path.c_str(), view));
        AppendLiteral(page, kEntryEnd);
        ++listed;
    }
    if (listed == 0) AppendLiteral(page, "[none]<br>\n");
}

// ---- the system's own lists -------------------------------------------------------

void WriteAppCertDlls(Page page)
{
    ScopedRegKey key;
    if (!OpenSectionKey(page, kAppCertDllsKey, RegistryView64, key)) return;
    const std::string location = RegistryLocation(HKEY_LOCAL_MACHINE, kAppCertDllsKey, RegistryView64);
    int listed = 0;
    char name[256];
    for (DWORD index = 0; index < 1000 && !IsCancelRequested(); ++index) {
        DWORD length = sizeof name;
        const LONG status = RegEnumValueA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        std::string library;
        if (!ReadKeyText(key.Get(), name, library)) continue;
        AppendLiteral(page, "<strong>");
        WriteHtmlText(page, name);
        AppendLiteral(page, "</strong>: ");
        WriteText(page, library);
        AppendLiteral(page, "<br>\n");
        char file[kPathSize];
        ResolveCommandFile(library.c_str(), file, sizeof file);
        WriteAutostartFile(file, page);
        NoteAutostart("appcert-dll", location, name, library, file);
        ++listed;
    }
    if (listed == 0) AppendLiteral(page, "[none]<br>\n");
}

// Each string of a list value with the system folder's file it names.
// `skipWord` is a leading word that is no program ("autocheck").
void WriteSystemFileList(Page page, HKEY key, const char* value, const char* extension, const char* skipWord,
                         const char* kind, const std::string& location)
{
    std::vector<std::string> items;
    if (!ReadKeyTexts(key, value, items)) {
        AppendLiteral(page, "[none]<br>\n");
        return;
    }
    for (const std::string& item : items) {
        WriteText(page, item);
        AppendLiteral(page, "<br>\n");
        std::string word = item.substr(0, item.find(' '));
        if (_stricmp(word.c_str(), skipWord) == 0) {
            const size_t start = item.find_first_not_of(' ', word.size());
            word = start == std::string::npos ? std::string() : item.substr(start, item.find(' ', start) - start);
        }
        char file[kPathSize];
        ResolveSystemFile(word.c_str(), extension, file, sizeof file);
        WriteAutostartFile(file, page);
        NoteAutostart(kind, location, value, item, file);
    }
}

void WriteBootExecute(Page page)
{
    ScopedRegKey key;
    if (!OpenSectionKey(page, kSessionManagerKey, RegistryView64, key)) return;
    WriteSystemFileList(page, key.Get(), "BootExecute", ".exe", "autocheck", "boot-execute",
                        RegistryLocation(HKEY_LOCAL_MACHINE, kSessionManagerKey, RegistryView64));
}

void WriteLsaPackages(Page page)
{
    ScopedRegKey key;
    if (!OpenSectionKey(page, kLsaKey, RegistryView64, key)) return;
    const std::string location = RegistryLocation(HKEY_LOCAL_MACHINE, kLsaKey, RegistryView64);
    for (const char* value : kLsaPackageValues) {
        if (IsCancelRequested()) return;
        AppendToPage(page, "<strong>%s</strong><br>\n", value);
        WriteSystemFileList(page, key.Get(), value, ".dll", "", "lsa-package", location);
    }
}

void WritePrintMonitors(Page page)
{
    ScopedRegKey monitors;
    if (!OpenSectionKey(page, kPrintMonitorsKey, RegistryView64, monitors)) return;
    std::vector<std::string> names;
    ListSubkeyNames(monitors.Get(), names);
    for (const std::string& name : names) {
        if (IsCancelRequested()) return;
        ScopedRegKey monitor;
        std::string driver;
        if (OpenKeyForReading(monitors.Get(), name.c_str(), RegistryView64, monitor.Receive()) != ERROR_SUCCESS ||
            !ReadKeyText(monitor.Get(), "Driver", driver)) {
            continue;
        }
        AppendLiteral(page, "<strong>");
        WriteText(page, name);
        AppendLiteral(page, "</strong>: ");
        WriteText(page, driver);
        AppendLiteral(page, "<br>\n");
        char file[kPathSize];
        ResolveSystemFile(driver.c_str(), ".dll", file, sizeof file);
        WriteAutostartFile(file, page);
        const std::string path = std::string(kPrintMonitorsKey) + "\\" + name;
        NoteAutostart("print-monitor", RegistryLocation(HKEY_LOCAL_MACHINE, path.c_str(), RegistryView64), "Driver",
                      driver, file);
    }
    if (names.empty()) AppendLiteral(page, "[none]<br>\n");
}

struct HookSection {
    const char* anchor;
    const char* heading;
    void (*write)(Page page);
};

const HookSection kSections[] = {
    {"ifeo", "Image File Execution Options",
     [](Page page) { WriteBothViews(page, [page](DWORD view) { WriteExecutionOptions(page, view); }); }},
    {"appCertDlls", "AppCertDlls", WriteAppCertDlls},
    {"activeSetup", "Active Setup",
     [](Page page) { WriteBothViews(page, [page](DWORD view) { WriteActiveSetup(page, view); }); }},
    {"bootExecute", "BootExecute", WriteBootExecute},
    {"lsaPackages", "LSA Packages", WriteLsaPackages},
    {"printMonitors", "Print Monitors", WritePrintMonitors},
};

}  // namespace

void CWindowsStuff::CollectExecutionHooks(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_EXECUTION_HOOKS, "Execution Hooks", "Execution Hooks", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    for (const HookSection& section : kSections) {
        AppendToPage(page, "<a href=\"#%s\">[%s]</a> ", section.anchor, section.heading);
    }
    for (const HookSection& section : kSections) {
        if (IsCancelRequested()) break;
        AppendToPage(page, "<a name=\"%s\"></a><h2>\n%s\n</h2>\n", section.anchor, section.heading);
        section.write(page);
    }
    FinalizePage(page);
}
