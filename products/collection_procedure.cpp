// The common skeleton of every product line's collection and the steps it
// is made of. The lines differ only in the data they feed in.
#include "products/collection_procedure.h"

#include "app/app_state.h"
#include "app/output_tree.h"
#include "app/run_journal.h"
#include "info/file_collection.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "info/signature_lines.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/system_helpers.h"
#include "platform/windows_version.h"
#include "products/product_facts.h"
#include "products/product_paths.h"
#include "report/report_frame.h"
#include "system/windows_stuff.h"

#include <shlobj.h>

#include <cstring>

namespace {

// Database files are copied up to this size each, unless the collection is extended.
constexpr DWORD kDatabaseCap = 0xA00000;  // 10 MiB

// The folders that come from the line's registry values; each empty or
// ending in a backslash.
struct LineFolders {
    char install[kPathSize] = "";
    char data[kPathSize] = "";
    char extra[kPathSize] = "";
};

bool ReadValue(const char* key, const char* name, char (&out)[kPathSize])
{
    return ReadStringValue(HKEY_LOCAL_MACHINE, key, name, out, sizeof out, "", RegistryView32);
}

void ReadInstallFolder(const char* key, const InstallSource& source, char (&out)[kPathSize])
{
    char text[kPathSize] = "";
    char raw[kPathSize] = "";
    switch (source.rule) {
    case InstallRule::NamedValue:
        ReadValue(key, source.value, text);
        break;
    case InstallRule::DefaultValue:
        ReadValue(key, "", text);
        break;
    case InstallRule::NamedOrSecond:
        if (!ReadValue(key, source.value, text)) ReadValue(key, source.second, text);
        break;
    case InstallRule::UninstallCommand:
        ReadValue(key, source.value, raw);
        CommandFolder(raw, text, sizeof text);
        break;
    case InstallRule::CutAfterWord:
        ReadValue(key, source.value, raw);
        CutAfterWord(raw, source.second, text, sizeof text);
        break;
    }
    MakeFolderPath(text, out);
}

void ReadValueFolder(const char* key, const char* name, char (&out)[kPathSize])
{
    char text[kPathSize] = "";
    if (key != nullptr && name != nullptr) ReadValue(key, name, text);
    MakeFolderPath(text, out);
}

// The system folder of the products, which are 32-bit programs: on 64-bit
// Windows their installers wrote to SysWOW64.
DWORD ProductSystemFolder(char (&text)[kPathSize])
{
    if (IsWindows64Bit() && GetWow64SystemFolder(text, sizeof text)) return static_cast<DWORD>(strlen(text));
    return GetSystemDirectoryA(text, sizeof text);
}

bool SystemFolder(FolderBase base, char (&out)[kPathSize])
{
    char text[kPathSize] = "";
    char system[kPathSize];
    DWORD length = 0;
    switch (base) {
    case FolderBase::System:
        length = ProductSystemFolder(text);
        break;
    case FolderBase::Drivers: {
        // Drivers are native: on 64-bit Windows 64-bit ones, in System32\drivers.
        const UINT systemLength = GetSystemDirectoryA(system, sizeof system);
        const bool known = systemLength > 0 && systemLength < sizeof system;
        if (!known || !FormatText(text, "%s\\drivers\\", system)) text[0] = '\0';  // never another folder
        length = static_cast<DWORD>(strlen(text));
        break;
    }
    case FolderBase::AppData:
    case FolderBase::CommonAppData:
        if (SUCCEEDED(SHGetFolderPathA(nullptr, base == FolderBase::AppData ? CSIDL_APPDATA : CSIDL_COMMON_APPDATA,
                                       nullptr, 0, text))) {
            length = static_cast<DWORD>(strlen(text));
        }
        break;
    case FolderBase::Windows:
        length = GetEnvironmentVariableA("WINDIR", text, sizeof text);
        break;
    case FolderBase::Temp:
        length = GetEnvironmentVariableA("TEMP", text, sizeof text);
        break;
    case FolderBase::Install:
    case FolderBase::Data:
    case FolderBase::Extra:
        break;
    }
    if (length == 0 || length >= sizeof text) text[0] = '\0';  // a cut folder would be another one
    return MakeFolderPath(text, out);
}

bool BaseFolder(const LineFolders& folders, FolderBase base, char (&out)[kPathSize])
{
    switch (base) {
    case FolderBase::Install:
        return CopyText(out, folders.install) && out[0] != '\0';
    case FolderBase::Data:
        return CopyText(out, folders.data) && out[0] != '\0';
    case FolderBase::Extra:
        return CopyText(out, folders.extra) && out[0] != '\0';
    default:
        return SystemFolder(base, out);
    }
}

// base + subfolder, ending in a backslash.
bool SubfolderOf(const char* base, const char* subfolder, char (&out)[kPathSize])
{
    if (!CopyText(out, base)) return false;
    if (subfolder == nullptr) return true;
    return AppendText(out, subfolder) && EnsureTrailingBackslash(out);
}

bool StepFolder(const LineFolders& folders, FolderBase base, const char* subfolder, char (&out)[kPathSize])
{
    char baseFolder[kPathSize];
    return BaseFolder(folders, base, baseFolder) && SubfolderOf(baseFolder, subfolder, out);
}

// ---- versions page -------------------------------------------------------------------

void WriteListing(const LineFolders& folders, const VersionListing& listing, Page page)
{
    char base[kPathSize];
    char folder[kPathSize];
    if (!BaseFolder(folders, listing.base, base) || !SubfolderOf(base, listing.subfolder, folder)) return;
    switch (listing.kind) {
    case Listing::ByExtension:
        CollectFilesByExtension(base, listing.subfolder, listing.what, 0, nullptr, page);
        break;
    case Listing::VersionsOnly: {
        FileCollectionOptions options;
        options.page = page;
        options.listing = true;
        options.withVersion = true;
        CollectFolderFiles(folder, "*.*", options);
        break;
    }
    case Listing::FileEntry:
        if (listing.base == FolderBase::Drivers) {
            // A 32-bit process on 64-bit Windows would otherwise be shown
            // SysWOW64\drivers behind System32\drivers.
            FsRedirectionOff nativeView;
            WriteStandardFileEntry(folder, listing.what, page);
        } else {
            WriteStandardFileEntry(folder, listing.what, page);
        }
        break;
    }
}

void WriteVersionsPage(const LineRun& run, const LineFolders& folders)
{
    if (run.versionsPage == nullptr || run.steps.versions.count == 0) return;
    Page page = CreateReportPage(run.lineFolder, run.versionsPage, 0, "File Versions", "File Versions", 0);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    for (const VersionListing& listing : run.steps.versions) WriteListing(folders, listing, page);
    FinalizePage(page);
}

// ---- copies ----------------------------------------------------------------------------

bool FolderExists(const char* folder)
{
    const DWORD attributes = GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void CopyNamedFiles(const LineRun& run, const LineFolders& folders)
{
    for (const NamedCopy& copy : run.steps.copies) {
        char folder[kPathSize];
        char target[kPathSize];
        if (!StepFolder(folders, copy.base, copy.subfolder, folder)) continue;
        if (!CopyTargetName(copy.name, copy.target, target)) continue;
        CopyNamedFile(folder, run.lineFolder, copy.name, copy.target == TargetName::Same ? nullptr : target);
    }
}

void IntroduceGroup(GroupLabels style, const char* label, const char* folder)
{
    if (style == GroupLabels::Label) {
        if (label != nullptr) AddNaviLabel(label);
        return;
    }
    if (label != nullptr) AddNaviLine(label, NaviBreakBefore, 3);
    AddNaviLine(NaviText(folder).c_str(), NaviBreakBefore, 3);
}

void CopyGroups(const LineRun& run, const LineFolders& folders, GroupLabels style)
{
    for (const CopyGroup& group : run.steps.groups) {
        char base[kPathSize];
        char folder[kPathSize];
        // A group of a folder the line does not have is left out, label and all.
        if (!BaseFolder(folders, group.base, base) || !SubfolderOf(base, group.subfolder, folder)) continue;
        if (group.onlyIfFolderExists && !FolderExists(folder)) continue;
        IntroduceGroup(style, group.label, folder);
        if (group.extension != nullptr) {
            CollectFilesByExtension(base, group.subfolder, group.extension, 1, run.lineFolder, nullptr);
            continue;
        }
        FileCollectionOptions options;
        options.copy = true;
        options.targetBase = run.lineFolder;
        options.maxSize = group.capped && ExtendedCollection == 0 ? kDatabaseCap : 0;
        CollectFolderFiles(folder, group.pattern, options);
    }
}

// ---- setup logs, marker, plug-in export, settings lookup --------------------------------

// Each "WXSETUP_*" folder of `folder`: its name, then its logs.
void CopySetupFolders(const char* folder, const char* lineFolder)
{
    char pattern[kPathSize];
    if (!JoinPath(pattern, folder, "WXSETUP_*")) return;
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(pattern, &found));
    if (!search) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        AddNaviLine(NaviText(found.cFileName).c_str(), NaviNoBreakAfter, 2);
        CollectFilesByExtension(folder, found.cFileName, "log", 1, lineFolder, nullptr);
    } while (FindNextFileA(search.Get(), &found));
}

void CopySetupLogs(const char* lineFolder)
{
    AddNaviLabel("Temp setup.log(s):");
    AddNaviLine("", NaviBreakBefore, 2);
    char temp[kPathSize];
    if (SystemFolder(FolderBase::Temp, temp)) CopySetupFolders(temp, lineFolder);
    char windows[kPathSize];
    char windowsTemp[kPathSize];
    if (SystemFolder(FolderBase::Windows, windows) && SubfolderOf(windows, "temp", windowsTemp)) {
        CopySetupFolders(windowsTemp, lineFolder);
    }
}

bool FileExists(const char* folder, const char* name)
{
    char path[kPathSize];
    return JoinPath(path, folder, name) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void CheckMarker(const LineRun& run, const LineFolders& folders)
{
    if (run.steps.markerFile == nullptr || folders.data[0] == '\0') return;
    if (FileExists(folders.data, run.steps.markerFile)) AddNaviLabel(run.steps.markerLabel);
}

void ExportWithProductPlugin(const LineRun& run, const LineFolders& folders)
{
    if (run.steps.pluginLibrary == nullptr) return;
    char pluginPath[kPathSize];
    char outputPath[kPathSize];
    if (!JoinPath(pluginPath, folders.install, run.steps.pluginLibrary) ||
        !JoinPath(outputPath, run.lineFolder, "eventdb.txt")) {
        return;
    }
    wchar_t widePlugin[kPathSize];
    wchar_t wideOutput[kPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, pluginPath, -1, widePlugin, kPathSize) == 0 ||
        MultiByteToWideChar(CP_ACP, 0, outputPath, -1, wideOutput, kPathSize) == 0) {
        return;
    }
    // A plug-in that says it succeeded but wrote nothing gets no link either.
    if (!RunPluginCommand(widePlugin, wideOutput) || GetFileAttributesA(outputPath) == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    char linkPath[2 * kPathSize];
    EscapePercent(outputPath, linkPath, sizeof linkPath);
    AddNaviLink("Event DB", linkPath, nullptr);
}

// The log file that the line's settings file names, copied under a name
// that stays inside the line's folder.
void CopySettingsLog(const LineRun& run, const LineFolders& folders)
{
    const SettingsLookup& settings = run.steps.settings;
    char iniFolder[kPathSize];
    char iniPath[kPathSize];
    if (settings.iniName == nullptr || !BaseFolder(folders, settings.base, iniFolder) ||
        !JoinPath(iniPath, iniFolder, settings.iniName)) {
        return;
    }
    char value[kPathSize] = "";
    GetPrivateProfileStringA(settings.section, settings.key, "", value, sizeof value, iniPath);
    char named[kPathSize];
    CopyPathFolder(named, value);
    const char* name = value + strlen(named);
    if (name[0] == '\0') return;

    // A folder given relative to nothing is taken as relative to the settings file.
    char combined[kPathSize];
    char folder[kPathSize];
    const bool fit = IsAbsolutePath(named) ? CopyText(combined, named) : JoinPath(combined, iniFolder, named);
    if (!fit || !MakeFolderPath(combined, folder)) return;
    char target[kPathSize];
    MakeSafeName(name, target);
    CopyNamedFile(folder, run.lineFolder, name, strcmp(target, name) != 0 ? target : nullptr);
}

// The line for the run's summary and findings: its main file is the first
// single file its versions page lists from the install folder; its registry
// page is written only when the install folder is known.
void NoteProductInJournal(const LineRun& run, const LineFolders& folders)
{
    JournalProduct product;
    product.displayName = run.displayName;
    product.catalogEntry = run.key;
    product.installFolder = folders.install;
    product.olderGeneration = IsOlderGenerationKey(run.key);
    if (run.productLine) product.services = LineServices(run.steps);
    char registryPage[kPathSize];
    if (folders.install[0] != '\0' && JoinPath(registryPage, run.lineFolder, run.registryPage)) {
        product.registryPage = TreeRelativePath(registryPage);
    }
    for (const VersionListing& listing : run.steps.versions) {
        if (listing.kind != Listing::FileEntry || listing.base != FolderBase::Install) continue;
        char folder[kPathSize];
        char path[kPathSize];
        char version[kPathSize] = "";
        if (SubfolderOf(folders.install, listing.subfolder, folder) && JoinPath(path, folder, listing.what) &&
            ReadFileVersionStrings(path, version, nullptr, nullptr, nullptr)) {
            product.mainFileVersion = version;
        }
        break;
    }
    JournalNoteProduct(product);
}

}  // namespace

void RunCollectionProcedure(const LineRun& run)
{
    const ProcedureTraits& traits = TraitsOf(run.steps.procedure);
    LineFolders folders;
    ReadInstallFolder(run.key, run.steps.install, folders.install);
    NoteProductInJournal(run, folders);
    if (folders.install[0] == '\0') return;
    if (traits.startPageRows) AddStartPageProductRows(run.displayName, folders.install);
    ReadValueFolder(run.key, run.steps.dataValue, folders.data);
    ReadValueFolder(run.steps.extra.key, run.steps.extra.value, folders.extra);

    WriteVersionsPage(run, folders);
    CopyNamedFiles(run, folders);
    CopyGroups(run, folders, traits.groupLabels);
    if (traits.setupLogs) CopySetupLogs(run.lineFolder);
    CheckMarker(run, folders);
    ExportWithProductPlugin(run, folders);
    CopySettingsLog(run, folders);
    WriteRegistryPage(run, traits);
}
