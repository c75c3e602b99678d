// The processes and modules page: the table and detail sections of a live
// run with a child process that carries a module of known version, checked
// against an independent PSAPI enumeration and the 64-bit lister's page; the
// row and entry formatting with crafted paths; the embedded companion.
#include "app/app_state.h"
#include "platform/bounded_text.h"
#include "report/table_writer.h"
#include "system/windows_stuff.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <zlib.h>

#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

using system_tests::PlantedValue;
using system_tests::ReadPage;
using testing_support::ReadFileBytes;
using testing_support::ScratchFolder;
using testing_support::TestBinDir;

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char kKnownDll[] = "system_known_version.dll";

std::string KnownDllPath() { return TestBinDir() + "\\" + kKnownDll; }

std::string OwnPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

bool SameText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

std::string WindowsFolder()
{
    char folder[MAX_PATH];
    UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder, n);
}

// The file's CRC-32 as the entry writes it.
std::string CrcLine(const std::string& path)
{
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, &bytes));
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    char line[64];
    snprintf(line, sizeof line, "CRC32: 0x%08lX<BR>\n", static_cast<unsigned long>(crc));
    return line;
}

// The entry block of the known module below a header; the page carries the
// signature line, the entry alone does not.
std::string KnownModuleBlock(const std::string& path, const char* signature = "")
{
    return "Version: 7.6.5.4<BR>\n" + CrcLine(path) +
           "Description: Harvin known module<BR>\nVendor: Harvin Test Vendor<BR>\n"
           "Copyright: Copyright (C) Harvin Tests<BR>\n" + signature + "</div><BR>\n";
}

std::string ModuleHeader(const std::string& name)
{
    return "</div><div style=\"margin-left: 40px;\">\n<strong><a name=\"" + name + "\">" + name +
           "</a></strong>\n<BR>\n";
}

std::string ImageHeader(const std::string& anchor, const std::string& linkText)
{
    return "</div>\n<strong><a name=\"" + anchor + "\">" + linkText +
           "</a></strong><a href=\"#top\">to top of table</a><div style=\"margin-left: 40px;\">\n<BR>\n";
}

// A page file the test writes through the page operations directly.
class ScratchPage {
public:
    explicit ScratchPage(const std::string& path) : path_(path), page_(fopen(path.c_str(), "w")) {}
    ~ScratchPage() { Close(); }
    Page Get() const { return page_; }
    std::string Text()
    {
        Close();
        return ReadPage(path_);
    }

private:
    void Close()
    {
        if (page_ != nullptr) fclose(page_);
        page_ = nullptr;
    }
    std::string path_;
    Page page_;
};

// The process ids PSAPI reports right now.
std::set<DWORD> PsapiProcessIds()
{
    std::vector<DWORD> ids(4096);
    DWORD bytes = 0;
    EXPECT_TRUE(EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes));
    return std::set<DWORD>(ids.begin(), ids.begin() + bytes / sizeof(DWORD));
}

// Whether the process's modules can be listed (only those have an image to show).
bool HasModules(DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (process == nullptr) return false;
    HMODULE first = nullptr;
    DWORD needed = 0;
    bool listed = EnumProcessModules(process, &first, sizeof first, &needed) && needed > 0;
    CloseHandle(process);
    return listed;
}

struct TableRow {
    DWORD id;
    std::string href;
    std::string name;
    std::string path;
};

std::vector<TableRow> TableRows(const std::string& page)
{
    static const std::regex row("<TR>\n<TD>([0-9]+)</TD>\n<TD><a href=\"#([^\"]*)\">([^<]*)</a></TD>\n<TD>([^<]*)</TD></TR>");
    std::vector<TableRow> rows;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), row); it != std::sregex_iterator(); ++it) {
        rows.push_back({static_cast<DWORD>(std::stoul((*it)[1].str())), (*it)[2].str(), (*it)[3].str(), (*it)[4].str()});
    }
    return rows;
}

const TableRow* FindRow(const std::vector<TableRow>& rows, DWORD id)
{
    for (const TableRow& row : rows) {
        if (row.id == id) return &row;
    }
    return nullptr;
}

// Test paths are ASCII: each byte is its character.
std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The child process (the sleeper, or a copy of it under another name):
// loads the known module and waits.
class Child {
public:
    explicit Child(const std::wstring& image = Widen(TestBinDir() + "\\system_sleeper.exe"))
    {
        char eventName[64];
        snprintf(eventName, sizeof eventName, "harvin-system-child-%lu", GetCurrentProcessId());
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName);
        std::wstring command = L"\"" + image + L"\" \"" + Widen(KnownDllPath()) + L"\" " + Widen(eventName) + L" 120000";
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
            HANDLE waits[2] = {ready, info_.hProcess};
            started_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
    }
    ~Child()
    {
        if (info_.hProcess != nullptr) {
            TerminateProcess(info_.hProcess, 0);
            WaitForSingleObject(info_.hProcess, 10000);
            CloseHandle(info_.hProcess);
            CloseHandle(info_.hThread);
        }
    }
    bool Started() const { return started_; }
    DWORD Id() const { return info_.dwProcessId; }

private:
    PROCESS_INFORMATION info_ = {};
    bool started_ = false;
};

class ProcessesPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A blank in the output folder: the companion's command line must quote it.
        root_ = scratch_.Join("Support Data");
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        sysInfo_ = root_ + "\\SYSInfo";
        ASSERT_TRUE(CreateDirectoryA(sysInfo_.c_str(), nullptr));
        ASSERT_TRUE(CopyText(OutputRoot, root_.c_str()));
        NaviFontSize = -1;
        CancelRequested = 0;
        ExtendedCollection = 0;
        windows_.SetSwitches(0, 1, 1, 1, 1, 1, 1);
    }
    void TearDown() override
    {
        OutputRoot[0] = '\0';
        CancelRequested = 0;
    }

    ScratchFolder scratch_{"harvin procs"};
    std::string root_;
    std::string sysInfo_;
    CWindowsStuff windows_;
};

TEST_F(ProcessesPageTest, LiveRunListsItselfAndItsChildWithModules)
{
    Child child;
    ASSERT_TRUE(child.Started());
    const std::set<DWORD> before = PsapiProcessIds();
    windows_.CollectProcesses(sysInfo_.c_str(), "ProcessesModules.html");
    const std::set<DWORD> after = PsapiProcessIds();

    const std::string page = ReadPage(sysInfo_ + "\\ProcessesModules.html");
    ASSERT_FALSE(page.empty());
    EXPECT_NE(std::string::npos, page.find("<title>Active Processes And Modules (32Bit)</title>"));
    EXPECT_NE(std::string::npos, page.find("<a name=\"top\"> </a>\n<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=7>\n"
                                           "<TR>\n<TH>PID</TH>\n<TH>Process</TH>\n<TH>Path</TH></TR>\n"));
    EXPECT_NE(std::string::npos, page.find("</TABLE>\n<BR><BR>\n"));
    EXPECT_NE(std::string::npos, page.find("\n</font></tt>\n</body>\n</html>\n"));

    const std::vector<TableRow> rows = TableRows(page);
    const TableRow* self = FindRow(rows, GetCurrentProcessId());
    ASSERT_NE(nullptr, self);
    EXPECT_TRUE(SameText(FileNameOf(OwnPath()), self->name)) << self->name;
    EXPECT_EQ(self->href, self->name);
    EXPECT_TRUE(SameText(OwnPath(), self->path)) << self->path;
    const TableRow* child_row = FindRow(rows, child.Id());
    ASSERT_NE(nullptr, child_row);
    EXPECT_TRUE(SameText("system_sleeper.exe", child_row->name));
    EXPECT_TRUE(SameText(TestBinDir() + "\\system_sleeper.exe", child_row->path)) << child_row->path;
    EXPECT_EQ(nullptr, FindRow(rows, 0)) << "the idle process is not listed";

    // The child's section: its image first, then the module of known version.
    const std::string childName = FileNameOf(child_row->path);
    const size_t section = page.find(ImageHeader(childName, childName));
    ASSERT_NE(std::string::npos, section) << "no section for the child";
    const size_t nextSection = page.find("</div>\n<strong><a name=", section + 1);
    const std::string childSection = page.substr(section, nextSection == std::string::npos ? std::string::npos
                                                                                          : nextSection - section);
    EXPECT_NE(std::string::npos, childSection.find(CrcLine(TestBinDir() + "\\system_sleeper.exe")));
    const size_t dll = childSection.find(ModuleHeader(kKnownDll));
    ASSERT_NE(std::string::npos, dll) << childSection;
    const std::string knownBlock = KnownModuleBlock(KnownDllPath(), "Signature: Not signed<BR>\n");
    EXPECT_EQ(dll + ModuleHeader(kKnownDll).size(), childSection.find(knownBlock, dll))
        << childSection.substr(dll);
    // This process has its section too, linked from the table.
    const std::string ownName = FileNameOf(self->path);
    EXPECT_NE(std::string::npos, page.find(ImageHeader(ownName, ownName)));

    // The table against PSAPI: nothing that did not exist, nothing that stayed left out.
    for (const TableRow& row : rows) {
        EXPECT_TRUE(before.count(row.id) || after.count(row.id)) << "unknown process " << row.id << " " << row.name;
    }
    std::set<DWORD> stable;
    for (DWORD id : before) {
        if (after.count(id) && id != 0 && HasModules(id)) stable.insert(id);
    }
    EXPECT_GE(stable.size(), 2u);
    for (DWORD id : stable) EXPECT_NE(nullptr, FindRow(rows, id)) << "process " << id << " missing in the table";

    // The 64-bit lister's page of the same run lists the same processes.
    EXPECT_FALSE(testing_support::FileExists(root_ + "\\pidwalk64.exe")) << "the companion is deleted again";
    const std::string page64 = ReadPage(sysInfo_ + "\\ProcessModules64.html");
    ASSERT_FALSE(page64.empty());
    size_t doctypes = 0;
    for (size_t at = page64.find("<!DOCTYPE"); at != std::string::npos; at = page64.find("<!DOCTYPE", at + 1)) ++doctypes;
    EXPECT_EQ(1u, doctypes);
    EXPECT_EQ(0u, page64.find("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\""));
    EXPECT_NE(std::string::npos, page64.find("<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=7>"));
    EXPECT_EQ(page64.size() - strlen("</html>\n"), page64.rfind("</html>\n"));
    // The copy that ran was the one written into the output folder (whose name holds a blank).
    EXPECT_NE(std::string::npos, page64.find("<td>" + root_ + "\\pidwalk64.exe</td></tr>"));
    std::set<DWORD> ids64;
    static const std::regex row64("<tr><td>([0-9]+)</td><td>(<a href=\"#[^\"]*\">)?([^<]*)");
    for (auto it = std::sregex_iterator(page64.begin(), page64.end(), row64); it != std::sregex_iterator(); ++it) {
        DWORD id = static_cast<DWORD>(std::stoul((*it)[1].str()));
        ids64.insert(id);
        // The companion itself and the console host Wine gives it come and go with the run.
        const std::string name = (*it)[3].str();
        if (name != "pidwalk64.exe" && name != "conhost.exe" && id != 0) {
            EXPECT_TRUE(before.count(id) || after.count(id)) << "unknown process " << id << " " << name << " in the 64-bit page";
        }
    }
    for (DWORD id : stable) EXPECT_TRUE(ids64.count(id)) << "process " << id << " missing in the 64-bit page";

    const std::string navi = ReadPage(root_ + "\\NAVI.html");
    EXPECT_NE(std::string::npos,
              navi.find("<LI><A HREF=\"./SYSInfo/ProcessesModules.html\" target=\"Inhalt\">Active Processes And Modules</A>"))
        << navi;
    EXPECT_NE(std::string::npos, navi.find("<LI><A HREF=\"./SYSInfo/ProcessModules64.html\" target=\"Inhalt\">"
                                           "Active Processes And Modules (64Bit)</A>"))
        << navi;
}

// An image path with characters the ANSI code page lacks: the page shows
// each as '?', never as a look-alike ('<' from a full-width one), and does
// not look that text up (its '?' is a wildcard that finds whatever matches):
// the image gets the "[Access Error]" entry.
TEST_F(ProcessesPageTest, ImagePathOutsideTheCodePageIsNotLookedUp)
{
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "UTF-8 holds every character";
    const std::wstring image = Widen(scratch_.Path()) + L"\\lossy_\xFF1C\x0416.exe";
    ASSERT_TRUE(CopyFileW(Widen(TestBinDir() + "\\system_sleeper.exe").c_str(), image.c_str(), FALSE));
    Child child(image);
    ASSERT_TRUE(child.Started());
    ScratchPage page(scratch_.Join("lossy.html"));
    windows_.WriteProcessList(page.Get());
    const std::string text = page.Text();

    const std::string shownName = "lossy_??.exe";
    const std::string shownPath = scratch_.Join(shownName);
    const std::vector<TableRow> rows = TableRows(text);
    const TableRow* row = FindRow(rows, child.Id());
    ASSERT_NE(nullptr, row) << text;
    EXPECT_EQ(shownName, row->name);
    EXPECT_EQ(shownPath, row->path);
    EXPECT_NE(std::string::npos, text.find("<strong>" + shownName + "</strong>  [Access Error]<div style=\"margin-left: 40px;\">\n" +
                                           shownPath + "\n</div>\n"))
        << text;
    EXPECT_EQ(std::string::npos, text.find("<a name=\"" + shownName + "\">"));
}

TEST_F(ProcessesPageTest, SwitchesDecideWhatRuns)
{
    windows_.SetSwitches(1, 1, 0, 1, 1, 1, 1);  // no Logging: no 64-bit list
    windows_.RunProcessLister64(sysInfo_.c_str(), "ProcessModules64.html", "Active Processes And Modules (64Bit)");
    EXPECT_FALSE(testing_support::FileExists(sysInfo_ + "\\ProcessModules64.html"));
    EXPECT_FALSE(testing_support::FileExists(root_ + "\\pidwalk64.exe"));

    windows_.SetSwitches(1, 1, 1, 1, 1, 0, 1);  // no System: no page at all
    windows_.CollectProcesses(sysInfo_.c_str(), "ProcessesModules.html");
    EXPECT_FALSE(testing_support::FileExists(sysInfo_ + "\\ProcessesModules.html"));
    EXPECT_FALSE(testing_support::FileExists(sysInfo_ + "\\ProcessModules64.html"));
    EXPECT_FALSE(testing_support::FileExists(root_ + "\\NAVI.html"));
}

TEST(ProcessesPageResourceTest, EmbeddedCompanionIsTheBuiltProgram)
{
    std::string built;
    ASSERT_TRUE(ReadFileBytes(std::string(HARVIN_COMPANIONS_DIR) + "\\pidwalk64.exe", &built));
    ASSERT_FALSE(built.empty());
    const std::string harvin = testing_support::DistDir() + "\\harvin.exe";
    HMODULE module = LoadLibraryExA(harvin.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << harvin;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(136), "DATA_EXE2");
    ASSERT_NE(nullptr, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, resource);
    ASSERT_NE(nullptr, bytes);
    EXPECT_EQ(built.size(), size);
    EXPECT_TRUE(std::string(bytes, size) == built) << "resource 136 differs from the built pidwalk64.exe";
    FreeLibrary(module);
}

// ---- rows and entries with crafted paths ----------------------------------------

TEST(ProcessRowTest, SystemRootPathsShowTheWindowsFolder)
{
    char row[2200];
    EXPECT_TRUE(CWindowsStuff::FormatProcessRow(4, "smss.exe", "\\SystemRoot\\System32\\smss.exe", row, sizeof row));
    EXPECT_EQ("4\t<a href=\"#smss.exe\">smss.exe</a>\t" + WindowsFolder() + "\\System32\\smss.exe", std::string(row));

    // The marker is compared with case; anything else stays as it is.
    EXPECT_TRUE(CWindowsStuff::FormatProcessRow(4294967295UL, "a.exe", "\\systemroot\\a.exe", row, sizeof row));
    EXPECT_STREQ("4294967295\t<a href=\"#a.exe\">a.exe</a>\t\\systemroot\\a.exe", row);
    EXPECT_TRUE(CWindowsStuff::FormatProcessRow(8, "b.exe", "C:\\Program Files\\b.exe", row, sizeof row));
    EXPECT_STREQ("8\t<a href=\"#b.exe\">b.exe</a>\tC:\\Program Files\\b.exe", row);

    char small[16];
    memset(small, 0xBD, sizeof small);
    EXPECT_FALSE(CWindowsStuff::FormatProcessRow(8, "b.exe", "C:\\b.exe", small, 12));
    EXPECT_EQ(11u, strlen(small));
    EXPECT_EQ(static_cast<char>(0xBD), small[12]);
}

// Names and paths are text: "&" is an entity in the link and its address,
// and "%" shows once after the table writer.
TEST(ProcessRowTest, PercentSignsAndMarkupInNamesAndPaths)
{
    char row[2200];
    ASSERT_TRUE(CWindowsStuff::FormatProcessRow(77, "R&D 50%.exe", "C:\\100%done\\R&D 50%.exe", row, sizeof row));
    EXPECT_STREQ("77\t<a href=\"#R&amp;D 50%%.exe\">R&amp;D 50%%.exe</a>\tC:\\100%%done\\R&amp;D 50%%.exe", row);

    ScratchFolder scratch("harvin-rows");
    ScratchPage page(scratch.Join("rows.html"));
    WriteTableRow(row, 0, page.Get(), nullptr, nullptr, 0);
    EXPECT_EQ("<TR>\n<TD>77</TD>\n<TD><a href=\"#R&amp;D 50%.exe\">R&amp;D 50%.exe</a></TD>\n"
              "<TD>C:\\100%done\\R&amp;D 50%.exe</TD></TR>\n",
              page.Text());
}

class ModuleEntryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ExtendedCollection = 0;
        ASSERT_TRUE(ReadFileBytes(KnownDllPath(), &dllBytes_));
    }
    std::string Plant(const std::string& relative)
    {
        std::string path = scratch_.Join(relative);
        EXPECT_TRUE(testing_support::WriteFileBytes(path, dllBytes_));
        return path;
    }
    std::string Entry(const std::string& path, bool image)
    {
        ScratchPage page(scratch_.Join("entry.html"));
        windows_.WriteModuleEntry(path.c_str(), image, page.Get());
        return page.Text();
    }

    ScratchFolder scratch_{"harvin-modules"};
    CWindowsStuff windows_;
    std::string dllBytes_;
};

TEST_F(ModuleEntryTest, SystemRootEntriesReadTheRegistrySystemRoot)
{
    const std::string root = scratch_.Join("WinRoot");
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((root + "\\System32").c_str(), nullptr));
    const std::string planted = Plant("WinRoot\\System32\\crafted.dll");
    const char* crafted = "\\SystemRoot\\System32\\crafted.dll";
    {
        PlantedValue systemRoot(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "SystemRoot", KEY_WOW64_32KEY, REG_SZ, root);
        ASSERT_TRUE(systemRoot.Ok());
        EXPECT_EQ(ModuleHeader("crafted.dll") + KnownModuleBlock(planted), Entry(crafted, false));

        // The table of the same path names the Windows folder, not the registry's root.
        char row[2200];
        CWindowsStuff::FormatProcessRow(4, "crafted.dll", crafted, row, sizeof row);
        EXPECT_EQ("4\t<a href=\"#crafted.dll\">crafted.dll</a>\t" + WindowsFolder() + "\\System32\\crafted.dll",
                  std::string(row));
    }
    {
        PlantedValue systemRoot(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "SystemRoot", KEY_WOW64_32KEY, REG_SZ, "",
                                true);
        EXPECT_EQ("<strong>crafted.dll</strong>  [Access Error]<div style=\"margin-left: 40px;\">\n"
                  "\\SystemRoot\\System32\\crafted.dll\n</div>\n",
                  Entry(crafted, false));
    }
}

TEST_F(ModuleEntryTest, ImageNamesArePaddedToThirteen)
{
    const std::string lsass = Plant("lsass.exe");
    const std::string pad4(4, static_cast<char>(0xA0));
    EXPECT_EQ(ImageHeader("lsass.exe", "lsass.exe" + pad4) + KnownModuleBlock(lsass), Entry(lsass, true));

    const std::string thirteen = Plant("thirteen1.exe");
    EXPECT_EQ(ImageHeader("thirteen1.exe", "thirteen1.exe") + KnownModuleBlock(thirteen), Entry(thirteen, true));

    // A module entry is never padded.
    EXPECT_EQ(ModuleHeader("lsass.exe") + KnownModuleBlock(lsass), Entry(lsass, false));
}

TEST_F(ModuleEntryTest, MissingFilesFoldersAndPercentSigns)
{
    const std::string missing = scratch_.Join("gone 100%.dll");
    EXPECT_EQ("<strong>gone 100%.dll</strong>  [Access Error]<div style=\"margin-left: 40px;\">\n" + missing +
                  "\n</div>\n",
              Entry(missing, false));
    EXPECT_EQ("", Entry(scratch_.Path(), false)) << "a folder gets no entry";

    const std::string percent = Plant("100%s%n.dll");
    EXPECT_EQ(ModuleHeader("100%s%n.dll") + KnownModuleBlock(percent), Entry(percent, false));

    // A name is text in the anchor, the link text and the entry (padding counts its characters).
    const std::string ampersand = Plant("R&D.exe");
    const std::string pad6(6, static_cast<char>(0xA0));
    EXPECT_EQ(ImageHeader("R&amp;D.exe", "R&amp;D.exe" + pad6) + KnownModuleBlock(ampersand), Entry(ampersand, true));
    const std::string gone = scratch_.Join("Tom & Jerry.dll");
    EXPECT_EQ("<strong>Tom &amp; Jerry.dll</strong>  [Access Error]<div style=\"margin-left: 40px;\">\n" +
                  scratch_.Join("Tom &amp; Jerry.dll") + "\n</div>\n",
              Entry(gone, false));
}

}  // namespace
