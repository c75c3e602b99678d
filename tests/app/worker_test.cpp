// A whole collection run on its worker thread, without a shown dialog: the
// hidden status dialog receives the status lines while this thread pumps.
// The results of the full run stay in tests/out/worker-run for the checks
// made on the Linux side (unzip, Python, a browser).
#include "app/app_state.h"
#include "app/collection_worker.h"
#include "app/output_location.h"
#include "app/report_archive.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "tests/app/spine_fixture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <winternl.h>
#include <cstring>
#include <fstream>
#include <shlobj.h>

using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::MessageBoxAnswerer;

namespace {

const char kTitle[] = "Wardex Harvin - Support Information";

std::string DesktopArchivePath()
{
    char desktop[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
    return std::string(desktop) + "\\GATHINFO.ZIP";
}

void PrepareRunFolder(const std::string& folder)
{
    testing_support::RemoveTree(folder);
    CreateDirectoryA(testing_support::TestOutDir().c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyText(ProgramPathOverride, (folder + "\\harvin.exe").c_str());
    CommandLineCopy[0] = '\0';
    ParsedCommandLine = CommandLineOptions();
    CancelRequested = 0;
    ExtendedCollection = 0;
    strcpy(UserInfo.name, "Erika Mustermann");
    strcpy(UserInfo.company, "Muster GmbH");
    strcpy(UserInfo.third, "T-4711");
    spine::ClearStatusLines();
}

void SaveLines(const std::vector<std::string>& lines, const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    for (const std::string& line : lines) out << line << "\n";
}

TEST(Worker, FullRunWritesTreeNavigationArchiveAndDesktopCopy)
{
    const std::string folder = testing_support::TestOutDir() + "\\worker-run";
    PrepareRunFolder(folder);
    DeleteFileA(DesktopArchivePath().c_str());
    MessageBoxAnswerer answerer(kTitle, IDOK);
    // Signed under the planted root: the host check finds its signer on the Startup page.
    const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const char kSigned[] = "C:\\harvin-signatures\\signed.exe";
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kRunKey, "HarvinSigned", REG_SZ, kSigned, sizeof kSigned), 0);
    spine::RunWorker();
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kRunKey, "HarvinSigned");

    EXPECT_EQ(answerer.Answered(), 1) << "exactly the final message is shown";
    EXPECT_NE(answerer.LastText().find("GATHINFO.ZIP"), std::string::npos);
    const std::string root = folder + "\\SupportData";
    for (const char* sub : {"Dumps", "LOGs", "INIFiles", "BATFiles", "SYSInfo", "Wardex", "Startup"}) {
        EXPECT_TRUE(FolderExists(root + "\\" + sub)) << sub;
    }
    EXPECT_TRUE(FileExists(root + "\\INDEX.html"));
    EXPECT_TRUE(FileExists(root + "\\START.html"));
    EXPECT_TRUE(FileExists(folder + "\\GATHINFO.ZIP"));
    EXPECT_TRUE(FileExists(DesktopArchivePath()));

    std::string navi = spine::ReadText(root + "\\NAVI.html");
    const char* inOrder[] = {"<A NAME=\"?IDX?\"></A>", ">Windows<", ">Autostart<", ">Startup Registry Entries<",
                             ">Start Menu/Startup<", ">Explorer<", ">Internet Explorer<", ">Winlogon<",
                             ">Miscellaneous<", ">Scheduled Tasks<", ">Other Users' Startup Entries<",
                             ">Execution Hooks<", ">WMI Event Subscriptions<", ">Browser Extensions<",
                             ">Logging<", ">Registry<", ">Network Registry Entries<",
                             ">Services Registry Entries<", ">Diverse Registry Entries<", ">Services<", ">System<",
                             ">System Configuration Files<", ">Norvane<", "</TT></BODY></HTML>"};
    size_t at = 0;
    for (const char* piece : inOrder) {
        size_t found = navi.find(piece, at);
        EXPECT_NE(found, std::string::npos) << piece;
        if (found != std::string::npos) at = found;
    }
    EXPECT_EQ(navi.find("Minidump / Dump"), std::string::npos) << "no dump section in a standard run";
    // The tool outputs, the service list and the driver pages in their places of the chain
    // (this test program carries no provider lister to extract).
    const char* toolsInOrder[] = {">Logging<", "./LOGs/netstat.txt", "./LOGs/netstat_route.txt",
                                  "./LOGs/ipconfigall.txt", ">Registry<", ">Services<",
                                  "./LOGs/scqueryex.txt", ">System<", "./SYSInfo/ProcessesModules.html",
                                  "./SYSInfo/DriverFiles.html", "./SYSInfo/DeviceEnum.html",
                                  ">System Configuration Files<"};
    at = 0;
    for (const char* piece : toolsInOrder) {
        size_t found = navi.find(piece, at);
        EXPECT_NE(found, std::string::npos) << piece;
        if (found != std::string::npos) at = found;
    }
    EXPECT_TRUE(FileExists(root + "\\LOGs\\fltmc.txt"));
    EXPECT_EQ(navi.find("fltmc"), std::string::npos) << "fltmc does not start here: no link";
    EXPECT_FALSE(FileExists(root + "\\provscan.exe"));

    std::vector<std::string> lines = spine::StatusLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Home path: " + folder + "\\");
    EXPECT_EQ(lines[1], "The report GATHINFO.HTM is written to " + root + "\\");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "The report GATHINFO.HTM is finished."), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Packing the report GATHINFO.HTM into GATHINFO.ZIP..."),
              lines.end());
    EXPECT_EQ(lines.back(), "The archive is complete.");
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "The report GATHINFO.HTM could not be packed completely."),
              lines.end());
    SaveLines(lines, folder + "\\status-lines.txt");
}

// Autostart entries of four kinds, each naming one planted program, for the
// host check to find in the summary with the program's SHA-256. The task is
// a definition in the task folder, as Windows stores it (UTF-16).
class PlantedAutostart {
public:
    PlantedAutostart()
    {
        const std::string folder = testing_support::TestOutDir() + "\\worker-autostart";
        testing_support::RemoveTree(folder);
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string program = folder + "\\autostart.exe";
        std::string task = "\xFF\xFE";
        for (char c : "<Task><Actions><Exec><Command>\"" + program + "\"</Command><Arguments>/x</Arguments></Exec>"
                      "</Actions></Task>") {
            task += std::string(1, c) + '\0';
        }
        ok_ = testing_support::WriteFileBytes(program, "starts by itself") &&
              testing_support::WriteFileBytes(TaskFile(), task) &&
              Set(HKEY_USERS, std::string(kUser) + "\\" + kRunKey, "HarvinSummary", "\"" + program + "\" /run",
                  KEY_WOW64_64KEY) &&
              Set(HKEY_LOCAL_MACHINE, std::string(kIfeo) + "\\harvin-summary.exe", "Debugger", program, KEY_WOW64_64KEY) &&
              Set(HKEY_LOCAL_MACHINE, std::string(kComponents) + "\\{HarvinSummaryTest}", "StubPath", program,
                  KEY_WOW64_32KEY);
    }
    ~PlantedAutostart()
    {
        DeleteFileA(TaskFile().c_str());
        DeleteTree(HKEY_USERS, "", kUser, 0);
        DeleteTree(HKEY_LOCAL_MACHINE, kIfeo, "harvin-summary.exe", KEY_WOW64_64KEY);
        DeleteTree(HKEY_LOCAL_MACHINE, kComponents, "{HarvinSummaryTest}", KEY_WOW64_32KEY);
    }
    PlantedAutostart(const PlantedAutostart&) = delete;
    PlantedAutostart& operator=(const PlantedAutostart&) = delete;
    bool Ok() const { return ok_; }

private:
    static constexpr const char* kUser = "S-1-5-21-1111-2222-3333-1002";
    static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kIfeo = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
    static constexpr const char* kComponents = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";

    static std::string TaskFile()
    {
        char system[MAX_PATH] = "";
        GetSystemDirectoryA(system, MAX_PATH);
        return std::string(system) + "\\Tasks\\Harvin Summary Task";
    }
    static bool Set(HKEY hive, const std::string& path, const char* name, const std::string& text, REGSAM view)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr) != 0) return false;
        const LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                           static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
    static void DeleteTree(HKEY hive, const char* parent, const char* name, REGSAM view)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(hive, parent, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
        RegDeleteTreeA(key, name);
        RegCloseKey(key);
    }
    bool ok_ = false;
};

// The summary of a run whose details hold non-ASCII letters and quotes,
// where one page cannot be created (a file of its name is held open without
// sharing once the tree is made) and autostart entries are planted.
// Collected data that looks like a failure text (a Run value) is no problem
// of the run. The host check reads tests/out/worker-summary.
TEST(Worker, SummaryRunKeepsTextsAndNamesTheFailedPage)
{
    const std::string folder = testing_support::TestOutDir() + "\\worker-summary";
    PrepareRunFolder(folder);
    strcpy(UserInfo.name, "J\xFCrgen \"JJ\" M\xFCller");  // code page 1252
    strcpy(UserInfo.third, "Ticket <42> & \\ 100%");
    const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const char kPlanted[] = "C:\\[Error planted] [not available planted]\\x.exe";
    HKEY run = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &run, nullptr), 0);
    RegSetValueExA(run, "HarvinPlanted", 0, REG_SZ, reinterpret_cast<const BYTE*>(kPlanted), sizeof kPlanted);
    HANDLE hold = INVALID_HANDLE_VALUE;
    spine::OnNextStatusLine([&] {
        hold = CreateFileA((folder + "\\SupportData\\SYSInfo\\Misc.html").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, CREATE_ALWAYS, 0, nullptr);
    });
    PlantedAutostart autostart;
    ASSERT_TRUE(autostart.Ok());
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        spine::RunWorker();
    }
    RegDeleteValueA(run, "HarvinPlanted");
    RegCloseKey(run);
    EXPECT_NE(hold, INVALID_HANDLE_VALUE);
    CloseHandle(hold);
    EXPECT_TRUE(FileExists(folder + "\\SupportData\\summary.json"));
}

// A run with the user details' check box: the host check reads tests/out/worker-redacted.
TEST(Worker, RedactedRunSaysSoAndKeepsThePersonsEntries)
{
    const std::string folder = testing_support::TestOutDir() + "\\worker-redacted";
    PrepareRunFolder(folder);
    UserInfo.removePersonalData = true;
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        spine::RunWorker();
    }
    UserInfo.removePersonalData = false;
    const std::string start = spine::ReadText(folder + "\\SupportData\\START.html");
    EXPECT_NE(start.find("Personal data removed:"), std::string::npos);
    EXPECT_NE(start.find("Erika Mustermann"), std::string::npos);
}

TEST(Worker, ExtendedRunOpensTheDumpSection)
{
    const std::string folder = testing_support::TestOutDir() + "\\worker-extended";
    PrepareRunFolder(folder);
    ExtendedCollection = 1;
    MessageBoxAnswerer answerer(kTitle, IDOK);
    spine::RunWorker();
    std::string navi = spine::ReadText(folder + "\\SupportData\\NAVI.html");
    EXPECT_NE(navi.find("Minidump / Dump"), std::string::npos);
    EXPECT_NE(spine::ReadText(folder + "\\SupportData\\START.html").find("Extended collection"), std::string::npos);
    ExtendedCollection = 0;
    testing_support::RemoveTree(folder);
}

TEST(Worker, CancelBeforeTheChainDeletesTheTreeAndStillSignals)
{
    const std::string folder = testing_support::TestOutDir() + "\\worker-cancel";
    PrepareRunFolder(folder);
    CancelRequested = 1;
    MessageBoxAnswerer answerer(kTitle, IDOK);
    spine::RunWorker();
    EXPECT_FALSE(FolderExists(folder + "\\SupportData"));
    EXPECT_FALSE(FileExists(folder + "\\GATHINFO.ZIP"));
    EXPECT_EQ(answerer.Answered(), 0) << "a cancelled run shows no final message";
    CancelRequested = 0;
    testing_support::RemoveTree(folder);
}

TEST(Worker, SecondRunStartsAFreshTreeAndNavigation)
{
    const std::string folder = testing_support::TestOutDir() + "\\worker-twice";
    PrepareRunFolder(folder);
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        spine::RunWorker();
    }
    ASSERT_TRUE(testing_support::WriteFileBytes(folder + "\\SupportData\\LOGs\\left-over.txt", "old"));
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        spine::RunWorker();
    }
    EXPECT_FALSE(FileExists(folder + "\\SupportData\\LOGs\\left-over.txt"));
    std::string navi = spine::ReadText(folder + "\\SupportData\\NAVI.html");
    size_t first = navi.find("Norvane Support Information File");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(navi.find("Norvane Support Information File", first + 1), std::string::npos);
    testing_support::RemoveTree(folder);
}

// Cancels at the Nth passing of one kind of cancel point and asks the
// dialog, right then, whether it still answers.
struct CancelPlan {
    CancelPoint kind = CancelPoint::ChainRow;
    int at = -1;
    int seen[4] = {};
    bool answered = false;
};
CancelPlan g_plan;

void CountAndCancel(CancelPoint point)
{
    int& seen = g_plan.seen[static_cast<int>(point)];
    if (point == g_plan.kind && seen == g_plan.at) {
        CancelRequested = 1;
        DWORD_PTR result = 0;
        g_plan.answered = SendMessageTimeoutA(MainDialogWindow, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result) != 0;
    }
    ++seen;
}

// The first, every fourth and the last chain row (a run per row would take
// minutes), and the first, a middle and the last point of the other kinds.
std::vector<int> PointsToCancelAt(CancelPoint kind, int passed)
{
    if (passed == 0) return {};
    if (kind != CancelPoint::ChainRow) return {0, passed / 2, passed - 1};
    std::vector<int> rows;
    for (int row = 0; row < passed - 1; row += 4) rows.push_back(row);
    rows.push_back(passed - 1);
    return rows;
}

// A handle of the classes root, which Wine 8 opens anew and never closes
// on each RegOpenKeyEx of HKEY_CLASSES_ROOT with a view flag (100 opens and
// closes of "CLSID" leave 100 of them; on Windows the root is no handle).
bool IsWineClassesRoot(HANDLE handle)
{
    using QueryFunction = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    alignas(8) BYTE name[1024] = {};
    ULONG got = 0;
    if (query(handle, 1 /* ObjectNameInformation */, name, sizeof name, &got) != 0) return false;
    const auto* text = reinterpret_cast<const UNICODE_STRING*>(name);
    const std::wstring path(text->Buffer != nullptr ? text->Buffer : L"", text->Length / sizeof(wchar_t));
    return path == L"\\REGISTRY\\Machine\\Software\\Classes" ||
           path == L"\\REGISTRY\\Machine\\Software\\Classes\\Wow6432Node";
}

// The handles this process holds, from the system's handle list (Wine's
// GetProcessHandleCount answers 0). Entries: process id, type, flags,
// handle value, object, access; the list starts at the pointer after the count.
DWORD HandleCount()
{
    using QueryFunction = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    struct Entry {
        ULONG process;
        BYTE type, flags;
        USHORT value;
        void* object;
        ULONG access;
    };
    std::vector<BYTE> list(1 << 20);
    const LONG kSystemHandleInformation = 16, kLengthMismatch = static_cast<LONG>(0xC0000004);
    ULONG needed = 0;
    while (query(kSystemHandleInformation, list.data(), static_cast<ULONG>(list.size()), &needed) == kLengthMismatch) {
        list.resize(list.size() * 2);
    }
    const ULONG entries = *reinterpret_cast<ULONG*>(list.data());
    const Entry* entry = reinterpret_cast<const Entry*>(list.data() + sizeof(void*));
    DWORD count = 0;
    for (ULONG i = 0; i < entries; ++i) {
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry[i].value));
        count += (entry[i].process & 0xFFFF) == (GetCurrentProcessId() & 0xFFFF) && !IsWineClassesRoot(handle);
    }
    return count;
}

TEST(WorkerCancel, AtAnyPointTheRunLeavesNothingAndHoldsNoMoreHandles)
{
    const std::string folder = testing_support::TestOutDir() + "\\worker-cancel-sweep";
    CancelPointObserver = &CountAndCancel;
    // A whole run counts the points, and fills what Wine keeps once it is first asked.
    PrepareRunFolder(folder);
    g_plan = CancelPlan();
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        spine::RunWorker();
    }
    const CancelPlan whole = g_plan;
    for (CancelPoint kind : {CancelPoint::ChainRow, CancelPoint::CatalogEntry, CancelPoint::ArchiveEntry,
                             CancelPoint::ProgramWait}) {
        const int passed = whole.seen[static_cast<int>(kind)];
        EXPECT_GT(passed, 0) << static_cast<int>(kind);
        for (int at : PointsToCancelAt(kind, passed)) {
            SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " point " << at);
            PrepareRunFolder(folder);
            g_plan = CancelPlan();
            g_plan.kind = kind;
            g_plan.at = at;
            MessageBoxAnswerer answerer(kTitle, IDOK);
            const DWORD before = HandleCount();
            ASSERT_GT(before, 10u);
            spine::RunWorker();  // bounded: it fails when the run does not end in time
            EXPECT_EQ(CancelRequested, 1);
            EXPECT_TRUE(g_plan.answered);
            EXPECT_EQ(answerer.Answered(), 0);
            EXPECT_FALSE(FolderExists(folder + "\\SupportData"));
            EXPECT_FALSE(FileExists(folder + "\\GATHINFO.ZIP"));
            EXPECT_LE(HandleCount(), before);
        }
    }
    CancelPointObserver = nullptr;
    CancelRequested = 0;
    testing_support::RemoveTree(folder);
}

}  // namespace
