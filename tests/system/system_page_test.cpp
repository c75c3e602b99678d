// The system information page: number grouping, edition names, the Startup
// folder listing, and the page of a live run, also under other Windows
// versions that Wine reports to a probe program.
#include "app/app_state.h"
#include "platform/bounded_text.h"
#include "system/windows_stuff.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

namespace {

using system_tests::LineValue;
using system_tests::PlantedValue;
using system_tests::ReadPage;
using testing_support::ScratchFolder;
using testing_support::WriteFileBytes;

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kNbsp = static_cast<char>(0xA0);

std::string Grouped(int width, unsigned long long value, size_t outSize = 259)
{
    char out[300];
    memset(out, 0xBD, sizeof out);
    CWindowsStuff::FormatGroupedNumber(out, outSize, width, value);
    EXPECT_EQ(static_cast<char>(0xBD), out[outSize]) << "written past the output size";
    return out;
}

TEST(FormatGroupedNumberTest, GroupsThreeDigitsAndPadsToTheWidth)
{
    struct Case {
        int width;
        unsigned long long value;
        size_t padding;
        const char* digits;
    } const cases[] = {
        {15, 0, 14, "0"},
        {15, 999, 12, "999"},
        {15, 1000, 10, "1.000"},
        {15, 1234567, 6, "1.234.567"},
        {15, 4294967296ULL, 2, "4.294.967.296"},
        {15, 999999999999ULL, 0, "999.999.999.999"},  // exactly the width
        {15, 18446744073709551615ULL, 0, "18.446.744.073.709.551.615"},
        {0, 18446744073709551615ULL, 0, "18.446.744.073.709.551.615"},
        {0, 999, 0, "999"},
        {-3, 12, 0, "12"},
        {48, 7, 47, "7"},   // the most padding there is
        {49, 7, 0, "7"},    // 48 would be too many: none at all
    };
    for (const Case& c : cases) {
        std::string expected = std::string(c.padding, kNbsp) + c.digits;
        EXPECT_EQ(expected, Grouped(c.width, c.value)) << c.width << " / " << c.value;
    }
}

TEST(FormatGroupedNumberTest, CutsToTheOutputSize)
{
    EXPECT_EQ(std::string(2, kNbsp) + "4.", Grouped(15, 4294967296ULL, 5));
    EXPECT_EQ("", Grouped(15, 4294967296ULL, 1));
    EXPECT_EQ("1.000", Grouped(0, 1000, 6));
    EXPECT_EQ("1.00", Grouped(0, 1000, 5));
}

// Value sets as Windows releases record them under CurrentVersion.
TEST(RegistryVersionTest, NamesEachReleaseByItsValues)
{
    struct Case {
        RegistryVersionValues values;
        const char* expected;  // null: too few values, the line keeps its old text
    } cases[] = {
        {{"Windows 7 Professional", "", "", "7601", false, 0, "Professional", "Client"},
         "Windows 7 Professional (build 7601, Professional, Client)"},
        {{"Windows 10 Pro", "22H2", "2009", "19045", true, 3803, "Professional", "Client"},
         "Windows 10 Pro 22H2 (build 19045.3803, Professional, Client)"},
        {{"Windows 10 Pro", "23H2", "2009", "22631", true, 4037, "Professional", "Client"},
         "Windows 11 Pro 23H2 (build 22631.4037, Professional, Client)"},
        {{"Windows 10 Enterprise", "24H2", "2009", "26100", true, 2605, "Enterprise", "Client"},
         "Windows 11 Enterprise 24H2 (build 26100.2605, Enterprise, Client)"},
        {{"Windows Server 2019 Datacenter", "", "1809", "17763", true, 5329, "ServerDatacenter", "Server"},
         "Windows Server 2019 Datacenter 1809 (build 17763.5329, ServerDatacenter, Server)"},
        {{"Windows Server 2022 Standard", "21H2", "2009", "20348", true, 2227, "ServerStandard", "Server Core"},
         "Windows Server 2022 Standard 21H2 (build 20348.2227, ServerStandard, Server Core)"},
        {{"Windows Server 2022 Datacenter", "24H2", "2009", "26100", true, 1742, "ServerDatacenter", "Server"},
         "Windows Server 2025 Datacenter 24H2 (build 26100.1742, ServerDatacenter, Server)"},
        {{"Windows Server Datacenter", "", "2009", "20348", false, 0, "ServerDatacenter", "Server"},
         "Windows Server 2022 Datacenter 2009 (build 20348, ServerDatacenter, Server)"},
        {{"Microsoft Windows 7", "", "", "", false, 0, "", ""}, nullptr},
        {{"Microsoft Windows 7", "", "", "7601", false, 0, "", ""}, nullptr},
    };
    for (const Case& c : cases) {
        char text[kPathSize];
        memset(text, 0xBD, sizeof text);
        bool described = CWindowsStuff::DescribeRegistryVersion(c.values, text, sizeof text);
        EXPECT_EQ(described, c.expected != nullptr) << c.values.productName << " " << c.values.currentBuild;
        if (described && c.expected != nullptr) {
            EXPECT_STREQ(text, c.expected);
        }
    }
}

TEST(EditionNameTest, EveryProductType)
{
    const char* const expected[] = {
        "An unknown product",                                    // 0
        "Ultimate Edition",                                      // 1
        "Home Basic Edition",                                    // 2
        "Home Premium Edition",                                  // 3
        "Enterprise Edition",                                    // 4
        "Home Basic Edition",                                    // 5  (N)
        "Business Edition",                                      // 6
        "Server Standard Edition (full installation)",           // 7
        "Server Datacenter Edition (full installation)",         // 8
        "Small Business Server",                                 // 9
        "Server Enterprise Edition (full installation)",         // 10
        "Starter Edition",                                       // 11
        "Server Datacenter Edition (core installation)",         // 12
        "Server Standard Edition (core installation)",           // 13
        "Server Enterprise Edition (core installation)",         // 14
        "Server Enterprise Edition for Itanium-based Systems",   // 15
        "Business Edition",                                      // 16 (N)
        "Web Server Edition",                                    // 17
        "Cluster Server Edition",                                // 18
        "Home Server Edition",                                   // 19
        "Storage Server Express Edition",                        // 20
        "Storage Server Standard Edition",                       // 21
        "Storage Server Workgroup Edition",                      // 22
        "Storage Server Enterprise Edition",                     // 23
        "Server for Small Business Edition",                     // 24
        "Small Business Server Premium Edition",                 // 25
        "Home Premium Edition",                                  // 26 (N)
        "Enterprise Edition",                                    // 27 (N)
        "Ultimate Edition",                                      // 28 (N)
    };
    for (DWORD type = 0; type < sizeof expected / sizeof expected[0]; ++type) {
        char text[260];
        memset(text, 0xBD, sizeof text);
        CWindowsStuff::EditionName(type, text, sizeof text);
        EXPECT_STREQ(expected[type], text) << type;
    }
    // Windows 7 Professional (0x30) and anything else unknown: no text.
    for (DWORD type : {29UL, 0x30UL, 0xABCDEFUL, 0xFFFFFFFFUL}) {
        char text[260];
        memset(text, 0xBD, sizeof text);
        CWindowsStuff::EditionName(type, text, sizeof text);
        EXPECT_STREQ("", text) << type;
    }
    char small[8];
    memset(small, 0xBD, sizeof small);
    CWindowsStuff::EditionName(1, small, 5);
    EXPECT_STREQ("Ulti", small);
    EXPECT_EQ(static_cast<char>(0xBD), small[5]);
}

// ---- Startup folder listing -------------------------------------------------

// A shell link at `linkPath` pointing to `target`.
bool CreateShortcut(const std::string& linkPath, const std::string& target)
{
    HRESULT init = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         reinterpret_cast<void**>(&link)));
    if (ok) {
        IPersistFile* persist = nullptr;
        ok = SUCCEEDED(link->SetPath(target.c_str())) &&
             SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)));
        if (ok) {
            wchar_t wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
            ok = SUCCEEDED(persist->Save(wide, TRUE));
            persist->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return ok;
}

std::string ListingLine(const std::string& text) { return "&nbsp;&nbsp;&nbsp;" + text + "<BR>\n"; }

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The hive handed to ListStartupFolder is a scratch key under HKCU with its
// own Shell Folders key below it.
class StartupListingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kHivePath, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &hive_, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(hive_, kShellFoldersKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &folders_, nullptr));
    }
    void TearDown() override
    {
        if (folders_ != nullptr) RegCloseKey(folders_);
        if (hive_ != nullptr) RegCloseKey(hive_);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\HarvinSystemTests");
    }
    void SetFolderValue(const char* name, const std::string& text)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(folders_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                                static_cast<DWORD>(text.size() + 1)));
    }
    // What ListStartupFolder writes for value `name`.
    std::string List(const char* name)
    {
        std::string pagePath = scratch_.Join("listing.html");
        FILE* page = fopen(pagePath.c_str(), "wb");
        EXPECT_NE(nullptr, page);
        if (page == nullptr) return std::string();
        windows_.ListStartupFolder(page, hive_, name);
        fclose(page);
        std::string text;
        testing_support::ReadFileBytes(pagePath, &text);
        return text;
    }

    static constexpr const char* kHivePath = "Software\\HarvinSystemTests\\Hive";
    ScratchFolder scratch_{"harvin-startup"};
    CWindowsStuff windows_;
    HKEY hive_ = nullptr;
    HKEY folders_ = nullptr;
};

TEST_F(StartupListingTest, EmptyOrMissingFolderListsNothing)
{
    // Whatever is in the current folder or the drive root must not show up.
    const std::string cwd = scratch_.Join("cwd");
    ASSERT_TRUE(CreateDirectoryA(cwd.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(cwd + "\\in-current-folder.txt", "x"));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));

    SetFolderValue("Empty", "");
    SetFolderValue("Blanks", "    ");
    SetFolderValue("Gone", scratch_.Join("no such folder"));
    const std::string empty = scratch_.Join("empty folder");
    ASSERT_TRUE(CreateDirectoryA(empty.c_str(), nullptr));
    SetFolderValue("NoFiles", empty);

    EXPECT_EQ("", List("Empty"));
    EXPECT_EQ("", List("Blanks"));
    EXPECT_EQ("", List("Missing value"));
    EXPECT_EQ("", List("Gone"));
    EXPECT_EQ("", List("NoFiles"));
    SetCurrentDirectoryA(previous);
}

// ---- the page of a live run ---------------------------------------------------

// What Windows calls this 64-bit (not native x86) system for a version and
// product type reported by GetVersionEx.
std::string ExpectedName(DWORD major, DWORD minor, bool workstation)
{
    if (major == 5 && minor == 2) {
        if (workstation) return "Windows XP x64 Edition";
        return GetSystemMetrics(SM_SERVERR2) == 0 ? "Windows Server 2003 x64" : "Windows Server 2003 R2 x64";
    }
    if (major == 6 && minor == 0) return workstation ? "Windows Vista x64" : "Windows Server 2008 x64";
    if (major == 6 && minor == 1) return workstation ? "Windows 7 x64" : "Windows Server 2008 R2 x64";
    return "Windows NT";
}

std::string EditionFor(DWORD major, DWORD minor, DWORD spMajor, DWORD spMinor)
{
    using GetProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
    FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetProductInfo");
    auto getProductInfo = reinterpret_cast<GetProductInfoFunction>(reinterpret_cast<void (*)()>(proc));
    DWORD type = 0;
    if (getProductInfo == nullptr || !getProductInfo(major, minor, spMajor, spMinor, &type)) type = 0;
    char edition[260];
    CWindowsStuff::EditionName(type, edition, sizeof edition);
    return edition;
}

std::string ReadStartupFolder()
{
    return system_tests::ReadRegistryText(HKEY_CURRENT_USER, kShellFoldersKey, "Startup", KEY_WOW64_64KEY);
}

class SystemPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = scratch_.Join("SupportData");
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        sysInfo_ = root_ + "\\SYSInfo";
        ASSERT_TRUE(CreateDirectoryA(sysInfo_.c_str(), nullptr));
        ASSERT_TRUE(CopyText(OutputRoot, root_.c_str()));
        NaviFontSize = -1;
        CancelRequested = 0;
        windows_.SetSwitches(0, 1, 1, 1, 1, 1, 1);
    }
    void TearDown() override { OutputRoot[0] = '\0'; }

    std::string Collect()
    {
        DeleteFileA((sysInfo_ + "\\SystemInformations.html").c_str());
        windows_.CollectSystemInformation(sysInfo_.c_str(), "SystemInformations.html");
        return ReadPage(sysInfo_ + "\\SystemInformations.html");
    }

    ScratchFolder scratch_{"harvin-syspage"};
    std::string root_;
    std::string sysInfo_;
    CWindowsStuff windows_;
};

TEST_F(SystemPageTest, OperatingSystemBlockNamesTheRunningVersion)
{
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)));
    char csd[128];
    WideCharToMultiByte(CP_ACP, 0, info.szCSDVersion, -1, csd, sizeof csd, nullptr, nullptr);
    const std::string numbers = "[" + std::to_string(info.dwMajorVersion) + "." +
                                std::to_string(info.dwMinorVersion) + "." + std::to_string(info.dwBuildNumber) + "]";
    const bool workstation = info.wProductType == VER_NT_WORKSTATION;
    std::string name = ExpectedName(info.dwMajorVersion, info.dwMinorVersion, workstation);
    std::string platform = name;
    if (info.dwMajorVersion == 6 && workstation) {
        platform += " - " + EditionFor(info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor,
                                       info.wServicePackMinor);
    }

    const std::string page = Collect();
    ASSERT_FALSE(page.empty());
    EXPECT_NE(std::string::npos, page.find("<title>System Informations</title>"));
    EXPECT_NE(std::string::npos, page.find("<h2>System Informations</h2>"));
    EXPECT_EQ(platform + "<BR>", LineValue(page, "Operating system platform --------------> "));
    EXPECT_EQ("(" + std::string(csd[0] ? csd : "plain") + ")  " + numbers + "<BR>",
              LineValue(page, "Operating system version ---------------> "));
    EXPECT_EQ(std::string(csd[0] ? csd : "[No enhanced information available]") + "<BR>",
              LineValue(page, "Enhanced version information -----------> "));
    EXPECT_EQ(name + " (" + csd + ")  " + numbers + "<BR>", LineValue(page, "Version information from registry ------> "));

    // Navigation entry of the page.
    const std::string navi = ReadPage(root_ + "\\NAVI.html");
    EXPECT_NE(std::string::npos, navi.find("<LI><A HREF=\"./SYSInfo/SystemInformations.html\" target=\"Inhalt\">"
                                           "System Informations</A>"))
        << navi;
}

TEST_F(SystemPageTest, RegistrationLinesComeFromThe32BitView)
{
    // Data with format directives must come out as it is.
    const std::string owner = "Harvin Owner 100% %s%n";
    PlantedValue owner64(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "RegisteredOwner", KEY_WOW64_64KEY, REG_SZ,
                         "64-bit view owner");
    PlantedValue owner32(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "RegisteredOwner", KEY_WOW64_32KEY, REG_SZ,
                         owner + "   ");
    PlantedValue org64(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "RegisteredOrganization", KEY_WOW64_64KEY, REG_SZ,
                       "64-bit view organisation");
    PlantedValue org32(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "RegisteredOrganization", KEY_WOW64_32KEY, REG_SZ,
                       "Harvin & Co. KG");
    PlantedValue product32(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "ProductId", KEY_WOW64_32KEY, REG_SZ, "   ");
    PlantedValue plus32(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "Plus! VersionNumber", KEY_WOW64_32KEY, REG_SZ, "",
                        true);
    PlantedValue root32(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "SystemRoot", KEY_WOW64_32KEY, REG_SZ, "C:\\WinRoot");
    ASSERT_TRUE(owner64.Ok() && owner32.Ok() && org64.Ok() && org32.Ok() && product32.Ok() && plus32.Ok() &&
                root32.Ok());

    const std::string page = Collect();
    EXPECT_EQ("<BR>", LineValue(page, "Version number of Plus! packet ---------> ")) << "a missing value is empty";
    EXPECT_EQ(owner + "<BR>", LineValue(page, "Registered user ------------------------> "));
    EXPECT_EQ("Harvin &amp; Co. KG<BR>", LineValue(page, "Registered organisation ----------------> "));
    EXPECT_EQ("[no information available]<BR>", LineValue(page, "Product identification number ----------> "))
        << "blanks only";
    EXPECT_EQ("C:\\WinRoot</div><BR>", LineValue(page, "System root directory ------------------> "));
}

TEST_F(SystemPageTest, MemoryFiguresAreGroupedAndPlausible)
{
    const std::string page = Collect();
    const char* const labels[] = {
        "Physical main memory -------------------> ", "Free physical main memory --------------> ",
        "Size of swap file ----------------------> ", "Free memory in swap file ---------------> ",
        "Virtual memory size --------------------> ", "Available virtual memory size ----------> ",
    };
    const std::regex figure("^(\xA0*)([0-9]{1,3}(\\.[0-9]{3})*) Byte ?<BR>$");
    unsigned long long values[6] = {};
    for (int i = 0; i < 6; ++i) {
        const std::string line = LineValue(page, labels[i]);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, figure)) << labels[i] << line;
        const std::string digits = match[2].str();
        const size_t padding = digits.size() < 15 ? 15 - digits.size() : 0;
        EXPECT_EQ(padding, match[1].str().size()) << line;
        std::string plain;
        for (char c : digits) {
            if (c != '.') plain += c;
        }
        values[i] = std::stoull(plain);
    }
    EXPECT_GT(values[0], 0u);
    EXPECT_GT(values[1], 0u);
    EXPECT_LE(values[1], values[0]);
    EXPECT_LE(values[3], values[2]);
    EXPECT_GT(values[4], 0u);
    EXPECT_LE(values[5], values[4]);
    const std::string load = LineValue(page, "Used main memory -----------------------> ");
    const std::string unknown = LineValue(page, "Currently used main memory -------------> ");
    EXPECT_TRUE(std::regex_match(load, std::regex("[1-9][0-9]? &#037</div><BR>")) ||
                unknown == "[unknown]</div><BR>")
        << load << " / " << unknown;
}

TEST_F(SystemPageTest, MiscellaneousBlockAndStartupFolder)
{
    std::string startup = ReadStartupFolder();
    ASSERT_FALSE(startup.empty()) << "no Startup shell folder in the registry";
    const bool madeFolder = CreateDirectoryA(startup.c_str(), nullptr) != FALSE;
    if (!startup.empty() && startup.back() == '\\') startup.pop_back();
    const std::string target = scratch_.Join("started at logon.exe");
    ASSERT_TRUE(WriteFileBytes(target, "MZ"));
    const std::string link = startup + "\\harvin-system-test.lnk";
    const std::string broken = startup + "\\harvin-system-test-broken.lnk";
    const std::string plain = startup + "\\harvin-system-test.cmd";
    ASSERT_TRUE(CreateShortcut(link, target));
    ASSERT_TRUE(WriteFileBytes(broken, "not a shell link at all"));
    ASSERT_TRUE(WriteFileBytes(plain, "@echo off\r\n"));
    const std::string subfolder = startup + "\\harvin-system-test-folder.lnk";
    ASSERT_TRUE(CreateDirectoryA(subfolder.c_str(), nullptr));

    const std::string page = Collect();

    DeleteFileA(link.c_str());
    DeleteFileA(broken.c_str());
    DeleteFileA(plain.c_str());
    RemoveDirectoryA(subfolder.c_str());
    if (madeFolder) RemoveDirectoryA(startup.c_str());

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(std::string(temp) + "<BR>", LineValue(page, "Windows path for temporary files -------------> "));
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof computer;
    const std::string computerName = GetComputerNameA(computer, &size) ? computer : "[unknown]";
    EXPECT_EQ(computerName + "<BR>", LineValue(page, "Computer name --------------------------------> "));
    EXPECT_EQ("Standard boot<BR>", LineValue(page, "Last system startup --------------------------> "));
    EXPECT_EQ(std::to_string(GetSystemMetrics(SM_MOUSEPRESENT) ? 1 : 0) + "<BR>",
              LineValue(page, "Mouse installed ------------------------------> "));
    BOOL active = FALSE;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0));
    EXPECT_EQ(std::string(active ? "1" : "0") + "<BR>", LineValue(page, "Screen saver enabled -------------------------> "));

    const size_t listStart = page.find("Programs in Menu \"Start->Program->Startup\"----><BR>\n");
    ASSERT_NE(std::string::npos, listStart);
    const std::string listing = page.substr(listStart);
    EXPECT_EQ(1u, CountOf(listing, ListingLine(target))) << listing;
    EXPECT_EQ(1u, CountOf(listing, ListingLine(broken))) << listing;
    EXPECT_EQ(1u, CountOf(listing, ListingLine(plain))) << listing;
    EXPECT_EQ(std::string::npos, listing.find(subfolder)) << "folders are not listed";
    EXPECT_NE(std::string::npos, page.find("\n</font></tt>\n</body>\n</html>\n")) << "the page is finished";
}

TEST_F(SystemPageTest, NoPageWithoutTheSystemSwitch)
{
    windows_.SetSwitches(1, 1, 1, 1, 1, 0, 1);
    windows_.CollectSystemInformation(sysInfo_.c_str(), "SystemInformations.html");
    EXPECT_FALSE(testing_support::FileExists(sysInfo_ + "\\SystemInformations.html"));
    EXPECT_FALSE(testing_support::FileExists(root_ + "\\NAVI.html"));
}

// ---- version naming: the probe program under versions Wine reports to it alone --

struct ProbeRun {
    std::string page;
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    bool workstation = false;
    DWORD servicePackMajor = 0;
    DWORD servicePackMinor = 0;
    std::string servicePack;
};

class VersionNamingTest : public ::testing::Test {
protected:
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kAppDefaults); }

    // The probe's page under Windows version `version` ("win7", "win10"...),
    // with the version facts the probe itself was given.
    ProbeRun RunUnder(const char* version)
    {
        ProbeRun run;
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_WRITE, nullptr,
                                                 &key, nullptr));
        if (key == nullptr) return run;
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                       static_cast<DWORD>(strlen(version) + 1));
        RegCloseKey(key);
        const std::string folder = scratch_.Join(version);
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string probe = testing_support::TestBinDir() + "\\system_page_probe.exe";
        EXPECT_EQ(0, system_tests::RunAndWait("\"" + probe + "\" \"" + folder + "\"", 60000)) << version;
        run.page = ReadPage(folder + "\\SystemInformations.html");
        const std::vector<std::string> facts = system_tests::Lines(ReadPage(folder + "\\version.txt"));
        unsigned productType = 0, spMajor = 0, spMinor = 0;
        unsigned long major = 0, minor = 0, build = 0;
        EXPECT_FALSE(facts.empty());
        if (!facts.empty()) {
            sscanf(facts[0].c_str(), "%lu %lu %lu %u %u %u", &major, &minor, &build, &productType, &spMajor, &spMinor);
        }
        run.servicePackMajor = spMajor;
        run.servicePackMinor = spMinor;
        run.major = major;
        run.minor = minor;
        run.build = build;
        run.workstation = productType == VER_NT_WORKSTATION;
        if (facts.size() > 1) run.servicePack = facts[1];
        return run;
    }

    // The operating system lines for what the probe was told.
    void ExpectNamed(const ProbeRun& run, const char* version)
    {
        const std::string name = ExpectedName(run.major, run.minor, run.workstation);
        std::string platform = name;
        if (run.major == 6 && run.workstation) {
            platform += " - " + EditionFor(run.major, run.minor, run.servicePackMajor, run.servicePackMinor);
        }
        const std::string numbers = "[" + std::to_string(run.major) + "." + std::to_string(run.minor) + "." +
                                    std::to_string(run.build) + "]";
        const std::string shownPack = run.servicePack.empty() ? "plain" : run.servicePack;
        EXPECT_EQ(platform + "<BR>", LineValue(run.page, "Operating system platform --------------> ")) << version;
        EXPECT_EQ("(" + shownPack + ")  " + numbers + "<BR>",
                  LineValue(run.page, "Operating system version ---------------> "))
            << version;
        EXPECT_EQ((run.servicePack.empty() ? "[No enhanced information available]" : run.servicePack) + "<BR>",
                  LineValue(run.page, "Enhanced version information -----------> "))
            << version;
        EXPECT_EQ(name + " (" + run.servicePack + ")  " + numbers + "<BR>",
                  LineValue(run.page, "Version information from registry ------> "))
            << version;
    }

    static constexpr const char* kAppDefaults = "Software\\Wine\\AppDefaults\\system_page_probe.exe";
    ScratchFolder scratch_{"harvin-versions"};
};

TEST_F(VersionNamingTest, NamesEachVersionWineReports)
{
    // Wine 8 reports "win7" with a server product type and "win2008r2" as a
    // workstation: both 6.1 namings come out of the two.
    const ProbeRun win7 = RunUnder("win7");
    EXPECT_EQ(6u, win7.major);
    EXPECT_EQ(1u, win7.minor);
    ExpectNamed(win7, "win7");
    const ProbeRun r2 = RunUnder("win2008r2");
    EXPECT_EQ(1u, r2.minor);
    ExpectNamed(r2, "win2008r2");
    EXPECT_NE(win7.workstation, r2.workstation) << "one workstation and one server naming of 6.1";

    // 5.2 workstation on a 64-bit system: the XP rule, fourth column; no
    // edition before version 6.
    const ProbeRun xp = RunUnder("winxp64");
    EXPECT_EQ(5u, xp.major);
    EXPECT_EQ(2u, xp.minor);
    EXPECT_TRUE(xp.workstation);
    ExpectNamed(xp, "winxp64");
    EXPECT_EQ("Windows XP x64 Edition<BR>", LineValue(xp.page, "Operating system platform --------------> "));

    // Without a supportedOS manifest Windows 10 reports 6.2: "Windows NT".
    const ProbeRun win10 = RunUnder("win10");
    EXPECT_EQ(6u, win10.major);
    EXPECT_EQ(2u, win10.minor);
    ExpectNamed(win10, "win10");
}

}  // namespace
