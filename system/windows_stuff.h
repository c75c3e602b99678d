// The collector of the Windows system pages. Constructed without a parent
// window and never shown; each page operation opens, writes and finishes its
// own page.
#pragma once
#include "app/harvin_dlg.h"
#include "info/external_programs.h"
#include "report/page_writer.h"

#include <cstddef>
#include <string>

// ---- event log interfaces ---------------------------------------------------
// The functions the event log pages call, as tables: the classic ones are
// advapi32's (with the clock that dates the 30 days), the newer ones are taken
// from Wevtapi.dll at run time. An export given no table uses the system's.
struct ClassicEventLogFunctions {
    HANDLE(WINAPI* openLog)(LPCSTR server, LPCSTR logName);
    BOOL(WINAPI* countRecords)(HANDLE log, PDWORD count);
    BOOL(WINAPI* readLog)(HANDLE log, DWORD flags, DWORD offset, LPVOID buffer, DWORD bytes, DWORD* bytesRead,
                          DWORD* bytesNeeded);
    BOOL(WINAPI* closeLog)(HANDLE log);
    void(WINAPI* currentTime)(LPFILETIME now);
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
    // of the source's parameter message file. A number beyond the strings
    // there are stays as it is. Cut to 65535 bytes.
    static std::string InsertEventStrings(const char* sourceKeyPath, const std::string& text, const char* strings,
                                          DWORD stringCount);
    // The events of the last 30 days through Wevtapi.dll, then the total; 0.
    // 1 when the interface cannot be used (library, function, query, or no
    // event before it failed): the page then holds a bracketed line that
    // says why, and nothing else.
    int ExportModernEventLog(const char* logName, const char* folder, Page page,
                             const ModernEventLogFunctions* functions = nullptr);
    // The raw event log files (.evtx, or .evt before Windows 6) into `folder`
    // (Logging and Extended switches).
    void CopyEventLogFiles(const char* folder);

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
