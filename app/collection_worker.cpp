#include "app/collection_worker.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "app/output_location.h"
#include "app/output_tree.h"
#include "app/repeating_callback.h"
#include "app/report_archive.h"
#include "products/product_catalog.h"
#include "report/page_writer.h"
#include "report/report_frame.h"
#include "system/windows_stuff.h"

namespace {

// One row of the Windows chain: a navigation heading, or a collector.
struct ChainRow {
    const char* heading;
    void (*collect)(CWindowsStuff& windows);
};

// The fixed order of the Windows pages. Each row runs only while the run has
// not been cancelled.
const ChainRow kWindowsChain[] = {
    {"Autostart", nullptr},
    {"Logging", nullptr},
    {"Registry", nullptr},
    {"Services", nullptr},
    {"System", nullptr},
    {nullptr, [](CWindowsStuff& w) { w.CollectSystemInformation(SysInfoFolder, "SystemInformations.html"); }},
    {nullptr, [](CWindowsStuff& w) { w.CollectProcesses(SysInfoFolder, "ProcessesModules.html"); }},
    {"System Configuration Files", nullptr},
};

void RunWindowsChain(CWindowsStuff& windows)
{
    for (const ChainRow& row : kWindowsChain) {
        if (IsCancelRequested()) return;
        if (row.heading != nullptr) AddNaviHeading(row.heading);
        if (row.collect != nullptr) row.collect(windows);
    }
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

void RunCollection(CHarvinDlg* dialog, CWindowsStuff& windows, CRecovery& recovery, CNorvaneProducts& products)
{
    if (!PrepareOutputLocation(dialog)) return;

    if (ProgressTimer != nullptr) ProgressTimer->ResumeThread();
    RedrawDialog();
    if (!IsCancelRequested()) WriteIndexPage();
    RedrawDialog();
    if (!IsCancelRequested()) WriteStartPage();

    windows.SetSwitches(ExtendedCollection, 1, 1, 1, 1, 1, 1);

    BringDialogToFront();
    AddNaviGroupHeading("Windows");
    RunWindowsChain(windows);

    if (ExtendedCollection == 1 && !IsCancelRequested()) AddNaviHeading("Minidump / Dump");

    products.RunProductCatalog(recovery);
    FinishStartPage();

    if (IsCancelRequested()) {
        DeleteTree(OutputRoot);
    } else {
        FinishCollection(dialog);
    }
}

}  // namespace

DWORD WINAPI CollectionWorker(void* param)
{
    auto* dialog = static_cast<CHarvinDlg*>(param);
    {
        CWindowsStuff windows;
        CRecovery recovery;
        CNorvaneProducts products;
        RunCollection(dialog, windows, recovery, products);
    }
    if (CollectionFinishedEvent != nullptr) SetEvent(CollectionFinishedEvent);
    return 0;
}
