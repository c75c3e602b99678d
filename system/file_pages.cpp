// File and directory pages: the system information tool's report.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"

namespace {

constexpr DWORD kMsinfoStartPauseMs = 500;
constexpr DWORD kMsinfoPollMs = 350;
// No window, and the tool's own process flags as it has always been started.
constexpr DWORD kMsinfoCreationFlags = 0x08002000;

}  // namespace

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
    if (JoinPath(reportPath, folder, fileName)) {
        char escaped[2 * kPathSize];
        EscapePercent(reportPath, escaped, sizeof escaped);
        AddNaviLink("MSInfo32.exe - Report", escaped, nullptr);
    }
    // The tool may take minutes; a cancel must not wait for it.
    for (;;) {
        DWORD waited = WaitForSingleObject(report.process.Get(), kMsinfoPollMs);
        if (waited != WAIT_TIMEOUT) break;
        if (IsCancelRequested()) return;
    }
    report.Release();
}
