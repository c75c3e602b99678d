// The collector of the Windows system pages. Constructed without a parent
// window and never shown; each page operation opens, writes and finishes its
// own page.
#pragma once
#include "app/harvin_dlg.h"
#include "info/external_programs.h"
#include "report/page_writer.h"

#include <cstddef>

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
    // The programs of one Startup shell folder (the folder named by value
    // `valueName` under the hive's Shell Folders key), one line each.
    void ListStartupFolder(Page page, HKEY hive, const char* valueName);

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
    // Turns WOW64 file-system redirection of the calling thread off (true) or
    // on again (false); nothing where WOW64 does not exist.
    static void SwitchFsRedirection(bool disable);
    // The table row text "pid\t<a href="#name">name</a>\tpath" with name and
    // path as HTML text and their "%" doubled (the table writer collapses
    // "%%"), and a path that starts with "\SystemRoot\" shown below the
    // Windows folder. False when the row had to be cut.
    static bool FormatProcessRow(DWORD processId, const char* name, const char* path, char* row,
                                 size_t capacity);

    // ---- services pages (services_pages.cpp) --------------------------------
    // The path of the system information tool msinfo32.exe (cut to
    // `capacity`): 0 when a candidate exists, -1 with an empty path when none.
    static int LocateMsinfo32(char* path, size_t capacity);

    // ---- file and directory pages (file_pages.cpp) ---------------------------
    // Starts the system information tool's report into `folder`\`fileName`
    // in the background (ConfigFiles switch). An empty record when the tool
    // is missing (status text 222) or does not start.
    BackgroundProcess StartMsinfoReport(const char* folder, const char* fileName);
    // Links the report and waits for the tool to end, then releases the
    // record. A cancel ends the wait and leaves the record running for the
    // run's end to stop.
    void FinishMsinfoReport(const char* folder, const char* fileName, BackgroundProcess& report);

    LONG Extended;
    LONG Autostart;
    LONG Logging;
    LONG Registry;
    LONG Services;
    LONG System;
    LONG ConfigFiles;
};
