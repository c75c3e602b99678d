// The event log pages: one page per log (System, Application, Security),
// newest event first, the last 30 days, coloured by event type. This file
// holds the page itself, the export through the classic event log interface
// and the expansion of event messages from the sources' message files.
#include "system/windows_stuff.h"

#include "app/app_constants.h"
#include "app/app_state.h"
#include "app/run_journal.h"
#include "info/registry.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"
#include "system/event_message_cache.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

const char kEventLogKeyFormat[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\%s\\%s";
const char kPublishersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\WinEVT\\Publishers";
const char kNoMessageModule[] = "### Harvin: DLL could not be loaded ###";

constexpr DWORD kReadBufferSize = 65536;
// No record is near this size; a reader that asks for more is broken.
constexpr DWORD kMaxReadBufferSize = 16 * 1024 * 1024;
constexpr DWORD kReadNewestFirst = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;  // 9
constexpr long long kMaxEventAgeSeconds = 2592000;                                      // 30 days
constexpr long kMaxPageBytes = 52428800;                                                // 50 MiB
// Messages are held in their real size up to this many bytes (terminator
// included); longer ones are cut.
constexpr size_t kMessageLimit = 65536;
constexpr size_t kMessageFileListSize = 1040;
constexpr size_t kSourceKeySize = 520;
constexpr DWORD kMessageFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY;  // 0x2B00
constexpr DWORD kMessageLanguage = 1024;  // neutral: the user's default language
constexpr DWORD kMaxPublishers = 200000;
constexpr unsigned long long kFileTimeTicksPerSecond = 10000000ULL;
constexpr unsigned long long kFileTimeOf1970 = 116444736000000000ULL;

const ClassicEventLogFunctions kSystemClassicEventLog = {
    OpenEventLogA, GetNumberOfEventLogRecords, ReadEventLogA, CloseEventLog, GetSystemTimeAsFileTime,
    kKeptEventLibraries};

// ---- presentation -------------------------------------------------------------

struct EventStyle {
    WORD type;
    const char* label;
    const char* headerColour;  // null: plain header
    const char* lineColour;    // null: plain time, user and message lines
};

const EventStyle kEventStyles[] = {
    {EVENTLOG_ERROR_TYPE, "Error", "#ff0000", "#ff0000"},     {EVENTLOG_WARNING_TYPE, "Warning", "#ff8000", "#ff8000"},
    {EVENTLOG_INFORMATION_TYPE, "Info", nullptr, nullptr},    {EVENTLOG_AUDIT_SUCCESS, "Audit+", "#009500", "#009500"},
    {EVENTLOG_AUDIT_FAILURE, "Audit-", "#ff0000", "#ff0000"},
};
const EventStyle kUnknownStyle = {0, "Unknown", "#ff8000", nullptr};

const EventStyle& StyleOf(WORD type)
{
    for (const EventStyle& style : kEventStyles) {
        if (style.type == type) return style;
    }
    return kUnknownStyle;
}

// The opening and closing font tags around a coloured line, or nothing.
void OpenColour(Page page, const char* colour)
{
    if (colour != nullptr) AppendToPage(page, "<font color=\"%s\">", colour);
}
const char* CloseColour(const char* colour) { return colour != nullptr ? "</font>" : ""; }

// ---- records --------------------------------------------------------------------

// One record of the bytes read, after its checks: the fixed part copied out
// (records need not be aligned), and every text it holds ends inside it.
struct CheckedRecord {
    EVENTLOGRECORD fixed;
    const char* sourceName;
    const char* strings;  // fixed.NumStrings texts, each ended by a zero byte
    BYTE sid[SECURITY_MAX_SID_SIZE];
    bool hasSid;
};

// The offset just past the zero byte that ends the text at `from`, or 0 when
// no zero byte comes before `end`.
DWORD EndOfText(const BYTE* record, DWORD from, DWORD end)
{
    if (from >= end) return 0;
    const void* zero = memchr(record + from, 0, end - from);
    if (zero == nullptr) return 0;
    return static_cast<DWORD>(static_cast<const BYTE*>(zero) - record) + 1;
}

// False when the record's length is not at least its fixed part and within
// `available`, or when its source name, strings or SID reach outside it.
bool CheckRecord(const BYTE* at, DWORD available, CheckedRecord* record)
{
    const DWORD fixedSize = sizeof(EVENTLOGRECORD);
    if (available < fixedSize) return false;
    memcpy(&record->fixed, at, fixedSize);
    const EVENTLOGRECORD& fixed = record->fixed;
    if (fixed.Length < fixedSize || fixed.Length > available) return false;

    if (EndOfText(at, fixedSize, fixed.Length) == 0) return false;
    record->sourceName = reinterpret_cast<const char*>(at + fixedSize);

    record->strings = "";
    if (fixed.NumStrings > 0) {
        if (fixed.StringOffset < fixedSize) return false;
        DWORD offset = fixed.StringOffset;
        for (WORD i = 0; i < fixed.NumStrings; ++i) {
            offset = EndOfText(at, offset, fixed.Length);
            if (offset == 0) return false;
        }
        record->strings = reinterpret_cast<const char*>(at + fixed.StringOffset);
    }

    record->hasSid = fixed.UserSidLength != 0;
    if (record->hasSid) {
        if (fixed.UserSidOffset < fixedSize || fixed.UserSidOffset > fixed.Length ||
            fixed.UserSidLength > fixed.Length - fixed.UserSidOffset || fixed.UserSidLength > sizeof record->sid) {
            return false;
        }
        memcpy(record->sid, at + fixed.UserSidOffset, fixed.UserSidLength);
        if (!IsValidSid(record->sid) || GetLengthSid(record->sid) > fixed.UserSidLength) return false;
    }
    return true;
}

long long SecondsSince1970(const FILETIME& time)
{
    const unsigned long long ticks = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<long long>(ticks / kFileTimeTicksPerSecond) -
           static_cast<long long>(kFileTimeOf1970 / kFileTimeTicksPerSecond);
}

bool LocalTimeOf(DWORD secondsSince1970, SYSTEMTIME* local)
{
    const unsigned long long ticks = kFileTimeOf1970 + secondsSince1970 * kFileTimeTicksPerSecond;
    FILETIME utcTime;
    utcTime.dwLowDateTime = static_cast<DWORD>(ticks);
    utcTime.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc;
    return FileTimeToSystemTime(&utcTime, &utc) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, local);
}

long PageBytes(Page page)
{
    long bytes = page != nullptr ? ftell(page) : 0;
    return bytes < 0 ? 0 : bytes;
}

// ---- one event ------------------------------------------------------------------

void WriteEventHeader(Page page, const EventStyle& style, const char* sourceName, DWORD eventId)
{
    HtmlText<kPathSize> source(sourceName);
    const int shownId = static_cast<int>(eventId & 0xFFFF);
    if (style.headerColour != nullptr) {
        AppendToPage(page,
                     "<font color=\"%s\"><strong>%s</strong> (%s, ID: %d)<BR>\n<div style=\"margin-left: 40px;\">"
                     "</font>\n",
                     style.headerColour, source.c_str(), style.label, shownId);
    } else {
        AppendToPage(page, "<strong>%s</strong> (%s, ID: %d)<BR>\n<div style=\"margin-left: 40px;\">\n", source.c_str(),
                     style.label, shownId);
    }
}

void WriteEventTime(Page page, const char* colour, DWORD timeGenerated)
{
    OpenColour(page, colour);
    SYSTEMTIME local;
    if (LocalTimeOf(timeGenerated, &local)) {
        AppendToPage(page, "Date, Time (LOC): %02d.%02d.%04d, %02d:%02d:%02d<BR>%s\n", local.wDay, local.wMonth,
                     local.wYear, local.wHour, local.wMinute, local.wSecond, CloseColour(colour));
    } else {
        AppendToPage(page, "Date, Time (LOC): [Invalid Time]<BR>%s\n", CloseColour(colour));
    }
}

// The account of the record's SID; nothing when the lookup fails.
void WriteEventUser(Page page, const char* colour, const CheckedRecord& record)
{
    char name[kPathSize] = "-";
    if (record.hasSid) {
        DWORD nameSize = sizeof name;
        char domain[kPathSize];
        DWORD domainSize = sizeof domain;
        SID_NAME_USE use;
        if (!LookupAccountSidA(nullptr, const_cast<BYTE*>(record.sid), name, &nameSize, domain, &domainSize, &use)) {
            return;
        }
    }
    OpenColour(page, colour);
    AppendToPage(page, "User: %s\n<BR>%s\n", HtmlText<kPathSize>(name).c_str(), CloseColour(colour));
}

// What the export keeps of a source for `what`: the key path names source
// and log; the name tells sources apart whose path did not fit.
std::string SourceTextKey(const char* what, const char* sourceKeyPath, const char* sourceName = "")
{
    return std::string(what) + '\0' + sourceKeyPath + '\0' + sourceName;
}

void WriteEventMessage(Page page, const char* colour, const char* logName, const CheckedRecord& record)
{
    char sourceKey[kSourceKeySize];
    std::string messageFiles;
    // A cut key path would name another source: then there are no message files.
    if (FormatText(sourceKey, kEventLogKeyFormat, logName, record.sourceName)) {
        messageFiles = KeptSourceText(SourceTextKey("EventMessageFile", sourceKey), [&sourceKey] {
            char files[kSourceKeySize] = "";
            ReadStringValue(HKEY_LOCAL_MACHINE, sourceKey, "EventMessageFile", files, sizeof files, "", RegistryView32);
            return std::string(files);
        });
    } else {
        sourceKey[0] = '\0';
    }
    std::string message;
    if (!CWindowsStuff::ExpandEventMessage(sourceKey, record.strings, record.fixed.EventID, record.fixed.NumStrings,
                                           messageFiles, record.sourceName, &message)) {
        AppendToPage(page, "%s", kNoMessageModule);
        return;
    }
    OpenColour(page, colour);
    AppendToPage(page, "<strong>Message:</strong> ");
    WriteHtmlText(page, message.c_str());
    AppendToPage(page, "%s\n<BR>", CloseColour(colour));
}

void WriteClassicEvent(Page page, const char* logName, const CheckedRecord& record)
{
    const EventStyle& style = StyleOf(record.fixed.EventType);
    WriteEventHeader(page, style, record.sourceName, record.fixed.EventID);
    WriteEventTime(page, style.lineColour, record.fixed.TimeGenerated);
    WriteEventUser(page, style.lineColour, record);
    WriteEventMessage(page, style.lineColour, logName, record);
    AppendToPage(page, "</div><BR>\n");
}

// ---- the export -------------------------------------------------------------------

enum class WalkResult { NextRead, Stopped, PageFull };

struct ClassicExport {
    const char* logName;
    Page page;
    long long nowSeconds;
    int exported;
    bool complete;  // read to the end of the log, or to the age or size limit
};

// An error event of the last days goes into the run's journal with its source.
void NoteRecentError(const ClassicExport& run, const CheckedRecord& record)
{
    const long long age = run.nowSeconds - static_cast<long long>(record.fixed.TimeGenerated);
    if (record.fixed.EventType == EVENTLOG_ERROR_TYPE && age <= kRecentErrorDays * 86400LL) {
        JournalNoteRecentError(run.logName, record.sourceName);
    }
}

void WriteReadError(Page page, DWORD error)
{
    char text[96];
    FormatText(text, "[The end of the eventlog has not been reached, error %d occured]", static_cast<int>(error));
    AppendFailureText(page, text);
}

// Writes the records of one read, newest first, until one is older than 30
// days, the page is full, a record is malformed or the user cancels.
WalkResult WalkRecords(ClassicExport& run, const BYTE* bytes, DWORD bytesRead)
{
    DWORD offset = 0;
    while (offset < bytesRead) {
        CheckedRecord record;
        if (!CheckRecord(bytes + offset, bytesRead - offset, &record)) {
            WriteReadError(run.page, ERROR_INVALID_DATA);
            return WalkResult::Stopped;
        }
        if (run.nowSeconds - static_cast<long long>(record.fixed.TimeGenerated) > kMaxEventAgeSeconds) {
            run.complete = true;
            return WalkResult::Stopped;
        }
        if (PageBytes(run.page) > kMaxPageBytes) {
            run.complete = true;
            return WalkResult::PageFull;
        }

        ++run.exported;
        CHarvinDlg::AdvanceFileCounter();
        WriteClassicEvent(run.page, run.logName, record);
        NoteRecentError(run, record);
        if (IsCancelRequested()) {
            AppendFailureText(run.page,
                              "[The process was aborted by other task, the end of the eventlog has not been reached]");
            return WalkResult::Stopped;
        }
        offset += record.fixed.Length;
    }
    return WalkResult::NextRead;
}

std::unique_ptr<BYTE[]> AllocateReadBuffer(DWORD size)
{
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[size]);
}

// Reads and writes until the end of the log or a stop; true when the walk
// stopped at the page size limit.
bool ReadAllRecords(ClassicExport& run, const ClassicEventLogFunctions& api, HANDLE log,
                    std::unique_ptr<BYTE[]>& buffer, DWORD& bufferSize)
{
    for (;;) {
        DWORD bytesRead = 0;
        DWORD bytesNeeded = 0;
        if (!api.readLog(log, kReadNewestFirst, 0, buffer.get(), bufferSize, &bytesRead, &bytesNeeded)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) {
                run.complete = true;
                return false;
            }
            // The next record does not fit: read it again into a buffer of its size.
            if (error == ERROR_INSUFFICIENT_BUFFER && bytesNeeded >= bufferSize && bytesNeeded < kMaxReadBufferSize) {
                std::unique_ptr<BYTE[]> grown = AllocateReadBuffer(bytesNeeded + 1);
                if (grown) {
                    buffer = std::move(grown);
                    bufferSize = bytesNeeded + 1;
                    continue;
                }
                WriteReadError(run.page, ERROR_NOT_ENOUGH_MEMORY);
                return false;
            }
            WriteReadError(run.page, error);
            return false;
        }
        // A read that brings nothing would be repeated forever.
        if (bytesRead == 0) return false;
        const WalkResult result = WalkRecords(run, buffer.get(), std::min(bytesRead, bufferSize));
        if (result != WalkResult::NextRead) return result == WalkResult::PageFull;
    }
}

// ---- messages -------------------------------------------------------------------------

// Cut to the message limit, terminator included.
void CutMessage(std::string& text)
{
    if (text.size() > kMessageLimit - 1) text.resize(kMessageLimit - 1);
}

// Message `id` of a loaded module; false when it has none (or it cannot be formatted).
bool FormatFromModule(HMODULE module, DWORD id, std::string* text)
{
    // The allocated buffer takes the message's own size: a minimum of 32 KiB
    // or more is refused as an invalid parameter.
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(kMessageFlags, module, id, kMessageLanguage, reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (buffer == nullptr) return false;
    text->assign(buffer, length);
    LocalFree(buffer);
    CutMessage(*text);
    return length != 0;
}

// Loads a message module without running it. A 32-bit program on 64-bit
// Windows may be pointed at the real system folder: it tries again with
// redirection off, then as a plain data file.
HMODULE LoadMessageModule(const char* path)
{
    HMODULE module = LoadLibraryExA(path, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (module != nullptr) return module;
    if (IsWindows64Bit()) {
        FsRedirectionOff redirectionOff;
        module = LoadLibraryExA(path, nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (module == nullptr) module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module != nullptr) return module;
    }
    return LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

// The source's parameter message file with its environment strings
// expanded; empty when it has none (or it does not fit).
std::string ParameterMessageFile(const char* sourceKeyPath)
{
    char file[kPathSize];
    if (!ReadStringValue(HKEY_LOCAL_MACHINE, sourceKeyPath, "ParameterMessageFile", file, sizeof file, "",
                         RegistryView32)) {
        return std::string();
    }
    char expanded[kPathSize];
    const DWORD needed = ExpandEnvironmentStringsA(file, expanded, sizeof expanded);
    if (needed == 0 || needed > sizeof expanded) return std::string();
    return expanded;
}

// The "MessageFileName" of every publisher below `basePath` whose default
// value is the source name, joined with ";".
std::string SearchPublishersByName(const char* basePath, const char* sourceName)
{
    std::string files;
    ScopedRegKey key;
    const REGSAM access = KEY_READ | (IsWindows64Bit() ? RegistryView64 : 0);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, basePath, 0, access, key.Receive()) != ERROR_SUCCESS) return files;
    for (DWORD index = 0; index < kMaxPublishers; ++index) {
        char name[kPathSize];
        DWORD nameLength = sizeof name;
        const LONG status = RegEnumKeyExA(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // no publisher key has such a name
        if (status != ERROR_SUCCESS) break;
        char publisher[kSourceKeySize];
        if (!JoinPath(publisher, basePath, name)) continue;
        char defaultValue[kPathSize];
        ReadStringValue(HKEY_LOCAL_MACHINE, publisher, "", defaultValue, sizeof defaultValue, "", RegistryView64);
        if (strcmp(defaultValue, sourceName) != 0) continue;
        char file[kPathSize];
        if (!ReadStringValue(HKEY_LOCAL_MACHINE, publisher, "MessageFileName", file, sizeof file, "", RegistryView64)) {
            continue;
        }
        if (!files.empty()) files += ';';
        files += file;
    }
    return files;
}

// The message files of a source registered only with the newer event system.
std::string PublisherMessageFiles(const char* sourceKeyPath, const char* sourceName)
{
    char guid[kPathSize];
    if (!ReadStringValue(HKEY_LOCAL_MACHINE, sourceKeyPath, "ProviderGuid", guid, sizeof guid, "", RegistryView32)) {
        return SearchPublishersByName(kPublishersKey, sourceName);
    }
    char publisher[kSourceKeySize];
    if (!JoinPath(publisher, kPublishersKey, guid)) return std::string();
    char file[kPathSize - 1];
    if (ReadStringValue(HKEY_LOCAL_MACHINE, publisher, "MessageFileName", file, sizeof file, "", RegistryView64)) {
        return file;
    }
    return SearchPublishersByName(publisher, sourceName);
}

// The next module name of a ";" list, without surrounding blanks; empty
// pieces are passed over. False at the end of the list.
bool NextModule(const char*& list, std::string* module)
{
    while (*list == ';' || *list == ' ') ++list;
    if (*list == '\0') return false;
    const char* end = strchr(list, ';');
    if (end == nullptr) end = list + strlen(list);
    module->assign(list, end);
    while (!module->empty() && module->back() == ' ') module->pop_back();
    list = end;
    return true;
}

}  // namespace

void CWindowsStuff::CollectEventLog(const char* folder, const char* fileName, UINT statusTextId, const char* title,
                                    const char* logName, const EventLogFunctions& functions)
{
    if (Logging == 0) return;
    Page page = CreateReportPage(folder, fileName, statusTextId, title, title, 1);
    if (page == nullptr) return;
    FileCounter = 0;
    // Windows 6 and later still serve the classic interface: it fills the
    // page when the newer one cannot be used.
    if (!IsWindows6OrLater() || ExportModernEventLog(logName, folder, page, functions.modern) != 0) {
        ExportClassicEventLog(logName, page, functions.classic);
    }
    AppendToPage(page, "<BR>\nThese are the collected Events from the last 30 days.\n<BR>\n");
    FinalizePage(page);
}

void CWindowsStuff::ExportClassicEventLog(const char* logName, Page page, const ClassicEventLogFunctions* functions)
{
    const ClassicEventLogFunctions& api = functions != nullptr ? *functions : kSystemClassicEventLog;
    DWORD bufferSize = kReadBufferSize;
    std::unique_ptr<BYTE[]> buffer = AllocateReadBuffer(bufferSize);
    if (!buffer) {
        AppendFailureText(page, "[Error allocating buffer]");
        AppendLiteral(page, "\n<BR>\n");
        return;
    }
    HANDLE log = api.openLog(nullptr, logName);
    if (log == nullptr) {
        AppendFailureText(page, "[Error opening the eventlog]");
        AppendLiteral(page, "\n<BR>\n");
        return;
    }
    DWORD recordCount = 0;
    if (!api.countRecords(log, &recordCount)) {
        AppendFailureText(page, "[Error reading number of eventlog entries]");
        AppendLiteral(page, "\n<BR>\n");
        api.closeLog(log);
        return;
    }

    FILETIME now;
    api.currentTime(&now);
    ClassicExport run = {logName, page, SecondsSince1970(now), 0, false};
    bool pageFull = false;
    {
        // The message libraries and source texts of this export, freed when it ends.
        EventMessageCacheScope messageCache(api.keptMessageLibraries);
        pageFull = ReadAllRecords(run, api, log, buffer, bufferSize);
    }
    api.closeLog(log);
    if (run.complete) JournalNoteEventLogRead(logName);

    AppendToPage(page, "Total Events: %d\n", run.exported);
    // Only the size limit leaves recent events out without saying so.
    if (pageFull) AppendFailureText(page, "[The end of the eventlog (EOF) has not been reached]");
    if (recordCount == 0) AppendToPage(page, "[FILE IS EMPTY]");
}

bool CWindowsStuff::ExpandEventMessage(const char* sourceKeyPath, const char* strings, DWORD eventId, DWORD stringCount,
                                       std::string& messageFiles, const char* sourceName, std::string* message)
{
    message->clear();
    if (messageFiles.empty()) {
        messageFiles = KeptSourceText(SourceTextKey("Publishers", sourceKeyPath, sourceName),
                                      [=] { return PublisherMessageFiles(sourceKeyPath, sourceName); });
    }
    char expanded[kMessageFileListSize];
    const DWORD needed = ExpandEnvironmentStringsA(messageFiles.c_str(), expanded, sizeof expanded);
    if (needed == 0 || needed > sizeof expanded) return false;

    bool found = false;
    std::string module;
    ParameterMessageCache parameters(sourceKeyPath);
    for (const char* list = expanded; NextModule(list, &module);) {
        MessageLibrary library(module, LoadMessageModule);
        if (!library) {
            message->clear();
            return false;
        }
        std::string text;
        if (!FormatFromModule(library.Get(), eventId, &text)) continue;
        // The second pass expands what the first one inserted ("%%1833" in a string).
        const std::string inserted = InsertEventStrings(sourceKeyPath, text, strings, stringCount, &parameters);
        *message = InsertEventStrings(sourceKeyPath, inserted, strings, stringCount, &parameters);
        found = true;
    }
    return found;
}

ParameterMessageCache::ParameterMessageCache(const char* sourceKeyPath) : sourceKeyPath_(sourceKeyPath) {}
ParameterMessageCache::~ParameterMessageCache() = default;

std::string ParameterMessageCache::Text(DWORD id)
{
    for (size_t i = 0; i < keptCount_; ++i) {
        if (kept_[i].id == id) return kept_[i].text;
    }
    if (loads_ == 0) {
        loads_ = 1;  // once, found or not
        const std::string file = KeptSourceText(SourceTextKey("ParameterMessageFile", sourceKeyPath_),
                                                [this] { return ParameterMessageFile(sourceKeyPath_); });
        if (!file.empty()) module_ = std::make_unique<MessageLibrary>(file, LoadMessageModule);
    }
    std::string text;
    if (module_ && *module_) FormatFromModule(module_->Get(), id, &text);
    kept_[nextSlot_] = KeptText{id, text};
    nextSlot_ = (nextSlot_ + 1) % kKeptTexts;
    if (keptCount_ < kKeptTexts) ++keptCount_;
    return text;
}

std::string CWindowsStuff::InsertEventStrings(const char* sourceKeyPath, const std::string& text, const char* strings,
                                              DWORD stringCount, ParameterMessageCache* parameters)
{
    ParameterMessageCache ownParameters(sourceKeyPath);
    if (parameters == nullptr) parameters = &ownParameters;
    std::vector<const char*> inserts;
    for (const char* s = strings; s != nullptr && inserts.size() < stringCount; s += strlen(s) + 1) {
        inserts.push_back(s);
    }

    std::string result;
    size_t at = 0;
    while (at < text.size() && result.size() < kMessageLimit - 1) {
        if (text[at] != '%') {
            result += text[at++];
            continue;
        }
        const bool parameter = at + 1 < text.size() && text[at + 1] == '%';
        const size_t digits = at + (parameter ? 2 : 1);
        size_t end = digits;
        unsigned long long number = 0;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            if (number <= 0xFFFFFFFFULL) number = number * 10 + static_cast<unsigned>(text[end] - '0');
            ++end;
        }
        if (end == digits || number == 0) {
            result.append(parameter ? "%%" : "%");
            at = digits;
            continue;
        }
        if (parameter) {
            if (number <= 0xFFFFFFFFULL) result += parameters->Text(static_cast<DWORD>(number));
        } else if (number <= inserts.size()) {
            result += inserts[number - 1];
        } else {
            result.append(text, at, end - at);  // no such string: the mark stays
        }
        at = end;
    }
    CutMessage(result);
    return result;
}
