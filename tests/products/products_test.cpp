// Product lines planted in the test prefix, collected by the catalog as the
// worker runs it: the navigation lines, start page rows, pages and copies
// each gives.
#include "app/app_state.h"
#include "app/output_location.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/windows_version.h"
#include "products/product_catalog.h"
#include "tests/app/spine_fixture.h"
#include "tests/products/product_fixture.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

using testing_support::FileExists;
using testing_support::FolderExists;

namespace products_test {
namespace {

const std::string kOrdoInstall = std::string(kFilesRoot) + "\\Ordo";

std::string LanguageText(UINT id)
{
    char text[520] = "";
    LoadStringA(ResourceLibrary, id, text, sizeof text);
    return text;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string FileBytes(const std::string& path)
{
    std::string bytes;
    return testing_support::ReadFileBytes(path, &bytes) ? bytes : "<missing " + path + ">";
}

bool MakeFileOfSize(const std::string& path, long long size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

const ProductLine* FindEntry(TableList<ProductLine> catalog, const char* key)
{
    for (const ProductLine& entry : catalog) {
        if (strcmp(entry.key, key) == 0) return &entry;
    }
    return nullptr;
}

// The folder and registry page of an entry that chooses them by bitness.
std::string FolderOn(const ProductLine& entry)
{
    return IsWindows64Bit() && entry.on64.folder != nullptr ? entry.on64.folder : entry.folder;
}
std::string RegistryPageOn(const ProductLine& entry)
{
    return IsWindows64Bit() && entry.on64.registryPage != nullptr ? entry.on64.registryPage : entry.registryPage;
}

class ProductsTest : public ProductsFixture {
protected:
    // The navigation lines of an Ordo section as PlantOrdo installs it: nine groups, the marker.
    std::string OrdoSection(const std::string& folder, const std::string& install) const
    {
        std::string groups;
        for (const char* label : {"Jobs:", "Events:", "Profiles:", "Reports:", "Firewall:", "Profiles in AppData path:",
                                  "Profiles Prog path:", "Logfiles(Administrator):"}) groups += Label(label);
        return Heading("Ordo") + Link(Href(folder, "Ordo.html"), "File Versions") +
               Link(Href(folder, "ORDOini.TXT"), "ordo.ini") + Label("Logfiles:") +
               Link(Href(folder, DirectoryPart(install + "Data\\Logs\\") + "ordo.log.txt"), "ordo.log") + groups +
               Label("Temp setup.log(s):") + "<BR><BR>\n" + PlainLine("WXSETUP_x") +
               Link(Href(folder, DirectoryPart(setupLog_) + "setup.log.txt"), "setup.log") +
               Label("Debug logging is on (debug.on)") + Label("Registry:") +
               Link(Href(folder, "OrdoRegistry.html"), "Registry Entries");
    }

    // The registry page up to the family's autostart values: the flat dumps
    // of the vendor keys, holding the planted Ordo key.
    static std::string OrdoRegistryHead(const std::string& key, const std::string& install)
    {
        auto flat = [&](const std::string& path) {
            return "<strong>HKEY_LOCAL_MACHINE\\" + path + "\\DataDir = </strong>" + install + "Data<BR><BR>\n" +
                   "<strong>HKEY_LOCAL_MACHINE\\" + path + "\\InstallDir = </strong>" + install + "<BR><BR>\n";
        };
        std::string text = PageHead("Wardex Ordo Registry") + flat(key);
        if (IsWindows64Bit()) text += flat("Software\\WOW6432Node\\" + key.substr(strlen("Software\\")));
        return text + "<h2>" + kFamilyRegistry.autostartHeading + "</h2>\n";
    }

    std::string OrdoVersionsPage(const std::string& install) const
    {
        SignatureLinesScope signatures;  // the versions page's entries carry them
        const std::string driver = "<strong>wxflt.sys</strong>\n<div style=\"margin-left: 40px;\">\nPath: "
                                   "C:\\windows\\system32\\drivers\\<br>\n[file not found]<br>\n\n</div><BR>\n";
        return PageHead("File Versions") + StandardEntry(install + "\\", "ordo.dll") +
               StandardEntry(install + "\\", "ordo.ini") + driver + PageFoot();
    }
};

TEST_F(ProductsTest, CurrentOrdoGivesItsSectionPagesCopiesAndStartRows)
{
    PlantOrdo("Software\\Norvane\\Ordo", kOrdoInstall);
    RunCatalog();

    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + OrdoSection("Ordo", kOrdoInstall) + kNaviFoot);
    EXPECT_EQ(Start(), StartRows("Ordo", kOrdoInstall + "\\"));
    const std::string versions = LineFile("Ordo\\Ordo.html");
    EXPECT_EQ(versions, OrdoVersionsPage(kOrdoInstall));
    EXPECT_NE(versions.find("Version: 7.6.5.4<BR>"), std::string::npos) << "the planted program's version";
    const std::string registry = LineFile("Ordo\\OrdoRegistry.html");
    const std::string head = OrdoRegistryHead("Software\\Norvane\\Ordo", kOrdoInstall);
    EXPECT_EQ(registry.substr(0, head.size()), head);
    EXPECT_EQ(registry.find(LanguageText(IDS_EVENTLOG_NOTE_1)), std::string::npos) << "no driver event log key";
    EXPECT_EQ(FileBytes(ProductBase() + "\\Ordo\\ORDOini.TXT"), FileBytes(kOrdoInstall + "\\ordo.ini"));
    EXPECT_EQ(FolderEntries(ProductBase()), std::vector<std::string>{"Ordo"});
}

TEST_F(ProductsTest, OlderAndCurrentOrdoGetAFolderAndPagesEach)
{
    const std::string olderInstall = std::string(kFilesRoot) + "\\OrdoOld";
    PlantOrdo("Software\\Kelmor\\Ordo", olderInstall);
    PlantOrdo("Software\\Norvane\\Ordo", kOrdoInstall);
    // With the driver's event log entries listed, their two notes follow.
    PlantSystemKey(kFamilyRegistry.driverEventLogKey, {{"EventMessageFile", "%SystemRoot%\\System32\\wxflt.sys"}});
    RunCatalog();

    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + OrdoSection("OrdoOld", olderInstall) +
                          OrdoSection("Ordo", kOrdoInstall) + kNaviFoot);
    EXPECT_EQ(Start(), StartRows("Ordo", olderInstall + "\\") + StartRows("Ordo", kOrdoInstall + "\\"));
    EXPECT_EQ(LineFile("OrdoOld\\Ordo.html"), OrdoVersionsPage(olderInstall));
    EXPECT_EQ(LineFile("Ordo\\Ordo.html"), OrdoVersionsPage(kOrdoInstall));
    const std::string notes =
        "<BR>" + LanguageText(IDS_EVENTLOG_NOTE_1) + "\n<BR>" + LanguageText(IDS_EVENTLOG_NOTE_2) + "\n";
    for (const char* folder : {"OrdoOld", "Ordo"}) {
        const std::string registry = LineFile(std::string(folder) + "\\OrdoRegistry.html");
        EXPECT_NE(registry.find("<h2>Wardex Ordo Registry</h2>"), std::string::npos) << folder;
        EXPECT_NE(registry.find("EventLog\\System\\wxflt: </strong><BR>\nEventMessageFile = "
                                "%SystemRoot%\\System32\\wxflt.sys<br>" +
                                notes),
                  std::string::npos)
            << folder;
    }
}

// On 64-bit Windows the WOW6432Node key is the current key's 32-bit view:
// either way the line is collected once, into the current folder and pages.
TEST_F(ProductsTest, OrdoUnderWow6432NodeIsCollectedAsTheCurrentLine)
{
    PlantOrdo("Software\\WOW6432Node\\Norvane\\Ordo", kOrdoInstall);
    RunCatalog();
    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + OrdoSection("Ordo", kOrdoInstall) + kNaviFoot);
    EXPECT_EQ(Start(), StartRows("Ordo", kOrdoInstall + "\\"));
    EXPECT_EQ(FolderEntries(ProductBase()), std::vector<std::string>{"Ordo"});
}

// Where the fallback's key differs from its predecessor's (a 32-bit Windows),
// it runs only when the predecessor found nothing.
TEST_F(ProductsTest, FallbackRunsOnlyWhenTheEntryBeforeFoundNothing)
{
    const ProductLine* current = FindEntry(kProductCatalog, "Software\\Norvane\\Ordo");
    ASSERT_NE(current, nullptr);
    ProductLine rows[2] = {*current, current[1]};
    ASSERT_EQ(rows[1].rule, EntryRule::Fallback);
    rows[0].key = "Software\\Norvane\\HarvinNotThere";
    rows[1].key = "Software\\Norvane\\HarvinFallback";
    PlantOrdo("Software\\Norvane\\HarvinFallback", kOrdoInstall);
    RunCatalogEntries({rows, 2});
    EXPECT_EQ(Navi(), OrdoSection("Ordo", kOrdoInstall));

    ResetOutput();
    PlantOrdo("Software\\Norvane\\HarvinNotThere", kOrdoInstall);
    RunCatalogEntries({rows, 2});
    EXPECT_EQ(Navi(), OrdoSection("Ordo", kOrdoInstall)) << "one section, not two";
}

TEST_F(ProductsTest, MissingInstallFolderLeavesHeadingAndFolderOnly)
{
    PlantKey("Software\\Norvane\\Ordo", {{"DataDir", kOrdoInstall + "Data"}});
    RunCatalog();
    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + Heading("Ordo") + kNaviFoot);
    EXPECT_EQ(Start(), "");
    EXPECT_TRUE(FolderExists(ProductBase() + "\\Ordo"));
    EXPECT_TRUE(FolderEntries(ProductBase() + "\\Ordo").empty());
}

TEST_F(ProductsTest, OlderManagementAgentRunsOnlyFromAnotherFolder)
{
    const ProductLine* older = FindEntry(kProductCatalog, "Software\\Kelmor\\Vigil");
    ASSERT_NE(older, nullptr);
    const ProductLine& current = older[1];
    const std::string install = std::string(kFilesRoot) + "\\Vigil";
    PlantKey(older->key, {{"InstallPath", install}});
    PlantKey(current.key, {{"InstallPath", install}});
    PlantFolder(install);
    RunCatalog();

    const std::string currentSection = Heading(current.displayName) + Label("") +
                                       Link(Href(FolderOn(current), RegistryPageOn(current)), "Registry Entries");
    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + currentSection + kNaviFoot);
    EXPECT_EQ(Start(), StartRows(current.displayName, install + "\\"));
    EXPECT_EQ(FolderEntries(ProductBase()), std::vector<std::string>{FolderOn(current)});

    ResetOutput();
    const std::string olderInstall = std::string(kFilesRoot) + "\\VigilOld";
    PlantKey(older->key, {{"InstallPath", olderInstall}});
    PlantFolder(olderInstall);
    RunCatalog();
    const std::string olderSection = Heading(older->displayName) + Label("") +
                                     Link(Href(older->folder, older->registryPage), "Registry Entries");
    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + olderSection + currentSection + kNaviFoot);
}

// The status text of the file-server line stands for the moment the user
// confirms cancelling.
std::string g_cancelText;
WNDPROC g_statusLineProc = nullptr;

LRESULT CALLBACK CancellingStatusLine(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && lParam != 0 && g_cancelText == reinterpret_cast<const char*>(lParam)) {
        CancelRequested = 1;
    }
    return CallWindowProcA(g_statusLineProc, window, message, wParam, lParam);
}

TEST_F(ProductsTest, CancelDuringTheFileServerLineEndsTheCatalog)
{
    const std::string install = std::string(kFilesRoot) + "\\Horreum";
    PlantKey("Software\\Norvane\\Horreum", {{"InstallDir", install}});
    PlantFolder(install);
    PlantOrdo("Software\\Norvane\\Ordo", kOrdoInstall);
    HWND statusLine = GetDlgItem(MainDialogWindow, IDC_STATUS_LINE);
    ASSERT_NE(statusLine, nullptr);
    g_cancelText = LanguageText(IDS_STATUS_FILE_SERVER);
    g_statusLineProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(statusLine, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CancellingStatusLine)));
    RunCatalog();
    SetWindowLongPtrA(statusLine, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_statusLineProc));

    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + Heading("Wardex File Server Protection") +
                          Link(Href("Horreum", "Horreum.html"), "File Versions") + Label("Registry:") +
                          Link(Href("Horreum", "HorreumRegistryV8.html"), "Registry Entries"))
        << "the line in progress ends, the desktop lines and the foot do not come";
    EXPECT_FALSE(FolderExists(ProductBase() + "\\Ordo"));
}

TEST_F(ProductsTest, DatabaseCopiesAreCappedUnlessExtended)
{
    const ProductLine* server = FindEntry(kProductCatalog, "Software\\Norvane\\Consul");
    ASSERT_NE(server, nullptr);
    const std::string data = std::string(kFilesRoot) + "\\ConsulData";
    const std::string database = data + "\\Database\\";
    PlantKey(server->on64.key != nullptr && IsWindows64Bit() ? server->on64.key : server->key,
             {{"InstallPath", std::string(kFilesRoot) + "\\Consul"}, {"DataPath", data}});
    PlantFolder(std::string(kFilesRoot) + "\\Consul");
    PlantFile(database + "big.mdb", std::string(12 << 20, 'D'));
    PlantFile(database + "small.mdb", "small database");
    // Over 4 GiB by only a little: its size must not wrap below the cap (sparse, it costs nothing).
    if (!MakeFileOfSize(database + "huge.mdb", 0x100000000LL + 100)) GTEST_SKIP() << "no sparse 4 GiB file here";

    const std::string folder = FolderOn(*server);
    auto section = [&](const std::string& databaseLinks) {
        return NorvaneGroup() + SmallFont() + Heading(server->displayName) + Level3Line(database) + databaseLinks +
               Level3Line("Logfiles:") + Level3Line(data + "\\Logs\\") +
               Level3Line("Reports:") + Level3Line(data + "\\Reports\\") + Label("") +
               Link(Href(folder, RegistryPageOn(*server)), "Registry Entries") + kNaviFoot;
    };
    const std::string copies = ProductBase() + "\\" + folder + DirectoryPart(database);
    const std::string smallLink = Link(Href(folder, DirectoryPart(database) + "small.mdb"), "small.mdb");
    RunCatalog();
    EXPECT_EQ(Navi(), section(smallLink));
    EXPECT_FALSE(FileExists(copies + "big.mdb"));
    EXPECT_FALSE(FileExists(copies + "huge.mdb"));

    ResetOutput();
    ASSERT_TRUE(DeleteFileA((database + "huge.mdb").c_str()));
    ExtendedCollection = 1;
    RunCatalog();
    EXPECT_EQ(Navi(), section(Link(Href(folder, DirectoryPart(database) + "big.mdb"), "big.mdb") + smallLink));
    EXPECT_EQ(FileBytes(copies + "big.mdb").size(), 12u << 20);
}

TEST_F(ProductsTest, MainDesktopLineIsNamedByTheProductAndExportsItsEventDatabase)
{
    const ProductLine* line = FindEntry(kProductCatalog, "Software\\Norvane\\Desktop");
    ASSERT_NE(line, nullptr);
    const std::string install = std::string(kFilesRoot) + "\\Desktop";
    PlantKey(kProductNameSource.key, {{kProductNameSource.value, "Heimschutz f\xFCr Familien"}});
    PlantKey(line->key, {{"InstallDir", install}, {"DataDir", install + "Data"}});
    PlantFile(install + "Data\\" + line->procedure->markerFile, "");
    PlantFolder(install);
    ASSERT_TRUE(CopyFileA((testing_support::TestBinDir() + "\\products_eventdb_plugin.dll").c_str(),
                          (install + "\\" + line->procedure->pluginLibrary).c_str(), FALSE));
    RunCatalog();

    const std::string folder = "Heimschutz fuer Familien";
    const std::string navi = Navi();
    EXPECT_EQ(navi.find(NorvaneGroup() + SmallFont() + Heading("Wardex " + folder) +
                        Link(Href(folder, line->versionsPage), "File Versions")),
              0u)
        << navi;
    EXPECT_NE(navi.find(Label(line->procedure->markerLabel) + Link(Href(folder, "eventdb.txt"), "Event DB") +
                        Label("Registry:") + Link(Href(folder, line->registryPage), "Registry Entries") + kNaviFoot),
              std::string::npos)
        << navi;
    EXPECT_EQ(FileBytes(ProductBase() + "\\" + folder + "\\eventdb.txt"),
              "HARVIN TEST EVENT DATABASE\r\n2 events\r\n");
    EXPECT_EQ(Start(), StartRows("Wardex " + folder, install + "\\"));
    EXPECT_NE(LineFile(folder + "\\" + line->registryPage).find("<h2>Wardex " + folder + " Registry</h2>"),
              std::string::npos);

    // A plug-in that does not reply "SUCCESS" gets no link.
    ResetOutput();
    ASSERT_TRUE(CopyFileA((testing_support::TestBinDir() + "\\platform_test_plugin.dll").c_str(),
                          (install + "\\" + line->procedure->pluginLibrary).c_str(), FALSE));
    RunCatalog();
    EXPECT_EQ(Navi().find("Event DB"), std::string::npos);
}

TEST_F(ProductsTest, HostileProductNameAndFolderValuesStayInsideTheLineFolder)
{
    const ProductLine* line = FindEntry(kProductCatalog, "Software\\Norvane\\Desktop");
    ASSERT_NE(line, nullptr);
    PlantKey(kProductNameSource.key, {{kProductNameSource.value, "..\\..\\Windows <i>&amp;</i> 100%"}});
    PlantKey(line->key, {{"InstallDir", "..\\..\\Windows"}, {"DataDir", "..\\.."}});
    RunCatalog();

    const std::string shown = "Wardex ..\\..\\Windows &lt;i&gt;&amp;amp;&lt;/i&gt; 100%";
    const std::string folder = "______Windows _i_&amp;__i_ 100_";
    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + Heading(shown) + kNaviFoot);
    EXPECT_EQ(Start(), "") << "a relative install folder is no install folder";
    EXPECT_EQ(FolderEntries(ProductBase()), std::vector<std::string>{folder});
    EXPECT_TRUE(FolderEntries(ProductBase() + "\\" + folder).empty());

    // With a real install folder the procedure runs; the data folder value
    // still names no folder, and everything lands in the line's folder.
    ResetOutput();
    const std::string install = std::string(kFilesRoot) + "\\Desktop";
    PlantKey(line->key, {{"InstallDir", install}, {"DataDir", "..\\..\\Windows"}});
    PlantFile(install + "\\wardex.ini", "[Wardex]\r\n");
    RunCatalog();
    EXPECT_EQ(Start(), StartRows(shown, install + "\\"));
    const std::string folderInHref = "______Windows _i_&amp;amp;__i_ 100_";
    EXPECT_EQ(Navi().find(NorvaneGroup() + SmallFont() + Heading(shown) +
                          Link(Href(folderInHref, line->versionsPage), "File Versions") +
                          Link(Href(folderInHref, "WARDEXini.TXT"), "wardex.ini")),
              0u)
        << Navi();
    EXPECT_NE(LineFile(folder + "\\" + line->registryPage).find("<title>" + shown + " Registry</title>"),
              std::string::npos);
    EXPECT_EQ(FolderEntries(scratch_.Path()), std::vector<std::string>{"SupportData"});
    EXPECT_EQ(FolderEntries(root_), (std::vector<std::string>{"NAVI.html", "START.html", "Wardex"}));
    EXPECT_EQ(FolderEntries(ProductBase()), std::vector<std::string>{folder});
}

// The products are 32-bit: on 64-bit Windows their system programs are in SysWOW64.
TEST_F(ProductsTest, SystemProgramEntryComesFromTheProductsSystemFolder)
{
    char wow64[MAX_PATH] = "";
    ASSERT_GT(GetSystemWow64DirectoryA(wow64, MAX_PATH), 0u);
    const std::string program = std::string(wow64) + "\\wxfsctl.exe";
    ASSERT_TRUE(CopyFileA((testing_support::TestBinDir() + "\\system_known_version.dll").c_str(), program.c_str(), 0));
    PlantKey("Software\\Norvane\\Horreum", {{"InstallDir", std::string(kFilesRoot) + "\\Horreum"}});
    RunCatalog();
    SignatureLinesScope signatures;  // the versions page's entries carry them
    const std::string entry = StandardEntry(std::string(wow64) + "\\", "wxfsctl.exe");
    DeleteFileA(program.c_str());
    EXPECT_EQ(LineFile("Horreum\\Horreum.html"), PageHead("File Versions") + entry + PageFoot());
}

TEST_F(ProductsTest, MailServerInstallFolderIsCutAfterItsNameWord)
{
    const ProductLine* line = FindEntry(kProductCatalog, "Software\\Norvane\\Cursus");
    ASSERT_NE(line, nullptr);
    const std::string install = std::string(kFilesRoot) + "\\Cursus\\";
    PlantKey(line->key, {{line->detectionValue, install + "Config\\cursus.conf"}});
    PlantFile(install + "Config\\cursus.conf", "relay=on\r\n");
    RunCatalog();
    EXPECT_EQ(Start(), StartRows(line->displayName, install));
    EXPECT_EQ(FileBytes(ProductBase() + "\\" + line->folder + "\\cursus_conf.TXT"), "relay=on\r\n");

    // Without the word there is no place to cut: no install folder.
    ResetOutput();
    PlantKey(line->key, {{line->detectionValue, std::string(kFilesRoot) + "\\Mail\\mail.conf"}});
    RunCatalog();
    EXPECT_EQ(Navi(), NorvaneGroup() + SmallFont() + Heading(line->displayName) + kNaviFoot);
    EXPECT_EQ(Start(), "");
}

// A whole standard run with several lines planted; the report stays in
// tests/out/products-run for a look in a browser.
TEST_F(ProductsTest, StandardRunShowsTheNorvaneSection)
{
    PlantOrdo("Software\\Norvane\\Ordo", kOrdoInstall);
    const ProductLine* desktop = FindEntry(kProductCatalog, "Software\\Norvane\\Desktop");
    const ProductLine* server = FindEntry(kProductCatalog, "Software\\Norvane\\Consul");
    ASSERT_TRUE(desktop != nullptr && server != nullptr);
    const std::string desktopInstall = std::string(kFilesRoot) + "\\Desktop";
    PlantKey(kProductNameSource.key, {{kProductNameSource.value, "Heimschutz f\xFCr Familien"}});
    PlantKey(desktop->key, {{"InstallDir", desktopInstall}, {"DataDir", desktopInstall + "Data"}});
    PlantFile(desktopInstall + "\\wardex.ini", "[Wardex]\r\nGuard=on\r\n");
    PlantFile(desktopInstall + "Data\\Logs\\guard.log", "guard started\r\n");
    ASSERT_TRUE(CopyFileA((testing_support::TestBinDir() + "\\products_eventdb_plugin.dll").c_str(),
                          (desktopInstall + "\\" + desktop->procedure->pluginLibrary).c_str(), FALSE));
    const std::string serverInstall = std::string(kFilesRoot) + "\\Consul";
    PlantKey(server->key, {{"InstallPath", serverInstall}, {"DataPath", serverInstall + "Data"}});
    PlantFile(serverInstall + "\\consul.ini", "[Consul]\r\nPort=8080\r\n");
    PlantFile(serverInstall + "Data\\Database\\clients.mdb", "clients");
    PlantKey("Software\\Norvane\\Rescue\\Home", {{"InstallPath", std::string(kFilesRoot) + "\\Rescue"}});
    PlantFile(std::string(kFilesRoot) + "\\Rescue\\Logs\\rescue.log", "rescued\r\n");

    const std::string folder = testing_support::TestOutDir() + "\\products-run";
    testing_support::RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    CopyText(ProgramPathOverride, (folder + "\\harvin.exe").c_str());
    CommandLineCopy[0] = '\0';
    CopyText(UserInfo.name, "Erika Mustermann");
    CopyText(UserInfo.company, "Muster GmbH");
    {
        testing_support::MessageBoxAnswerer answerer("Wardex Harvin - Support Information", IDOK);
        spine::RunWorker();
        EXPECT_EQ(answerer.Answered(), 1);
    }
    char desktopFolder[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktopFolder);
    DeleteFileA((std::string(desktopFolder) + "\\GATHINFO.ZIP").c_str());

    const std::string navi = spine::ReadText(folder + "\\SupportData\\NAVI.html");
    size_t at = navi.find(Heading("Windows"));
    for (const std::string& piece :
         {Heading("Norvane"), Heading("Wardex Rescue System (Home)"), Heading(server->displayName), Heading("Ordo"),
          Heading("Wardex Heimschutz fuer Familien"), std::string(">Event DB</A>")}) {
        const size_t found = navi.find(piece, at);
        EXPECT_NE(found, std::string::npos) << piece;
        if (found != std::string::npos) at = found;
    }
    EXPECT_EQ(navi.substr(navi.size() - strlen(kNaviFoot)), kNaviFoot);
    const std::string start = spine::ReadText(folder + "\\SupportData\\START.html");
    const std::string rows = StartRows(server->displayName, serverInstall + "\\") +
                             StartRows("Ordo", kOrdoInstall + "\\") +
                             StartRows("Wardex Heimschutz fuer Familien", desktopInstall + "\\");
    EXPECT_NE(start.find("\t\t<tr>\n" + rows + "</table>\n</font>\n</body>\n</html>\n"), std::string::npos) << start;
}

}  // namespace
}  // namespace products_test
