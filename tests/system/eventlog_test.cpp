// The event log pages. The classic export reads crafted records through a
// fake reader (Wine's event log stores nothing); messages come from message
// DLLs registered for test sources; the newer interface is a fake table
// (Wine's crashes); the raw log copies come from files planted in the system
// folder; one live page shows what this Windows gives.
#include "app/app_state.h"
#include "app/run_journal.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "system/event_message_cache.h"
#include "system/windows_stuff.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using system_tests::ReadPage;
using testing_support::FileExists;
using testing_support::TestBinDir;

const char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
const char kPublishersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\WinEVT\\Publishers\\";
const char kSource[] = "HarvinTestSource";
const char kModules[] =
    "%HARVIN_EVENTLOG_DIR%\\eventlog_other_messages.dll;%HARVIN_EVENTLOG_DIR%\\eventlog_messages.dll";
const char kNoModule[] = "### Harvin: DLL could not be loaded ###";
const char kClosing[] =
    "<BR>\nThese are the collected Events from the last 30 days.\n<BR>\n\n</font></tt>\n</body>\n</html>\n";
const char kDiv[] = "<div style=\"margin-left: 40px;\">";
constexpr long long kNow = 1710000000;  // the classic reader's clock
constexpr long long kThirtyDays = 2592000;

long long RealNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<long long>(
        (((unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime) - 116444736000000000ULL) / 10000000ULL);
}

SYSTEMTIME UtcOf(long long seconds)
{
    const unsigned long long ticks = 116444736000000000ULL + static_cast<unsigned long long>(seconds) * 10000000ULL;
    const FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc;
    FileTimeToSystemTime(&time, &utc);
    return utc;
}

// The time line's text of a UTC time, in this machine's time zone.
std::string TimeText(long long seconds)
{
    const SYSTEMTIME utc = UtcOf(seconds);
    SYSTEMTIME t;
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &t);
    char text[64];
    snprintf(text, sizeof text, "Date, Time (LOC): %02d.%02d.%04d, %02d:%02d:%02d", t.wDay, t.wMonth, t.wYear, t.wHour,
             t.wMinute, t.wSecond);
    return text;
}

// ---- crafted classic records and their reader -----------------------------------------------

struct Crafted {
    WORD type;
    DWORD id;
    long long time;
    std::vector<std::string> strings;
    std::string sid;  // the SID's bytes, or none
    std::string source = kSource;
};

std::string SidBytes(const char* text)
{
    PSID sid = nullptr;
    if (!ConvertStringSidToSidA(text, &sid)) return std::string();
    std::string bytes(static_cast<const char*>(sid), GetLengthSid(sid));
    LocalFree(sid);
    return bytes;
}

// A record as the event log stores it: fixed part, source and computer
// names, SID, strings, and its length once more at the end.
std::string RecordBytes(const Crafted& event)
{
    const size_t fixedSize = sizeof(EVENTLOGRECORD);
    std::string body = event.source + '\0' + "HARVIN-PC" + '\0';
    body.resize((body.size() + 3) / 4 * 4, '\0');
    const size_t sidOffset = fixedSize + body.size();
    body += event.sid;
    const size_t stringOffset = fixedSize + body.size();
    for (const std::string& text : event.strings) body += text + '\0';
    body.resize((body.size() + 3) / 4 * 4, '\0');
    const DWORD length = static_cast<DWORD>(fixedSize + body.size() + sizeof(DWORD));
    EVENTLOGRECORD fixed = {};
    fixed.Length = length;
    fixed.Reserved = 0x654c664c;  // "LfLe"
    fixed.TimeGenerated = fixed.TimeWritten = static_cast<DWORD>(event.time);
    fixed.EventID = event.id;
    fixed.EventType = event.type;
    fixed.NumStrings = static_cast<WORD>(event.strings.size());
    fixed.StringOffset = static_cast<DWORD>(stringOffset);
    fixed.UserSidLength = static_cast<DWORD>(event.sid.size());
    fixed.UserSidOffset = event.sid.empty() ? 0 : static_cast<DWORD>(sidOffset);
    fixed.DataOffset = length - sizeof(DWORD);
    return std::string(reinterpret_cast<const char*>(&fixed), fixedSize) + body +
           std::string(reinterpret_cast<const char*>(&length), sizeof length);
}

void Patch(std::string& record, size_t offset, DWORD value, size_t size = sizeof(DWORD))
{
    memcpy(&record[offset], &value, size);
}

struct ClassicFake {
    bool openFails = false;
    bool countFails = false;
    DWORD recordCount = 1;
    std::vector<std::string> reads;  // a read larger than the buffer fails with 122
    DWORD endError = ERROR_HANDLE_EOF;
    int cancelOnRead = -1;
    size_t next = 0;
    std::string logName;
    bool closed = false;
    std::vector<DWORD> flags, bufferSizes;
} g_classic;

HANDLE WINAPI FakeOpenLog(LPCSTR server, LPCSTR logName)
{
    g_classic.logName = logName;
    return server != nullptr || g_classic.openFails ? nullptr : reinterpret_cast<HANDLE>(0x4C4F47);
}

BOOL WINAPI FakeCountRecords(HANDLE, PDWORD count)
{
    *count = g_classic.recordCount;
    SetLastError(ERROR_ACCESS_DENIED);
    return !g_classic.countFails;
}

BOOL WINAPI FakeReadLog(HANDLE, DWORD flags, DWORD, LPVOID buffer, DWORD bytes, DWORD* bytesRead, DWORD* bytesNeeded)
{
    ClassicFake& fake = g_classic;
    fake.flags.push_back(flags);
    fake.bufferSizes.push_back(bytes);
    *bytesRead = *bytesNeeded = 0;
    if (fake.next >= fake.reads.size()) return SetLastError(fake.endError), FALSE;
    const std::string& chunk = fake.reads[fake.next];
    if (chunk.size() > bytes) return *bytesNeeded = chunk.size(), SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
    memcpy(buffer, chunk.data(), chunk.size());
    *bytesRead = chunk.size();
    if (static_cast<int>(fake.next++) == fake.cancelOnRead) CancelRequested = 1;
    return TRUE;
}

BOOL WINAPI FakeCloseLog(HANDLE) { return g_classic.closed = true; }

void WINAPI FakeCurrentTime(LPFILETIME now)
{
    const unsigned long long ticks = 116444736000000000ULL + kNow * 10000000ULL;
    *now = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

const ClassicEventLogFunctions kFakeClassic = {FakeOpenLog, FakeCountRecords, FakeReadLog, FakeCloseLog,
                                               FakeCurrentTime};

// ---- the fake newer interface -------------------------------------------------------------------
// Handles are numbers: events 0x1000 + index, render contexts 0x2000 + path
// index, anything else from 0x3000 on; every handle made is counted until closed.

struct FakeEvent {
    int level;  // -1: the event has no level
    UINT16 id;
    long long age;  // seconds before now
    std::wstring provider = L"Harvin-Provider";
    std::wstring message = L"Something happened.";
    std::string user = "";  // the SID of the account it names (none when empty, "!": does not render)
};

struct ModernFake {
    std::vector<FakeEvent> events;
    long long now = RealNow();
    DWORD queryError = ERROR_SUCCESS;  // EvtQuery fails with it (ERROR_SUCCESS: fails saying nothing)
    bool queryFails = false;
    DWORD nextError = ERROR_NO_MORE_ITEMS;  // once the events are out
    std::wstring withoutMetadata;
    size_t next = 0;
    std::vector<std::wstring> contextPaths;
    uintptr_t others = 0x3000;
    int openHandles = 0;
    std::wstring channel;
} g_modern;

EventHandle Opened(uintptr_t value)
{
    ++g_modern.openHandles;
    return reinterpret_cast<EventHandle>(value);
}

EventHandle WINAPI FakeQuery(EventHandle, const wchar_t* path, const wchar_t*, DWORD flags)
{
    g_modern.channel = path;
    EXPECT_EQ(0x201u, flags);
    if (g_modern.queryFails) {
        if (g_modern.queryError != ERROR_SUCCESS) SetLastError(g_modern.queryError);
        return nullptr;
    }
    return Opened(++g_modern.others);
}

BOOL WINAPI FakeNext(EventHandle, DWORD size, EventHandle* events, DWORD, DWORD, DWORD* returned)
{
    for (*returned = 0; *returned < size && g_modern.next < g_modern.events.size(); ++*returned) {
        events[*returned] = Opened(0x1000 + g_modern.next++);
    }
    if (*returned == 0) SetLastError(g_modern.nextError);
    return *returned != 0;
}

// Writes what a render or format call returns, or says how much it needs.
BOOL Deliver(const std::vector<BYTE>& bytes, DWORD bufferSize, void* buffer, DWORD* used, DWORD unit = 1)
{
    *used = static_cast<DWORD>(bytes.size() / unit);
    if (bufferSize < *used) return SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
    memcpy(buffer, bytes.data(), bytes.size());
    return TRUE;
}

std::vector<BYTE> WideBytes(const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

BOOL WINAPI FakeRender(EventHandle context, EventHandle fragment, DWORD flags, DWORD bufferSize, void* buffer,
                       DWORD* used, DWORD* count)
{
    const FakeEvent& event = g_modern.events.at(reinterpret_cast<uintptr_t>(fragment) - 0x1000);
    *count = 1;
    if (flags == 1) {
        const SYSTEMTIME t = UtcOf(g_modern.now - event.age);
        wchar_t xml[200];
        swprintf(xml, 200,
                 L"<Event><System><TimeCreated SystemTime='%04d-%02d-%02dT%02d:%02d:%02d.1234567Z'/>"
                 L"</System></Event>",
                 t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        return Deliver(WideBytes(xml), bufferSize, buffer, used);
    }
    const std::wstring& path = g_modern.contextPaths.at(reinterpret_cast<uintptr_t>(context) - 0x2000);
    EventVariant value = {};
    std::vector<BYTE> data;  // a string or a SID behind the value, where it points
    BYTE* behind = static_cast<BYTE*>(buffer) + sizeof value;
    if (path == L"Event/System/Provider/@Name") {
        value.type = EventVariantString;
        value.stringValue = reinterpret_cast<const wchar_t*>(behind);
        data = WideBytes(event.provider);
    } else if (path == L"Event/System/Security/@UserID") {
        if (event.user == "!") return SetLastError(ERROR_INVALID_DATA), FALSE;
        const std::string sid = event.user.empty() ? "" : SidBytes(event.user.c_str());
        value.type = sid.empty() ? EventVariantNull : EventVariantSid;
        value.sidValue = behind;
        data.assign(sid.begin(), sid.end());
    } else if (path == L"Event/System/Level") {
        value.type = event.level < 0 ? EventVariantNull : EventVariantByte;
        value.byteValue = static_cast<BYTE>(event.level);
    } else {
        EXPECT_EQ(L"Event/System/EventID", path);
        value.type = EventVariantUInt16;
        value.uint16Value = event.id;
    }
    std::vector<BYTE> bytes(reinterpret_cast<BYTE*>(&value), reinterpret_cast<BYTE*>(&value + 1));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return Deliver(bytes, bufferSize, buffer, used);
}

BOOL WINAPI FakeClose(EventHandle) { return --g_modern.openHandles, TRUE; }

BOOL WINAPI FakeFormatMessage(EventHandle metadata, EventHandle event, DWORD, DWORD, EventVariant*, DWORD flags,
                              DWORD bufferSize, wchar_t* buffer, DWORD* used)
{
    EXPECT_TRUE(metadata != nullptr && flags == 1);
    const FakeEvent& fake = g_modern.events.at(reinterpret_cast<uintptr_t>(event) - 0x1000);
    return Deliver(WideBytes(fake.message), bufferSize, buffer, used, sizeof(wchar_t));
}

EventHandle WINAPI FakeOpenPublisherMetadata(EventHandle, const wchar_t* publisher, const wchar_t*, LCID, DWORD)
{
    if (g_modern.withoutMetadata == publisher) return SetLastError(15002), nullptr;  // not found
    return Opened(++g_modern.others);
}

EventHandle WINAPI FakeCreateRenderContext(DWORD pathCount, const wchar_t** paths, DWORD flags)
{
    EXPECT_TRUE(pathCount == 1 && flags == 0);
    g_modern.contextPaths.push_back(paths[0]);
    return Opened(0x2000 + g_modern.contextPaths.size() - 1);
}

const ModernEventLogFunctions kFakeModern = {
    FakeQuery, FakeNext, FakeRender, FakeClose, FakeFormatMessage, FakeOpenPublisherMetadata, FakeCreateRenderContext};

// ---- the fixture: registered test sources, an output tree, fresh fakes -------------------------

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SetEnvironmentVariableA("HARVIN_EVENTLOG_DIR", TestBinDir().c_str()));
        Plant(std::string(kSourcesKey) + kSource, "EventMessageFile", REG_EXPAND_SZ, kModules);
        Plant(std::string(kSourcesKey) + kSource, "ParameterMessageFile", REG_EXPAND_SZ,
              "%HARVIN_EVENTLOG_DIR%\\eventlog_messages.dll");
        Plant(std::string(kSourcesKey) + "HarvinMissingDll", "EventMessageFile", REG_SZ, "C:\\nowhere\\missing.dll");
        logs_ = scratch_.Join("SupportData\\LOGs");
        ASSERT_TRUE(CreateDirectoryA(scratch_.Join("SupportData").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(logs_.c_str(), nullptr));
        ASSERT_TRUE(CopyText(OutputRoot, scratch_.Join("SupportData").c_str()));
        CancelRequested = 0;
        windows_.SetSwitches(0, 1, 1, 1, 1, 1, 1);
        g_classic = ClassicFake();
        g_modern = ModernFake();
    }
    void TearDown() override
    {
        OutputRoot[0] = '\0';
        CancelRequested = 0;
    }
    void Plant(const std::string& key, const std::string& name, DWORD type, const std::string& data)
    {
        planted_.push_back(
            std::make_unique<system_tests::PlantedValue>(HKEY_LOCAL_MACHINE, key, name, KEY_WOW64_64KEY, type, data));
        ASSERT_TRUE(planted_.back()->Ok()) << key << "\\" << name;
    }
    std::string Written(const std::function<void(Page)>& write)
    {
        const std::string path = scratch_.Join("page.html");
        Page page = fopen(path.c_str(), "w");
        write(page);
        fclose(page);
        return ReadPage(path);
    }
    std::string Classic()
    {
        const std::string text =
            Written([&](Page p) { windows_.ExportClassicEventLog("Application", p, &kFakeClassic); });
        EXPECT_TRUE(g_classic.openFails || g_classic.closed) << "the log is closed again";
        return text;
    }
    // The page text, and "<returned 1>" when the export could not run.
    std::string Modern(const char* logName)
    {
        int result = 0;
        const std::string text = Written([&](Page p) {
            SetLastError(ERROR_ALREADY_EXISTS);  // an older error of the thread is not the interface's
            result = windows_.ExportModernEventLog(logName, logs_.c_str(), p, &kFakeModern);
        });
        EXPECT_EQ(0, g_modern.openHandles) << "every handle is closed";
        return text + (result != 0 ? "<returned 1>" : "");
    }
    static std::string Message(const std::string& strings, DWORD count, DWORD id, std::string files = kModules,
                               const std::string& source = kSource)
    {
        std::string message;
        const std::string key = kSourcesKey + source;
        if (!CWindowsStuff::ExpandEventMessage(key.c_str(), strings.c_str(), id, count, files, source.c_str(),
                                               &message)) {
            return "<nothing>";
        }
        return message + (files != kModules ? "<from " + files + ">" : "");
    }

    testing_support::ScratchFolder scratch_{"harvin eventlog"};
    std::vector<std::unique_ptr<system_tests::PlantedValue>> planted_;
    std::string logs_;
    CWindowsStuff windows_;
};

std::string ClassicEvent(const char* colour, const char* label, int id, long long time, const std::string& user,
                         const std::string& message, bool colouredLines = true)
{
    const std::string open = colour != nullptr ? std::string("<font color=\"") + colour + "\">" : "";
    const std::string line = colouredLines ? open : "", close = colouredLines && colour != nullptr ? "</font>" : "";
    return open + "<strong>" + kSource + "</strong> (" + label + ", ID: " + std::to_string(id) + ")<BR>\n" + kDiv +
           (colour != nullptr ? "</font>" : "") + "\n" + line + TimeText(time) + "<BR>" + close + "\n" +
           (user.empty() ? "" : line + "User: " + user + "\n<BR>" + close + "\n") +
           (message == kNoModule ? message : line + "<strong>Message:</strong> " + message + close + "\n<BR>") +
           "</div><BR>\n";
}

std::string Service(const std::string& name, const std::string& state)
{
    return "Service " + name + " entered the " + state + " state.\r\n";
}

std::string Info(long long time, const std::string& name)
{
    return ClassicEvent(nullptr, "Info", 4096, time, "-", Service(name, "running"));
}

Crafted Running(long long time, const std::string& name)
{
    return {EVENTLOG_INFORMATION_TYPE, 0x1000, time, {name, "running"}, ""};
}

// ---- classic export ----------------------------------------------------------------------------------

// Every event type in one buffer, newest first: colours and labels, the low
// 16 bits of the id, users with and without SID, data as text, and the 30
// days counted to the second.
TEST_F(EventLogTest, ClassicTypesUsersAndTheThirtyDays)
{
    Crafted unknownType{0, 0x1000, kNow - kThirtyDays, {}, ""};
    unknownType.source = "HarvinMissingDll";
    g_classic.recordCount = 7;
    g_classic.reads = {RecordBytes({EVENTLOG_ERROR_TYPE, 0xC0000005, kNow - 60, {"C:", "0x17"}, SidBytes("S-1-5-18")}) +
                       RecordBytes({EVENTLOG_WARNING_TYPE,
                                    0x1000,
                                    kNow - 120,
                                    {"Spooler", "stopped"},
                                    SidBytes("S-1-5-21-1004-2005-3006-4444")}) +  // no such account
                       RecordBytes(Running(kNow - 180, "Spooler")) +
                       RecordBytes({EVENTLOG_AUDIT_SUCCESS, 0x1000, kNow - 240, {"Tom & <Jerry>", "on"}, ""}) +
                       RecordBytes({EVENTLOG_AUDIT_FAILURE, 0x1000, kNow - 300, {"Audit", "failed"}, ""}) +
                       RecordBytes(unknownType) + RecordBytes(Running(kNow - kThirtyDays - 1, "too old"))};
    std::string unknown = ClassicEvent("#ff8000", "Unknown", 4096, kNow - kThirtyDays, "-", kNoModule, false);
    unknown.replace(unknown.find(kSource), strlen(kSource), "HarvinMissingDll");
    EXPECT_EQ(ClassicEvent("#ff0000", "Error", 5, kNow - 60, "SYSTEM", "Disk C: reported error 0x17.\r\n") +
                  ClassicEvent("#ff8000", "Warning", 4096, kNow - 120, "", Service("Spooler", "stopped")) +
                  ClassicEvent(nullptr, "Info", 4096, kNow - 180, "-", Service("Spooler", "running")) +
                  ClassicEvent("#009500", "Audit+", 4096, kNow - 240, "-", Service("Tom &amp; &lt;Jerry&gt;", "on")) +
                  ClassicEvent("#ff0000", "Audit-", 4096, kNow - 300, "-", Service("Audit", "failed")) + unknown +
                  "Total Events: 6\n",
              Classic());
    EXPECT_EQ("Application", g_classic.logName);
    EXPECT_EQ(std::vector<DWORD>{9}, g_classic.flags) << "newest first; the old record ends the reading";
}

TEST_F(EventLogTest, ClassicEmptyLogAndFailuresBeforeReading)
{
    g_classic.recordCount = 0;
    EXPECT_EQ("Total Events: 0\n[FILE IS EMPTY]", Classic());
    g_classic = ClassicFake();
    g_classic.countFails = true;
    EXPECT_EQ("[Error reading number of eventlog entries]\n<BR>\n", Classic());
    g_classic = ClassicFake();
    g_classic.openFails = true;
    EXPECT_EQ("[Error opening the eventlog]\n<BR>\n", Classic());
}

// A record larger than the buffer is read again into one of its size; its
// message of more than 64 KiB is cut, never overrun; a read error ends it all.
TEST_F(EventLogTest, ClassicReadsGrowTheBufferAndStopOnErrors)
{
    const std::string longName(70000, 'x');
    g_classic.reads = {RecordBytes(Running(kNow - 1, "A")) + RecordBytes(Running(kNow - 2, "B")),
                       RecordBytes(Running(kNow - 3, longName))};
    const DWORD big = static_cast<DWORD>(g_classic.reads[1].size());
    std::string cut = Info(kNow - 3, longName);
    cut.erase(cut.find("<strong>Message:</strong> ") + 26 + 65535, Service(longName, "running").size() - 65535);
    EXPECT_EQ(Info(kNow - 1, "A") + Info(kNow - 2, "B") + cut + "Total Events: 3\n", Classic());
    EXPECT_EQ((std::vector<DWORD>{65536, 65536, big + 1, big + 1}), g_classic.bufferSizes);
    EXPECT_EQ((std::vector<DWORD>{9, 9, 9, 9}), g_classic.flags);

    g_classic = ClassicFake();
    g_classic.reads = {RecordBytes(Running(kNow - 1, "A"))};
    g_classic.endError = ERROR_EVENTLOG_FILE_CORRUPT;
    EXPECT_EQ(
        Info(kNow - 1, "A") + "[The end of the eventlog has not been reached, error 1500 occured]Total Events: 1\n",
        Classic());

    g_classic = ClassicFake();
    g_classic.reads = {RecordBytes(Running(kNow - 1, "A")) + RecordBytes(Running(kNow - 1, "B"))};
    g_classic.cancelOnRead = 0;
    EXPECT_EQ(Info(kNow - 1, "A") +
                  "[The process was aborted by other task, the end of the eventlog has not been reached]"
                  "Total Events: 1\n",
              Classic());
}

// A record is walked by its own length and points into itself: whatever is
// wrong with it, the walk stops there with error 13 (invalid data).
TEST_F(EventLogTest, ClassicMalformedRecordsEndTheWalk)
{
    const std::string good = RecordBytes(Running(kNow - 1, "A"));
    const std::string withSid = RecordBytes({EVENTLOG_INFORMATION_TYPE, 0x1000, kNow - 2, {}, SidBytes("S-1-5-18")});
    const size_t sidAt = sizeof(EVENTLOGRECORD) + 28;
    struct Spoiled {
        const char* what;
        std::string record;
        size_t offset;
        DWORD value;
        size_t size;
    };
    const Spoiled cases[] = {
        {"length 0", good, offsetof(EVENTLOGRECORD, Length), 0, 4},
        {"length below the fixed part", good, offsetof(EVENTLOGRECORD, Length), sizeof(EVENTLOGRECORD) - 1, 4},
        {"length past the bytes read", good, offsetof(EVENTLOGRECORD, Length), 0x7FFFFFF0, 4},
        {"source name without its end", good, offsetof(EVENTLOGRECORD, Length), sizeof(EVENTLOGRECORD) + 4, 4},
        {"strings outside the record", good, offsetof(EVENTLOGRECORD, StringOffset), static_cast<DWORD>(good.size()),
         4},
        {"strings in the fixed part", good, offsetof(EVENTLOGRECORD, StringOffset), 8, 4},
        {"more strings than it holds", good, offsetof(EVENTLOGRECORD, NumStrings), 200, 2},
        {"SID reaching outside", withSid, offsetof(EVENTLOGRECORD, UserSidLength), static_cast<DWORD>(withSid.size()),
         4},
        {"SID in the fixed part", withSid, offsetof(EVENTLOGRECORD, UserSidOffset), 4, 4},
        {"SID that is no SID", withSid, sidAt, 9, 1},
    };
    ASSERT_EQ(1, withSid[sidAt]) << "the SID's revision byte";
    for (const Spoiled& spoiled : cases) {
        g_classic = ClassicFake();
        std::string bad = spoiled.record;
        Patch(bad, spoiled.offset, spoiled.value, spoiled.size);
        g_classic.reads = {good + bad + good};
        EXPECT_EQ(
            Info(kNow - 1, "A") + "[The end of the eventlog has not been reached, error 13 occured]Total Events: 1\n",
            Classic())
            << spoiled.what;
    }
}

// Kept libraries and source texts change nothing on the page: 2,000 records
// of 10 sources (two modules, one, none to be found; parameter messages) come
// out the same with none kept, two (loads free libraries still to be used
// again) and the usual number; after the export no library stays loaded.
TEST_F(EventLogTest, ClassicKeptLibrariesLeaveThePageAsItWas)
{
    const std::string lists[] = {kModules, "%HARVIN_EVENTLOG_DIR%\\eventlog_messages.dll", "C:\\nowhere\\x.dll"};
    std::vector<std::string> reads(1);
    for (int i = 0; i < 2000; ++i) {
        const std::string source = "HarvinBulk" + std::to_string(i % 10);
        if (i < 10) {
            Plant(kSourcesKey + source, "EventMessageFile", REG_EXPAND_SZ, lists[i == 9 ? 2 : i % 2]);
            Plant(kSourcesKey + source, "ParameterMessageFile", REG_EXPAND_SZ, lists[1]);
        }
        const DWORD id = i % 3 == 0 ? 0x2000 : 0x1000;
        const Crafted event{EVENTLOG_WARNING_TYPE, id, kNow - i, {"n" + std::to_string(i), "%%1833"}, "", source};
        if (reads.back().size() > 60000) reads.emplace_back();
        reads.back() += RecordBytes(event);
    }
    std::vector<std::string> pages;
    for (size_t kept : {size_t{0}, size_t{2}, kKeptEventLibraries}) {
        g_classic = ClassicFake();
        g_classic.reads = reads;
        ClassicEventLogFunctions api = kFakeClassic;
        api.keptMessageLibraries = kept;
        pages.push_back(Written([&](Page p) { windows_.ExportClassicEventLog("Application", p, &api); }));
        EXPECT_EQ(0u, HeldMessageLibraries()) << kept;
        EXPECT_EQ(nullptr, GetModuleHandleA("eventlog_messages.dll")) << kept;
    }
    EXPECT_NE(std::string::npos, pages[0].find(Service("n1", "Remote Interactive") + "</font>"));
    EXPECT_NE(std::string::npos, pages[0].find("Only in the first module."));
    EXPECT_EQ(pages[0].size() - 19, pages[0].rfind("Total Events: 2000\n"));
    EXPECT_EQ(pages[0], pages[1]);
    EXPECT_EQ(pages[0], pages[2]);
}

// ---- messages -------------------------------------------------------------------------------------------

// Modules in list order (the first lacks most ids), environment strings,
// insertion strings, the second pass that turns "%%1833" into the parameter
// message, a mark beyond the strings, modules that cannot be loaded.
TEST_F(EventLogTest, MessagesFromTheListedModules)
{
    EXPECT_EQ("Logon of Tom <&> failed: Remote Interactive (%3).\r\n",
              Message(std::string("Tom <&>\0%%1833\0", 15), 2, 0x1001));
    EXPECT_EQ("Only in the first module.\r\n", Message("", 0, 0x2000));
    EXPECT_EQ("<nothing>", Message("", 0, 0x4242)) << "no module has the id";
    EXPECT_EQ("<nothing>", Message("", 0, 0x2000, "C:\\nowhere\\missing.dll"));
    EXPECT_EQ("<nothing>", Message("", 0, 0x2000, std::string(kModules) + ";C:\\nowhere\\missing.dll"));
    EXPECT_EQ("<nothing>", Message("", 0, 0x2000, std::string(1100, 'a'))) << "too long after expansion";

    const std::string key = std::string(kSourcesKey) + kSource;
    EXPECT_EQ("a % b %% c %0 d %x e %3 f two g Remote Interactive h  i one and  j 100%",
              CWindowsStuff::InsertEventStrings(
                  key.c_str(), "a % b %% c %0 d %x e %3 f %2 g %%1833 h %%4242 i %1 and %%1 j 100%", "one\0two\0", 2));
}

// A message full of "%%n" marks costs one look at the source's parameter
// message file, found or not, not a registry read and a load per mark.
TEST_F(EventLogTest, ParameterMessageFileIsLoadedOncePerMessage)
{
    std::string text, expected;
    for (int i = 0; i < 1000; ++i) {
        text += "%%1833 %%4242 %%" + std::to_string(100 + i % 40) + ";";
        expected += "Remote Interactive  ;";
    }
    for (const std::string source : {"HarvinMissingDll", kSource}) {
        const std::string key = kSourcesKey + source;
        ParameterMessageCache parameters(key.c_str());
        const std::string inserted = CWindowsStuff::InsertEventStrings(key.c_str(), text, "", 0, &parameters);
        EXPECT_EQ(1, parameters.Loads()) << source;
        EXPECT_TRUE(source != kSource || inserted == expected) << inserted.substr(0, 80);
    }
}

// A source known only to the newer event system: its message file comes from
// the publisher its ProviderGuid names, or from the one that carries its name.
TEST_F(EventLogTest, MessageFilesFromThePublishers)
{
    const std::string module = TestBinDir() + "\\eventlog_messages.dll";
    const std::string guid = "{5D1C1E3A-0B7C-4C4B-9C33-6A1D2E0F4A1";
    Plant(std::string(kSourcesKey) + "HarvinGuidSource", "ProviderGuid", REG_SZ, guid + "1}");
    Plant(kPublishersKey + guid + "1}", "MessageFileName", REG_SZ, module);
    Plant(kPublishersKey + guid + "2}", "", REG_SZ, "HarvinNamedSource");
    Plant(kPublishersKey + guid + "2}", "MessageFileName", REG_SZ, module);
    for (const char* source : {"HarvinGuidSource", "HarvinNamedSource"}) {
        EXPECT_EQ("Disk C: reported error E7.\r\n<from " + module + ">",
                  Message(std::string("C:\0E7\0", 6), 2, 0xC0000005, "", source));
    }
}

std::string Unusable(const std::string& failure)
{
    return "[The newer event log interface could not be used: " + failure +
           ". The events below were read through the classic event log interface.]\n<BR>\n";
}

// ---- newer interface ---------------------------------------------------------------------------------------

std::string ModernEvent(const char* colour, bool toTheEnd, const std::string& level, int id, long long age,
                        const std::string& user = "-", const std::string& message = "Something happened.",
                        const std::string& source = "Harvin-Provider")
{
    const std::string open = colour != nullptr ? std::string("<font color=\"") + colour + "\">" : "";
    return open + "<strong>" + source + "</strong> (" + level + ", ID: " + std::to_string(id) + ")<BR>\n" + kDiv +
           (colour != nullptr && !toTheEnd ? "</font>" : "") + "\n" + TimeText(g_modern.now - age) +
           "\n<BR>User: " + user + "\n<BR><strong>Message: </strong>" + message + "<BR><BR></div>\n" +
           (toTheEnd ? "</font>" : "");
}

// The Security log takes its colour from the event id, whatever the level; no other log does.
TEST_F(EventLogTest, ModernSecurityAuditsByEventId)
{
    g_modern.events = {{16, 5152, 60}, {8, 4624, 120}};
    EXPECT_EQ(ModernEvent("#ff0000", true, "Audit-", 5152, 60) + ModernEvent("#009500", false, "Audit+", 4624, 120) +
                  "Total Events: 2\n",
              Modern("Security"));
    EXPECT_EQ(L"Security", g_modern.channel);
    g_modern.next = 0;
    EXPECT_EQ(ModernEvent(nullptr, false, "Unknown", 5152, 60) + ModernEvent(nullptr, false, "Unknown", 4624, 120) +
                  "Total Events: 2\n",
              Modern("Application"));
}

// Levels and colours; provider and message are text; a provider name and a
// message larger than the first buffers.
TEST_F(EventLogTest, ModernLevelsColoursAndText)
{
    g_modern.events = {{1, 100, 60}, {2, 101, 120}, {3, 102, 180}, {4, 103, 240}, {0, 104, 300}, {5, 105, 360}};
    g_modern.events[0].provider = L"R&D <Provider>";
    g_modern.events[1].message = L"<script>alert(\"x\")</script> & more";
    g_modern.events[2].provider = std::wstring(600, L'p');
    g_modern.events[3].message = std::wstring(3000, L'm');
    EXPECT_EQ(
        ModernEvent("#ff0000", true, "Critical", 100, 60, "-", "Something happened.", "R&amp;D &lt;Provider&gt;") +
            ModernEvent("#ff0000", true, "Error", 101, 120, "-",
                        "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; more") +
            ModernEvent("#ff8000", false, "Warning", 102, 180, "-", "Something happened.", std::string(259, 'p')) +
            ModernEvent(nullptr, false, "Info", 103, 240, "-", std::string(3000, 'm')) +
            ModernEvent(nullptr, false, "Info", 104, 300) + ModernEvent(nullptr, false, "Unknown", 105, 360) +
            "Total Events: 6\n",
        Modern("System"));
}

// An event without publisher metadata is left out and not counted; a field
// that does not render is empty, never the event before's; the first event
// older than 30 days ends the export.
TEST_F(EventLogTest, ModernSkipsStaleFieldsAndTheAgeStop)
{
    g_modern.events = {{2, 7, 60}, {2, 7, 90}, {-1, 8, 120}, {2, 9, 40 * 86400}, {2, 10, 60}};
    g_modern.events[1].provider = g_modern.withoutMetadata = L"Harvin-Unregistered";
    g_modern.events[0].user = "S-1-5-18";
    g_modern.events[2].user = "!";
    EXPECT_EQ(ModernEvent("#ff0000", true, "Error", 7, 60, "SYSTEM") +
                  ModernEvent(nullptr, false, "Unknown", 8, 120, "") + "Total Events: 2\n",
              Modern("Application"));
}

// A page whose newer interface cannot be used says why and is filled by the
// classic export; a failure after events were written keeps them.
TEST_F(EventLogTest, ModernFallsBackToTheClassicExport)
{
    g_modern.queryFails = true;
    g_modern.queryError = 15007;  // no such channel
    g_classic.reads = {RecordBytes(Running(kNow - 1, "A"))};
    windows_.CollectEventLog(logs_.c_str(), "EventLogSystem.html", IDS_STATUS_EVENTLOG_SYSTEM, "Eventlog (System)",
                             "System", EventLogFunctions{&kFakeClassic, &kFakeModern});
    const std::string page = ReadPage(logs_ + "\\EventLogSystem.html");
    EXPECT_EQ("<h2>Eventlog (System)</h2>\n" + Unusable("EvtQuery failed with error 15007") +
                  ClassicEvent(nullptr, "Info", 4096, kNow - 1, "-", kNoModule) + "Total Events: 1\n" + kClosing,
              page.substr(page.find("<h2>")));
    EXPECT_EQ("System", g_classic.logName);
    EXPECT_NE(std::string::npos,
              ReadPage(std::string(OutputRoot) + "\\NAVI.html")
                  .find("<A HREF=\"./LOGs/EventLogSystem.html\" target=\"Inhalt\">Eventlog (System)</A>"));

    g_modern = ModernFake();
    g_modern.queryFails = true;  // as Wine's does: no query, no error code
    EXPECT_EQ(Unusable("EvtQuery failed with error 0") + "<returned 1>", Modern("System"));
    g_modern = ModernFake();
    g_modern.nextError = RPC_S_SERVER_UNAVAILABLE;
    EXPECT_EQ(Unusable("EvtNext failed with error 1722") + "<returned 1>", Modern("System"));
    g_modern = ModernFake();
    g_modern.events = {{4, 1, 60}};
    g_modern.nextError = RPC_S_SERVER_UNAVAILABLE;
    EXPECT_EQ(ModernEvent(nullptr, false, "Info", 1, 60) +
                  "[The end of the eventlog has not been reached, error 1722 occured]Total Events: 1\n",
              Modern("System"));

    windows_.SetSwitches(1, 1, 0, 1, 1, 1, 1);  // no Logging: no page
    windows_.CollectEventLog(logs_.c_str(), "EventLogApplication.html", IDS_STATUS_EVENTLOG_APPLICATION,
                             "Eventlog (Application)", "Application", EventLogFunctions{&kFakeClassic, &kFakeModern});
    EXPECT_FALSE(FileExists(logs_ + "\\EventLogApplication.html"));
}

// Error and critical events of the last 7 days are counted per log and
// source in the run's journal; a log read to its end is noted as read, one
// whose reading broke off is not.
TEST_F(EventLogTest, RecentErrorsAreCountedBySourceInTheJournal)
{
    JournalBeginRun();
    Crafted other{EVENTLOG_ERROR_TYPE, 1, kNow - 100, {}, ""};
    other.source = "OtherSource";
    g_classic.reads = {RecordBytes({EVENTLOG_ERROR_TYPE, 1, kNow - 60, {}, ""}) + RecordBytes(other) +
                       RecordBytes({EVENTLOG_WARNING_TYPE, 1, kNow - 120, {}, ""}) +
                       RecordBytes({EVENTLOG_ERROR_TYPE, 1, kNow - 7 * 86400 - 1, {}, ""})};
    Classic();
    g_modern.events = {{2, 1, 60}, {1, 2, 90}, {3, 3, 120}, {2, 4, 8 * 86400}};
    Modern("System");
    g_modern = ModernFake();
    g_modern.events = {{2, 1, 60}};
    g_modern.nextError = RPC_S_SERVER_UNAVAILABLE;
    Modern("Security");

    std::string counted;
    for (const JournalErrorSource& errors : Journal().recentErrors) {
        counted += errors.log + "/" + errors.source + ":" + std::to_string(errors.count) + " ";
    }
    EXPECT_EQ("Application/HarvinTestSource:1 Application/OtherSource:1 System/Harvin-Provider:2 ", counted)
        << "the Security log holds audits, not errors";
    EXPECT_EQ((std::vector<std::string>{"Application", "System"}), Journal().eventLogsRead);
}

// ---- this Windows ------------------------------------------------------------------------------------------

// The real interfaces. Wine's newer one gives no query (and crashes in the
// functions after it); its classic log is empty.
TEST_F(EventLogTest, LivePageOfThisWindows)
{
    windows_.CollectEventLog(logs_.c_str(), "EventLogSystem.html", IDS_STATUS_EVENTLOG_SYSTEM, "Eventlog (System)",
                             "System");
    std::string page = ReadPage(logs_ + "\\EventLogSystem.html");
    page = page.substr(page.find("<h2>"));
    EXPECT_NE(std::string::npos, page.find("Total Events: "));
    EXPECT_EQ(page.size() - strlen(kClosing), page.rfind(kClosing));
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
        EXPECT_EQ("<h2>Eventlog (System)</h2>\n" + Unusable("EvtQuery failed with error 0") +
                      "Total Events: 0\n[FILE IS EMPTY]" + kClosing,
                  page);
    }
}

TEST_F(EventLogTest, RawLogFilesAreCopiedOnlyInAnExtendedRun)
{
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 3u);
    const std::string winevt = std::string(system) + "\\winevt", folder = winevt + "\\Logs";
    const bool madeWinevt = CreateDirectoryA(winevt.c_str(), nullptr) != FALSE;
    const bool madeFolder = CreateDirectoryA(folder.c_str(), nullptr) != FALSE;
    const std::string content("ElfFile\0planted", 15);
    ASSERT_TRUE(testing_support::WriteFileBytes(folder + "\\HarvinTest.evtx", content));
    ASSERT_TRUE(testing_support::WriteFileBytes(folder + "\\HarvinTest.txt", "not a log"));
    const std::string copies = logs_ + (system + 2) + "\\winevt\\Logs\\";

    for (LONG extended : {0, 1}) {
        windows_.SetSwitches(extended, 1, 1 - extended, 1, 1, 1, 1);  // Extended alone, then Logging alone
        windows_.CopyEventLogFiles(logs_.c_str());
    }
    EXPECT_FALSE(FileExists(copies + "HarvinTest.evtx"));
    windows_.SetSwitches(1, 1, 1, 1, 1, 1, 1);
    windows_.CopyEventLogFiles(logs_.c_str());
    std::string copied;
    EXPECT_TRUE(testing_support::ReadFileBytes(copies + "HarvinTest.evtx", &copied) && copied == content);
    EXPECT_FALSE(FileExists(copies + "HarvinTest.txt") || FileExists(copies + "HarvinTest.txt.txt"));

    DeleteFileA((folder + "\\HarvinTest.evtx").c_str());
    DeleteFileA((folder + "\\HarvinTest.txt").c_str());
    if (madeFolder) RemoveDirectoryA(folder.c_str());
    if (madeWinevt) RemoveDirectoryA(winevt.c_str());
}

}  // namespace
