#include "app/collection_worker.h"

#include "app/app_state.h"
#include "app/findings.h"
#include "app/harvin_dlg.h"
#include "app/output_location.h"
#include "app/output_tree.h"
#include "app/repeating_callback.h"
#include "app/report_archive.h"
#include "app/run_journal.h"
#include "info/checksum_cache.h"
#include "info/redaction_run.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/windows_version.h"
#include "products/product_catalog.h"
#include "report/findings_page.h"
#include "report/page_writer.h"
#include "report/report_frame.h"
#include "system/windows_stuff.h"

namespace {

// What the chain's rows work with.
struct ChainContext {
    CWindowsStuff& windows;
    BackgroundProcess& msinfo;  // the system information tool started at the beginning
};

// One row of the Windows chain: a navigation heading, or a collector.
struct ChainRow {
    const char* heading;
    void (*collect)(ChainContext& run);
};

const char kMsinfoReportName[] = "SYSINFO.TXT";

// The fixed order of the Windows pages. Each row runs only while the run has
// not been cancelled.
const ChainRow kWindowsChain[] = {
    {nullptr, [](ChainContext& r) { r.windows.ListWindowsFolder(LogsFolder, "windir.txt"); }},
    {"Autostart", nullptr},
    {nullptr, [](ChainContext& r) { r.windows.CollectStartupRegistry(StartupFolder, "StartRegistry.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectStartupFolders(StartupFolder, "StartAutostart.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectExplorer(SysInfoFolder, "Explorer.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectInternetExplorer(SysInfoFolder, "InternetExplorer.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectWinlogon(SysInfoFolder, "Winlogon.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectMiscellaneous(SysInfoFolder, "Misc.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectScheduledTasks(StartupFolder, "ScheduledTasks.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectUsersRegistry(StartupFolder, "UsersRegistry.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectExecutionHooks(SysInfoFolder, "ExecutionHooks.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectWmiSubscriptions(SysInfoFolder, "WmiSubscriptions.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectBrowserExtensions(SysInfoFolder, "BrowserExtensions.html"); }},
    {"Logging", nullptr},
    {nullptr, [](ChainContext& r) {
         r.windows.CollectEventLog(LogsFolder, "EventLogSystem.html", IDS_STATUS_EVENTLOG_SYSTEM, "Eventlog (System)",
                                   "System");
     }},
    {nullptr, [](ChainContext& r) {
         r.windows.CollectEventLog(LogsFolder, "EventLogApplication.html", IDS_STATUS_EVENTLOG_APPLICATION,
                                   "Eventlog (Application)", "Application");
     }},
    {nullptr, [](ChainContext& r) {
         r.windows.CollectEventLog(LogsFolder, "EventLogSecurity.html", IDS_STATUS_EVENTLOG_SECURITY,
                                   "Eventlog (Security)", "Security");
     }},
    {nullptr, [](ChainContext& r) { r.windows.CopyEventLogFiles(LogsFolder); }},
    {nullptr, [](ChainContext& r) { r.windows.CaptureConnections(LogsFolder); }},
    {nullptr, [](ChainContext& r) { r.windows.CaptureRoutes(LogsFolder); }},
    {nullptr, [](ChainContext& r) { r.windows.CaptureAdapters(LogsFolder); }},
    {nullptr, [](ChainContext& r) { r.windows.CaptureProviders(LogsFolder); }},
    {nullptr, [](ChainContext& r) { r.windows.CaptureFilters(LogsFolder); }},
    {"Registry", nullptr},
    {nullptr, [](ChainContext& r) { r.windows.CollectNetworkRegistry(SysInfoFolder, "NetRegistry.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectServicesRegistry(SysInfoFolder, "ServicesInfo.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectDiverseRegistry(SysInfoFolder, "DiverseRegs.html"); }},
    {"Services", nullptr},
    {nullptr, [](ChainContext& r) { r.windows.CollectServiceList(LogsFolder, "scqueryex.txt"); }},
    {"System", nullptr},
    {nullptr, [](ChainContext& r) { r.windows.CollectSystemInformation(SysInfoFolder, "SystemInformations.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectDrives(SysInfoFolder, "DriveInfo.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectEnvironment(SysInfoFolder, "EnvironmentStrings.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectProcesses(SysInfoFolder, "ProcessesModules.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectSystemFileVersions(SysInfoFolder, "SysFileVersion.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectDriverFiles(SysInfoFolder, "DriverFiles.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectDriverServices(SysInfoFolder, "DeviceEnum.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectProgramDirectories(SysInfoFolder, "DirectoryInfo.html", false); }},
    {nullptr, [](ChainContext& r) {
         if (IsWindows64Bit()) r.windows.CollectProgramDirectories(SysInfoFolder, "DirectoryInfoX86.html", true);
     }},
    {nullptr, [](ChainContext& r) { r.windows.CollectUserDirectories(SysInfoFolder, "UserDirInfo.html"); }},
    {"System Configuration Files", nullptr},
    {nullptr, [](ChainContext& r) { r.windows.CollectSystemFiles(SysInfoFolder, "SystemFiles.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectDriverFolderFiles(SysInfoFolder, "System32DriverFiles.html"); }},
    {nullptr, [](ChainContext& r) { r.windows.FinishMsinfoReport(SysInfoFolder, kMsinfoReportName, r.msinfo); }},
    {nullptr, [](ChainContext& r) { r.windows.CollectConfigFiles(SysInfoFolder); }},
};

// The crash dumps and debugger logs of an extended collection.
void CollectDumps(CWindowsStuff& windows)
{
    AddNaviHeading("Minidump / Dump");
    if (!IsCancelRequested()) windows.CollectDrWatsonLog(LogsFolder);
    if (!IsCancelRequested()) windows.CollectMinidumps(DumpsFolder);
    if (!IsCancelRequested()) windows.CollectUserDump(DumpsFolder);
}

void RunWindowsChain(ChainContext& run)
{
    for (const ChainRow& row : kWindowsChain) {
        if (IsCancelRequestedAt(CancelPoint::ChainRow)) return;
        if (row.heading != nullptr) AddNaviHeading(row.heading);
        if (row.collect == nullptr) continue;
        JournalBeginStep();
        row.collect(run);
        JournalEndStep();
    }
}

// The first entry under the user's details. Findings.html itself is written
// at the end of the run, when there is something to check.
void LinkFindingsPage()
{
    char path[kPathSize];
    if (JoinPath(path, OutputRoot, kFindingsPageName)) AddNaviLink("Findings", path, nullptr);
}

void RedrawDialog()
{
    if (MainDialogWindow == nullptr) return;
    InvalidateRect(MainDialogWindow, nullptr, TRUE);
    UpdateWindow(MainDialogWindow);
}

void BringDialogToFront()
{
    if (MainDialogWindow == nullptr) return;
    SetWindowPos(MainDialogWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(MainDialogWindow);
}

// The pages of the run, in their order. The signature checks of their file
// entries start ahead of them: the running modules, which the processes page
// shows with the most entries, are verified beside the pages before it.
void CollectPages(CWindowsStuff& windows, CRecovery& recovery, CNorvaneProducts& products, BackgroundProcess& msinfo)
{
    SignaturesAheadScope signaturesAhead(&CWindowsStuff::FeedModuleSignatures);
    if (ProgressTimer != nullptr) ProgressTimer->ResumeThread();
    RedrawDialog();
    if (!IsCancelRequested()) WriteIndexPage();
    RedrawDialog();
    if (!IsCancelRequested()) WriteStartPage();
    if (!IsCancelRequested()) LinkFindingsPage();

    windows.SetSwitches(ExtendedCollection, 1, 1, 1, 1, 1, 1);

    // The tool writes its report while the other pages are made.
    if (!IsCancelRequested()) msinfo = windows.StartMsinfoReport(SysInfoFolder, kMsinfoReportName);

    BringDialogToFront();
    AddNaviGroupHeading("Windows");
    ChainContext chain{windows, msinfo};
    RunWindowsChain(chain);

    if (ExtendedCollection == 1 && !IsCancelRequested()) CollectDumps(windows);

    products.RunProductCatalog(recovery);
}

void RunCollection(CHarvinDlg* dialog, CWindowsStuff& windows, CRecovery& recovery, CNorvaneProducts& products)
{
    LastRunOutcome = RunOutcome::NotStarted;
    JournalBeginRun();
    // A file named on several pages is read, summed and verified once.
    ChecksumCacheScope checksums;
    if (!PrepareOutputLocation(dialog)) {
        LastRunOutcome = RunOutcome::NoOutputLocation;
        return;
    }

    BackgroundProcess msinfo;
    CollectPages(windows, recovery, products, msinfo);
    RunFindings();
    FinishStartPage();
    // Still there only when the run was cancelled before waiting for it.
    EndBackgroundProcess(msinfo);

    if (IsCancelRequested()) {
        DeleteTree(OutputRoot);
        LastRunOutcome = RunOutcome::Cancelled;
    } else {
        FinishCollection(dialog);
    }
}

}  // namespace

DWORD WINAPI CollectionWorker(void* param)
{
    auto* dialog = static_cast<CHarvinDlg*>(param);
    // The words to replace are known before the first file is written, and
    // forgotten with the run.
    BeginRunRedaction(UserInfo.removePersonalData);
    {
        CWindowsStuff windows;
        CRecovery recovery;
        CNorvaneProducts products;
        RunCollection(dialog, windows, recovery, products);
    }
    EndRunRedaction();
    if (CollectionFinishedEvent != nullptr) SetEvent(CollectionFinishedEvent);
    return 0;
}
