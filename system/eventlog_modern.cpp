// The event log pages on Windows 6 and later, through the newer event log
// interface of Wevtapi.dll (looked up at run time, so the program still
// starts on older Windows), and the copies of the raw event log files.
#include "system/windows_stuff.h"

#include "app/app_constants.h"
#include "app/run_journal.h"
#include "info/file_collection.h"
#include "platform/bounded_lru.h"
#include "platform/bounded_text.h"
#include "platform/local_zone.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kAllEventsQuery[] = L"<QueryList><Query><Select>*</Select></Query></QueryList>";
const wchar_t kProviderPath[] = L"Event/System/Provider/@Name";
const wchar_t kLevelPath[] = L"Event/System/Level";
const wchar_t kEventIdPath[] = L"Event/System/EventID";
const wchar_t kKeywordsPath[] = L"Event/System/Keywords";
const wchar_t kTimePath[] = L"Event/System/TimeCreated/@SystemTime";
// The account the event names, shown as its user like the classic page does
// (every event of a local log has the same computer).
const wchar_t kUserPath[] = L"Event/System/Security/@UserID";

constexpr DWORD kQueryChannelNewestFirst = 0x201;  // channel path, reverse direction
constexpr DWORD kRenderContextValues = 0;
constexpr DWORD kRenderValues = 0;
constexpr DWORD kRenderXml = 1;
constexpr DWORD kFormatEventMessage = 1;
constexpr DWORD kBatchSize = 20;
constexpr DWORD kInitialRenderBytes = 1024;
constexpr DWORD kInitialMessageChars = 1024;
// Nothing an event renders comes near this; a larger request is refused.
constexpr DWORD kMaxBufferBytes = 16 * 1024 * 1024;
constexpr long long kMaxEventAgeSeconds = 2592000;  // 30 days
constexpr long kMaxPageBytes = 52428800;            // 50 MiB
constexpr size_t kFieldSize = 260;
constexpr unsigned long long kFileTimeTicksPerSecond = 10000000ULL;

// ---- the per-event texts ------------------------------------------------------------

struct LevelStyle {
    const wchar_t* text;
    const char* colour;   // null: no colour
    bool colourToTheEnd;  // the font closes after the message, not after the header
};

// The levels an event's own level value names; any other value is unknown.
struct NamedLevel {
    int level;
    LevelStyle style;
};
const NamedLevel kNamedLevels[] = {
    {0, {L"Info", nullptr, false}},
    {1, {L"Critical", "#ff0000", true}},
    {2, {L"Error", "#ff0000", true}},
    {3, {L"Warning", "#ff8000", false}},
    {4, {L"Info", nullptr, false}},
};
const LevelStyle kUnknownLevel = {L"Unknown", nullptr, false};
// The audit styles belong to the Security log alone, which takes them from
// the event id: a level value of 8 or 16 in another log is not an audit.
const LevelStyle kAuditSuccess = {L"Audit+", "#009500", false};
const LevelStyle kAuditFailure = {L"Audit-", "#ff0000", true};

const LevelStyle& LevelStyleOf(int level)
{
    for (const NamedLevel& named : kNamedLevels) {
        if (named.level == level) return named.style;
    }
    return kUnknownLevel;
}

// Security events whose id means a failed audit.
bool IsAuditFailureId(unsigned id) { return id == 5032 || id == 5038 || id == 5152; }

struct ModernEventTexts {
    wchar_t source[kFieldSize];
    wchar_t levelText[kFieldSize];
    wchar_t idText[kFieldSize];
    wchar_t timeText[kFieldSize];
    wchar_t user[kFieldSize];
    const LevelStyle* style;
};

void SetStyle(ModernEventTexts& texts, const LevelStyle& style)
{
    texts.style = &style;
    CopyText(texts.levelText, style.text);
}

// Every text of the event before is gone: a field that does not render stays empty.
void ClearTexts(ModernEventTexts& texts)
{
    texts.source[0] = L'\0';
    texts.idText[0] = L'\0';
    texts.timeText[0] = L'\0';
    texts.user[0] = L'\0';
    SetStyle(texts, kUnknownLevel);
}

// ---- owned Wevtapi handles ------------------------------------------------------------

class ScopedEvent {
public:
    ScopedEvent(const ModernEventLogFunctions& api, EventHandle handle) : api_(api), handle_(handle) {}
    ~ScopedEvent() { Close(); }
    ScopedEvent(ScopedEvent&& other) noexcept : api_(other.api_), handle_(other.handle_) { other.handle_ = nullptr; }
    ScopedEvent(const ScopedEvent&) = delete;
    ScopedEvent& operator=(const ScopedEvent&) = delete;
    EventHandle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Close()
    {
        if (handle_ != nullptr) {
            const DWORD error = GetLastError();
            api_.close(handle_);
            SetLastError(error);
        }
        handle_ = nullptr;
    }

private:
    const ModernEventLogFunctions& api_;
    EventHandle handle_;
};

// The events of one EvtNext call, closed together.
struct EventBatch {
    explicit EventBatch(const ModernEventLogFunctions& api) : api(api) {}
    ~EventBatch()
    {
        for (DWORD i = 0; i < count; ++i) {
            if (events[i] != nullptr) api.close(events[i]);
        }
    }
    EventBatch(const EventBatch&) = delete;
    EventBatch& operator=(const EventBatch&) = delete;

    const ModernEventLogFunctions& api;
    EventHandle events[kBatchSize] = {};
    DWORD count = 0;
};

// A provider's publisher metadata as EvtOpenPublisherMetadata gave it: the
// handle, or the error that refused it.
struct PublisherMetadata {
    ScopedEvent handle;
    DWORD error;
};

// ---- the export ---------------------------------------------------------------------------

struct ModernExport {
    ModernExport(const ModernEventLogFunctions& functions, Page target, const char* log)
        : api(functions),
          page(target),
          logName(log),
          security(strcmp(log, "Security") == 0),
          renderBuffer(kInitialRenderBytes),
          messageBuffer(kInitialMessageChars),
          publishers(kKeptEventLibraries),
          size(target, kMaxPageBytes)
    {
    }

    const ModernEventLogFunctions& api;
    Page page;
    const char* logName;
    bool security;
    // Grown when an event needs more, and kept for the events after it.
    std::vector<BYTE> renderBuffer;
    std::vector<wchar_t> messageBuffer;
    ModernEventTexts texts = {};
    long long ageSeconds = 0;  // of the current event; unknown: beyond every limit
    int written = 0;
    // Opened on a provider's first event and kept for the export: a log names
    // few providers, each many times.
    BoundedLru<std::wstring, PublisherMetadata> publishers;
    PageSizeWatch size;
    LocalZone zone;
};

// Renders into the export's buffer, grown once to the reported size when it
// is too small. The rendered bytes are terminated by two zero bytes after
// `used`, so a rendered text always ends inside the buffer.
bool RenderInto(ModernExport& run, EventHandle context, EventHandle event, DWORD flags, DWORD* used)
{
    DWORD count = 0;
    *used = 0;
    const DWORD size = static_cast<DWORD>(run.renderBuffer.size()) - sizeof(wchar_t);
    if (!run.api.render(context, event, flags, size, run.renderBuffer.data(), used, &count)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || *used <= size || *used > kMaxBufferBytes) return false;
        run.renderBuffer.resize(*used + sizeof(wchar_t));
        if (!run.api.render(context, event, flags, *used, run.renderBuffer.data(), used, &count)) return false;
    }
    if (*used > run.renderBuffer.size() - sizeof(wchar_t)) return false;
    run.renderBuffer[*used] = 0;
    run.renderBuffer[*used + 1] = 0;
    return true;
}

// The single value a context of one path rendered; null when there is none.
const EventVariant* RenderedValue(const ModernExport& run, DWORD used)
{
    if (used < sizeof(EventVariant)) return nullptr;
    return reinterpret_cast<const EventVariant*>(run.renderBuffer.data());
}

long long SecondsOf(const FILETIME& time)
{
    return static_cast<long long>(((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
                                  kFileTimeTicksPerSecond);
}

// The number of exactly `digits` decimal digits at `text`, then `separator`
// (none when 0); `text` moves past both.
bool ReadTimeField(const wchar_t*& text, int digits, wchar_t separator, WORD* value)
{
    *value = 0;
    for (int i = 0; i < digits; ++i, ++text) {
        if (*text < L'0' || *text > L'9') return false;
        *value = static_cast<WORD>(*value * 10 + (*text - L'0'));
    }
    if (separator == 0) return true;
    return *text++ == separator;
}

// "2024-03-09T10:20:30" of the text after SystemTime= in the event's XML, as
// a UTC time; false when it is not there or no valid time.
bool ParseSystemTime(const wchar_t* xml, SYSTEMTIME* utc)
{
    const wchar_t* start = wcsstr(xml, L"SystemTime='");
    if (start == nullptr) start = wcsstr(xml, L"SystemTime=\"");
    if (start == nullptr) return false;
    const wchar_t* text = start + wcslen(L"SystemTime='");
    memset(utc, 0, sizeof *utc);
    FILETIME check;
    return ReadTimeField(text, 4, L'-', &utc->wYear) && ReadTimeField(text, 2, L'-', &utc->wMonth) &&
           ReadTimeField(text, 2, L'T', &utc->wDay) && ReadTimeField(text, 2, L':', &utc->wHour) &&
           ReadTimeField(text, 2, L':', &utc->wMinute) && ReadTimeField(text, 2, 0, &utc->wSecond) &&
           SystemTimeToFileTime(utc, &check);
}

// The time text from the event's XML. False when the event cannot be
// rendered or is older than 30 days; a time that cannot be read counts as recent.
bool RenderEventTime(ModernExport& run, EventHandle event)
{
    DWORD used = 0;
    if (!RenderInto(run, nullptr, event, kRenderXml, &used)) return false;
    SYSTEMTIME utc;
    SYSTEMTIME local;
    FILETIME created;
    if (!ParseSystemTime(reinterpret_cast<const wchar_t*>(run.renderBuffer.data()), &utc) ||
        !SystemTimeToFileTime(&utc, &created) || !run.zone.ToLocal(utc, &local)) {
        CopyText(run.texts.timeText, L"Date, Time (LOC): [Invalid Time]");
        run.ageSeconds = LLONG_MAX;
        return true;
    }
    FormatText(run.texts.timeText, L"Date, Time (LOC): %02d.%02d.%04d, %02d:%02d:%02d", local.wDay, local.wMonth,
               local.wYear, local.wHour, local.wMinute, local.wSecond);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    run.ageSeconds = SecondsOf(now) - SecondsOf(created);
    return run.ageSeconds <= kMaxEventAgeSeconds;
}

// The account name of a SID; empty when it cannot be looked up.
void AccountName(PSID sid, wchar_t* name, DWORD capacity)
{
    wchar_t domain[kFieldSize];
    DWORD domainSize = kFieldSize;
    SID_NAME_USE use;
    name[0] = L'\0';
    if (sid == nullptr || !IsValidSid(sid) ||
        !LookupAccountSidW(nullptr, sid, name, &capacity, domain, &domainSize, &use)) {
        name[0] = L'\0';
    }
}

// Fills the text that `path` names from the event (for "Keywords", the
// Security log's audit level from the event id). False when it cannot be
// rendered, or for the time when the event is older than 30 days.
bool RenderEventField(ModernExport& run, EventHandle event, const wchar_t* path)
{
    if (wcsstr(path, L"@SystemTime") != nullptr) return RenderEventTime(run, event);
    const bool keywords = wcsstr(path, L"Keywords") != nullptr;
    const wchar_t* contextPath = keywords ? kEventIdPath : path;
    ScopedEvent context(run.api, run.api.createRenderContext(1, &contextPath, kRenderContextValues));
    if (!context) return false;
    DWORD used = 0;
    if (!RenderInto(run, context.Get(), event, kRenderValues, &used)) return false;
    const EventVariant* value = RenderedValue(run, used);
    if (value == nullptr) return false;
    switch (value->type) {
        case EventVariantString:
            CopyText(run.texts.user, value->stringValue != nullptr ? value->stringValue : L"");
            break;
        case EventVariantSid:
            AccountName(value->sidValue, run.texts.user, kFieldSize);
            break;
        case EventVariantNull:
            if (wcscmp(path, kUserPath) == 0) CopyText(run.texts.user, L"-");  // the event names no account
            break;
        case EventVariantByte:
            SetStyle(run.texts, LevelStyleOf(value->byteValue));
            break;
        case EventVariantUInt16:
            if (keywords) {
                SetStyle(run.texts, IsAuditFailureId(value->uint16Value) ? kAuditFailure : kAuditSuccess);
            } else {
                FormatText(run.texts.idText, L"%u", static_cast<unsigned>(value->uint16Value));
            }
            break;
        default:
            break;
    }
    return true;
}

// The event's message, its buffer grown once when too small. False when it
// cannot be formatted.
bool FormatEventMessage(ModernExport& run, EventHandle metadata, EventHandle event)
{
    DWORD used = 0;
    DWORD size = static_cast<DWORD>(run.messageBuffer.size()) - 1;
    if (!run.api.formatMessage(metadata, event, 0, 0, nullptr, kFormatEventMessage, size, run.messageBuffer.data(),
                               &used)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || used <= size || used > kMaxBufferBytes / sizeof(wchar_t)) {
            return false;
        }
        run.messageBuffer.resize(used + 1);
        size = used;
        if (!run.api.formatMessage(metadata, event, 0, 0, nullptr, kFormatEventMessage, size, run.messageBuffer.data(),
                                   &used)) {
            return false;
        }
    }
    // The message ends inside the buffer whatever the interface wrote.
    run.messageBuffer[std::min<size_t>(used, size)] = L'\0';
    return true;
}

// The message in the ANSI code page, in a buffer the conversion itself sized.
std::vector<char> MessageToAnsi(const wchar_t* message)
{
    BOOL usedDefault = FALSE;
    int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, message, -1, nullptr, 0, "?", &usedDefault);
    // UTF-8 as the ANSI code page takes neither the flag nor a default character.
    if (needed <= 0) needed = WideCharToMultiByte(CP_ACP, 0, message, -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> text(needed > 0 ? static_cast<size_t>(needed) : 1, '\0');
    WideToAnsiText(message, text.data(), text.size());
    return text;
}

// One field as HTML text in the ANSI code page.
class FieldText {
public:
    explicit FieldText(const wchar_t* text)
    {
        char ansi[kFieldSize];
        WideToAnsiText(text, ansi, sizeof ansi);
        CopyHtmlText(html_, ansi);
    }
    const char* c_str() const { return html_; }

private:
    char html_[HtmlTextSize(kFieldSize)];
};

void WriteModernEvent(const wchar_t* message, Page page, const ModernEventTexts& texts)
{
    const LevelStyle& style = *texts.style;
    if (style.colour != nullptr) AppendToPage(page, "<font color=\"%s\">", style.colour);
    AppendToPage(page,
                 "<strong>%s</strong> (%s, ID: %s)<BR>\n<div style=\"margin-left: 40px;\">%s\n%s\n<BR>User: %s\n"
                 "<BR><strong>Message: </strong>",
                 FieldText(texts.source).c_str(), FieldText(texts.levelText).c_str(), FieldText(texts.idText).c_str(),
                 style.colour != nullptr && !style.colourToTheEnd ? "</font>" : "", FieldText(texts.timeText).c_str(),
                 FieldText(texts.user).c_str());
    WriteHtmlText(page, MessageToAnsi(message).data());
    AppendToPage(page, "<BR><BR></div>\n%s", style.colourToTheEnd ? "</font>" : "");
}

// A critical or error event of the last days goes into the run's journal with its source.
void NoteRecentError(const ModernExport& run)
{
    const LevelStyle* style = run.texts.style;
    if (style != &LevelStyleOf(1) && style != &LevelStyleOf(2)) return;  // critical or error levels only
    if (run.ageSeconds > kRecentErrorDays * 86400LL) return;
    char source[kFieldSize];
    WideToAnsiText(run.texts.source, source, sizeof source);
    JournalNoteRecentError(run.logName, source);
}

// A diagnostic on the standard output (not part of the page).
void Diagnose(const wchar_t* text, DWORD error)
{
    fwprintf(stdout, L"%ls%lu\n", text, static_cast<unsigned long>(error));
}

// The provider's metadata, opened on its first event (a refusal is kept too).
// Valid until the next provider's is asked for.
const PublisherMetadata& ProviderMetadata(ModernExport& run, const std::wstring& provider)
{
    if (const PublisherMetadata* kept = run.publishers.Find(provider)) return *kept;
    ScopedEvent handle(run.api, run.api.openPublisherMetadata(nullptr, provider.c_str(), nullptr, 0, 0));
    const DWORD error = handle ? ERROR_SUCCESS : GetLastError();
    return *run.publishers.Insert(provider, PublisherMetadata{std::move(handle), error});
}

// Writes one event; false when the export ends here (too old, page full).
bool ExportEvent(ModernExport& run, EventHandle event, EventHandle providerContext)
{
    DWORD used = 0;
    if (!RenderInto(run, providerContext, event, kRenderValues, &used)) return true;
    const EventVariant* provider = RenderedValue(run, used);
    if (provider == nullptr || provider->type != EventVariantString || provider->stringValue == nullptr) return true;
    // The render buffer is reused by every field: the name is kept whole for the metadata.
    const std::wstring providerName(provider->stringValue);
    fwprintf(stdout, L"Publisher name: %ls\n", providerName.c_str());

    ClearTexts(run.texts);
    CopyText(run.texts.source, providerName.c_str());
    RenderEventField(run, event, kLevelPath);
    RenderEventField(run, event, kEventIdPath);
    if (run.security) RenderEventField(run, event, kKeywordsPath);
    if (!RenderEventField(run, event, kTimePath)) return false;
    if (run.size.Over()) return false;
    RenderEventField(run, event, kUserPath);

    const PublisherMetadata& metadata = ProviderMetadata(run, providerName);
    if (!metadata.handle) {
        Diagnose(L"EvtOpenPublisherMetadata failed: ", metadata.error);
        return true;
    }
    if (!FormatEventMessage(run, metadata.handle.Get(), event)) {
        Diagnose(L"EvtFormatMessage failed: ", GetLastError());
        return true;
    }
    if (run.size.Over()) return false;
    // Each character of the message and the fields an entity at most, and the markup.
    run.size.WillWrite(6ULL * wcslen(run.messageBuffer.data()) + 6ULL * 5 * kFieldSize + 1024);
    WriteModernEvent(run.messageBuffer.data(), run.page, run.texts);
    ++run.written;
    NoteRecentError(run);
    return true;
}

void WriteUnusable(Page page, const char* step, DWORD error)
{
    char text[300];
    FormatText(text,
               "[The newer event log interface could not be used: %s failed with error %lu. "
               "The events below were read through the classic event log interface.]",
               step, static_cast<unsigned long>(error));
    AppendFailureText(page, text);
    AppendLiteral(page, "\n<BR>\n");
}

// 0 after the export; 1 (with the bracketed line) when it cannot start.
int ExportModernEvents(const ModernEventLogFunctions& api, const char* logName, Page page)
{
    wchar_t channel[kPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, logName, -1, channel, kPathSize) == 0) {
        WriteUnusable(page, "MultiByteToWideChar", GetLastError());
        return 1;
    }
    // A query that fails without saying why (Wine's returns nothing) shows
    // error 0, not an older error of the thread; it is checked before
    // anything else is called.
    SetLastError(ERROR_SUCCESS);
    ScopedEvent query(api, api.query(nullptr, channel, kAllEventsQuery, kQueryChannelNewestFirst));
    if (!query) {
        WriteUnusable(page, "EvtQuery", GetLastError());
        return 1;
    }
    const wchar_t* providerPath = kProviderPath;
    SetLastError(ERROR_SUCCESS);
    ScopedEvent providerContext(api, api.createRenderContext(1, &providerPath, kRenderContextValues));
    if (!providerContext) {
        WriteUnusable(page, "EvtCreateRenderContext", GetLastError());
        return 1;
    }

    ModernExport run(api, page, logName);
    bool complete = true;
    for (bool goOn = true; goOn;) {
        EventBatch batch(api);
        SetLastError(ERROR_SUCCESS);
        if (!api.next(query.Get(), kBatchSize, batch.events, INFINITE, 0, &batch.count)) {
            const DWORD error = GetLastError();
            batch.count = 0;
            if (error == ERROR_NO_MORE_ITEMS) break;
            // Before the first event the classic interface can still fill the page.
            if (run.written == 0) {
                WriteUnusable(page, "EvtNext", error);
                return 1;
            }
            char text[96];
            FormatText(text, "[The end of the eventlog has not been reached, error %d occured]",
                       static_cast<int>(error));
            AppendFailureText(page, text);
            complete = false;
            break;
        }
        if (batch.count == 0) break;  // nothing new would come again
        if (batch.count > kBatchSize) batch.count = kBatchSize;
        for (DWORD i = 0; i < batch.count && goOn; ++i) goOn = ExportEvent(run, batch.events[i], providerContext.Get());
    }
    AppendToPage(page, "Total Events: %d\n", run.written);
    if (complete) JournalNoteEventLogRead(logName);
    return 0;
}

// The seven functions from the system's Wevtapi.dll, as the running process
// sees its system folder (a 32-bit process on 64-bit Windows gets the 32-bit
// library). False with the failing step and error code.
bool LoadWevtapi(ScopedLibrary& library, ModernEventLogFunctions& api, const char** step, DWORD* error)
{
    char systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    char path[kPathSize];
    if (length == 0 || length >= MAX_PATH || !JoinPath(path, systemFolder, "Wevtapi.dll")) {
        *step = "GetSystemDirectory";
        *error = length == 0 ? GetLastError() : static_cast<DWORD>(ERROR_BUFFER_OVERFLOW);
        return false;
    }
    library.Reset(LoadLibraryA(path));
    if (!library) {
        *step = "LoadLibrary";
        *error = GetLastError();
        char reason[kPathSize] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, *error, 0, reason,
                       sizeof reason, nullptr);
        char line[2 * kPathSize];
        FormatText(line, "%s failed with error %lu: %s", *step, static_cast<unsigned long>(*error), reason);
        OutputDebugStringA(line);
        return false;
    }
    struct Entry {
        const char* name;
        bool found;
    };
    HMODULE module = library.Get();
    api.query = LookupProc<decltype(api.query)>(module, "EvtQuery");
    api.next = LookupProc<decltype(api.next)>(module, "EvtNext");
    api.render = LookupProc<decltype(api.render)>(module, "EvtRender");
    api.close = LookupProc<decltype(api.close)>(module, "EvtClose");
    api.formatMessage = LookupProc<decltype(api.formatMessage)>(module, "EvtFormatMessage");
    api.openPublisherMetadata = LookupProc<decltype(api.openPublisherMetadata)>(module, "EvtOpenPublisherMetadata");
    api.createRenderContext = LookupProc<decltype(api.createRenderContext)>(module, "EvtCreateRenderContext");
    const Entry entries[] = {
        {"EvtQuery", api.query != nullptr},
        {"EvtNext", api.next != nullptr},
        {"EvtRender", api.render != nullptr},
        {"EvtClose", api.close != nullptr},
        {"EvtFormatMessage", api.formatMessage != nullptr},
        {"EvtOpenPublisherMetadata", api.openPublisherMetadata != nullptr},
        {"EvtCreateRenderContext", api.createRenderContext != nullptr},
    };
    for (const Entry& entry : entries) {
        if (!entry.found) {
            *step = entry.name;
            *error = ERROR_PROC_NOT_FOUND;
            library.Close();
            return false;
        }
    }
    return true;
}

}  // namespace

int CWindowsStuff::ExportModernEventLog(const char* logName, const char* /*folder*/, Page page,
                                        const ModernEventLogFunctions* functions)
{
    if (functions != nullptr) return ExportModernEvents(*functions, logName, page);
    ScopedLibrary library;
    ModernEventLogFunctions api = {};
    const char* step = "";
    DWORD error = 0;
    if (!LoadWevtapi(library, api, &step, &error)) {
        WriteUnusable(page, step, error);
        return 1;
    }
    return ExportModernEvents(api, logName, page);
}

void CWindowsStuff::CopyEventLogFiles(const char* folder)
{
    if (Logging == 0 || Extended != 1) return;
    char systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    if (!IsWindows6OrLater()) {
        CollectFilesByExtension(systemFolder, "config", "evt", 1, folder, nullptr);
        return;
    }
    char source[kPathSize];
    if (!JoinPath(source, systemFolder, "winevt\\")) return;
    // A 32-bit program reads the real system folder, not its 32-bit stand-in.
    const bool wow64Capable = IsWindows64Bit();
    if (wow64Capable) SwitchFsRedirection(true);
    CollectFilesByExtension(source, "Logs", "evtx", 1, folder, nullptr);
    if (wow64Capable) SwitchFsRedirection(false);
}
