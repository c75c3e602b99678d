// The collector of the Windows system pages. Constructed without a parent
// window and never shown; each page operation opens, writes and finishes its
// own page.
#pragma once
#include "app/harvin_dlg.h"
#include "info/external_programs.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"
#include "report/page_writer.h"

#include <ntddscsi.h>
#include <setupapi.h>
#include <winsvc.h>

#include <cstddef>
#include <memory>
#include <string>

struct VersionFacts;
class SignatureFeed;
class WmiSubscriptionSource;

// A tool run decided from the version facts: its command line and the
// runner's flags.
struct ToolRun {
    char commandLine[3 * kPathSize];
    bool captured;  // output captured into the named file; else the tool writes that file itself
    bool inheritHandles;
    DWORD creationFlags;
};

// EnumServicesStatusExA, or a stand-in that keeps its contract (tests).
using EnumServicesFunction = BOOL(WINAPI*)(SC_HANDLE manager, SC_ENUM_TYPE level, DWORD serviceType,
                                           DWORD serviceState, LPBYTE buffer, DWORD bufferSize, LPDWORD bytesNeeded,
                                           LPDWORD servicesReturned, LPDWORD resumeHandle, LPCSTR groupName);

// ---- event log interfaces ---------------------------------------------------
// The functions the event log pages call, as tables: the classic ones are
// advapi32's (with the clock that dates the 30 days), the newer ones are taken
// from Wevtapi.dll at run time. An export given no table uses the system's.

// Message libraries (classic export) and publisher metadata handles (newer
// interface) one export keeps open at once; beyond it the least recently
// used is freed.
constexpr size_t kKeptEventLibraries = 64;

struct ClassicEventLogFunctions {
    HANDLE(WINAPI* openLog)(LPCSTR server, LPCSTR logName);
    BOOL(WINAPI* countRecords)(HANDLE log, PDWORD count);
    BOOL(WINAPI* readLog)(HANDLE log, DWORD flags, DWORD offset, LPVOID buffer, DWORD bytes, DWORD* bytesRead,
                          DWORD* bytesNeeded);
    BOOL(WINAPI* closeLog)(HANDLE log);
    void(WINAPI* currentTime)(LPFILETIME now);
    // How many message libraries the export keeps loaded (with the sources'
    // registry texts); 0 loads and reads them anew for every event.
    size_t keptMessageLibraries = kKeptEventLibraries;
};

// Wevtapi's handles and its EVT_VARIANT (the Windows 2000 headers lack both).
using EventHandle = HANDLE;
struct EventVariant {
    union {
        const wchar_t* stringValue;
        BYTE byteValue;
        UINT16 uint16Value;
        UINT64 uint64Value;
        PSID sidValue;
    };
    DWORD count;
    DWORD type;  // EventVariantString, EventVariantByte, EventVariantUInt16, ...
};
constexpr DWORD EventVariantNull = 0;
constexpr DWORD EventVariantString = 1;
constexpr DWORD EventVariantByte = 4;
constexpr DWORD EventVariantUInt16 = 6;
constexpr DWORD EventVariantSid = 19;

struct ModernEventLogFunctions {
    EventHandle(WINAPI* query)(EventHandle session, const wchar_t* path, const wchar_t* query, DWORD flags);
    BOOL(WINAPI* next)(EventHandle results, DWORD eventsSize, EventHandle* events, DWORD timeout, DWORD flags,
                       DWORD* returned);
    BOOL(WINAPI* render)(EventHandle context, EventHandle fragment, DWORD flags, DWORD bufferSize, void* buffer,
                         DWORD* bufferUsed, DWORD* propertyCount);
    BOOL(WINAPI* close)(EventHandle object);
    BOOL(WINAPI* formatMessage)(EventHandle metadata, EventHandle event, DWORD messageId, DWORD valueCount,
                                EventVariant* values, DWORD flags, DWORD bufferSize, wchar_t* buffer,
                                DWORD* bufferUsed);
    EventHandle(WINAPI* openPublisherMetadata)(EventHandle session, const wchar_t* publisher,
                                               const wchar_t* logFilePath, LCID locale, DWORD flags);
    EventHandle(WINAPI* createRenderContext)(DWORD pathCount, const wchar_t** paths, DWORD flags);
};

// Both tables for one event log page; a null member is the system's own.
struct EventLogFunctions {
    const ClassicEventLogFunctions* classic = nullptr;
    const ModernEventLogFunctions* modern = nullptr;
};

// What current Windows says of itself under CurrentVersion (empty texts for
// values not there).
struct RegistryVersionValues {
    char productName[128];
    char displayVersion[64];    // "23H2"; older builds have only ReleaseId
    char releaseId[64];         // "1809"
    char currentBuild[32];      // "22631"
    bool hasUbr;                // update build revision
    DWORD ubr;
    char editionId[64];         // "Professional", "ServerDatacenter"
    char installationType[64];  // "Client", "Server", "Server Core"
};

// ---- storage device interfaces ----------------------------------------------
// Where the storage device details go: each finished text with its level.
using StorageTextWriter = void (*)(Page page, int level, const char* text);
struct StorageTextSink {
    StorageTextWriter write;
    Page page;
};

// The setupapi functions the storage details use, taken from setupapi.dll at
// run time (the program starts where setupapi is missing).
struct SetupApiFunctions {
    BOOL(WINAPI* destroyDeviceInfoList)(HDEVINFO list);
    BOOL(WINAPI* getDeviceRegistryProperty)(HDEVINFO list, PSP_DEVINFO_DATA device, DWORD property,
                                            PDWORD type, PBYTE buffer, DWORD size, PDWORD required);
    BOOL(WINAPI* enumDeviceInfo)(HDEVINFO list, DWORD index, PSP_DEVINFO_DATA device);
    BOOL(WINAPI* enumDeviceInterfaces)(HDEVINFO list, PSP_DEVINFO_DATA device, const GUID* interfaceClass,
                                       DWORD index, PSP_DEVICE_INTERFACE_DATA data);
    BOOL(WINAPI* getDeviceInterfaceDetail)(HDEVINFO list, PSP_DEVICE_INTERFACE_DATA data,
                                           PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size, PDWORD required,
                                           PSP_DEVINFO_DATA device);
    HDEVINFO(WINAPI* getClassDevs)(const GUID* deviceClass, PCSTR enumerator, HWND parent, DWORD flags);
    // The kernel32 functions that open a device and ask it.
    HANDLE(WINAPI* createFile)(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile);
    BOOL(WINAPI* deviceIoControl)(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                  DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped);
};

// An INQUIRY through SCSI pass-through: the request header, then the sense
// and data bytes the header's offsets point at (offsets 48 and 80 of 272
// bytes in the 32-bit layout).
struct ScsiInquiryRequest {
    SCSI_PASS_THROUGH header;
    ULONG filler;
    UCHAR sense[32];
    UCHAR data[192];
};

// A walk of the Windows folder stops after this many folders, so a tree
// that keeps changing cannot keep it going (tests lower it).
extern size_t FolderWalkLimit;

class MessageLibrary;

// The parameter messages ("%%n") of one event source while one message is
// expanded: the source's parameter message file is read and loaded at most
// once (however often, and however many numbers, the message names), and the
// last few texts are kept. The library is freed with the cache.
class ParameterMessageCache {
public:
    explicit ParameterMessageCache(const char* sourceKeyPath);
    ~ParameterMessageCache();
    ParameterMessageCache(const ParameterMessageCache&) = delete;
    ParameterMessageCache& operator=(const ParameterMessageCache&) = delete;
    // Message `id` of the file; empty when there is none.
    std::string Text(DWORD id);
    // How often the file was looked up and loaded: 0 or 1.
    int Loads() const { return loads_; }

private:
    static constexpr size_t kKeptTexts = 16;
    struct KeptText {
        DWORD id;
        std::string text;
    };
    const char* sourceKeyPath_;
    int loads_ = 0;
    std::unique_ptr<MessageLibrary> module_;  // kept by the export's library cache when one lives
    KeptText kept_[kKeptTexts];
    size_t keptCount_ = 0;
    size_t nextSlot_ = 0;
};

class CWindowsStuff : public CHarvinDlg {
public:
    CWindowsStuff();

    void SetSwitches(LONG extended, LONG autostart, LONG logging, LONG registry, LONG services, LONG system,
                     LONG configFiles);

    // ---- system information page (system_information.cpp) -----------------
    // The "System Informations" page into `folder`\`fileName` (System switch).
    void CollectSystemInformation(const char* folder, const char* fileName);
    // Operating system, registration, memory and miscellaneous blocks.
    void WriteSystemInformation(Page page);
    // Fills the four 260-byte texts and the product type (0 unless a
    // version-6 workstation reports one). False only when the version query
    // fails; the texts hold what could be made before that.
    bool QueryOsTexts(char* platform, char* version, char* enhanced, char* registryVersion, DWORD* productType);
    // The programs of one Startup shell folder (ReadStartupFolderPath), one
    // line each.
    void ListStartupFolder(Page page, HKEY hive, const char* valueName);

    // The line "Version information from registry" from the values current
    // Windows keeps: name (Windows 11 and the servers named by build where
    // ProductName lags), release, build with revision, edition and
    // installation type. False, and nothing written, when the values are too
    // few (before Windows 10 nothing but ProductName and the build may be
    // there): the line then keeps the full version text.
    static bool DescribeRegistryVersion(const RegistryVersionValues& values, char* text, size_t capacity);
    static void ReadRegistryVersionValues(RegistryVersionValues* values);

    // Edition text of a GetProductInfo product type; empty for a type not known.
    static void EditionName(DWORD productType, char* text, size_t capacity);
    // `value` in decimal with "." between groups of three digits (from four
    // digits on), right-aligned to `width` with 0xA0 bytes (no-break spaces
    // of the ANSI code page) when 1 to 47 of them are needed. Cut to `outSize`.
    static void FormatGroupedNumber(char* out, size_t outSize, int width, unsigned long long value);

    // ---- processes and modules page (processes_page.cpp) -------------------
    // "Active Processes And Modules" into `folder`\`fileName` (System switch),
    // then, on 64-bit Windows, the page of the 64-bit lister.
    void CollectProcesses(const char* folder, const char* fileName);
    // The process table and one detail section per process.
    void WriteProcessList(Page page);
    // One detail entry: the process image (`processImage` true: anchor for the
    // table and a link back to it) or a module of it. A path that lost
    // characters in its ANSI form (`lossyPath`) is not looked up: it gets the
    // "[Access Error]" entry.
    void WriteModuleEntry(const char* path, bool processImage, Page page, bool lossyPath = false);
    // Writes the embedded pidwalk64 into the output root, runs it with its
    // output captured into `folder`\`fileName` and deletes it again (Logging switch).
    void RunProcessLister64(const char* folder, const char* fileName, const char* title);
    // Names the module files of the running processes to the signature
    // checks ahead of the pages (SignaturesAheadScope's feed); the page
    // names those of its own list again before it writes them.
    static void FeedModuleSignatures(SignatureFeed& feed);
    // Turns WOW64 file-system redirection of the calling thread off (true) or
    // on again (false); nothing where WOW64 does not exist.
    static void SwitchFsRedirection(bool disable);
    // The table row text "pid\t<a href="#name">name</a>\tpath" with name and
    // path as HTML text and their "%" doubled (the table writer collapses
    // "%%"), and a path that starts with "\SystemRoot\" shown below the
    // Windows folder. False when the row had to be cut.
    static bool FormatProcessRow(DWORD processId, const char* name, const char* path, char* row,
                                 size_t capacity);

    // ---- drives and environment pages (drives_page.cpp) --------------------
    // "Drive Informations" into `folder`\`fileName` (System switch): the drive
    // table, then the storage devices.
    void CollectDrives(const char* folder, const char* fileName);
    // One row per drive letter in use, the legend, then the drives whose type
    // cannot be read. Only fixed disks from C: on are asked for volume data.
    void WriteDriveTable(Page page);
    // The type text of the drive at `root` ("C:\"), cut to `capacity`; false
    // when the type cannot be read (unknown type, no root directory).
    static bool QueryDriveType(const char* root, char* text, size_t capacity);
    // Total bytes and bytes free to the caller of the volume at `root`; both 0
    // and false when neither the newer query nor the cluster counts work.
    static bool QueryDiskSpace(const char* root, ULONGLONG* totalBytes, ULONGLONG* freeBytes);
    // The same from the cluster counts (all free clusters), for Windows
    // without GetDiskFreeSpaceExA; computed in 64 bits.
    static bool QueryDiskSpaceByClusters(const char* root, ULONGLONG* totalBytes, ULONGLONG* freeBytes);
    // "PC, CS, UC, PA, FC, VC" for those of the six file system flags that
    // are set, in that order; "-" when none is.
    static void FormatFileSystemFlags(DWORD flags, char* text, size_t capacity);
    // "Environment Strings" into `folder`\`fileName` (System switch).
    void CollectEnvironment(const char* folder, const char* fileName);
    // The first 150 strings of this process's environment block, as text.
    void WriteEnvironment(Page page);

    // ---- storage devices (storage_devices.cpp) ------------------------------
    // The disk drives' hardware ids, adapter and device properties and SCSI
    // inquiry data, each text handed to `write` with the page.
    void EnumerateStorageDevices(StorageTextWriter write, Page page);
    // The hardware id of device `index` of the disk drive list. False when
    // the list ends ("No more devices.") or the device cannot be read.
    static bool WriteDeviceProperties(const SetupApiFunctions& setup, const StorageTextSink& sink,
                                      HDEVINFO devices, DWORD index);
    // Adapter and device properties and inquiry data of interface `index` of
    // the disk interface list. False when the list ends or the interface
    // cannot be read; true (nothing written) when the device does not open.
    static bool WriteDeviceInterface(const SetupApiFunctions& setup, const StorageTextSink& sink,
                                     HDEVINFO interfaces, DWORD index);
    // The same for the device at `path`, opened and asked through `setup`.
    static void WriteDevice(const SetupApiFunctions& setup, const StorageTextSink& sink, const char* path);
    // A storage adapter descriptor as the driver returned it (`bytes` long).
    static void WriteAdapterDescriptor(const StorageTextSink& sink, const BYTE* descriptor, DWORD bytes);
    // A storage device descriptor as the driver returned it (`bytes` long);
    // its texts are used only where their offsets lie inside those bytes.
    static void WriteDeviceDescriptor(const StorageTextSink& sink, const BYTE* descriptor, DWORD bytes);
    // The answer to the INQUIRY request; `error` is the request's error code
    // when it failed. The texts end where the driver's data ends.
    static void WriteInquiryData(const StorageTextSink& sink, bool succeeded, DWORD error,
                                 const ScsiInquiryRequest& request);
    // The page's writer: texts of levels 0 and 1, exactly as they are.
    static void WriteStorageText(Page page, int level, const char* text);

    // ---- event log pages (eventlog_classic.cpp, eventlog_modern.cpp) ------
    // The page of one event log into `folder`\`fileName` (Logging switch):
    // the newer interface on Windows 6 and later, the classic one before and
    // whenever the newer one cannot be used.
    void CollectEventLog(const char* folder, const char* fileName, UINT statusTextId, const char* title,
                         const char* logName, const EventLogFunctions& functions = EventLogFunctions());
    // The events of the last 30 days through the classic interface, newest
    // first, then the total. Every record is checked before it is read: a
    // record that does not lie whole in the bytes read ends the export.
    void ExportClassicEventLog(const char* logName, Page page, const ClassicEventLogFunctions* functions = nullptr);
    // The message of an event, expanded with its insertion strings (`strings`:
    // `stringCount` texts, each ended by a zero byte). `messageFiles` is the
    // source's message file list; when empty it is filled from the publishers
    // of the newer event system. False when a module of the list cannot be
    // loaded or none holds the message; the message is cut to 65535 bytes.
    static bool ExpandEventMessage(const char* sourceKeyPath, const char* strings, DWORD eventId, DWORD stringCount,
                                   std::string& messageFiles, const char* sourceName, std::string* message);
    // `text` with "%n" replaced by insertion string n and "%%n" by message n
    // of the source's parameter message file (through `parameters`, or a
    // cache of this call). A number beyond the strings there are stays as it
    // is. Cut to 65535 bytes.
    static std::string InsertEventStrings(const char* sourceKeyPath, const std::string& text, const char* strings,
                                          DWORD stringCount, ParameterMessageCache* parameters = nullptr);
    // The events of the last 30 days through Wevtapi.dll, then the total; 0.
    // 1 when the interface cannot be used (library, function, query, or no
    // event before it failed): the page then holds a bracketed line that
    // says why, and nothing else.
    int ExportModernEventLog(const char* logName, const char* folder, Page page,
                             const ModernEventLogFunctions* functions = nullptr);
    // The raw event log files (.evtx, or .evt before Windows 6) into `folder`
    // (Logging and Extended switches).
    void CopyEventLogFiles(const char* folder);
    // ---- startup and registry pages (startup_pages.cpp) -----------------------
    // "Startup Registry Entries": the autostart keys of the four hives, both
    // views of each (Autostart switch).
    void CollectStartupRegistry(const char* folder, const char* fileName);
    // "Entries in the startup directory": the user's and the common Startup
    // folder, each that exists; no page when neither does (Autostart switch).
    void CollectStartupFolders(const char* folder, const char* fileName);
    // The folder that the "Shell Folders" value `valueName` ("Startup",
    // "Common Startup") of `hive` names (32-bit view); when the value is
    // missing or empty, the shell's own path of that folder. False (folder
    // empty) when neither gives one, or the value is too long to be a folder.
    static bool ReadStartupFolderPath(HKEY hive, const char* valueName, char (&folder)[kPathSize]);
    // "Network Registry Entries": the network services' keys and the Internet
    // settings keys (Registry switch).
    void CollectNetworkRegistry(const char* folder, const char* fileName);
    // "Services Registry Entries": the whole services tree (Registry switch).
    void CollectServicesRegistry(const char* folder, const char* fileName);
    // "Diverse Registry Entries": the Image File Execution Options tree, on
    // 64-bit Windows in both views (Registry switch).
    void CollectDiverseRegistry(const char* folder, const char* fileName);
    // A key (`path` ends in a backslash) with its default value and values,
    // then its subkeys depth first. Opened for reading; registry links are
    // shown but not followed and the depth is bounded. Nothing when the key
    // cannot be opened.
    static void WriteRegistryTree(Page page, HKEY hive, const char* path, DWORD view);
    // The files of `folder` and, indented below their own path, of its
    // subfolders; "[empty]" for a folder without entries. Junctions and
    // links are listed but not entered; the depth is bounded.
    static void ListFolderTree(const char* folder, Page page);

    // ---- Explorer, browser and logon pages (explorer_pages.cpp) ---------------
    // How WriteComponentKey reads one entry and finds the module behind it.
    enum class ComponentMode {
        ClassIdSubkeys,  // the subkey's "CLSID" (or "ClsidExtension") as a class id
        NamedEntries,    // the entry name as a class id (the value's data when only it is one);
                         // a value's text data as its caption
        DllNameSubkeys,  // the subkey's "DllName" made a full path
        DllValues,       // the value's data made a full path ("DllDirectory" values skipped)
    };
    // "Explorer": shell extensions, handlers, hooks (Autostart switch). On
    // 64-bit Windows each section lists the 64-bit view, then the 32-bit view
    // in the blue block.
    void CollectExplorer(const char* folder, const char* fileName);
    // "Internet Explorer": helper objects, search hooks, toolbars,
    // extensions; the views as on the Explorer page.
    void CollectInternetExplorer(const char* folder, const char* fileName);
    // "Winlogon": the Winlogon key tree, the programs its values name, the
    // notification packages.
    void CollectWinlogon(const char* folder, const char* fileName);
    // "Miscellaneous": logon scripts, Terminal Server startup programs,
    // policy shells and the known DLLs.
    void CollectMiscellaneous(const char* folder, const char* fileName);
    // One line per entry (values or subkeys of the key) and the version data
    // of its module, or "[not available]<br><br>". False when the key cannot
    // be opened (nothing written then).
    static bool WriteComponentKey(Page page, HKEY hive, const char* path, bool enumerateValues, ComponentMode mode,
                                  DWORD view);
    // A heading naming the value, then a file entry for each program of the
    // comma-separated value ("[not available]<br>" for an empty part or value).
    static void WriteValueModules(HKEY hive, const char* path, const char* valueName, Page page);

    // ---- the newer autostart pages (scheduled_tasks.cpp, users_registry.cpp,
    //      execution_hooks.cpp) --------------------------------------------------
    // "Scheduled Tasks": every task of every folder of the Task Scheduler,
    // hidden ones too, with its actions' files (Autostart switch). Where the
    // scheduler cannot list its tasks, the task folder's definitions; where
    // Task Scheduler 2.0 is missing, the names of the .job files.
    void CollectScheduledTasks(const char* folder, const char* fileName);
    // The .job files of `tasksFolder` by name.
    static void WriteJobFiles(Page page, const char* tasksFolder);
    // "Other Users' Startup Entries": the Run keys and Winlogon overrides of
    // each profile under HKEY_USERS but the current user's and .DEFAULT.
    void CollectUsersRegistry(const char* folder, const char* fileName);
    // "Execution Hooks": Image File Execution Options, AppCertDlls, Active
    // Setup, BootExecute, LSA packages and print monitors, with their files.
    void CollectExecutionHooks(const char* folder, const char* fileName);

    // ---- WMI event subscriptions (wmi_subscriptions.cpp) ---------------------
    // "WMI Event Subscriptions": the event filters, consumers and bindings of
    // the root\subscription namespace (Autostart switch). Without a `source`
    // the system's WMI is read, with COM initialised on this thread meanwhile.
    void CollectWmiSubscriptions(const char* folder, const char* fileName, WmiSubscriptionSource* source = nullptr);

    // ---- browser extensions (browser_extensions.cpp) --------------------------
    // "Browser Extensions": the Chrome, Edge and Firefox extensions of every
    // user profile that can be read (Autostart switch).
    void CollectBrowserExtensions(const char* folder, const char* fileName);

    // ---- services pages (services_pages.cpp) --------------------------------
    // The path of the system information tool msinfo32.exe (cut to
    // `capacity`): 0 when a candidate exists, -1 with an empty path when none.
    static int LocateMsinfo32(char* path, size_t capacity);
    // The service list into `folder`\`fileName` (Services switch): the
    // service control tool's "queryex" output, or on Windows 2000 the system
    // information tool's services report, which the tool writes itself.
    void CollectServiceList(const char* folder, const char* fileName);
    // Every driver service with its type and state (no switch; not when
    // cancelled). `enumerate` stands in for EnumServicesStatusExA when given.
    void CollectDriverServices(const char* folder, const char* fileName, EnumServicesFunction enumerate = nullptr);
    // Version data of every kernel and file system driver image (System switch).
    void CollectDriverFiles(const char* folder, const char* fileName);
    // One file entry per kernel or file system driver of the services key,
    // opened in `view`. WOW64 redirection is off meanwhile.
    void WriteDriverFileEntries(Page page, DWORD view);
    // The file a driver's ImagePath names: a "\??\" or "\SystemRoot\"
    // prefix, "%SystemRoot%" (any case), a quoted path and a path without a
    // drive (below the system root) are resolved. `systemRoot` ends in a
    // backslash or is empty. False (out empty) when the path needs a system
    // root that is not known, or does not fit.
    static bool ResolveDriverImagePath(const char* imagePath, const char* systemRoot, char* out, size_t capacity);
    // Windows 2000 has no service control tool: its list comes from the
    // system information tool.
    static bool ServiceListFromMsinfo(const VersionFacts& facts);
    // The service list's command line and flags: "sc.exe queryex" captured,
    // or the tool at `msinfoPath` writing the report `folder`\`fileName`
    // itself. False when nothing can run.
    static bool PlanServiceList(const VersionFacts& facts, const char* msinfoPath, const char* folder,
                                const char* fileName, ToolRun* run);

    // ---- network and filter tool outputs (network_outputs.cpp) -------------
    // Each captures a tool's output into a text file in `folder` (Logging switch).
    void CaptureConnections(const char* folder);
    void CaptureRoutes(const char* folder);
    void CaptureAdapters(const char* folder);
    // Writes the embedded provscan into the output root, runs it and deletes it.
    void CaptureProviders(const char* folder);
    void CaptureFilters(const char* folder);
    // "netstat.exe -anbo" on version 5.2, "netstat.exe -anb" on any other;
    // null when the version cannot be told.
    static const char* ConnectionsCommandLine(const VersionFacts& facts);
    // 1 when the filter list is to start with the UTF-16 mark: on NT before
    // version 6, whose fltmc writes UTF-16 into a redirected output.
    static int FilterCaptureMark(const VersionFacts& facts);

    // ---- file and directory pages (file_pages.cpp) ---------------------------
    // Starts the system information tool's report into `folder`\`fileName`
    // in the background (ConfigFiles switch). An empty record when the tool
    // is missing (status text 222) or does not start.
    BackgroundProcess StartMsinfoReport(const char* folder, const char* fileName);
    // Links the report and waits for the tool to end, then releases the
    // record. A cancel ends the wait and leaves the record running for the
    // run's end to stop.
    void FinishMsinfoReport(const char* folder, const char* fileName, BackgroundProcess& report);
    // "dir /s /a" of the Windows folder captured into `folder`\`fileName`
    // (Extended switch). Waits until the listing ends or the run is cancelled.
    void ListWindowsFolder(const char* folder, const char* fileName);
    // Versions of the system folder's libraries and programs (Extended and
    // System switches).
    void CollectSystemFileVersions(const char* folder, const char* fileName);
    // Hosts, log, batch and ini files anywhere below the Windows folder,
    // listed with size, attributes and time (ConfigFiles switch).
    void CollectSystemFiles(const char* folder, const char* fileName);
    // The files below the driver folder; on 64-bit Windows the 64-bit folder
    // and then, in a section of its own, the 32-bit one (ConfigFiles switch).
    void CollectDriverFolderFiles(const char* folder, const char* fileName);
    // Copies of the hosts and ini files (with the log and batch files when
    // Extended) into `folder`, each in the folder path of its source, and the
    // Exchange and ISA Server program versions where those servers exist.
    void CollectConfigFiles(const char* folder);
    // The Dr Watson log copied as `folder`\drwtsn32.txt (extended collection).
    void CollectDrWatsonLog(const char* folder);
    // The crash dumps of the minidump, Windows and Dr Watson folders, asking
    // before each large one (extended collection).
    void CollectMinidumps(const char* folder);
    // The Dr Watson user dump copied as `folder`\user.dmp, asking first when
    // it is large (extended collection).
    void CollectUserDump(const char* folder);

    // ---- directory pages (directory_pages.cpp) ------------------------------
    // The folders below the program folder, three levels deep (System
    // switch); `x86` lists the 32-bit program folder of a 64-bit Windows.
    void CollectProgramDirectories(const char* folder, const char* fileName, bool x86);
    // Entries of the subfolders of `path` and, `depth` - 1 levels further,
    // of theirs. Junctions and other reparse points are listed, not entered.
    static void ListDirectoryTree(const char* path, Page page, int depth);
    // The programs, scripts, links, documents and temporary files in the
    // user profiles.
    void CollectUserDirectories(const char* folder, const char* fileName);
    // The listed files of `path`, then those of its subfolders, `depth`
    // levels in all. Reparse points are not entered.
    static void ListUserFiles(const char* path, Page page, int depth);

    LONG Extended;
    LONG Autostart;
    LONG Logging;
    LONG Registry;
    LONG Services;
    LONG System;
    LONG ConfigFiles;
};

// WOW64 file-system redirection off for the life of the object (64-bit
// Windows only), so a 32-bit program sees the 64-bit system folder; on again
// on every way out.
class FsRedirectionOff {
public:
    FsRedirectionOff() : active_(IsWindows64Bit())
    {
        if (active_) CWindowsStuff::SwitchFsRedirection(true);
    }
    ~FsRedirectionOff()
    {
        if (active_) CWindowsStuff::SwitchFsRedirection(false);
    }
    FsRedirectionOff(const FsRedirectionOff&) = delete;
    FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;

private:
    bool active_;
};
