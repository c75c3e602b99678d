// The services pages and the network tool outputs: driver services from a
// stand-in enumerator (every type and state, a list that grows while read)
// and live against an independent enumeration; planted driver services with
// every form of image path; the tool outputs of a live run with the embedded
// provscan; the version decisions Wine cannot exercise; the msinfo32 search.
#include "app/app_state.h"
#include "platform/bounded_text.h"
#include "platform/windows_version_model.h"
#include "system/windows_stuff.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2spi.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

using system_tests::PlantedValue;
using system_tests::ReadPage;
using testing_support::FileExists;

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// What lies between a page's title heading and its foot.
std::string Body(const std::string& page, const std::string& title)
{
    const size_t start = page.find("<h2>" + title + "</h2>\n");
    const size_t end = page.rfind("\n</font></tt>\n</body>\n</html>\n");
    if (start == std::string::npos || end == std::string::npos) return "<no page>";
    return page.substr(start + title.size() + 10, end - start - title.size() - 10);
}

// Writes `bytes` at `path`, making its folders.
void Plant(const std::string& path, const std::string& bytes)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    EXPECT_TRUE(testing_support::WriteFileBytes(path, bytes)) << path;
}

// A scratch output root (its name holds a blank) with LOGs and SYSInfo.
class CollectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const std::string& folder : {root_, logs_, sysInfo_})
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(CopyText(OutputRoot, root_.c_str()));
        NaviFontSize = -1;
        CancelRequested = 0;
        windows_.SetSwitches(0, 1, 1, 1, 1, 1, 1);
    }
    void TearDown() override { OutputRoot[0] = '\0'; }
    std::string Navi() const { return ReadPage(root_ + "\\NAVI.html"); }

    testing_support::ScratchFolder scratch_{"harvin services"};
    std::string root_ = scratch_.Join("Support Data");
    std::string logs_ = root_ + "\\LOGs";
    std::string sysInfo_ = root_ + "\\SYSInfo";
    CWindowsStuff windows_;
};

// ---- driver services page ------------------------------------------------------------

struct Listed {
    std::string display, name;
    DWORD type, state;
};
// The stand-in's list, and what is registered between the size query and the read.
std::vector<Listed> gListed, gAddedLater;

DWORD Bytes(const Listed& s)
{
    return static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUS_PROCESSA) + s.display.size() + s.name.size() + 2);
}

// EnumServicesStatusExA's contract: as many records as fit from the resume
// point, strings behind them, ERROR_MORE_DATA with the size of the rest.
BOOL WINAPI StandInEnumerate(SC_HANDLE, SC_ENUM_TYPE level, DWORD types, DWORD states, LPBYTE buffer, DWORD size,
                             LPDWORD needed, LPDWORD returned, LPDWORD resume, LPCSTR)
{
    EXPECT_TRUE(level == SC_ENUM_PROCESS_INFO && types == 0x0B && states == 3);
    const size_t start = buffer == nullptr ? 0 : *resume;
    size_t end = start;
    for (DWORD used = 0; buffer != nullptr && end < gListed.size() && used + Bytes(gListed[end]) <= size; ++end) {
        used += Bytes(gListed[end]);
    }
    auto* records = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSA*>(buffer);
    char* strings = reinterpret_cast<char*>(records + (end - start));
    for (size_t i = start; i < end; ++i) {
        ENUM_SERVICE_STATUS_PROCESSA& record = records[i - start] = {};
        record.lpDisplayName = strcpy(strings, gListed[i].display.c_str());
        strings += gListed[i].display.size() + 1;
        record.lpServiceName = strcpy(strings, gListed[i].name.c_str());
        strings += gListed[i].name.size() + 1;
        record.ServiceStatusProcess.dwServiceType = gListed[i].type;
        record.ServiceStatusProcess.dwCurrentState = gListed[i].state;
    }
    *needed = 0;
    for (size_t i = end; i < gListed.size(); ++i) *needed += Bytes(gListed[i]);
    if (buffer == nullptr) gListed.insert(gListed.end(), gAddedLater.begin(), gAddedLater.end());
    *returned = static_cast<DWORD>(end - start);
    *resume = *needed == 0 ? 0 : static_cast<DWORD>(end);
    SetLastError(*needed == 0 ? ERROR_SUCCESS : ERROR_MORE_DATA);
    return *needed == 0;
}

// Every type and state text (0x110 and values outside the table give no
// line), names as text; three drivers registered after the size query are
// read on from the resume point.
TEST_F(CollectorTest, DriverServicesOfACraftedListThatGrowsWhileRead)
{
    gListed = {{"Kernel <one>", "k1", 1, 1},
               {"FS & more", "f2", 2, 2},
               {"Own", "o16", 16, 3},
               {"Shared", "s32", 32, 4},
               {"Interactive", "i256", 256, 5}};
    gAddedLater = {{"Own+Interactive", "x110", 0x110, 6}, {"Odd", "odd", 0x0B, 7}, {"No state", "none", 1, 0}};
    windows_.CollectDriverServices(sysInfo_.c_str(), "DeviceEnum.html", StandInEnumerate);
    EXPECT_EQ(
        "<PRE>1:\tDisplay Name \t : Kernel &lt;one&gt; \n\tService Name \t : k1 \n"
        "\tService Type \t : Kernel Driver  \n\tCurrent State \t : Stopped  \n<br></PRE>"
        "<PRE>2:\tDisplay Name \t : FS &amp; more \n\tService Name \t : f2 \n"
        "\tService Type \t : File System Driver  \n\tCurrent State \t : Start pending  \n<br></PRE>"
        "<PRE>3:\tDisplay Name \t : Own \n\tService Name \t : o16 \n"
        "\tService Type \t : Own Process  \n\tCurrent State \t : Stop pending  \n<br></PRE>"
        "<PRE>4:\tDisplay Name \t : Shared \n\tService Name \t : s32 \n"
        "\tService Type \t : Shared Process  \n\tCurrent State \t : Running  \n<br></PRE>"
        "<PRE>5:\tDisplay Name \t : Interactive \n\tService Name \t : i256 \n"
        "\tService Type \t : Interactive Process  \n\tCurrent State \t : Continue is pending  \n<br></PRE>"
        "<PRE>6:\tDisplay Name \t : Own+Interactive \n\tService Name \t : x110 \n"
        "\tCurrent State \t : Pause is pending  \n<br></PRE>"
        "<PRE>7:\tDisplay Name \t : Odd \n\tService Name \t : odd \n\tCurrent State \t : Paused  \n<br></PRE>"
        "<PRE>8:\tDisplay Name \t : No state \n\tService Name \t : none \n"
        "\tService Type \t : Kernel Driver  \n<br></PRE>",
        Body(ReadPage(sysInfo_ + "\\DeviceEnum.html"), "Installed Drivers"));
    EXPECT_NE(std::string::npos, Navi().find("\"./SYSInfo/DeviceEnum.html\" target=\"Inhalt\">Installed Drivers</A>"));
}

TEST_F(CollectorTest, DriverServicesOfALiveRunMatchAnIndependentEnumeration)
{
    windows_.CollectDriverServices(sysInfo_.c_str(), "DeviceEnum.html");
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
    std::vector<BYTE> buffer(256 * 1024);
    DWORD needed = 0, count = 0, resume = 0;
    ASSERT_TRUE(EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_DRIVER, SERVICE_STATE_ALL, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr));
    CloseServiceHandle(manager);
    ASSERT_GT(count, 0u);
    const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    std::string expected;
    for (DWORD i = 0; i < count; ++i) {
        char name[512], display[512];
        WideCharToMultiByte(CP_ACP, 0, services[i].lpServiceName, -1, name, sizeof name, nullptr, nullptr);
        WideCharToMultiByte(CP_ACP, 0, services[i].lpDisplayName, -1, display, sizeof display, nullptr, nullptr);
        const DWORD type = services[i].ServiceStatusProcess.dwServiceType;
        const DWORD state = services[i].ServiceStatusProcess.dwCurrentState;
        expected += "<PRE>" + std::to_string(i + 1) + ":\tDisplay Name \t : " + display +
                    " \n\tService Name \t : " + name +
                    " \n\tService Type \t : " + (type == 1 ? "Kernel Driver" : "File System Driver") +
                    "  \n\tCurrent State \t : " + (state == 1 ? "Stopped" : "Running") + "  \n<br></PRE>";
    }
    EXPECT_EQ(expected, Body(ReadPage(sysInfo_ + "\\DeviceEnum.html"), "Installed Drivers"));
}

// ---- driver files page ---------------------------------------------------------------

// Each form of image path resolves to its planted file (size and version
// lines); a service that is no driver has no entry. Without a system root in
// the registry the system's Windows folder stands in.
TEST_F(CollectorTest, DriverImagePathsResolveToThePlantedFiles)
{
    std::string image;
    ASSERT_TRUE(testing_support::ReadFileBytes(testing_support::TestBinDir() + "\\system_known_version.dll", &image));
    const auto entry = [&image](std::string path) {
        for (size_t at = path.find('&'); at != std::string::npos; at = path.find('&', at + 1))
            path.insert(at + 1, "amp;");
        return "<strong>" + path +
               "</strong>\n<div style=\"margin-left: 40px;\">\nVersion: 7.6.5.4<BR>\n"
               "Description: Harvin known module<BR>\nVendor: Harvin Test Vendor<BR>\n"
               "Copyright: Copyright (C) Harvin Tests<BR>\nSignature: Not signed<BR>\nFilesize: " +
               std::to_string(image.size()) + "<BR>\n</div><BR>\n";
    };
    const std::string root = scratch_.Join("Win Root"), drivers = root + "\\System32\\drivers\\";
    const std::string tools = scratch_.Join("Tools & Co") + "\\";
    const struct {
        const char* service;
        DWORD type;
        std::string imagePath, file;  // an empty image path: no such value
    } planted[] = {
        {"HvDrvSystemRoot", 1, "\\SystemRoot\\System32\\drivers\\hv_a.sys", drivers + "hv_a.sys"},
        {"HvDrvDevice", 1, "\\??\\" + tools + "hv_b.sys", tools + "hv_b.sys"},
        {"HvDrvVariable", 2, "%systemroot%\\System32\\drivers\\hv_c.sys", drivers + "hv_c.sys"},
        {"HvDrvRelative", 1, "System32\\DRIVERS\\hv_d.sys", root + "\\System32\\DRIVERS\\hv_d.sys"},
        {"HvDrvQuoted", 2, "\"" + tools + "hv e.sys\"", tools + "hv e.sys"},
        {"HvDrvDefault", 1, "", drivers + "HvDrvDefault.sys"},
        {"HvOwnProcess", 16, tools + "hv_service.exe", tools + "hv_service.exe"},
    };
    std::vector<std::unique_ptr<PlantedValue>> values;
    for (const auto& d : planted) {
        const std::string key = std::string("System\\CurrentControlSet\\Services\\") + d.service;
        values.emplace_back(new PlantedValue(HKEY_LOCAL_MACHINE, key, "Type", KEY_WOW64_64KEY, REG_DWORD,
                                             std::string(reinterpret_cast<const char*>(&d.type), 4)));
        if (!d.imagePath.empty()) {
            values.emplace_back(
                new PlantedValue(HKEY_LOCAL_MACHINE, key, "ImagePath", KEY_WOW64_64KEY, REG_EXPAND_SZ, d.imagePath));
        }
        Plant(d.file, image);
    }
    for (const auto& value : values) ASSERT_TRUE(value->Ok());
    {
        PlantedValue systemRoot(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "SystemRoot", KEY_WOW64_32KEY, REG_SZ, root);
        windows_.CollectDriverFiles(sysInfo_.c_str(), "DriverFiles.html");
    }
    const std::string page = ReadPage(sysInfo_ + "\\DriverFiles.html");
    for (const auto& d : planted) EXPECT_EQ(d.type != 16, page.find(entry(d.file)) != std::string::npos) << d.service;
    EXPECT_NE(std::string::npos, Navi().find("\"./SYSInfo/DriverFiles.html\" target=\"Inhalt\">Windows NT Driver</A>"));

    char windows[MAX_PATH];
    const std::string fallback =
        std::string(windows, GetSystemWindowsDirectoryA(windows, MAX_PATH)) + "\\System32\\drivers\\hv_a.sys";
    ASSERT_FALSE(FileExists(fallback));
    Plant(fallback, image);
    {
        PlantedValue noRoot(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "SystemRoot", KEY_WOW64_32KEY, REG_SZ, "", true);
        windows_.CollectDriverFiles(sysInfo_.c_str(), "DriverFiles2.html");
    }
    DeleteFileA(fallback.c_str());
    EXPECT_NE(std::string::npos, ReadPage(sysInfo_ + "\\DriverFiles2.html").find(entry(fallback)));

    // Never a path cut to fit, nor one below an unknown root.
    char out[40];
    EXPECT_FALSE(CWindowsStuff::ResolveDriverImagePath("System32\\a-long-driver.sys", "C:\\Windows Folder\\", out, 40));
    EXPECT_FALSE(CWindowsStuff::ResolveDriverImagePath("\\SystemRoot\\a.sys", "", out, sizeof out));
    EXPECT_STREQ("", out);
}

// ---- network and filter tool outputs -------------------------------------------------

TEST_F(CollectorTest, ToolOutputsOfALiveRun)
{
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    std::vector<WSAPROTOCOL_INFOW> catalog(64);
    DWORD size = static_cast<DWORD>(catalog.size() * sizeof catalog[0]);
    int error = 0;
    const int entries = WSCEnumProtocols(nullptr, catalog.data(), &size, &error);
    WSACleanup();
    ASSERT_GT(entries, 0);

    for (auto capture :
         {&CWindowsStuff::CaptureConnections, &CWindowsStuff::CaptureRoutes, &CWindowsStuff::CaptureAdapters,
          &CWindowsStuff::CaptureProviders, &CWindowsStuff::CaptureFilters}) {
        (windows_.*capture)(logs_.c_str());
    }
    windows_.CollectServiceList(logs_.c_str(), "scqueryex.txt");

    for (const char* file : {"netstat.txt", "netstat_route.txt", "scqueryex.txt"}) {
        EXPECT_TRUE(FileExists(logs_ + "\\" + file)) << file;
    }
    EXPECT_FALSE(FileExists(root_ + "\\provscan.exe")) << "the companion is deleted again";
    const std::string adapters = ReadPage(logs_ + "\\ipconfigall.txt");
    static const std::regex adapterBlock("\n\\w+ adapter [^\n]+\n\n    [^\n]+\n    Description[ .]+: ");
    EXPECT_TRUE(std::regex_search(adapters, adapterBlock)) << adapters;
    const std::string providers = ReadPage(logs_ + "\\lsplist.txt");
    EXPECT_EQ(0u, providers.find("Provider List\n\nVariable\tValue\nName\t\t")) << providers;
    const std::regex block("\n\nVariable\tValue\n");
    EXPECT_EQ(entries,
              std::distance(std::sregex_iterator(providers.begin(), providers.end(), block), std::sregex_iterator()));
    // A library path only where Winsock names one (Wine reports success with none).
    static const std::regex libraryPath("\nLibraryPath\t([^\n]*)\n");
    for (std::sregex_iterator it(providers.begin(), providers.end(), libraryPath), end; it != end; ++it) {
        EXPECT_NE(std::string::npos, (*it)[1].str().find_first_of("\\%")) << (*it)[0].str();
    }
    std::string filters = "<missing>";
    EXPECT_TRUE(testing_support::ReadFileBytes(logs_ + "\\fltmc.txt", &filters));
    EXPECT_EQ("", filters) << "fltmc does not exist here";

    const std::string navi = Navi();
    size_t at = 0;
    for (const char* link :
         {"netstat.txt\" target=\"Inhalt\">netstat.exe -anb</A>",
          "netstat_route.txt\" target=\"Inhalt\">Routingtabelle</A>",
          "ipconfigall.txt\" target=\"Inhalt\">ipconfig /all</A>", "lsplist.txt\" target=\"Inhalt\">LSP List</A>",
          "scqueryex.txt\" target=\"Inhalt\">Services List</A>"}) {
        at = navi.find(std::string("<LI><A HREF=\"./LOGs/") + link, at);
        EXPECT_NE(std::string::npos, at) << link << "\n" << navi;
    }
    EXPECT_EQ(std::string::npos, navi.find("fltmc"));
}

// ---- decisions by Windows version ----------------------------------------------------

TEST(VersionDecisionTest, ToolCommandsAndFlagsByVersion)
{
    const auto facts = [](DWORD major, DWORD minor, BYTE product = VER_NT_WORKSTATION,
                          DWORD platform = VER_PLATFORM_WIN32_NT) {
        VersionFacts f = {};
        f.versionQueryOk = major != 0;
        f.platformId = platform;
        f.major = major;
        f.minor = minor;
        f.productType = product;
        f.serverByRegistry = product != VER_NT_WORKSTATION;
        return f;
    };
    const char* msinfo =
        "\"C:\\M S\\msinfo32.exe\" /categories +SWEnvServices /report \"C:\\Out Dir\\LOGs\\scqueryex.txt\"";
    const char* sc = "sc.exe queryex";
    const struct {
        VersionFacts facts;
        const char *serviceList, *connections;
        int mark;
    } rows[] = {
        {facts(5, 0), msinfo, "netstat.exe -anb", 1},
        {facts(5, 0, VER_NT_SERVER), msinfo, "netstat.exe -anb", 1},
        {facts(5, 1), sc, "netstat.exe -anb", 1},
        {facts(5, 2, VER_NT_SERVER), sc, "netstat.exe -anbo", 1},
        {facts(5, 2), sc, "netstat.exe -anbo", 1},  // XP x64
        {facts(6, 1), sc, "netstat.exe -anb", 0},
        {facts(10, 0), sc, "netstat.exe -anb", 0},
        {facts(4, 10, 0, VER_PLATFORM_WIN32_WINDOWS), sc, "netstat.exe -anb", 0},
        {facts(0, 0), sc, nullptr, 0},  // the version query failed
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.facts.major) + "." + std::to_string(row.facts.minor));
        ToolRun run;
        ASSERT_TRUE(CWindowsStuff::PlanServiceList(row.facts, "C:\\M S\\msinfo32.exe", "C:\\Out Dir\\LOGs",
                                                   "scqueryex.txt", &run));
        const bool fromTool = row.serviceList == msinfo;
        EXPECT_EQ(fromTool, CWindowsStuff::ServiceListFromMsinfo(row.facts));
        EXPECT_STREQ(row.serviceList, run.commandLine);
        EXPECT_TRUE(run.captured != fromTool && run.inheritHandles != fromTool);
        EXPECT_EQ(fromTool ? 0x08002000u : 0x08000000u, run.creationFlags);
        EXPECT_STREQ(row.connections, CWindowsStuff::ConnectionsCommandLine(row.facts));
        EXPECT_EQ(row.mark, CWindowsStuff::FilterCaptureMark(row.facts));
    }
    ToolRun run;
    EXPECT_FALSE(CWindowsStuff::PlanServiceList(facts(5, 0), "", "C:\\Out", "scqueryex.txt", &run)) << "no tool";
}

// ---- the system information tool -----------------------------------------------------

TEST(LocateMsinfo32Test, CandidatesInTheirOrder)
{
    char windows[MAX_PATH];
    const std::string drive(windows, GetWindowsDirectoryA(windows, MAX_PATH) > 2 ? 2 : 0);
    const std::string german = drive + "\\programme";
    const std::string english = drive + "\\program files\\common files\\microsoft shared\\msinfo";
    ASSERT_FALSE(testing_support::FolderExists(german) || testing_support::FolderExists(english));
    testing_support::ScratchFolder scratch("harvin msinfo");
    const std::string candidates[] = {german + "\\gemeinsame dateien\\microsoft shared\\msinfo\\msinfo32.exe",
                                      english + "\\msinfo32.exe", scratch.Join("app\\msinfo32.exe"),
                                      scratch.Join("wow\\msinfo32.exe"), scratch.Join("shared\\msinfo32.exe")};
    for (const std::string& path : candidates) Plant(path, "MZ");
    PlantedValue app(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msinfo32.exe",
                     "Path", KEY_WOW64_32KEY, REG_SZ, scratch.Join("app"));
    PlantedValue shared(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSInfo", "Path", KEY_WOW64_32KEY,
                        REG_SZ, candidates[4]);
    ASSERT_TRUE(app.Ok() && shared.Ok());

    const auto located = [] {
        char path[MAX_PATH];
        memset(path, 0xBD, sizeof path);
        return std::to_string(CWindowsStuff::LocateMsinfo32(path, sizeof path)) + ":" + path;
    };
    for (size_t i = 0; i < 5; ++i) {
        // The App Paths key named through the 32-bit node (on 64-bit Windows
        // the key before, seen from the 32-bit view).
        std::unique_ptr<PlantedValue> wow;
        if (i == 3) {
            wow.reset(
                new PlantedValue(HKEY_LOCAL_MACHINE,
                                 "SOFTWARE\\WOW6432NODE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msinfo32.exe",
                                 "Path", KEY_WOW64_32KEY, REG_SZ, scratch.Join("wow")));
        }
        EXPECT_EQ("0:" + candidates[i], located()) << i;
        DeleteFileA(candidates[i].c_str());
    }
    EXPECT_EQ("-1:", located());
    testing_support::RemoveTree(german);
    testing_support::RemoveTree(english);
}

}  // namespace
