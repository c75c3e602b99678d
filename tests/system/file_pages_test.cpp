// The file and directory pages. A host fixture plants a user profile and
// trees below both program folders, each with a link leading back up; the
// cases plant the rest (files below the Windows folder, an Exchange service,
// dumps, a Dr Watson key, the stand-in system information tool) and remove
// it again. Whole worker runs check the chain.
#include "app/app_state.h"
#include "app/collection_worker.h"
#include "app/output_location.h"
#include "info/external_programs.h"
#include "platform/bounded_text.h"
#include "system/windows_stuff.h"
#include "tests/app/spine_fixture.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using system_tests::PlantedValue;
using system_tests::ReadPage;
using testing_support::FileExists;
using testing_support::RemoveTree;

const char kTitle[] = "Wardex Harvin - Support Information";
const char kDrWatsonKey[] = "SOFTWARE\\Microsoft\\DrWatson";
const std::string kPlanted = "C:\\windows\\harvin-planted";
const std::string kMinidumps = "C:\\windows\\minidump";
const std::string kMsinfoFolder = "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo";

// `text` from `from` up to (not including) `to`, or to its end.
std::string Between(const std::string& text, const std::string& from, const std::string& to)
{
    size_t start = text.find(from);
    if (start == std::string::npos) return "<no " + from + ">";
    return text.substr(start, to.empty() ? std::string::npos : text.find(to, start + from.size()) - start);
}

// The first of `pieces` not found after the one before it; empty when all are.
std::string FirstOutOfOrder(const std::string& text, const std::vector<std::string>& pieces)
{
    size_t at = 0;
    for (const std::string& piece : pieces) {
        if ((at = text.find(piece, at)) == std::string::npos) return piece;
    }
    return "";
}

std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    return testing_support::ReadFileBytes(path, &bytes) ? bytes : "<missing>";
}

bool ProcessRuns(const char* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry)) {
        found = lstrcmpiA(entry.szExeFile, name) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

// Files and folders a case plants, removed again when it ends. Files get
// the time the pages are compared with; `size` makes a sparse file.
class Plantings {
public:
    ~Plantings()
    {
        for (auto path = paths_.rbegin(); path != paths_.rend(); ++path) {
            if (!DeleteFileA(path->c_str())) RemoveTree(*path);
        }
    }
    bool Folder(const std::string& path)
    {
        if (CreateDirectoryA(path.c_str(), nullptr)) paths_.push_back(path);
        return testing_support::FolderExists(path);
    }
    bool File(const std::string& path, const std::string& bytes, long long size = 0)
    {
        paths_.push_back(path);
        if (!testing_support::WriteFileBytes(path, bytes)) return false;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SYSTEMTIME stamp = {2009, 12, 4, 31, 23, 59, 58, 0};
        FILETIME time;
        LARGE_INTEGER end;
        end.QuadPart = size;
        bool ok = file != INVALID_HANDLE_VALUE && SystemTimeToFileTime(&stamp, &time) &&
                  SetFileTime(file, &time, &time, &time) &&
                  (size == 0 || (SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)));
        CloseHandle(file);
        return ok;
    }
    // The stand-in system information tool, where the program looks for msinfo32.exe.
    bool StandIn()
    {
        return Folder("C:\\Program Files\\Common Files\\Microsoft Shared") && Folder(kMsinfoFolder) &&
               CopyFileA((testing_support::TestBinDir() + "\\msinfo_standin.exe").c_str(), MsinfoExe().c_str(),
                         FALSE);
    }
    // While held, the stand-in keeps running.
    bool Hold() { return File(kMsinfoFolder + "\\hold", ""); }
    static std::string MsinfoExe() { return kMsinfoFolder + "\\msinfo32.exe"; }

private:
    std::vector<std::string> paths_;
};

class FilePagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = scratch_.Join("SupportData");
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        spine::UseOutputRoot(root_);
        for (const char* folder : {SysInfoFolder, LogsFolder, DumpsFolder}) CreateDirectoryA(folder, nullptr);
        NaviFontSize = -1;
        CancelRequested = 0;
        ExtendedCollection = 0;
        windows_.SetSwitches(0, 1, 1, 1, 1, 1, 1);
        spine::ClearStatusLines();
    }
    void TearDown() override
    {
        CancelRequested = 0;
        ExtendedCollection = 0;
        UnattendedRun = false;
        FolderWalkLimit = kWalkLimit;
        OutputRoot[0] = '\0';
    }
    std::string Navi() const { return ReadPage(root_ + "\\NAVI.html"); }
    std::string Sys(const std::string& name) const { return ReadPage(std::string(SysInfoFolder) + "\\" + name); }

    testing_support::ScratchFolder scratch_{"harvin-files"};
    std::string root_;
    CWindowsStuff windows_;
    const size_t kWalkLimit = FolderWalkLimit;
};

// ---- user and program directories --------------------------------------------------------

TEST_F(FilePagesTest, UserDirectoriesListTheListedTypesAndNeverEnterALink)
{
    windows_.CollectUserDirectories(SysInfoFolder, "UserDirInfo.html");
    const std::string page = Sys("UserDirInfo.html");
    EXPECT_NE(page.find("<h2>Users Directories:</h2>\n<b>(only *.exe, *.dll, *.vbs, *.bat, *.lnk, *.pdf and *.tmp)</b>"
                        "<BR><BR>"),
              std::string::npos);
    // The planted profile's lines, up to the first of another folder: its own
    // files first; Documents (no listed type) has no line; the link
    // "Application Data" back to the profile is not entered.
    const std::string profile = "<BR>C:\\users\\Planted &amp; Profile\\";
    const size_t start = page.find(profile);
    ASSERT_NE(start, std::string::npos) << page;
    size_t end = start;
    do {
        end = page.find("<BR>C:\\users\\", end + 1);
    } while (end != std::string::npos && page.compare(end, profile.size(), profile) == 0);
    const std::string div = "<DIV style='margin-left:50px;'>";
    EXPECT_EQ(page.substr(start, std::min(end, page.find("\n</font>")) - start),
              profile + div + "helper.dll</DIV>" + div + "R&amp;D.exe</DIV>" + div + "REPORT.PDF</DIV>" + div +
                  "run.bat</DIV>" + div + "script.vbs</DIV>" + div + "setup.tmp</DIV>" + div + "Shortcut.lnk</DIV>" +
                  div + "Tool.EXE</DIV>" + profile + "AppData\\Roaming\\Tools\\" + div + "deep.exe</DIV>");
}

TEST_F(FilePagesTest, ProgramDirectoriesShowThreeLevelsOfBothProgramFolders)
{
    windows_.CollectProgramDirectories(SysInfoFolder, "DirectoryInfo.html", false);
    windows_.CollectProgramDirectories(SysInfoFolder, "DirectoryInfoX86.html", true);
    const std::string tree = "<div style=\"margin-left: 50px; border-left-style:solid; border-left-width:1px\">";
    auto entry = [](const std::string& name, const std::string& parent) {
        return "- <strong>" + name + "</strong>\n<div style=\"margin-left: 40px;\">\nGMT: 12.31.2009, 23:59:58<br>\n"
               "File attributes: [----]<br>\nPath: " + parent + "<br>\n\n</div><BR>\n";
    };
    // The link Loop is listed, not entered; Level 2 is the third level.
    const std::string top = "C:\\Program Files\\Harvin Planted";
    const std::string expected = entry("Harvin Planted", "C:\\Program Files") + tree + entry("Loop", top) +
                                 entry("R&amp;D", top) + tree + entry("Level 2", top + "\\R&amp;D") + "</div></div>";
    const std::string native = Sys("DirectoryInfo.html");
    EXPECT_EQ(native.substr(native.find("- <strong>Harvin Planted</strong>"), expected.size()), expected);
    EXPECT_EQ(native.find("Harvin Planted x86"), std::string::npos);
    const std::string x86 = Sys("DirectoryInfoX86.html");
    EXPECT_NE(x86.find("<h2>Program Directories (x86)</h2>"), std::string::npos);
    EXPECT_NE(x86.find(entry("Harvin Planted x86", "C:\\Program Files (x86)") + tree +
                       entry("Tools", "C:\\Program Files (x86)\\Harvin Planted x86") + tree + "</div></div>"),
              std::string::npos)
        << x86;
}

// ---- system, driver and configuration files -----------------------------------------------

TEST_F(FilePagesTest, SystemFilesAndDriverFolderListEachFileOnce)
{
    Plantings planted;
    ASSERT_TRUE(planted.Folder(kPlanted));
    for (const char* name : {"harvin-hosts", "harvin.log", "harvin.bat", "harvin.ini"}) {
        ASSERT_TRUE(planted.File(kPlanted + "\\" + name, "planted"));
    }
    windows_.CollectSystemFiles(SysInfoFolder, "SystemFiles.html");
    const std::string page = Sys("SystemFiles.html");
    const char* const sections[][3] = {{"HOSTS", "LOG files", "harvin-hosts"},
                                       {"LOG files", "Batch files", "harvin.log"},
                                       {"Batch files", "Ini files", "harvin.bat"},
                                       {"Ini files", "</font>", "harvin.ini"}};
    for (const auto& section : sections) {
        const std::string text = Between(page, std::string("<h2>") + section[0] + "</h2>", section[1]);
        EXPECT_NE(text.find(std::string("<strong>") + section[2] + "</strong>\n<div style=\"margin-left: 40px;\">\n"
                            "Filesize: 7<BR>\nGMT: 12.31.2009, 23:59:58<br>\nFile attributes: [A---]<br>\n"
                            "Path: C:\\windows\\harvin-planted<br>\n\n</div><BR>\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("harvin-planted", text.find("harvin-planted") + 1), std::string::npos) << text;
    }

    // The native folder once (its etc subfolder too), then the 32-bit one
    // in a section of its own (Wine's holds no drivers).
    windows_.CollectDriverFolderFiles(SysInfoFolder, "System32DriverFiles.html");
    const std::string drivers = Sys("System32DriverFiles.html");
    const std::string wow64 = "<br><div style=\"color:blue;\"><h2>SysWOW64\\Drivers</h2>\n";
    const std::string native = Between(drivers, "<h2>System32\\Drivers Files Information</h2>", wow64);
    EXPECT_NE(native.find("Path: C:\\windows\\system32\\Drivers\\etc<br>"), std::string::npos);
    EXPECT_EQ(native.find("<strong>hosts</strong>", native.find("<strong>hosts</strong>") + 1), std::string::npos);
    EXPECT_EQ(Between(drivers, wow64, ""), wow64 + "</div>\n</font></tt>\n</body>\n</html>\n");
}

TEST_F(FilePagesTest, ConfigFilesCopyLogsAndBatchFilesOnlyWhenExtended)
{
    Plantings planted;
    ASSERT_TRUE(planted.Folder(kPlanted) && planted.Folder(kPlanted + "\\a") && planted.Folder(kPlanted + "\\b"));
    ASSERT_TRUE(planted.File(kPlanted + "\\a\\same.log", "log a") && planted.File(kPlanted + "\\b\\same.log", "log b"));
    ASSERT_TRUE(planted.File(kPlanted + "\\setup.bat", "batch") && planted.File("C:\\boot.ini", "boot"));
    // An Exchange service whose quoted image path needs expanding.
    const std::string exchange = scratch_.Join("R&D Exchange");
    ASSERT_TRUE(planted.Folder(exchange) && planted.Folder(exchange + "\\bin"));
    ASSERT_TRUE(CopyFileA((testing_support::TestBinDir() + "\\system_known_version.dll").c_str(),
                          (exchange + "\\bin\\store.exe").c_str(), FALSE));
    ASSERT_TRUE(SetEnvironmentVariableA("HARVIN_EXCHANGE", exchange.c_str()));
    PlantedValue image(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\MSExchangeIS", "ImagePath",
                       KEY_WOW64_64KEY, REG_EXPAND_SZ, "\"%HARVIN_EXCHANGE%\\bin\\store.exe\"");
    ASSERT_TRUE(image.Ok());

    const std::string copies = std::string(SysInfoFolder) + "\\windows\\";
    for (LONG extended : {1, 0}) {
        SCOPED_TRACE(extended);
        RemoveTree(root_);
        SetUp();
        windows_.SetSwitches(extended, 1, 1, 1, 1, 1, 1);
        windows_.CollectConfigFiles(SysInfoFolder);
        const std::string navi = Navi();
        EXPECT_EQ(FirstOutOfOrder(navi, {">Hosts files<", ">Ini files<", ">MS Exchange<"}), "");
        EXPECT_EQ(FirstOutOfOrder(navi, {">Hosts files<", ">Log files<", ">Batch files<", ">Ini files<"}),
                  extended ? "" : ">Log files<");
        EXPECT_EQ(navi.find("Batch files") != std::string::npos, extended == 1);
        EXPECT_TRUE(FileExists(copies + "System32\\drivers\\etc\\hosts.txt") && FileExists(copies + "win.ini.txt"));
        EXPECT_TRUE(FileExists(std::string(SysInfoFolder) + "\\boot.ini.txt"));
        // Files of one name in sibling folders keep a copy each.
        EXPECT_EQ(ReadBytes(copies + "harvin-planted\\a\\same.log.txt") == "log a" &&
                      ReadBytes(copies + "harvin-planted\\b\\same.log.txt") == "log b",
                  extended == 1);
        EXPECT_EQ(Between(navi, ">Log files<", ">Batch files<")
                          .find("<LI><A HREF=\"./SYSInfo/windows/harvin-planted/b/same.log.txt\" target=\"Inhalt\">"
                                "same.log</A>\n<BR>\n") != std::string::npos,
                  extended == 1);
        EXPECT_EQ(FileExists(copies + "harvin-planted\\setup.bat.txt"), extended == 1);
    }
    EXPECT_NE(Navi().find("<A HREF=\"./SYSInfo/ExchangeFileVersions.html\" target=\"Inhalt\">MS Exchange File Versions"),
              std::string::npos);
    EXPECT_EQ(Between(Sys("ExchangeFileVersions.html"), "<h2>", "\n</font>"),
              std::string("<h2>MSExchange File Versions</h2>\n<strong>store.exe</strong>\n") +
                  "<div style=\"margin-left: 40px;\">\nVersion: 7.6.5.4<BR>\nDescription: Harvin known module<BR>\n"
                  "Vendor: Harvin Test Vendor<BR>\nCopyright: Copyright (C) Harvin Tests<BR>\nPath: " +
                  HtmlText<kPathSize>(exchange.c_str()).c_str() + "\\bin\\<br>\n\n</div><BR>\n");
    EXPECT_FALSE(FileExists(std::string(SysInfoFolder) + "\\ISAServerFiles.html"));
}

// A walk of the Windows folder cut at its limit says so in the page and the run log.
TEST_F(FilePagesTest, WindowsFolderWalkCutAtItsLimitSaysSo)
{
    FolderWalkLimit = 3;
    windows_.CollectSystemFiles(SysInfoFolder, "SystemFiles.html");
    EXPECT_EQ(Between(Sys("SystemFiles.html"), "<h2>System Files", "<h2>HOSTS</h2>"),
              "<h2>System Files Information</h2>\n"
              "[The walk of C:\\windows stopped after 3 folders: the folders after them are not listed.]<br>\n");
    EXPECT_EQ(spine::StatusLines().back(),
              "The walk of C:\\windows stopped after 3 folders; the folders after them are not listed.");
}

// ---- dumps and the Dr Watson log ----------------------------------------------------------

TEST_F(FilePagesTest, DumpsAndDrWatsonLogOnlyInAnExtendedCollectionAskingForLargeOnes)
{
    Plantings planted;
    const std::string source = scratch_.Join("drwatson");
    ASSERT_TRUE(planted.Folder(source) && planted.Folder(kMinidumps));
    ASSERT_TRUE(SetEnvironmentVariableA("HARVIN_DRWATSON", source.c_str()));
    ASSERT_TRUE(planted.File(source + "\\drwtsn32.log", "watson"));
    ASSERT_TRUE(planted.File(source + "\\user.dmp", "", 0x100000000LL + 100));  // its low 32 bits say 100 bytes
    ASSERT_TRUE(planted.File(kMinidumps + "\\Mini-large.dmp", "", 200 * 1024));
    ASSERT_TRUE(planted.File("C:\\windows\\harvin-small.dmp", "small dump"));
    PlantedValue log(HKEY_LOCAL_MACHINE, kDrWatsonKey, "LogFilePath", KEY_WOW64_32KEY, REG_EXPAND_SZ,
                     "%HARVIN_DRWATSON%");
    PlantedValue dump(HKEY_LOCAL_MACHINE, kDrWatsonKey, "CrashDumpFile", KEY_WOW64_32KEY, REG_EXPAND_SZ,
                      "%HARVIN_DRWATSON%\\user.dmp");
    ASSERT_TRUE(log.Ok() && dump.Ok());
    auto collect = [this] {
        windows_.CollectDrWatsonLog(LogsFolder);
        windows_.CollectMinidumps(DumpsFolder);
        windows_.CollectUserDump(DumpsFolder);
    };
    collect();
    EXPECT_EQ(Navi(), "");

    ExtendedCollection = 1;
    {
        testing_support::MessageBoxAnswerer answerer(kTitle, IDNO);
        collect();
        EXPECT_EQ(answerer.Answered(), 2) << "the large minidump and the user dump";
        EXPECT_NE(answerer.LastText().find("user.dmp\n\nis larger than 0.125 MB (4096.00 MB)"), std::string::npos)
            << answerer.LastText();
    }
    EXPECT_EQ(ReadBytes(std::string(LogsFolder) + "\\drwtsn32.txt"), "watson");
    EXPECT_EQ(ReadBytes(std::string(DumpsFolder) + "\\harvin-small.dmp"), "small dump");
    EXPECT_FALSE(FileExists(std::string(DumpsFolder) + "\\windows\\minidump\\Mini-large.dmp"));
    EXPECT_FALSE(FileExists(std::string(DumpsFolder) + "\\user.dmp"));
    const std::string navi = Navi();
    for (const char* link : {"\"./LOGs/drwtsn32.txt\" target=\"Inhalt\">drwtsn32.log</A>",
                             "\"./Dumps/harvin-small.dmp\" target=\"Inhalt\">harvin-small.dmp</A>",
                             "\"./Dumps/windows/minidump/Mini-large.dmp.html\" target=\"Inhalt\">"}) {
        EXPECT_NE(navi.find(link), std::string::npos) << link;
    }
    EXPECT_EQ(navi.find("user.dmp"), std::string::npos);
    const std::vector<std::string> lines = spine::StatusLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "The file was not collected !!! " + source + "\\user.dmp"),
              lines.end());

    ASSERT_TRUE(planted.File(source + "\\user.dmp", "user dump"));  // small: copied without a question
    windows_.CollectUserDump(DumpsFolder);
    EXPECT_EQ(ReadBytes(std::string(DumpsFolder) + "\\user.dmp"), "user dump");
    EXPECT_NE(Navi().find("\"./Dumps/user.dmp\" target=\"Inhalt\">user.dmp</A>"), std::string::npos);

    // With no one to ask, dumps up to 256 MiB come unasked; a larger one is
    // left out and the run log says why.
    UnattendedRun = true;
    ASSERT_TRUE(planted.File(source + "\\user.dmp", "", 0x100000000LL + 100));
    collect();
    EXPECT_EQ(ReadBytes(std::string(DumpsFolder) + "\\windows\\minidump\\Mini-large.dmp").size(), 200u * 1024);
    EXPECT_EQ(ReadBytes(std::string(DumpsFolder) + "\\user.dmp"), "user dump");
    EXPECT_EQ(spine::StatusLines().end()[-2],
              "user.dmp (4096.00 MB) was not collected: an unattended collection takes files of up to 256 MB.");
}

// ---- the wait for the Windows folder listing ------------------------------------------------

// The Windows folder listing waits without a time limit: a cancel still
// ends the wait, and the program with it. The held tool would run for
// minutes; the bound only tells an ended wait from that on a loaded machine.
TEST_F(FilePagesTest, CancelEndsAnUnlimitedWaitForAProgram)
{
    Plantings planted;
    ASSERT_TRUE(planted.StandIn() && planted.Hold());
    volatile DWORD cancelledAt = 0;
    std::thread canceller([&cancelledAt] {
        Sleep(300);
        cancelledAt = GetTickCount();
        CancelRequested = 1;
    });
    RunCommandToFile(LogsFolder, "held.txt", "held", nullptr, ("\"" + Plantings::MsinfoExe() + "\"").c_str(),
                     INFINITE, true, CREATE_NO_WINDOW, 0);
    const DWORD ended = GetTickCount();
    canceller.join();
    EXPECT_LT(ended - cancelledAt, 30000u);
    EXPECT_FALSE(ProcessRuns("msinfo32.exe"));
}

// ---- whole runs, with the stand-in tool ------------------------------------------------------

class FilePagesRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTree(folder_);
        CreateDirectoryA(folder_.c_str(), nullptr);
        CopyText(ProgramPathOverride, (folder_ + "\\harvin.exe").c_str());
        CommandLineCopy[0] = '\0';
        CancelRequested = 0;
        ExtendedCollection = 0;
        ASSERT_TRUE(planted_.StandIn());
    }
    void TearDown() override
    {
        CancelRequested = 0;
        ExtendedCollection = 0;
    }
    std::string Navi() const { return ReadPage(folder_ + "\\SupportData\\NAVI.html"); }

    const std::string folder_ = testing_support::TestOutDir() + "\\file-pages-run";
    Plantings planted_;
};

TEST_F(FilePagesRun, StandardAndExtendedRunsWriteTheirOutputsInChainOrder)
{
    ASSERT_TRUE(planted_.Folder(kMinidumps) && planted_.File(kMinidumps + "\\Mini-small.dmp", "small dump"));
    const std::vector<std::string> always = {
        ">Autostart<", ">System<", "ProcessesModules.html", "DirectoryInfo.html", "DirectoryInfoX86.html",
        "UserDirInfo.html", ">System Configuration Files<", "SystemFiles.html", "System32DriverFiles.html",
        "SYSINFO.TXT\" target=\"Inhalt\">MSInfo32.exe - Report<", ">Hosts files<", ">Ini files<", ">Norvane<"};
    const std::vector<std::string> extended = {
        "windir.txt\" target=\"Inhalt\">dir /s /a Windows<", ">Autostart<", "ProcessesModules.html",
        "SysFileVersion.html", "DirectoryInfo.html", ">Hosts files<", ">Log files<", ">Batch files<", ">Ini files<",
        ">Minidump / Dump<", "Mini-small.dmp<", ">Norvane<"};
    for (LONG mode : {0, 1}) {
        SCOPED_TRACE(mode);
        ExtendedCollection = mode;
        {
            testing_support::MessageBoxAnswerer answerer(kTitle, IDOK);
            spine::RunWorker();
            EXPECT_EQ(answerer.Answered(), 1) << "only the final message";
        }
        const std::string navi = Navi();
        EXPECT_EQ(FirstOutOfOrder(navi, always), "");
        EXPECT_EQ(FirstOutOfOrder(navi, extended), mode == 1 ? "" : extended[0]);
        for (const char* onlyExtended : {"SysFileVersion", "Log files", "Minidump"}) {
            EXPECT_EQ(navi.find(onlyExtended) != std::string::npos, mode == 1) << onlyExtended;
        }
        EXPECT_EQ(ReadPage(folder_ + "\\SupportData\\SYSInfo\\SYSINFO.TXT"), "System information report (stand-in)\n");
    }
}

// The tool is still held when the run reaches its wait for it: a cancel
// ends the run at once, and the tool with it.
TEST_F(FilePagesRun, CancelDuringTheMsinfoWaitEndsTheRunAndTheTool)
{
    ASSERT_TRUE(planted_.Hold());
    CollectionFinishedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE worker = CreateThread(nullptr, 0, &CollectionWorker, nullptr, 0, nullptr);
    ASSERT_NE(worker, nullptr);
    DWORD cancelledAt = 0;
    for (DWORD start = GetTickCount(); cancelledAt == 0 && GetTickCount() - start < 120000;) {
        testing_support::WaitPumping(CollectionFinishedEvent, 20);
        if (Navi().find("MSInfo32.exe - Report") != std::string::npos) {
            cancelledAt = GetTickCount();
            CancelRequested = 1;
        }
    }
    ASSERT_NE(cancelledAt, 0u) << "the run never reached its wait for the tool";
    EXPECT_TRUE(testing_support::WaitPumping(CollectionFinishedEvent, 60000));
    EXPECT_LT(GetTickCount() - cancelledAt, 1000u);
    EXPECT_TRUE(testing_support::WaitPumping(worker, 60000));
    CloseHandle(worker);
    CloseHandle(CollectionFinishedEvent);
    CollectionFinishedEvent = nullptr;
    EXPECT_FALSE(ProcessRuns("msinfo32.exe"));
    EXPECT_FALSE(testing_support::FolderExists(folder_ + "\\SupportData"));
}

}  // namespace
