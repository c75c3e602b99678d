// The findings. Each condition is planted in the test prefix (products,
// services, a dump file, a registry value, the provider list's recorded
// output, the journal's event counts) or given through the stand-ins for
// what Wine cannot give (Security Center, administrator rights, disk space),
// and gives exactly its finding; a clean prefix gives none. A whole run with
// planted conditions stays in tests/out/findings-run for the summary check.
#include "app/app_state.h"
#include "app/findings.h"
#include "app/output_location.h"
#include "app/run_journal.h"
#include "platform/bounded_text.h"
#include "report/report_frame.h"
#include "tests/app/spine_fixture.h"
#include "tests/products/product_fixture.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <winsvc.h>

namespace {

constexpr ULONGLONG kGiB = 1024ULL * 1024 * 1024;
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kTitle[] = "Wardex Harvin - Support Information";

// provscan's output on a Windows with one layered provider of the system
// folder besides its base provider; the layered case adds one from elsewhere.
const char kProviderEntry[] =
    "\n\nVariable\tValue\nName\t\t%s\nLibraryPath\t%s\nServiceFlags1\t0x00020066\nServiceFlags2\t0x00000000"
    "\nServiceFlags3\t0x00000000\nServiceFlags4\t0x00000000\nProviderFlags\t0x00000008\nCatalogEntryId\t%d"
    "\nProtocolChain.ChainLen\t%d\nGUID\t\te70f1aa0-ab8b-11cf-8ca3-00805f48a192\nVersion\t\t2\nAddressFamily\t2"
    "\nMaxSockAddr\t16";

std::string ProviderEntry(const char* name, const char* library, int id, int chainLength)
{
    char entry[1024];
    FormatText(entry, kProviderEntry, name, library, id, chainLength);
    return entry;
}

const std::string kCleanProviders =
    "Provider List" + ProviderEntry("MSAFD Tcpip [TCP/IP]", "%SystemRoot%\\system32\\mswsock.dll", 1001, 1) +
    ProviderEntry("NLA Namespace", "%SystemRoot%\\System32\\NLAapi.dll", 1002, 0);

// ---- stand-ins for what Wine cannot give ----------------------------------------------

std::vector<SecurityProduct> g_securityProducts;
bool g_securityCenterThere = true;
DWORD g_securityCenterDelayMs = 0;
bool g_cancelWhileAsking = false;
bool g_administrator = true;
ULONGLONG g_freeBytes = 50 * kGiB;

bool SecurityCenterStandIn(std::vector<SecurityProduct>* products)
{
    if (g_cancelWhileAsking) CancelRequested = 1;
    Sleep(g_securityCenterDelayMs);
    *products = g_securityProducts;
    return g_securityCenterThere;
}
bool AdministratorStandIn() { return g_administrator; }
bool DiskSpaceStandIn(const char*, ULONGLONG* total, ULONGLONG* free)
{
    *total = 100 * kGiB;
    *free = g_freeBytes;
    return true;
}

// A service of the test prefix's service control manager, deleted again.
class PlantedService {
public:
    PlantedService(const char* name, DWORD startType)
        : manager_(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS))
    {
        Remove(name);
        service_ = CreateServiceA(manager_, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
                                  SERVICE_ERROR_IGNORE, "C:\\harvin-products\\missing.exe", nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
        EXPECT_NE(service_, nullptr) << name << " error " << GetLastError();
    }
    ~PlantedService()
    {
        if (service_ != nullptr) {
            DeleteService(service_);
            CloseServiceHandle(service_);
        }
        CloseServiceHandle(manager_);
    }
    void Remove(const char* name)
    {
        SC_HANDLE old = OpenServiceA(manager_, name, DELETE);
        if (old == nullptr) return;
        DeleteService(old);
        CloseServiceHandle(old);
    }

private:
    SC_HANDLE manager_;
    SC_HANDLE service_ = nullptr;
};

class FindingsTest : public products_test::ProductsFixture {
protected:
    void SetUp() override
    {
        ProductsFixture::SetUp();
        g_securityProducts.clear();
        g_securityCenterThere = true;
        g_securityCenterDelayMs = 0;
        g_cancelWhileAsking = false;
        g_administrator = true;
        g_freeBytes = 50 * kGiB;
        RunFindingSources = FindingSources{SecurityCenterStandIn, AdministratorStandIn, DiskSpaceStandIn, 20000};
        pending_ = std::make_unique<system_tests::PlantedValue>(HKEY_LOCAL_MACHINE, kSessionManager,
                                                               "PendingFileRenameOperations", KEY_WOW64_64KEY,
                                                               REG_MULTI_SZ, "", true);
        char windows[MAX_PATH] = "";
        GetSystemWindowsDirectoryA(windows, MAX_PATH);
        minidumps_ = std::string(windows) + "\\Minidump";
        JournalBeginRun();
        JournalNoteEventLogRead("System");
        JournalNoteEventLogRead("Application");
        WriteStartPage();
        PlantFile(root_ + "\\LOGs\\lsplist.txt", kCleanProviders + "\n");
    }
    void TearDown() override
    {
        pending_.reset();
        testing_support::RemoveTree(minidumps_);
        RunFindingSources = SystemFindingSources();
        ProductsFixture::TearDown();
    }

    // The found checks, one "id | evidence | page" line each.
    static std::string Found()
    {
        RunFindings();
        std::string found;
        for (const FindingResult& result : RunFindingResults()) {
            if (result.outcome.state != FindingState::Found) continue;
            found += std::string(result.check->id) + " | " + result.outcome.text + " | " + result.outcome.page + "\n";
        }
        return found;
    }
    // START.html from the end of the title rows to the user's details.
    std::string StartBlock() const
    {
        const std::string start = Start(), titleEnd = "&nbsp;<br>&nbsp;</td>\n\t\t</tr>\n\n";
        const size_t from = start.find(titleEnd) + titleEnd.size();
        return start.substr(from, start.find("\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n\t\t<td width = \"20%\">"
                                             "Company:") - from);
    }
    void PlantDump(const std::string& name, const SYSTEMTIME& localTime)
    {
        const std::string path = minidumps_ + "\\" + name;
        PlantFile(path, "MDMP");
        FILETIME local, utc;
        SystemTimeToFileTime(&localTime, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetFileTime(file, nullptr, nullptr, &utc);
        CloseHandle(file);
    }
    void PlantPendingRename()
    {
        pending_.reset();  // puts back what it found before the new value goes in
        pending_ = std::make_unique<system_tests::PlantedValue>(
            HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", KEY_WOW64_64KEY, REG_MULTI_SZ,
            std::string("\\??\\C:\\harvin-products\\pending.tmp\0\0", 37));
    }
    void PlantTwoOrdoGenerations()
    {
        PlantOrdo("Software\\Kelmor\\Ordo", std::string(products_test::kFilesRoot) + "\\OrdoOld\\");
        PlantOrdo("Software\\Norvane\\Ordo", std::string(products_test::kFilesRoot) + "\\Ordo\\");
    }

    std::unique_ptr<system_tests::PlantedValue> pending_;
    std::string minidumps_;
};

std::string Row(const char* cells)
{
    return std::string("\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n") + cells + "\t\t</tr>\n\n";
}
const std::string kBlockHead = Row("\t\t<td colspan = \"2\" width = \"80%\"><h2>Findings</h2></td>\n");
const std::string kBlockFoot =
    "\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n\t\t<td width = \"20%\">&nbsp;</td>\n"
    "\t\t<td width = \"60%\">&nbsp;</td>\n\t\t</tr>\n\n";

// A prefix with a product whose services are not installed, one layered
// provider of the system folder, read event logs and no dumps: nothing is
// found, and START.html says so above the user's details.
TEST_F(FindingsTest, CleanPrefixGivesNoFinding)
{
    PlantOrdo("Software\\Norvane\\Ordo", std::string(products_test::kFilesRoot) + "\\Ordo\\");
    RunCatalog();
    EXPECT_EQ("", Found());
    EXPECT_EQ(kBlockHead + Row("\t\t<td colspan = \"2\" width = \"80%\">No findings.</td>\n") + kBlockFoot,
              StartBlock());
}

TEST_F(FindingsTest, EachPlantedConditionGivesExactlyItsFinding)
{
    PlantOrdo("Software\\Norvane\\Ordo", std::string(products_test::kFilesRoot) + "\\Ordo\\");
    RunCatalog();
    {
        PlantedService stopped("WxGuard", SERVICE_DEMAND_START), disabled("wxflt", SERVICE_DISABLED);
        EXPECT_EQ("product-service-stopped | WxGuard: not running, wxflt: disabled | LOGs/scqueryex.txt\n", Found());
    }

    PlantTwoOrdoGenerations();
    JournalBeginRun();
    RunCatalog();
    EXPECT_EQ("product-generations | Ordo: the older generation (Software\\Kelmor\\Ordo) beside the current one "
              "(Software\\Norvane\\Ordo) | Wardex/OrdoOld/OrdoRegistry.html\n",
              Found());
    JournalBeginRun();
    JournalNoteEventLogRead("System");
    JournalNoteEventLogRead("Application");

    SYSTEMTIME today, old;
    GetLocalTime(&today);
    today.wHour = 6, today.wMinute = 7, today.wSecond = 8, today.wMilliseconds = 0;
    FILETIME ticks;
    SystemTimeToFileTime(&today, &ticks);
    const ULONGLONG fortyDays = 40ULL * 864000000000ULL;
    const ULONGLONG earlier = ((ULONGLONG)ticks.dwHighDateTime << 32 | ticks.dwLowDateTime) - fortyDays;
    ticks = {static_cast<DWORD>(earlier), static_cast<DWORD>(earlier >> 32)};
    FileTimeToSystemTime(&ticks, &old);
    PlantDump("Mini-today.dmp", today);
    PlantDump("Mini-old.dmp", old);
    char date[16];
    FormatText(date, "%02u.%02u.%04u", today.wDay, today.wMonth, today.wYear);
    EXPECT_EQ("recent-crash | 1 crash dump(s), the newest from " + std::string(date) + ", 06:07:08 | Findings.html\n",
              Found());
    testing_support::RemoveTree(minidumps_);

    PlantPendingRename();
    EXPECT_EQ("reboot-pending | PendingFileRenameOperations | Findings.html\n", Found());
    pending_.reset();

    PlantFile(root_ + "\\LOGs\\lsplist.txt",
              kCleanProviders + ProviderEntry("Evil LSP over [TCP/IP]", "C:\\Program Files\\Evil\\evil.dll", 1003, 0) +
                  ProviderEntry("Evil LSP over [UDP/IP]", "C:\\Program Files\\Evil\\evil.dll", 1004, 0) + "\n");
    EXPECT_EQ("layered-providers | Evil LSP over [TCP/IP]: C:\\Program Files\\Evil\\evil.dll | LOGs/lsplist.txt\n",
              Found());
    PlantFile(root_ + "\\LOGs\\lsplist.txt", kCleanProviders + "\n");

    JournalNoteRecentError("System", "OtherSource");
    JournalNoteRecentError("System", "wxflt");
    JournalNoteRecentError("Application", "WxGuard");
    JournalNoteRecentError("System", "wxflt");
    EXPECT_EQ("product-errors | wxflt: 2 error event(s), WxGuard: 1 error event(s) | LOGs/EventLogSystem.html\n",
              Found());
    JournalBeginRun();
    JournalNoteEventLogRead("System");
    JournalNoteEventLogRead("Application");

    g_freeBytes = 9 * kGiB;  // under a tenth
    EXPECT_EQ("disk-space | C:\\ has 9.0 GB free of 100.0 GB (9.0 %) | SYSInfo/DriveInfo.html\n", Found());
    g_freeBytes = 50 * kGiB;

    g_administrator = false;
    EXPECT_EQ("not-elevated | pages that need administrator rights are incomplete | Findings.html\n", Found());
}

// Enabled products that are not the maker's; the names are text on the page.
TEST_F(FindingsTest, OtherSecurityProductsHeadTheStartPage)
{
    PlantOrdo("Software\\Norvane\\Ordo", std::string(products_test::kFilesRoot) + "\\Ordo\\");
    RunCatalog();
    g_securityProducts = {{"Contoso <Guard> & Co", "C:\\Program Files\\Contoso\\guard.exe", false, true},
                          {"Windows Defender", "windowsdefender://", false, false},
                          {"Wardex Security Suite", "C:\\Program Files\\Wardex\\wx.exe", false, true},
                          {"Ordo Shield", "C:\\Program Files\\Other\\shield.exe", false, true},
                          {"Own Firewall", std::string(products_test::kFilesRoot) + "\\Ordo\\fw.exe", true, true},
                          {"Contoso Firewall", "C:\\Program Files\\Contoso\\fw.exe", true, true}};
    EXPECT_EQ("other-security-product | Contoso <Guard> & Co (antivirus), Contoso Firewall (firewall) | "
              "Findings.html\n",
              Found());
    EXPECT_EQ(kBlockHead +
                  Row("\t\t<td width = \"20%\"><font color=\"#ff8000\"><strong>Warning</strong></font></td>\n"
                      "\t\t<td width = \"60%\"><a href=\"Findings.html\">Another security product is active</a><br>"
                      "Contoso &lt;Guard&gt; &amp; Co (antivirus), Contoso Firewall (firewall)</td>\n") +
                  kBlockFoot,
              StartBlock());
}

// Findings.html lists every check with its result, and why a check could not decide.
TEST_F(FindingsTest, FindingsPageListsEveryCheck)
{
    g_securityCenterThere = false;
    g_administrator = false;
    JournalBeginRun();
    JournalNoteEventLogRead("Application");
    RunFindings();
    const std::string page = spine::ReadText(root_ + "\\Findings.html");
    const char* const rows[] = {
        "#ff0000\"><strong>Problem</strong></font></td><td>A service or driver of a Wardex product is not running<br>"
        "<font size=\"1\">product-service-stopped</font></td><td>not found</td><td>&nbsp;</td>",
        "#ff8000\"><strong>Warning</strong></font></td><td>Another security product is active<br><font size=\"1\">"
        "other-security-product</font></td><td>not available</td><td>Windows Security Center is not available on "
        "this Windows</td>",
        "<td>Two generations of a Wardex product are installed<br><font size=\"1\">product-generations</font></td>"
        "<td>not found</td>",
        "<td>The system drive is almost full<br><font size=\"1\">disk-space</font></td><td>not found</td>",
        "<td>Crash dumps of the last 30 days<br><font size=\"1\">recent-crash</font></td><td>not found</td>",
        "<td><strong>Note</strong></td><td>Windows is waiting for a restart<br><font size=\"1\">reboot-pending</font>"
        "</td><td>not found</td>",
        "<td>Layered network providers from outside the system folder<br><font size=\"1\">layered-providers</font>"
        "</td><td>not found</td>",
        "<td>Wardex products logged errors in the last 7 days<br><font size=\"1\">product-errors</font></td><td>not "
        "available</td><td>the event log System was not read</td>",
        "<td><strong>Note</strong></td><td>The collection ran without administrator rights<br><font size=\"1\">"
        "not-elevated</font></td><td>found</td><td>pages that need administrator rights are incomplete</td></tr>\n"
        "</table>\n\n</font></tt>\n</body>\n</html>\n",
    };
    size_t at = page.find("<th align=\"left\">Severity</th><th align=\"left\">Check</th><th align=\"left\">Result"
                          "</th><th align=\"left\">Details</th></tr>\n");
    for (const char* row : rows) {
        EXPECT_NE(at, std::string::npos) << row;
        at = page.find(row, at);
    }
    EXPECT_NE(at, std::string::npos);
}

// A check without an answer in its time is not available; a cancel ends
// the evaluation and leaves the report without findings.
TEST_F(FindingsTest, TimeLimitAndCancelEndTheChecks)
{
    RunFindingSources.checkTimeoutMs = 300;
    g_securityCenterDelayMs = 3000;
    const DWORD start = GetTickCount();
    RunFindings();
    EXPECT_LT(GetTickCount() - start, 2500u);
    ASSERT_EQ(kFindingChecks.size(), RunFindingResults().size());
    EXPECT_EQ(FindingState::NotAvailable, RunFindingResults()[1].outcome.state);
    EXPECT_EQ("no answer within 1 seconds", RunFindingResults()[1].outcome.text);

    DeleteFileA((root_ + "\\Findings.html").c_str());
    g_cancelWhileAsking = true;
    RunFindings();
    EXPECT_TRUE(RunFindingResults().empty());
    EXPECT_FALSE(testing_support::FileExists(root_ + "\\Findings.html"));
}

// A standard run of the worker with planted conditions; the final message
// names the problems. check_summary.py reads its archive.
TEST_F(FindingsTest, WholeRunWithPlantedConditions)
{
    PlantTwoOrdoGenerations();
    PlantedService stopped("WxGuard", SERVICE_DEMAND_START);
    PlantPendingRename();
    SYSTEMTIME now;
    GetLocalTime(&now);
    PlantDump("Mini-today.dmp", now);
    g_securityProducts = {{"Contoso <Guard> & Co", "C:\\Program Files\\Contoso\\guard.exe", false, true}};

    const std::string folder = testing_support::TestOutDir() + "\\findings-run";
    testing_support::RemoveTree(folder);
    CreateDirectoryA(testing_support::TestOutDir().c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyText(ProgramPathOverride, (folder + "\\harvin.exe").c_str());
    CommandLineCopy[0] = '\0';
    NoDesktopCopy = true;
    testing_support::MessageBoxAnswerer answerer(kTitle, IDOK);
    spine::RunWorker();
    NoDesktopCopy = false;
    ProgramPathOverride[0] = '\0';
    EXPECT_NE(answerer.LastText().find("Problems found: 1 (see Findings"), std::string::npos) << answerer.LastText();
}

}  // namespace
