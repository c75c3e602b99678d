// The product catalog and the recovery catalog, and what each line's
// procedure collects. One block per product line: its steps first, then its
// catalog rows at the end of the file in catalog order.
#include "lang/resource_ids.h"
#include "products/product_data.h"

namespace {

constexpr FolderBase Install = FolderBase::Install;
constexpr FolderBase Data = FolderBase::Data;
constexpr FolderBase Extra = FolderBase::Extra;
constexpr FolderBase System = FolderBase::System;
constexpr FolderBase Drivers = FolderBase::Drivers;
constexpr FolderBase AppData = FolderBase::AppData;
constexpr FolderBase CommonAppData = FolderBase::CommonAppData;

constexpr Listing AllFiles = Listing::ByExtension;
constexpr Listing VersionsOnly = Listing::VersionsOnly;
constexpr Listing FileEntry = Listing::FileEntry;

constexpr TargetName Same = TargetName::Same;
constexpr TargetName Joined = TargetName::Joined;
constexpr TargetName Underscore = TargetName::Underscore;
constexpr TargetName TxtAdded = TargetName::TxtAdded;

constexpr Detection KeyPresent = Detection::KeyPresent;
constexpr Detection ValueSet = Detection::ValueSet;
constexpr EntryRule Fallback = EntryRule::Fallback;

const RegistryListing kFamilyDumpOnly[] = {FamilyRegistryDump()};
const VersionListing kAllInstallFiles[] = {{AllFiles, Install, nullptr, "*"}};

// ---- management agent ------------------------------------------------------------
const NamedCopy kVigilCopies[] = {
    {Install, nullptr, "vigil.ini", Joined},
    {Data, nullptr, "agent.cfg", Underscore},
    {Install, nullptr, "build.txt", Same},
};
const CopyGroup kVigilGroups[] = {
    {"Logfiles:", Data, "Logs", "log"},
    {"Jobs:", Data, "Jobs", "xml"},
};
const RegistryListing kDetectionKeyOnly[] = {DetectionKeyTree()};
const LineProcedure kVigil = {
    .procedure = Procedure::ManagementAgent,
    .install = {InstallRule::NamedValue, "InstallPath"},
    .dataValue = "DataPath",
    .copies = ListOf(kVigilCopies),
    .groups = ListOf(kVigilGroups),
    .registryTitle = "Wardex Management Agent Registry",
    .registry = ListOf(kDetectionKeyOnly),
};

// ---- management server -----------------------------------------------------------
const NamedCopy kConsulCopies[] = {
    {Install, nullptr, "consul.ini", Joined},
    {Data, nullptr, "server.cfg", Underscore},
    {Data, "Database", "dbinfo.txt", Same},
};
const CopyGroup kConsulGroups[] = {
    {nullptr, Data, "Database", nullptr, "*.mdb", true},
    {"Logfiles:", Data, "Logs", "log"},
    {"Reports:", Data, "Reports", nullptr, "*.htm*"},
};
const LineProcedure kConsul = {
    .procedure = Procedure::ManagementServer,
    .install = {InstallRule::NamedValue, "InstallPath"},
    .dataValue = "DataPath",
    .copies = ListOf(kConsulCopies),
    .groups = ListOf(kConsulGroups),
    .registryTitle = "Wardex Management Server Registry",
    .registry = ListOf(kDetectionKeyOnly),
};

// ---- management front end --------------------------------------------------------
const NamedCopy kRostraCopies[] = {{Install, nullptr, "rostra.ini", Joined}};
const CopyGroup kRostraGroups[] = {
    {"Logfiles:", Data, "Logs", "log"},
    {"Profiles:", Data, "Profiles", "xml"},
};
const LineProcedure kRostra = {
    .procedure = Procedure::ManagementFrontEnd,
    .install = {InstallRule::NamedValue, "InstallPath"},
    .dataValue = "DataPath",
    .copies = ListOf(kRostraCopies),
    .groups = ListOf(kRostraGroups),
    .registryTitle = "Wardex Management Console Registry",
    .registry = ListOf(kDetectionKeyOnly),
};

// ---- update manager --------------------------------------------------------------
const VersionListing kNuntiusVersions[] = {
    {AllFiles, Install, nullptr, "*"},
    {FileEntry, System, nullptr, "wxupdsvc.exe"},
};
const NamedCopy kNuntiusCopies[] = {
    {Install, nullptr, "nuntius.ini", Joined},
    {Data, nullptr, "mirror.cfg", Underscore},
};
const CopyGroup kNuntiusGroups[] = {
    {"Logfiles:", Data, "Logs", "log"},
    {"Reports:", Data, "Reports", "xml"},
};
const RegistryListing kNuntiusRegistry[] = {
    DetectionKeyTree(),
    DetectionKeyTree(Hive::User),
    KeyTree("Software\\Norvane\\Shared"),
    KeyTree("Software\\Norvane\\Licenses"),
    KeyTree("Software\\Policies\\Norvane\\Update"),
    KeyTree("Software\\Policies\\Norvane\\Update", RegistryView32, Hive::User),
    KeyTree("Software\\Norvane\\Proxy", RegistryView32, Hive::User),
    KeyTree("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wardex Update Manager"),
    KeyTree("System\\CurrentControlSet\\Services\\WxUpdate", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\WxUpdateMirror", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\WxDistributor", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\EventLog\\Application\\WxUpdate", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\EventLog\\Application\\WxUpdateMirror", RegistryView64),
};
const LineProcedure kNuntius = {
    .procedure = Procedure::UpdateManager,
    .install = {InstallRule::NamedValue, "InstallPath"},
    .dataValue = "DataPath",
    .versions = ListOf(kNuntiusVersions),
    .copies = ListOf(kNuntiusCopies),
    .groups = ListOf(kNuntiusGroups),
    .settings = {Install, "nuntius.ini", "Logging", "LogFile"},
    .registryTitle = "Wardex Update Manager Registry",
    .registry = ListOf(kNuntiusRegistry),
};

// ---- scanner interface -----------------------------------------------------------
const VersionListing kLumenVersions[] = {{VersionsOnly, Install, nullptr, nullptr}};
const NamedCopy kLumenCopies[] = {
    {Install, nullptr, "lumen.cfg", Underscore},
    {Install, nullptr, "engine.ver", Underscore},
};
const CopyGroup kLumenGroups[] = {{"Logfiles:", Install, "Logs", "log"}};
const LineProcedure kLumen = {
    .procedure = Procedure::Scanner,
    .install = {InstallRule::NamedValue, "Path"},
    .versions = ListOf(kLumenVersions),
    .copies = ListOf(kLumenCopies),
    .groups = ListOf(kLumenGroups),
    .registryTitle = "Wardex Scan Interface Registry",
    .registry = ListOf(kFamilyDumpOnly),
};

// ---- portal integration ----------------------------------------------------------
const VersionListing kAtriumVersions[] = {
    {AllFiles, Install, nullptr, "*"},
    {FileEntry, Extra, "bin", "wxportal.dll"},
};
const NamedCopy kAtriumCopies[] = {
    {Install, nullptr, "atrium.config", Underscore},
    {Extra, nullptr, "web.config", TxtAdded},
};
const CopyGroup kAtriumGroups[] = {
    {"Logfiles:", CommonAppData, "Norvane\\Atrium\\Logs", "log"},
    {"Reports:", CommonAppData, "Norvane\\Atrium\\Reports", "xml"},
};
const RegistryListing kAtriumRegistry[] = {
    KeyTree("Software\\Norvane"),
    KeyValues("System\\CurrentControlSet\\Services\\WxPortal"),
    KeyValues("System\\CurrentControlSet\\Services\\EventLog\\Application\\WxPortal"),
    KeyValues("Software\\Norvane\\Atrium\\Site"),
    SingleValue(Hive::Machine, "Software\\Norvane\\Atrium", "ScanUploads", REG_DWORD),
    SingleValue(Hive::Machine, "Software\\Norvane\\Atrium", "MaxUploadSize", REG_DWORD),
};
const LineProcedure kAtrium = {
    .procedure = Procedure::Portal,
    .install = {InstallRule::NamedValue, "InstallDir"},
    .extra = {"Software\\Norvane\\Atrium\\Site", "WebRoot"},
    .versions = ListOf(kAtriumVersions),
    .copies = ListOf(kAtriumCopies),
    .groups = ListOf(kAtriumGroups),
    .registryTitle = "Wardex Portal Integration Registry",
    .registry = ListOf(kAtriumRegistry),
};

// ---- mail server -----------------------------------------------------------------
const VersionListing kCursusVersions[] = {
    {AllFiles, Install, nullptr, "*"},
    {AllFiles, Install, "Filters", "*"},
    {AllFiles, Install, "Engine", "*"},
};
const NamedCopy kCursusCopies[] = {
    {Install, "Config", "cursus.conf", Underscore},
    {Install, "Config", "rules.xml", Same},
};
const CopyGroup kCursusGroups[] = {
    {"Logfiles:", Install, "Logs", "log"},
    {"Reports:", Install, "Reports", "txt"},
    {"Events:", Install, "Events", "evt"},
};
const RegistryListing kCursusRegistry[] = {
    DetectionKeyTree(),
    KeyTree("Software\\Norvane\\Shared"),
    KeyTree("System\\CurrentControlSet\\Services\\WxCursus", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\EventLog\\Application\\WxCursus", RegistryView64),
};
const LineProcedure kCursus = {
    .procedure = Procedure::MailServer,
    .install = {InstallRule::CutAfterWord, "ConfigPath", "Cursus"},
    .versions = ListOf(kCursusVersions),
    .copies = ListOf(kCursusCopies),
    .groups = ListOf(kCursusGroups),
    .registryTitle = "Wardex Mail Server Protection Registry",
    .registry = ListOf(kCursusRegistry),
};

// ---- file server: the current generation lists its keys, the older one the family's --
const VersionListing kHorreumVersions[] = {
    {VersionsOnly, Install, nullptr, nullptr},
    {FileEntry, System, nullptr, "wxfsctl.exe"},
};
const NamedCopy kHorreumCopies[] = {
    {Install, nullptr, "horreum.ini", Joined},
    {Data, nullptr, "horreum.conf", Underscore},
    {Install, nullptr, "start.bat", TxtAdded},
};
const CopyGroup kHorreumGroups[] = {
    {nullptr, Data, "Quarantine", nullptr, "*.qlog"},
    {"Logfiles:", Data, "Logs", "log"},
    {"Jobs:", Data, "Jobs", "job"},
    {"Events:", Data, "Events", "evt"},
    {"Reports:", Data, "Reports", nullptr, "*.htm*"},
};
const RegistryListing kHorreumRegistry[] = {
    DetectionKeyTree(),
    KeyTree("System\\CurrentControlSet\\Services\\WxHorreum", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\wxfsflt", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\EventLog\\Application\\WxHorreum", RegistryView64),
};
const LineProcedure kHorreum = {
    .procedure = Procedure::FileServer,
    .install = {InstallRule::NamedValue, "InstallDir"},
    .dataValue = "DataDir",
    .versions = ListOf(kHorreumVersions),
    .copies = ListOf(kHorreumCopies),
    .groups = ListOf(kHorreumGroups),
    .registryTitle = "Wardex File Server Protection Registry",
    .registry = ListOf(kHorreumRegistry),
};
const LineProcedure kHorreumOlder = {
    .procedure = Procedure::FileServer,
    .install = {InstallRule::NamedValue, "InstallDir"},
    .dataValue = "DataDir",
    .versions = ListOf(kHorreumVersions),
    .copies = ListOf(kHorreumCopies),
    .groups = ListOf(kHorreumGroups),
    .registryTitle = "Wardex File Server Protection Registry",
    .registry = ListOf(kFamilyDumpOnly),
};

// ---- the desktop family --------------------------------------------------------------
// Every desktop line is the desktop product under a name or brand of its own:
// one procedure with the same groups of its data and install folders, the
// filter driver's entry and the debug marker. Lines differ in their own files.
const CopyGroup kDesktopFamilyGroups[] = {
    {"Logfiles:", Data, "Logs", "log"},
    {"Jobs:", Data, "Jobs", "job"},
    {"Events:", Data, "Events", "evt"},
    {"Profiles:", Data, "Profiles", "ini"},
    {"Reports:", Data, "Reports", "txt"},
    {"Firewall:", Data, "Firewall", "log", nullptr, false, true},
    {"Profiles in AppData path:", AppData, "Norvane\\Wardex\\Profiles", "ini"},
    {"Profiles Prog path:", Install, "Profiles", "ini"},
    {"Logfiles(Administrator):", Data, "Logs\\Administrator", "log"},
};
const VersionListing kDesktopFamilyVersions[] = {
    {AllFiles, Install, nullptr, "*"},
    {FileEntry, Drivers, nullptr, "wxflt.sys"},
};

constexpr LineProcedure DesktopProcedure(TableList<NamedCopy> copies,
                                         TableList<VersionListing> versions = ListOf(kDesktopFamilyVersions),
                                         const char* pluginLibrary = nullptr)
{
    return {
        .procedure = Procedure::Desktop,
        .install = {InstallRule::NamedValue, "InstallDir"},
        .dataValue = "DataDir",
        .versions = versions,
        .copies = copies,
        .groups = ListOf(kDesktopFamilyGroups),
        .markerFile = "debug.on",
        .markerLabel = "Debug logging is on (debug.on)",
        .pluginLibrary = pluginLibrary,
        .registry = ListOf(kFamilyDumpOnly),
    };
}

// ---- desktop: Ordo ---------------------------------------------------------------
const NamedCopy kOrdoCopies[] = {{Install, nullptr, "ordo.ini", Joined}};
constexpr LineProcedure kOrdo = DesktopProcedure(ListOf(kOrdoCopies));

// ---- desktop: Custos, with a driver of its own ---------------------------------------
const VersionListing kCustosVersions[] = {
    {AllFiles, Install, nullptr, "*"},
    {FileEntry, Drivers, nullptr, "wxcustos.sys"},
};
const NamedCopy kCustosCopies[] = {
    {Install, nullptr, "custos.ini", Joined},
    {Data, nullptr, "scan.conf", Underscore},
};
constexpr LineProcedure kCustos = DesktopProcedure(ListOf(kCustosCopies), ListOf(kCustosVersions));

// ---- desktop: Vallum (firewall), with a driver of its own -----------------------------
const VersionListing kVallumVersions[] = {
    {AllFiles, Install, nullptr, "*"},
    {FileEntry, Drivers, nullptr, "wxvallum.sys"},
};
const NamedCopy kVallumCopies[] = {
    {Install, nullptr, "vallum.ini", Joined},
    {Data, nullptr, "rules.conf", Underscore},
};
constexpr LineProcedure kVallum = DesktopProcedure(ListOf(kVallumCopies), ListOf(kVallumVersions));

// ---- desktop: the partner editions (the desktop product under partner brands) ------
const NamedCopy kPartnerCopies[] = {
    {Install, nullptr, "partner.ini", Joined},
    {Install, nullptr, "brand.xml", Same},
};
constexpr LineProcedure kPartnerEdition = DesktopProcedure(ListOf(kPartnerCopies));

// ---- desktop: Summa suite --------------------------------------------------------
const NamedCopy kSummaCopies[] = {
    {Install, nullptr, "summa.ini", Joined},
    {Data, nullptr, "modules.conf", Underscore},
    {Install, nullptr, "repair.bat", TxtAdded},
};
constexpr LineProcedure kSumma = DesktopProcedure(ListOf(kSummaCopies));

// ---- desktop: the main line, named by the product itself, with its event export -----
const NamedCopy kDesktopCopies[] = {
    {Install, nullptr, "wardex.ini", Joined},
    {Data, nullptr, "update.conf", Underscore},
    {Install, nullptr, "support.bat", TxtAdded},
    {Install, nullptr, "build.txt", Same},
};
constexpr LineProcedure kDesktop =
    DesktopProcedure(ListOf(kDesktopCopies), ListOf(kDesktopFamilyVersions), "wxevtexp.dll");

// ---- recovery: rescue system (three editions) -------------------------------------
const VersionListing kRescueVersions[] = {
    {AllFiles, Install, nullptr, "exe"},
    {FileEntry, Drivers, nullptr, "wxrescue.sys"},
};
const NamedCopy kRescueCopies[] = {
    {Install, nullptr, "rescue.ini", Joined},
    {Install, nullptr, "version.txt", Same},
};
const CopyGroup kRescueGroups[] = {
    {"Logfiles:", Install, "Logs", "log"},
    {nullptr, Install, "Logs", "txt"},
    {nullptr, Install, "Logs", "err"},
    {"Reports:", Install, "Reports", "txt"},
    {nullptr, Install, "Reports", "html"},
    {"Events:", Install, "Events", "evt"},
    {"Profiles:", Install, "Profiles", "ini"},
    {nullptr, Install, "Profiles", "xml"},
    {"Jobs:", Install, "Jobs", "job"},
};
const RegistryListing kRescueRegistry[] = {
    DetectionKeyTree(),
    KeyTree("System\\CurrentControlSet\\Services\\wxrescue", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\WxRescueSvc", RegistryView64),
    SingleValue(Hive::Machine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "WardexRescue", REG_SZ),
    SingleValue(Hive::Machine, "Software\\Norvane\\Rescue", "Edition", REG_SZ),
    SingleValue(Hive::Machine, "Software\\Norvane\\Rescue", "Build", REG_DWORD),
};
const LineProcedure kRescue = {
    .procedure = Procedure::RescueSystem,
    .install = {InstallRule::NamedValue, "InstallPath"},
    .versions = ListOf(kRescueVersions),
    .copies = ListOf(kRescueCopies),
    .groups = ListOf(kRescueGroups),
    .registryTitle = "Wardex Rescue System Registry",
    .registry = ListOf(kRescueRegistry),
};

// ---- recovery: removal tool ------------------------------------------------------
const VersionListing kPurgoVersions[] = {
    {AllFiles, Install, nullptr, "exe"},
    {AllFiles, Install, nullptr, "dll"},
    {AllFiles, Install, nullptr, "sys"},
    {FileEntry, System, nullptr, "wxpurge.exe"},
};
const NamedCopy kPurgoCopies[] = {
    {Install, nullptr, "purgo.log", Same},
    {Install, nullptr, "purgo.ini", Joined},
};
const RegistryListing kPurgoRegistry[] = {
    DetectionKeyTree(),
    KeyTree("System\\CurrentControlSet\\Services\\wxpurge", RegistryView64),
    KeyTree("Software\\Norvane\\Purgo", RegistryView32, Hive::User),
};
const LineProcedure kPurgo = {
    .procedure = Procedure::RemovalTool,
    .install = {InstallRule::DefaultValue},
    .versions = ListOf(kPurgoVersions),
    .copies = ListOf(kPurgoCopies),
    .registryTitle = "Wardex Removal Tool Registry",
    .registry = ListOf(kPurgoRegistry),
};

// ---- recovery: repair tool -------------------------------------------------------
const VersionListing kSanatorVersions[] = {{AllFiles, Install, nullptr, "exe"}};
const RegistryListing kSanatorRegistry[] = {
    DetectionKeyTree(),
    KeyTree("System\\CurrentControlSet\\Services\\WxSanator", RegistryView64),
};
const LineProcedure kSanator = {
    .procedure = Procedure::RepairTool,
    .install = {InstallRule::NamedOrSecond, "InstallDir", "Path"},
    .versions = ListOf(kSanatorVersions),
    .registryTitle = "Wardex Repair Tool Registry",
    .registry = ListOf(kSanatorRegistry),
};

// ---- recovery: cleanup tool (found by its uninstall entry) -------------------------
const VersionListing kTersusVersions[] = {
    {AllFiles, Install, nullptr, "exe"},
    {AllFiles, Install, nullptr, "dll"},
};
const RegistryListing kTersusRegistry[] = {
    DetectionKeyTree(),
    KeyTree("Software\\Norvane\\Tersus"),
    KeyTree("System\\CurrentControlSet\\Services\\wxtersus", RegistryView64),
};
const LineProcedure kTersus = {
    .procedure = Procedure::CleanupTool,
    .install = {InstallRule::UninstallCommand, "UninstallString"},
    .versions = ListOf(kTersusVersions),
    .registryTitle = "Wardex Cleanup Tool Registry",
    .registry = ListOf(kTersusRegistry),
};

// ---- recovery: diagnostic tool ---------------------------------------------------
const VersionListing kMedicusVersions[] = {
    {FileEntry, Install, nullptr, "medicus.exe"},
    {FileEntry, Install, nullptr, "medcore.dll"},
    {FileEntry, Install, nullptr, "medscan.dll"},
    {FileEntry, Drivers, nullptr, "wxmed.sys"},
};
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const RegistryListing kMedicusRegistry[] = {
    DetectionKeyTree(),
    DetectionKeyTree(Hive::User),
    KeyTree("System\\CurrentControlSet\\Services\\wxmed", RegistryView64),
    KeyTree("System\\CurrentControlSet\\Services\\WxMedicus", RegistryView64),
    SingleValue(Hive::Machine, kRunKey, "WardexMedicus", REG_SZ),
    SingleValue(Hive::User, kRunKey, "WardexMedicus", REG_SZ),
    SingleValue(Hive::Machine, "Software\\Norvane\\Medicus", "Version", REG_SZ),
    SingleValue(Hive::Machine, "Software\\Norvane\\Medicus", "Modules", REG_MULTI_SZ),
    SingleValue(Hive::Machine, "Software\\Norvane\\Medicus", "LastRun", REG_DWORD),
    SingleValue(Hive::User, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyServer",
                REG_SZ),
};
const LineProcedure kMedicus = {
    .procedure = Procedure::DiagnosticTool,
    .install = {InstallRule::DefaultValue},
    .versions = ListOf(kMedicusVersions),
    .registryTitle = "Wardex Diagnostic Tool Registry",
    .registry = ListOf(kMedicusRegistry),
};

// ---- the desktop family's registry ------------------------------------------------
const char* const kFamilyServiceKeys[] = {
    "System\\CurrentControlSet\\Services\\WxGuard",
    "System\\CurrentControlSet\\Services\\WxScan",
};
const char* const kFamilyDriverKeys[] = {
    "System\\CurrentControlSet\\Services\\wxflt",
    "System\\CurrentControlSet\\Services\\wxnet",
};

// ---- the catalogs, in the order they are walked ------------------------------------
// key, detection (value), folder, versions page, registry page, display name,
// status text, procedure, rule, main desktop line, 64-bit key / folder / registry page
const ProductLine kProductRows[] = {
    {"Software\\Kelmor\\Vigil", ValueSet, "InstallPath", "VigilOld", nullptr, "VigilRegistry.html",
     "Wardex Management Agent", IDS_STATUS_MGMT_AGENT, &kVigil, EntryRule::WhenInstallDiffersFromNext},
    {"Software\\Norvane\\Vigil", ValueSet, "InstallPath", "Vigil", nullptr, "VigilRegistry.html",
     "Wardex Management Agent", IDS_STATUS_MGMT_AGENT, &kVigil, EntryRule::Always, false,
     {"Software\\WOW6432Node\\Norvane\\Vigil", "Vigil-64bit", "VigilRegistry64bit.html"}},
    {"Software\\Norvane\\Consul", KeyPresent, nullptr, "Consul", nullptr, "ConsulRegistry.html",
     "Wardex Management Server", IDS_STATUS_MGMT_SERVER, &kConsul, EntryRule::Always, false,
     {"Software\\WOW6432Node\\Norvane\\Consul", "Consul-64bit", "ConsulRegistry64bit.html"}},
    {"Software\\Norvane\\Rostra", KeyPresent, nullptr, "Rostra", nullptr, "RostraRegistry.html",
     "Wardex Management Console", IDS_STATUS_MGMT_FRONTEND, &kRostra, EntryRule::Always, false,
     {"Software\\WOW6432Node\\Norvane\\Rostra", "Rostra-64bit", "RostraRegistry64bit.html"}},
    {"Software\\Norvane\\Nuntius", KeyPresent, nullptr, "Nuntius", "Nuntius.html", "NuntiusRegistry.html",
     "Wardex Update Manager", IDS_STATUS_UPDATE_MANAGER, &kNuntius, EntryRule::Always, false,
     {"Software\\WOW6432Node\\Norvane\\Nuntius", nullptr, nullptr}},
    {"Software\\Norvane\\Lumen", ValueSet, "Path", "Lumen", "Lumen.html", "LumenReg.html",
     "Wardex Scan Interface", IDS_STATUS_SCANNER, &kLumen},
    {"Software\\Norvane\\Atrium", KeyPresent, nullptr, "Atrium", "Atrium.html", "AtriumRegistry.html",
     "Wardex Portal Integration", IDS_STATUS_PORTAL, &kAtrium},
    {"Software\\Kelmor\\Cursus", ValueSet, "ConfigPath", "CursusOld", "Cursus.html", "CursusRegistry.html",
     "Wardex Mail Server Protection", IDS_STATUS_MAIL_SERVER, &kCursus},
    {"Software\\Norvane\\Cursus", ValueSet, "ConfigPath", "Cursus", "Cursus.html", "CursusRegistry.html",
     "Wardex Mail Server Protection", IDS_STATUS_MAIL_SERVER, &kCursus},
    {"Software\\Kelmor\\Horreum", KeyPresent, nullptr, "HorreumOld", "Horreum.html", "HorreumRegistryV8.html",
     "Wardex File Server Protection", IDS_STATUS_FILE_SERVER, &kHorreumOlder},
    {"Software\\Norvane\\Horreum", KeyPresent, nullptr, "Horreum", "Horreum.html", "HorreumRegistryV8.html",
     "Wardex File Server Protection", IDS_STATUS_FILE_SERVER, &kHorreum},
    {"Software\\WOW6432Node\\Norvane\\Horreum", KeyPresent, nullptr, "Horreum", "Horreum.html",
     "HorreumRegistryV8.html", "Wardex File Server Protection", IDS_STATUS_FILE_SERVER, &kHorreum, Fallback},

    {"Software\\Kelmor\\Ordo", KeyPresent, nullptr, "OrdoOld", "Ordo.html", "OrdoRegistry.html", "Ordo",
     IDS_STATUS_DESKTOP_PRODUCT, &kOrdo},
    {"Software\\Norvane\\Ordo", KeyPresent, nullptr, "Ordo", "Ordo.html", "OrdoRegistry.html", "Ordo",
     IDS_STATUS_DESKTOP_PRODUCT, &kOrdo},
    {"Software\\WOW6432Node\\Norvane\\Ordo", KeyPresent, nullptr, "Ordo", "Ordo.html", "OrdoRegistry.html", "Ordo",
     IDS_STATUS_DESKTOP_PRODUCT, &kOrdo, Fallback},
    {"Software\\Kelmor\\Custos", KeyPresent, nullptr, "CustosOld", "Custos.html", "CustosRegistry.html", "Custos",
     IDS_STATUS_DESKTOP_PRODUCT, &kCustos},
    {"Software\\Norvane\\Custos", KeyPresent, nullptr, "Custos", "Custos.html", "CustosRegistry.html", "Custos",
     IDS_STATUS_DESKTOP_PRODUCT, &kCustos},
    {"Software\\WOW6432Node\\Norvane\\Custos", KeyPresent, nullptr, "Custos", "Custos.html", "CustosRegistry.html",
     "Custos", IDS_STATUS_DESKTOP_PRODUCT, &kCustos, Fallback},
    {"Software\\Kelmor\\Vallum", KeyPresent, nullptr, "VallumOld", "Vallum.html", "VallumRegistry.html", "Vallum",
     IDS_STATUS_DESKTOP_PRODUCT, &kVallum},
    {"Software\\Norvane\\Vallum", KeyPresent, nullptr, "Vallum", "Vallum.html", "VallumRegistry.html", "Vallum",
     IDS_STATUS_DESKTOP_PRODUCT, &kVallum},
    {"Software\\WOW6432Node\\Norvane\\Vallum", KeyPresent, nullptr, "Vallum", "Vallum.html", "VallumRegistry.html",
     "Vallum", IDS_STATUS_DESKTOP_PRODUCT, &kVallum, Fallback},
    {"Software\\Kelmor\\OrdoTelvia", KeyPresent, nullptr, "OrdoTelviaOld", "OrdoTelvia.html",
     "OrdoTelviaRegistry.html", "Ordo Telvia Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition},
    {"Software\\Norvane\\OrdoTelvia", KeyPresent, nullptr, "OrdoTelvia", "OrdoTelvia.html",
     "OrdoTelviaRegistry.html", "Ordo Telvia Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition},
    {"Software\\WOW6432Node\\Norvane\\OrdoTelvia", KeyPresent, nullptr, "OrdoTelvia", "OrdoTelvia.html",
     "OrdoTelviaRegistry.html", "Ordo Telvia Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition, Fallback},
    {"Software\\Kelmor\\OrdoBankline", KeyPresent, nullptr, "OrdoBanklineOld", "OrdoBankline.html",
     "OrdoBanklineRegistry.html", "Ordo Bankline Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition},
    {"Software\\Norvane\\OrdoBankline", KeyPresent, nullptr, "OrdoBankline", "OrdoBankline.html",
     "OrdoBanklineRegistry.html", "Ordo Bankline Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition},
    {"Software\\WOW6432Node\\Norvane\\OrdoBankline", KeyPresent, nullptr, "OrdoBankline", "OrdoBankline.html",
     "OrdoBanklineRegistry.html", "Ordo Bankline Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition, Fallback},
    {"Software\\Kelmor\\OrdoCampus", KeyPresent, nullptr, "OrdoCampusOld", "OrdoCampus.html",
     "OrdoCampusRegistry.html", "Ordo Campus Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition},
    {"Software\\Norvane\\OrdoCampus", KeyPresent, nullptr, "OrdoCampus", "OrdoCampus.html",
     "OrdoCampusRegistry.html", "Ordo Campus Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition},
    {"Software\\WOW6432Node\\Norvane\\OrdoCampus", KeyPresent, nullptr, "OrdoCampus", "OrdoCampus.html",
     "OrdoCampusRegistry.html", "Ordo Campus Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition, Fallback},
    {"Software\\Kelmor\\OrdoRetail", KeyPresent, nullptr, "OrdoRetailOld", "OrdoRetail.html",
     "OrdoRetailRegistry.html", "Ordo Retail Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition},
    {"Software\\Norvane\\OrdoRetail", KeyPresent, nullptr, "OrdoRetail", "OrdoRetail.html",
     "OrdoRetailRegistry.html", "Ordo Retail Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition},
    {"Software\\WOW6432Node\\Norvane\\OrdoRetail", KeyPresent, nullptr, "OrdoRetail", "OrdoRetail.html",
     "OrdoRetailRegistry.html", "Ordo Retail Edition", IDS_STATUS_DESKTOP_PRODUCT, &kPartnerEdition, Fallback},
    {"Software\\Norvane\\Summa", KeyPresent, nullptr, "Summa", "Summa.html", "SummaRegistry.html", "Summa Suite",
     IDS_STATUS_DESKTOP_PRODUCT, &kSumma},
    {"Software\\WOW6432Node\\Norvane\\Summa", KeyPresent, nullptr, "Summa", "Summa.html", "SummaRegistry.html",
     "Summa Suite", IDS_STATUS_DESKTOP_PRODUCT, &kSumma, Fallback},
    // Folder and display name come from the product's name (kProductNameSource).
    {"Software\\Norvane\\Desktop", KeyPresent, nullptr, nullptr, "Desktop.html", "DesktopRegistry.html", nullptr,
     IDS_STATUS_DESKTOP_PRODUCT, &kDesktop, EntryRule::Always, true},
    {"Software\\WOW6432Node\\Norvane\\Desktop", KeyPresent, nullptr, nullptr, "Desktop.html",
     "DesktopRegistry.html", nullptr, IDS_STATUS_DESKTOP_PRODUCT, &kDesktop, Fallback, true},
};

const ProductLine kRecoveryRows[] = {
    {"Software\\Norvane\\Rescue\\Home", KeyPresent, nullptr, "RescueHome", "Rescue.html", "RescueRegistry.html",
     "Wardex Rescue System (Home)", IDS_STATUS_RECOVERY_1, &kRescue},
    {"Software\\Norvane\\Rescue\\Professional", KeyPresent, nullptr, "RescueProfessional", "Rescue.html",
     "RescueRegistry.html", "Wardex Rescue System (Professional)", IDS_STATUS_RECOVERY_1, &kRescue},
    {"Software\\Norvane\\Rescue\\Business", KeyPresent, nullptr, "RescueBusiness", "Rescue.html",
     "RescueRegistry.html", "Wardex Rescue System (Business)", IDS_STATUS_RECOVERY_1, &kRescue},
    {"Software\\Norvane\\Purgo", KeyPresent, nullptr, "Purgo", "Purgo.html", "PurgoRegistry.html",
     "Wardex Removal Tool", IDS_STATUS_RECOVERY_2, &kPurgo},
    {"Software\\Norvane\\Sanator", KeyPresent, nullptr, "Sanator", "Sanator.html", "SanatorRegistry.html",
     "Wardex Repair Tool", IDS_STATUS_RECOVERY_3, &kSanator},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wardex Cleanup Tool", KeyPresent, nullptr, "Tersus",
     "Tersus.html", "TersusRegistry.html", "Wardex Cleanup Tool", IDS_STATUS_RECOVERY_4, &kTersus},
    {"Software\\Norvane\\Medicus", KeyPresent, nullptr, "Medicus", "Medicus.html", "MedicusRegistry.html",
     "Wardex Diagnostic Tool", IDS_STATUS_RECOVERY_5, &kMedicus},
};

}  // namespace

// procedure, name, start page rows, group labels, setup logs, titled from the product name, registry label
const ProcedureTraits kProcedures[14] = {
    {Procedure::Desktop, "desktop family", true, GroupLabels::Label, true, true, RegistryLabel::Registry},
    {Procedure::FileServer, "file server", true, GroupLabels::Label, false, false, RegistryLabel::Registry},
    {Procedure::MailServer, "mail server", true, GroupLabels::Label, false, false, RegistryLabel::None},
    {Procedure::Scanner, "scanner interface", true, GroupLabels::Label, false, false, RegistryLabel::None},
    {Procedure::UpdateManager, "update manager", true, GroupLabels::Label, false, false, RegistryLabel::Empty},
    {Procedure::Portal, "portal integration", true, GroupLabels::Label, false, false, RegistryLabel::Empty},
    {Procedure::ManagementAgent, "management agent", true, GroupLabels::Label, false, false, RegistryLabel::Empty},
    {Procedure::ManagementServer, "management server", true, GroupLabels::FolderLines, false, false,
     RegistryLabel::Empty},
    {Procedure::ManagementFrontEnd, "management front end", true, GroupLabels::FolderLines, false, false,
     RegistryLabel::Empty},
    {Procedure::RescueSystem, "rescue system", false, GroupLabels::Label, false, false, RegistryLabel::None},
    {Procedure::RemovalTool, "removal tool", false, GroupLabels::Label, false, false, RegistryLabel::None},
    {Procedure::RepairTool, "repair tool", false, GroupLabels::Label, false, false, RegistryLabel::None},
    {Procedure::CleanupTool, "cleanup tool", false, GroupLabels::Label, false, false, RegistryLabel::None},
    {Procedure::DiagnosticTool, "diagnostic tool", false, GroupLabels::Label, false, false, RegistryLabel::None},
};

const TableList<ProductLine> kProductCatalog = ListOf(kProductRows);
const TableList<ProductLine> kRecoveryCatalog = ListOf(kRecoveryRows);

const ProductNameSource kProductNameSource = {"Software\\Wardex", "ProductName"};

const FamilyRegistry kFamilyRegistry = {
    "Software\\Kelmor",
    "Software\\Norvane",
    "Software\\WOW6432Node\\Norvane",
    "Software\\Astrel",
    "Wardex Autostart",
    {"WardexTray", "WardexGuard"},
    "Wardex Services",
    ListOf(kFamilyServiceKeys),
    "Wardex Drivers",
    ListOf(kFamilyDriverKeys),
    "Wardex Eventlog",
    "System\\CurrentControlSet\\Services\\EventLog\\Application\\WxGuard",
    "System\\CurrentControlSet\\Services\\EventLog\\System\\wxflt",
    "Wardex Update",
    "WardexUpdate",
    "System\\CurrentControlSet\\Services\\WxUpdate",
    "System\\CurrentControlSet\\Services\\EventLog\\Application\\WxUpdate",
};

const ProcedureTraits& TraitsOf(Procedure procedure)
{
    for (const ProcedureTraits& traits : kProcedures) {
        if (traits.procedure == procedure) return traits;
    }
    return kProcedures[0];
}
