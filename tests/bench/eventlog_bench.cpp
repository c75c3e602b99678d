// The event log exports at the scale of a server's logs, for scripts/bench.
// Both run through their function tables over crafted events (Wine keeps no
// events), each timed against its floor: the same events formatted bare in a
// loop of this program, the message libraries or publisher handles ready,
// each message written to a page file.
#include "tests/bench/eventlog_bench.h"

#include "app/app_state.h"
#include "platform/bounded_text.h"
#include "system/event_message_cache.h"
#include "system/windows_stuff.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kSources = 40;
constexpr long long kNow = 1710000000;  // the crafted log's clock
constexpr size_t kReadSize = 65536;     // what one read of a real log brings at most
const char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr DWORD kFloorFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY;

double Now()
{
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string TempPath(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}

std::string SourceName(int source)
{
    char name[32];
    FormatText(name, "HarvinBench%02d", source);
    return name;
}

// ---- the classic export ---------------------------------------------------------

// The sources, registered with one of the two libraries each (even: A, odd: B).
class RegisteredSources {
public:
    RegisteredSources(const char* libraryA, const char* libraryB)
    {
        for (int source = 0; source < kSources; ++source) {
            const std::string key = kSourcesKey + SourceName(source);
            const char* library = source % 2 == 0 ? libraryA : libraryB;
            HKEY opened;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                                &opened, nullptr) != ERROR_SUCCESS) {
                continue;
            }
            RegSetValueExA(opened, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(library),
                           static_cast<DWORD>(strlen(library) + 1));
            RegCloseKey(opened);
        }
    }
    ~RegisteredSources()
    {
        for (int source = 0; source < kSources; ++source) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kSourcesKey + SourceName(source)).c_str());
        }
    }
};

// Record `index`: its source's library holds the message (A: ids 0x1000 and
// 0xC0000005 with two strings, 0x1001 with three; B: 0x2000 without).
std::string RecordBytes(int index)
{
    const int source = index % kSources;
    static const DWORD kIdsOfA[] = {0x1000, 0xC0000005, 0x1001};
    static const WORD kTypes[] = {EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE,
                                  EVENTLOG_INFORMATION_TYPE};
    const DWORD id = source % 2 == 0 ? kIdsOfA[(index / kSources) % 3] : 0x2000;
    char first[32];
    FormatText(first, "Spooler%d", index % 997);
    std::vector<std::string> strings;
    if (source % 2 == 0) strings = {first, "running", "Remote Interactive"};
    if (id != 0x1001 && !strings.empty()) strings.pop_back();

    const size_t fixedSize = sizeof(EVENTLOGRECORD);
    std::string body = SourceName(source) + '\0' + "HARVIN-PC" + '\0';
    body.resize((body.size() + 3) / 4 * 4, '\0');
    const size_t stringOffset = fixedSize + body.size();
    for (const std::string& text : strings) body += text + '\0';
    body.resize((body.size() + 3) / 4 * 4, '\0');
    const DWORD length = static_cast<DWORD>(fixedSize + body.size() + sizeof(DWORD));
    EVENTLOGRECORD fixed = {};
    fixed.Length = length;
    fixed.Reserved = 0x654c664c;  // "LfLe"
    fixed.RecordNumber = static_cast<DWORD>(index + 1);
    fixed.TimeGenerated = fixed.TimeWritten = static_cast<DWORD>(kNow - index / 10);
    fixed.EventID = id;
    fixed.EventType = kTypes[index % 4];
    fixed.NumStrings = static_cast<WORD>(strings.size());
    fixed.StringOffset = static_cast<DWORD>(stringOffset);
    fixed.DataOffset = length - sizeof(DWORD);
    return std::string(reinterpret_cast<const char*>(&fixed), fixedSize) + body +
           std::string(reinterpret_cast<const char*>(&length), sizeof length);
}

// The log's reads, newest first, each as many whole records as fit.
std::vector<std::string> g_reads;
size_t g_nextRead = 0;

HANDLE WINAPI BenchOpenLog(LPCSTR, LPCSTR) { return reinterpret_cast<HANDLE>(0x4C4F47); }
BOOL WINAPI BenchCountRecords(HANDLE, PDWORD count) { return *count = static_cast<DWORD>(g_reads.size()), TRUE; }
BOOL WINAPI BenchCloseLog(HANDLE) { return TRUE; }

BOOL WINAPI BenchReadLog(HANDLE, DWORD, DWORD, LPVOID buffer, DWORD bytes, DWORD* bytesRead, DWORD* bytesNeeded)
{
    *bytesRead = *bytesNeeded = 0;
    if (g_nextRead >= g_reads.size()) return SetLastError(ERROR_HANDLE_EOF), FALSE;
    const std::string& read = g_reads[g_nextRead];
    if (read.size() > bytes) return *bytesNeeded = static_cast<DWORD>(read.size()), SetLastError(122), FALSE;
    memcpy(buffer, read.data(), read.size());
    *bytesRead = static_cast<DWORD>(read.size());
    ++g_nextRead;
    return TRUE;
}

void WINAPI BenchCurrentTime(LPFILETIME now)
{
    const unsigned long long ticks = 116444736000000000ULL + kNow * 10000000ULL;
    *now = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void CraftLog(int records)
{
    g_reads.assign(1, std::string());
    for (int index = 0; index < records; ++index) {
        const std::string record = RecordBytes(index);
        if (g_reads.back().size() + record.size() > kReadSize) g_reads.emplace_back();
        g_reads.back() += record;
    }
    g_nextRead = 0;
}

// The floor: each record's message from its ready library, with its strings
// inserted by FormatMessage, written to a page.
double ClassicFloor(const char* libraryA, const char* libraryB, long* pageBytes)
{
    HMODULE a = LoadLibraryExA(libraryA, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    HMODULE b = LoadLibraryExA(libraryB, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    std::unordered_map<std::string, HMODULE> modules;
    for (int source = 0; source < kSources; ++source) modules[SourceName(source)] = source % 2 == 0 ? a : b;
    FILE* page = fopen(TempPath("harvin-bench-floor.html").c_str(), "w");
    const double start = Now();
    for (const std::string& read : g_reads) {
        for (size_t offset = 0; offset < read.size();) {
            const BYTE* at = reinterpret_cast<const BYTE*>(read.data()) + offset;
            EVENTLOGRECORD fixed;
            memcpy(&fixed, at, sizeof fixed);
            DWORD_PTR strings[8] = {};
            const char* text = reinterpret_cast<const char*>(at + fixed.StringOffset);
            for (WORD i = 0; i < fixed.NumStrings && i < 8; ++i, text += strlen(text) + 1) {
                strings[i] = reinterpret_cast<DWORD_PTR>(text);
            }
            char* message = nullptr;
            FormatMessageA(kFloorFlags, modules[reinterpret_cast<const char*>(at + sizeof fixed)], fixed.EventID, 1024,
                           reinterpret_cast<char*>(&message), 0, reinterpret_cast<va_list*>(strings));
            if (message != nullptr) fputs(message, page);
            LocalFree(message);
            offset += fixed.Length;
        }
    }
    const double seconds = Now() - start;
    *pageBytes = ftell(page);
    fclose(page);
    FreeLibrary(b);
    FreeLibrary(a);
    return seconds;
}

double ClassicExport(size_t kept, long* pageBytes)
{
    ClassicEventLogFunctions api = {BenchOpenLog, BenchCountRecords, BenchReadLog, BenchCloseLog, BenchCurrentTime};
    api.keptMessageLibraries = kept;
    g_nextRead = 0;
    FileCounter = 0;
    FILE* page = fopen(TempPath("harvin-bench-eventlog.html").c_str(), "w");
    CWindowsStuff windows;
    const double start = Now();
    windows.ExportClassicEventLog("Application", page, &api);
    const double seconds = Now() - start;
    *pageBytes = ftell(page);
    fclose(page);
    return seconds;
}

// ---- the newer interface ----------------------------------------------------------
// Handles are numbers: events kEventBase + index, render contexts kContextBase
// + the field, publisher metadata kMetadataBase + provider.

enum Field { kProvider, kLevel, kEventId, kUser, kOtherField };
constexpr uintptr_t kEventBase = 0x100000, kContextBase = 0x1000, kMetadataBase = 0x2000;
constexpr int kTimes = 60;

struct ModernLog {
    int events = 0;
    int next = 0;
    std::vector<std::wstring> providers, messages, times;  // times: the events' XML
    long metadataOpened = 0;
} g_modern;

void CraftModernLog(int events)
{
    g_modern = ModernLog();
    g_modern.events = events;
    for (int i = 0; i < kSources; ++i) {
        g_modern.providers.push_back(L"Harvin-Bench-Provider-" + std::to_wstring(i));
        g_modern.messages.push_back(L"The service Spooler" + std::to_wstring(i) + L" entered the running state.");
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (int i = 0; i < kTimes; ++i) {
        const unsigned long long ticks = ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                                          now.dwLowDateTime) - (i + 1) * 60ULL * 10000000ULL;
        const FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        SYSTEMTIME t;
        FileTimeToSystemTime(&time, &t);
        wchar_t xml[200];
        swprintf(xml, 200,
                 L"<Event><System><Provider Name='x'/><EventID>7036</EventID><Level>4</Level>"
                 L"<TimeCreated SystemTime='%04d-%02d-%02dT%02d:%02d:%02d.1234567Z'/></System></Event>",
                 t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        g_modern.times.push_back(xml);
    }
}

int EventIndex(EventHandle event) { return static_cast<int>(reinterpret_cast<uintptr_t>(event) - kEventBase); }

BOOL Deliver(const void* bytes, DWORD size, DWORD bufferSize, void* buffer, DWORD* used)
{
    *used = size;
    if (bufferSize < size) return SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
    memcpy(buffer, bytes, size);
    return TRUE;
}

EventHandle WINAPI BenchQuery(EventHandle, const wchar_t*, const wchar_t*, DWORD)
{
    return reinterpret_cast<EventHandle>(1);
}
BOOL WINAPI BenchClose(EventHandle) { return TRUE; }

BOOL WINAPI BenchNext(EventHandle, DWORD size, EventHandle* events, DWORD, DWORD, DWORD* returned)
{
    for (*returned = 0; *returned < size && g_modern.next < g_modern.events; ++*returned) {
        events[*returned] = reinterpret_cast<EventHandle>(kEventBase + g_modern.next++);
    }
    if (*returned == 0) SetLastError(ERROR_NO_MORE_ITEMS);
    return *returned != 0;
}

EventHandle WINAPI BenchCreateRenderContext(DWORD, const wchar_t** paths, DWORD)
{
    static const wchar_t* const kPaths[] = {L"Event/System/Provider/@Name", L"Event/System/Level",
                                            L"Event/System/EventID", L"Event/System/Security/@UserID"};
    int field = kProvider;
    while (field < kOtherField && wcscmp(kPaths[field], paths[0]) != 0) ++field;
    return reinterpret_cast<EventHandle>(kContextBase + field);
}

BOOL WINAPI BenchRender(EventHandle context, EventHandle fragment, DWORD flags, DWORD bufferSize, void* buffer,
                        DWORD* used, DWORD* count)
{
    const int index = EventIndex(fragment);
    *count = 1;
    if (flags == 1) {
        const std::wstring& xml = g_modern.times[(index / 50) % kTimes];
        return Deliver(xml.c_str(), static_cast<DWORD>((xml.size() + 1) * sizeof(wchar_t)), bufferSize, buffer, used);
    }
    BYTE bytes[sizeof(EventVariant) + 128] = {};
    EventVariant value = {};
    DWORD size = sizeof value;
    switch (static_cast<int>(reinterpret_cast<uintptr_t>(context) - kContextBase)) {
        case kProvider: {
            const std::wstring& name = g_modern.providers[index % kSources];
            value.type = EventVariantString;
            value.stringValue = reinterpret_cast<const wchar_t*>(static_cast<BYTE*>(buffer) + sizeof value);
            memcpy(bytes + sizeof value, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
            size += static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
            break;
        }
        case kLevel:
            value.type = EventVariantByte;
            value.byteValue = static_cast<BYTE>(2 + index % 3);
            break;
        case kEventId:
            value.type = EventVariantUInt16;
            value.uint16Value = static_cast<UINT16>(7000 + index % 50);
            break;
        default:
            value.type = EventVariantNull;
            break;
    }
    memcpy(bytes, &value, sizeof value);
    return Deliver(bytes, size, bufferSize, buffer, used);
}

EventHandle WINAPI BenchOpenPublisherMetadata(EventHandle, const wchar_t* publisher, const wchar_t*, LCID, DWORD)
{
    ++g_modern.metadataOpened;
    int provider = 0;
    while (provider < kSources && g_modern.providers[provider] != publisher) ++provider;
    return reinterpret_cast<EventHandle>(kMetadataBase + provider);
}

BOOL WINAPI BenchFormatMessage(EventHandle metadata, EventHandle, DWORD, DWORD, EventVariant*, DWORD,
                               DWORD bufferSize, wchar_t* buffer, DWORD* used)
{
    const std::wstring& message = g_modern.messages.at(reinterpret_cast<uintptr_t>(metadata) - kMetadataBase);
    const BOOL done = Deliver(message.c_str(), static_cast<DWORD>((message.size() + 1) * sizeof(wchar_t)),
                              bufferSize * sizeof(wchar_t), buffer, used);
    *used /= sizeof(wchar_t);
    return done;
}

const ModernEventLogFunctions kBenchModern = {BenchQuery,         BenchNext,
                                              BenchRender,        BenchClose,
                                              BenchFormatMessage, BenchOpenPublisherMetadata,
                                              BenchCreateRenderContext};

// The floor: each event's provider and message, the contexts and publisher
// handles ready, the message in the ANSI code page written to a page.
double ModernFloor()
{
    g_modern.next = 0;
    EventHandle metadata[kSources];
    for (int i = 0; i < kSources; ++i) {
        metadata[i] = BenchOpenPublisherMetadata(nullptr, g_modern.providers[i].c_str(), nullptr, 0, 0);
    }
    const wchar_t* path = L"Event/System/Provider/@Name";
    const EventHandle providerContext = BenchCreateRenderContext(1, &path, 0);
    std::vector<BYTE> rendered(1024);
    std::vector<wchar_t> message(1024);
    FILE* page = fopen(TempPath("harvin-bench-floor.html").c_str(), "w");
    const double start = Now();
    EventHandle events[20];
    DWORD count = 0;
    while (BenchNext(nullptr, 20, events, INFINITE, 0, &count)) {
        for (DWORD i = 0; i < count; ++i) {
            DWORD used = 0, properties = 0;
            BenchRender(providerContext, events[i], 0, static_cast<DWORD>(rendered.size()), rendered.data(), &used,
                        &properties);
            const int provider = EventIndex(events[i]) % kSources;
            BenchFormatMessage(metadata[provider], events[i], 0, 0, nullptr, 1, static_cast<DWORD>(message.size()),
                               message.data(), &used);
            char text[1024];
            WideCharToMultiByte(CP_ACP, 0, message.data(), -1, text, sizeof text, nullptr, nullptr);
            fputs(text, page);
        }
    }
    const double seconds = Now() - start;
    fclose(page);
    return seconds;
}

double ModernExport(long* pageBytes)
{
    g_modern.next = 0;
    g_modern.metadataOpened = 0;
    FILE* page = fopen(TempPath("harvin-bench-eventlog.html").c_str(), "w");
    // The export names each provider on the standard output: into a file
    // here, not into this program's results.
    fflush(stdout);
    const int results = _dup(1);
    const int names = _open(TempPath("harvin-bench-names.txt").c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC, 0600);
    _dup2(names, 1);
    CWindowsStuff windows;
    const double start = Now();
    windows.ExportModernEventLog("System", "", page, &kBenchModern);
    const double seconds = Now() - start;
    fflush(stdout);
    _dup2(results, 1);
    _close(names);
    _close(results);
    *pageBytes = ftell(page);
    fclose(page);
    return seconds;
}

}  // namespace

int BenchModernEventLog(int events)
{
    CraftModernLog(events);
    long pageBytes = 0;
    double floor = ModernFloor();
    const double seconds = ModernExport(&pageBytes);
    const long opened = g_modern.metadataOpened;
    floor = (floor + ModernFloor()) / 2;
    printf("seconds %.3f floor %.3f events %d page-bytes %ld metadata-opened %ld\n", seconds, floor, events,
           pageBytes, opened);
    return 0;
}

int BenchClassicEventLog(int records, const char* libraryA, const char* libraryB, bool withFloor, size_t kept)
{
    RegisteredSources sources(libraryA, libraryB);
    CraftLog(records);
    long floorBytes = 0, pageBytes = 0;
    // The floor before and after the export: both see the same machine load.
    double floor = withFloor ? ClassicFloor(libraryA, libraryB, &floorBytes) : 0;
    const double seconds = ClassicExport(kept, &pageBytes);
    if (withFloor) floor = (floor + ClassicFloor(libraryA, libraryB, &floorBytes)) / 2;
    printf("seconds %.3f floor %.3f records %d events %ld page-bytes %ld floor-bytes %ld kept %lu held-after %lu\n",
           seconds, floor, records, static_cast<long>(FileCounter), pageBytes, floorBytes,
           static_cast<unsigned long>(kept), static_cast<unsigned long>(HeldMessageLibraries()));
    return 0;
}

