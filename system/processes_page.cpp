// The processes and modules page: a table of the running processes linked to
// one detail section per process (its image and every module with checksum
// and version data), the page of the 64-bit companion lister, and the WOW64
// file-system redirection switch.
#include "system/windows_stuff.h"

#include "app/app_constants.h"
#include "app/app_state.h"
#include "info/checksum_cache.h"
#include "info/external_programs.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/process_list.h"
#include "platform/scoped_handle.h"
#include "platform/system_helpers.h"
#include "platform/windows_version.h"
#include "report/table_writer.h"

#include <cstring>

namespace {

const char kSystemRootPrefix[] = "\\SystemRoot\\";
constexpr size_t kSystemRootPrefixLength = sizeof kSystemRootPrefix - 1;  // 12
const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

constexpr size_t kNameSize = 256;
// A converted path takes up to two bytes per UTF-16 unit; with a folder put
// in front of it, twice the path size holds it.
constexpr size_t kModulePathSize = 2 * kPathSize;
constexpr size_t kImageLinkWidth = 13;
// Names and paths go into the page as HTML text (up to six bytes a byte);
// in a table row their "%" signs are doubled on top of that.
constexpr size_t kNameHtmlSize = HtmlTextSize(kNameSize);
constexpr size_t kPathHtmlSize = HtmlTextSize(kModulePathSize);
// Detail header: markup around two names (the link text padded).
constexpr size_t kHeaderSize = 2 * kNameHtmlSize + kImageLinkWidth + 256;

constexpr int kPidwalkResourceId = 136;
const char kPidwalkResourceType[] = "DATA_EXE2";
const char kPidwalkFileName[] = "pidwalk64.exe";

using Wow64DisableFunction = BOOL(WINAPI*)(PVOID*);
using Wow64EnableFunction = BOOLEAN(WINAPI*)(BOOLEAN);

// A cut path would name another file: a text that does not fit stays empty.
// True when a character had no ANSI form: the text then names no file (its
// '?' would be a wildcard to a file search).
bool WideToAnsi(const wchar_t* text, char* out, size_t capacity)
{
    bool lossy = false;
    if (!WideToAnsiText(text, out, capacity, &lossy)) out[0] = '\0';
    return lossy;
}

bool StartsWithSystemRoot(const char* path) { return strncmp(path, kSystemRootPrefix, kSystemRootPrefixLength) == 0; }

// The part after the last backslash (or drive colon).
const char* FileNamePart(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    return name;
}

// Processes without modules (no image to show) and the idle process are not listed.
bool IsListed(const ProcessEntry* process) { return process->modules != nullptr && process->processId != 0; }

// The image's name and path; true when the path lost characters on the way.
bool ImageTexts(const ProcessEntry* process, char* name, size_t nameCapacity, char* path, size_t pathCapacity)
{
    WideToAnsi(process->modules->name, name, nameCapacity);
    return WideToAnsi(process->modules->path, path, pathCapacity);
}

// Name and path as HTML text with "%" doubled, for the table writer, which
// turns "%%" back into "%".
void RowText(const char* text, char* out, size_t capacity)
{
    char html[kPathHtmlSize];
    CopyHtmlText(html, text);
    EscapePercent(html, out, capacity);
}

// Attributes, size and write time (the checksum cache's stamp). One look at
// the file is the cheap way (under Wine a search for the name costs several
// times as much); the directory search still answers where that look is
// refused (a file held without sharing, no right to its attributes).
bool LookUpModuleFile(const char* path, DWORD* attributes, FileStamp* stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        *attributes = data.dwFileAttributes;
        stamp->size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        stamp->lastWrite = data.ftLastWriteTime;
        return true;
    }
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(path, &found));
    if (!search) return false;
    *attributes = found.dwFileAttributes;
    stamp->size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    stamp->lastWrite = found.ftLastWriteTime;
    return true;
}

// The file a module's entry reads: a path below "\SystemRoot\" below the
// folder the registry names, where that fits.
void ModuleEntryPath(const char* path, char (&fullPath)[kModulePathSize])
{
    fullPath[0] = '\0';
    if (StartsWithSystemRoot(path)) {
        char systemRoot[kPathSize];
        ReadStringValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "SystemRoot", systemRoot, sizeof systemRoot, "",
                        RegistryView32);
        if (systemRoot[0] != '\0' && !JoinPath(fullPath, systemRoot, path + kSystemRootPrefixLength)) {
            fullPath[0] = '\0';  // a cut path would name another file
        }
    }
    if (fullPath[0] == '\0') CopyText(fullPath, path);
}

// Hands the file of every module entry the list will have to `submit`, in
// the page's order.
template <typename Submit>
void SubmitModuleFiles(const ProcessEntry* list, Submit submit)
{
    char path[kModulePathSize];
    char fullPath[kModulePathSize];
    for (const ProcessEntry* process = list; process != nullptr && !IsCancelRequested(); process = process->next) {
        if (!IsListed(process)) continue;
        for (const ModuleEntry* module = process->modules; module != nullptr; module = module->next) {
            if (WideToAnsi(module->path, path, sizeof path)) continue;  // names no file
            ModuleEntryPath(path, fullPath);
            if (fullPath[0] != '\0') submit(fullPath);
        }
    }
}

void WriteUnreadableEntry(const char* name, const char* fullPath, Page page)
{
    AppendToPage(page, "<strong>%s</strong>  [Access Error]<div style=\"margin-left: 40px;\">\n%s\n</div>\n",
                 HtmlText<kNameSize>(name).c_str(), HtmlText<kModulePathSize>(fullPath).c_str());
    NotePageFailure(page, "[Access Error]");
}

}  // namespace

void CWindowsStuff::CollectProcesses(const char* folder, const char* fileName)
{
    if (System == 0) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_PROCESSES, "Active Processes And Modules",
                                 "Active Processes And Modules (32Bit)", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    WriteProcessList(page);
    FinalizePage(page);
    if (IsWindows64Bit()) {
        RunProcessLister64(folder, "ProcessModules64.html", "Active Processes And Modules (64Bit)");
    }
}

bool CWindowsStuff::FormatProcessRow(DWORD processId, const char* name, const char* path, char* row,
                                     size_t capacity)
{
    if (row == nullptr || capacity == 0) return false;
    row[0] = '\0';
    if (name == nullptr || path == nullptr) return false;

    char shownPath[kModulePathSize];
    bool fit = true;
    if (StartsWithSystemRoot(path)) {
        // The table names the folder Windows really lives in.
        char windowsFolder[MAX_PATH];
        UINT length = GetWindowsDirectoryA(windowsFolder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            fit = CopyText(shownPath, path);
        } else {
            fit = JoinPath(shownPath, windowsFolder, path + kSystemRootPrefixLength);
        }
    } else {
        fit = CopyText(shownPath, path);
    }

    // Names and paths are text; the table writer turns "%%" into "%", so
    // they go in with their signs doubled.
    char escapedName[2 * kNameHtmlSize];
    char escapedPath[2 * kPathHtmlSize];
    RowText(name, escapedName, sizeof escapedName);
    RowText(shownPath, escapedPath, sizeof escapedPath);
    fit = FormatText(row, capacity, "%lu\t<a href=\"#%s\">%s</a>\t%s", static_cast<unsigned long>(processId),
                     escapedName, escapedName, escapedPath) && fit;
    return fit;
}

void CWindowsStuff::WriteProcessList(Page page)
{
    EnableDebugPrivilege();
    StepCounter = 0;
    // Every process names the common modules again: each is read once.
    ChecksumCacheScope checksums;

    DWORD error = 0;
    ProcessEntry* list = EnumerateProcesses(true, &error);
    if (list == nullptr) return;
    SubmitModuleFiles(list, [](const char* path) { VerifySignatureAhead(path); });

    AppendLiteral(page, "<a name=\"top\"> </a>\n");
    WriteTableTag(1, 1, 0, 7, page);
    WriteTableRow("PID\tProcess\tPath", 1, page, nullptr, nullptr, 0);

    char name[kNameSize];
    char path[kModulePathSize];
    // Room for the id, the markup, the name twice and the path, each as HTML
    // text with every "%" doubled.
    char row[64 + 2 * (2 * kNameHtmlSize) + 2 * kPathHtmlSize];
    for (const ProcessEntry* process = list; process != nullptr && !IsCancelRequested(); process = process->next) {
        if (!IsListed(process)) continue;
        ImageTexts(process, name, sizeof name, path, sizeof path);
        FormatProcessRow(process->processId, name, path, row, sizeof row);
        WriteTableRow(row, 0, page, nullptr, nullptr, 0);
    }
    WriteTableTag(0, 0, 0, 0, page);
    AppendLiteral(page, "<BR><BR>\n");

    for (const ProcessEntry* process = list; process != nullptr && !IsCancelRequested(); process = process->next) {
        if (!IsListed(process)) continue;
        const bool lossyImage = ImageTexts(process, name, sizeof name, path, sizeof path);
        WriteModuleEntry(path, true, page, lossyImage);
        for (const ModuleEntry* module = process->modules->next; module != nullptr && !IsCancelRequested();
             module = module->next) {
            const bool lossy = WideToAnsi(module->path, path, sizeof path);
            WriteModuleEntry(path, false, page, lossy);
        }
    }
    FreeProcessList(list);
}

void CWindowsStuff::WriteModuleEntry(const char* path, bool processImage, Page page, bool lossyPath)
{
    if (path == nullptr) return;
    // The detail entry reads the file, so it takes the system root the
    // registry names.
    char fullPath[kModulePathSize];
    ModuleEntryPath(path, fullPath);

    char name[kNameSize];
    CopyText(name, FileNamePart(fullPath));

    // A path that lost characters names no file: looked up, its '?' would
    // find whichever file matches.
    if (lossyPath) {
        WriteUnreadableEntry(name, fullPath, page);
        return;
    }
    DWORD attributes = 0;
    FileStamp stamp;
    if (!LookUpModuleFile(fullPath, &attributes, &stamp)) {
        WriteUnreadableEntry(name, fullPath, page);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return;

    // The name is text, in the anchor and as the link text.
    HtmlText<kNameSize> shownName(name);
    char header[kHeaderSize];
    if (processImage) {
        // Short names are padded with no-break spaces so the links line up.
        char linkText[kNameHtmlSize + kImageLinkWidth];
        CopyText(linkText, shownName.c_str());
        for (size_t length = strlen(name); length < kImageLinkWidth; ++length) {
            AppendText(linkText, "\xA0");
        }
        FormatText(header,
                   "</div>\n<strong><a name=\"%s\">%s</a></strong><a href=\"#top\">to top of table</a>"
                   "<div style=\"margin-left: 40px;\">\n<BR>\n",
                   shownName.c_str(), linkText);
    } else {
        FormatText(header, "</div><div style=\"margin-left: 40px;\">\n<strong><a name=\"%s\">%s</a></strong>\n<BR>\n",
                   shownName.c_str(), shownName.c_str());
    }

    FileEntryRequest request;
    request.path = fullPath;
    request.page = page;
    request.withCrc = true;
    request.size = stamp.size;
    request.header = header;
    request.withVersion = true;
    request.stamp = &stamp;
    WriteFileEntry(request);
}

void CWindowsStuff::FeedModuleSignatures(SignatureFeed& feed)
{
    DWORD error = 0;
    ProcessEntry* list = EnumerateProcesses(true, &error);
    SubmitModuleFiles(list, [&feed](const char* path) { VerifySignatureAhead(feed, path); });
    FreeProcessList(list);
}

void CWindowsStuff::RunProcessLister64(const char* folder, const char* fileName, const char* title)
{
    if (Logging == 0) return;
    // The companion goes into the output folder this run has just made and
    // may write to; the program's own folder may be read-only.
    if (OutputRoot[0] == '\0') return;
    char programPath[kPathSize];
    if (!JoinPath(programPath, OutputRoot, kPidwalkFileName)) return;  // a cut path names another file

    if (ExtractResourceToFile(kPidwalkResourceId, kPidwalkResourceType, programPath)) {
        // Quoted: the output folder may hold blanks. The lister checks
        // signatures as this program does.
        char commandLine[kPathSize + 32];
        if (FormatText(commandLine, "\"%s\"%s", programPath, SignatureChecksEnabled() ? "" : " /NOSIGNATURES")) {
            const bool wow64Capable = IsWindows64Bit();
            if (wow64Capable) SwitchFsRedirection(true);
            // A lister still running when its time is up is ended: it could
            // not be deleted, and would land in the archive.
            RunCommandToFile(folder, fileName, title, nullptr, commandLine, kProgramWaitMs, true, CREATE_NO_WINDOW, 0,
                             LateProgram::End);
            if (wow64Capable) SwitchFsRedirection(false);
        }
    }
    DeleteFileA(programPath);
}

void CWindowsStuff::SwitchFsRedirection(bool disable)
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (disable) {
        auto disableRedirection = LookupProc<Wow64DisableFunction>(kernel, "Wow64DisableWow64FsRedirection");
        if (disableRedirection == nullptr) return;
        PVOID oldValue = nullptr;
        disableRedirection(&oldValue);
    } else {
        auto enableRedirection = LookupProc<Wow64EnableFunction>(kernel, "Wow64EnableWow64FsRedirection");
        if (enableRedirection == nullptr) return;
        enableRedirection(TRUE);
    }
}
