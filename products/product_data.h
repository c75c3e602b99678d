// The maker's product lines as data: the catalog entries that detect them,
// and for each line the step data of its collection procedure. The rows
// themselves are in catalog_tables.cpp; the steps that read them in
// collection_procedure.cpp.
#pragma once
#include "info/registry.h"
#include "platform/win.h"

#include <cstddef>

// A list inside a table row: a constant array and its length.
template <typename T>
struct TableList {
    const T* items = nullptr;
    size_t count = 0;
    const T* begin() const { return items; }
    const T* end() const { return items + count; }
};

template <typename T, size_t N>
constexpr TableList<T> ListOf(const T (&items)[N])
{
    return {items, N};
}

// ---- procedures ---------------------------------------------------------------

// The common skeleton comes in these variants; what sets them apart is in
// ProcedureTraits (kProcedures), what sets lines apart is in LineProcedure.
enum class Procedure : unsigned char {
    Desktop,
    FileServer,
    MailServer,
    Scanner,
    UpdateManager,
    Portal,
    ManagementAgent,
    ManagementServer,
    ManagementFrontEnd,
    RescueSystem,
    RemovalTool,
    RepairTool,
    CleanupTool,
    DiagnosticTool,
};

// What comes before the registry page's link in the navigation.
enum class RegistryLabel : unsigned char { None, Registry, Empty };
// How a group of copies is introduced in the navigation: a label, or a
// level-3 line with the label and one with the folder it copies from.
enum class GroupLabels : unsigned char { Label, FolderLines };

struct ProcedureTraits {
    Procedure procedure;
    const char* name;
    bool startPageRows;          // the product and install folder rows of START.html
    GroupLabels groupLabels;
    bool setupLogs;              // the "WXSETUP_*" folders of TEMP and WINDIR\temp
    bool titleFromProductName;   // registry page titled "Wardex <name> Registry"
    RegistryLabel registryLabel;
};

// ---- step data ------------------------------------------------------------------

// Folders a step starts from. Install, Data and Extra come from the registry;
// the others from the system. Each is held with a trailing backslash, and is
// empty when it cannot be had (a step on an empty folder is skipped).
enum class FolderBase : unsigned char { Install, Data, Extra, System, Drivers, AppData, CommonAppData, Windows, Temp };

enum class InstallRule : unsigned char {
    NamedValue,        // the string value `value`
    DefaultValue,      // the key's default value
    NamedOrSecond,     // `value`, or `second` when that is empty
    UninstallCommand,  // the folder of the program that the command `value` starts
    CutAfterWord,      // the path in `value` cut after the word `second` and one more character
};

struct InstallSource {
    InstallRule rule = InstallRule::NamedValue;
    const char* value = nullptr;
    const char* second = nullptr;
};

// A folder named by a value of another key (HKEY_LOCAL_MACHINE, 32-bit view).
struct ExtraFolder {
    const char* key = nullptr;
    const char* value = nullptr;
};

enum class Listing : unsigned char {
    ByExtension,   // standard entries (version, MD5) of the files with extension `what` ("*": all)
    VersionsOnly,  // every file with its version lines only
    FileEntry,     // the standard entry of the single file `what`
};

struct VersionListing {
    Listing kind;
    FolderBase base;
    const char* subfolder;
    const char* what;
};

// Names of copies: as the source, or one of the three ".TXT" forms.
enum class TargetName : unsigned char {
    Same,        // ordo.ini
    Joined,      // ORDO.INI -> ORDOini.TXT
    Underscore,  // ordo.conf -> ordo_conf.TXT
    TxtAdded,    // ordo.bat -> ordo.bat.TXT
};

struct NamedCopy {
    FolderBase base;
    const char* subfolder;
    const char* name;
    TargetName target;
};

// Files copied from one folder: those with `extension`, or those matching
// `pattern`. A group without label is a plain pattern copy.
struct CopyGroup {
    const char* label;
    FolderBase base;
    const char* subfolder;
    const char* extension = nullptr;
    const char* pattern = nullptr;
    bool capped = false;              // database files: up to 10 MiB each unless extended
    bool onlyIfFolderExists = false;  // nothing at all, label included, without the folder
};

// A further log file named in the line's settings file.
struct SettingsLookup {
    FolderBase base = FolderBase::Install;
    const char* iniName = nullptr;
    const char* section = nullptr;
    const char* key = nullptr;
};

enum class Hive : unsigned char { Machine, User };
enum class RegistryStep : unsigned char { Tree, Values, Value, Heading, FamilyDump };

// One listing of the registry page. A null path stands for the line's
// detection key.
struct RegistryListing {
    RegistryStep step;
    Hive hive = Hive::Machine;
    const char* path = nullptr;
    DWORD view = RegistryView32;
    const char* name = nullptr;  // value name (Value), heading text (Heading)
    DWORD type = REG_SZ;
    bool fileDetails = false;
};

constexpr RegistryListing DetectionKeyTree(Hive hive = Hive::Machine)
{
    return {RegistryStep::Tree, hive, nullptr, RegistryView32};
}
constexpr RegistryListing KeyTree(const char* path, DWORD view = RegistryView32, Hive hive = Hive::Machine)
{
    return {RegistryStep::Tree, hive, path, view};
}
constexpr RegistryListing KeyValues(const char* path, bool fileDetails = false)
{
    return {RegistryStep::Values, Hive::Machine, path, RegistryView64, nullptr, REG_SZ, fileDetails};
}
constexpr RegistryListing SingleValue(Hive hive, const char* path, const char* name, DWORD type)
{
    return {RegistryStep::Value, hive, path, RegistryView32, name, type};
}
constexpr RegistryListing PageHeading(const char* text)
{
    return {RegistryStep::Heading, Hive::Machine, nullptr, RegistryView32, text};
}
constexpr RegistryListing FamilyRegistryDump() { return {RegistryStep::FamilyDump}; }

// Everything one product line's procedure collects, in the order of its steps.
struct LineProcedure {
    Procedure procedure = Procedure::Desktop;
    InstallSource install{};
    const char* dataValue = nullptr;  // string value of the detection key naming the data folder
    ExtraFolder extra{};
    TableList<VersionListing> versions{};
    TableList<NamedCopy> copies{};
    TableList<CopyGroup> groups{};
    const char* markerFile = nullptr;   // in the data folder
    const char* markerLabel = nullptr;  // navigation label when it is there
    const char* pluginLibrary = nullptr;  // in the install folder: exports the event database
    SettingsLookup settings{};
    const char* registryTitle = nullptr;  // unless titled from the product name
    TableList<RegistryListing> registry{};
};

// The registry of the desktop family, listed by FamilyRegistryDump.
struct FamilyRegistry {
    const char* formerVendorKey;
    const char* currentVendorKey;
    const char* currentVendorKeyWow64;
    const char* partnerVendorKey;
    const char* autostartHeading;
    const char* autostartValues[2];
    const char* servicesHeading;
    TableList<const char*> serviceKeys;
    const char* driversHeading;
    TableList<const char*> driverKeys;
    const char* eventLogHeading;
    const char* eventSourceKey;
    const char* driverEventLogKey;
    const char* updateHeading;
    const char* updateAutostartValue;
    const char* updateServiceKey;
    const char* updateEventSourceKey;
};

// ---- catalog entries -----------------------------------------------------------------

enum class Detection : unsigned char { KeyPresent, ValueSet };

enum class EntryRule : unsigned char {
    Always,
    Fallback,                    // only when the entry before it found nothing
    WhenInstallDiffersFromNext,  // only when its install folder differs from the next entry's
};

// Key, folder and registry page on a 64-bit Windows (null: as on 32-bit).
struct Wow64Choice {
    const char* key = nullptr;
    const char* folder = nullptr;
    const char* registryPage = nullptr;
};

struct ProductLine {
    const char* key;             // below HKEY_LOCAL_MACHINE, 32-bit view
    Detection detection;
    const char* detectionValue;  // ValueSet: the string value that must be set
    const char* folder;          // below the product base folder
    const char* versionsPage;    // null: the line has none
    const char* registryPage;
    const char* displayName;
    UINT statusTextId;
    const LineProcedure* procedure;
    EntryRule rule = EntryRule::Always;
    bool namedByVendorKey = false;  // the product's name (and folder) from kProductNameSource
    Wow64Choice on64{};
};

// Where the main desktop line's product name is read.
struct ProductNameSource {
    const char* key;
    const char* value;
};

extern const ProcedureTraits kProcedures[14];
extern const TableList<ProductLine> kProductCatalog;
extern const TableList<ProductLine> kRecoveryCatalog;
extern const FamilyRegistry kFamilyRegistry;
extern const ProductNameSource kProductNameSource;

const ProcedureTraits& TraitsOf(Procedure procedure);
