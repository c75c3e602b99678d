// The archive of a run and the output location. Archives are left in
// tests/out/archive-run for the checks made with unzip and Python.
#include "app/app_state.h"
#include "app/folder_owner.h"
#include "app/output_location.h"
#include "app/report_archive.h"
#include "platform/bounded_text.h"
#include "tests/app/spine_fixture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <shlobj.h>

using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::MessageBoxAnswerer;
using testing_support::WriteFileBytes;

namespace {

const char kTitle[] = "Wardex Harvin - Support Information";

std::string OutFolder(const char* name)
{
    CreateDirectoryA(testing_support::TestOutDir().c_str(), nullptr);
    std::string base = testing_support::TestOutDir() + "\\archive-run";
    CreateDirectoryA(base.c_str(), nullptr);
    std::string folder = base + "\\" + name;
    testing_support::RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// A small report tree: empty folders, nested files, an empty file.
void PlantTree(const std::string& root)
{
    CreateDirectoryA(root.c_str(), nullptr);
    for (const char* sub : {"BATFiles", "Dumps", "LOGs", "SYSInfo", "Wardex", "Wardex\\Ordo"}) {
        CreateDirectoryA((root + "\\" + sub).c_str(), nullptr);
    }
    WriteFileBytes(root + "\\INDEX.html", "<html>index</html>\n");
    WriteFileBytes(root + "\\LOGs\\netstat.txt", std::string(20000, 'n') + "\r\n");
    WriteFileBytes(root + "\\LOGs\\empty.txt", "");
    WriteFileBytes(root + "\\Wardex\\Ordo\\Ordo.html", "<html>ordo</html>\n");
}

TEST(ReportArchive, TreeAndRunLogWithLineLengthLimit)
{
    std::string folder = OutFolder("complete");
    spine::UseOutputRoot(folder + "\\SupportData");
    PlantTree(OutputRoot);
    CopyText(ArchivePath, (folder + "\\GATHINFO.ZIP").c_str());
    spine::ClearStatusLines();
    for (const std::string& line : {std::string("first line"), std::string(254, 'a'), std::string(255, 'b'),
                                    std::string("a % sign and %s stays"), std::string()}) {
        StatusList.AddString(line.c_str());
    }
    // With the classic limit lowered, netstat.txt needs Zip64 sizes: the walk announces them.
    ZipSetSizeLimitForTesting(5000);
    EXPECT_TRUE(BuildReportArchive());
    ZipSetSizeLimitForTesting(0);
    EXPECT_FALSE(ArchiveIncomplete());
    EXPECT_TRUE(FileExists(ArchivePath));
}

TEST(ReportArchive, UnreadableFileInTheRootEndsTheWalkWithoutRunLog)
{
    std::string folder = OutFolder("locked");
    spine::UseOutputRoot(folder + "\\SupportData");
    PlantTree(OutputRoot);
    std::string locked = std::string(OutputRoot) + "\\INDEX.html";
    HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    CopyText(ArchivePath, (folder + "\\GATHINFO.ZIP").c_str());
    spine::ClearStatusLines();
    CancelRequested = 0;
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        FinishCollection(nullptr);
    }
    CloseHandle(hold);
    std::vector<std::string> lines = spine::StatusLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "The report GATHINFO.HTM could not be packed completely."),
              lines.end());
    EXPECT_TRUE(ArchiveIncomplete());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "The archive is incomplete: some files could not be packed.");
}

// No archive at all: nothing is copied, and the final message says where
// the report is instead.
TEST(ReportArchive, ArchiveThatCannotBeCreatedIsNotCopiedAndNotClaimed)
{
    std::string folder = OutFolder("no-archive");
    spine::UseOutputRoot(folder + "\\SupportData");
    PlantTree(OutputRoot);
    CopyText(ArchivePath, (folder + "\\missing-folder\\GATHINFO.ZIP").c_str());
    spine::ClearStatusLines();
    std::string seen;
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        FinishCollection(nullptr);
        EXPECT_EQ(answerer.Answered(), 1) << "only the final message: no copy was tried";
        seen = answerer.LastText();
    }
    EXPECT_NE(seen.find(OutputRoot), std::string::npos) << seen;
    EXPECT_EQ(seen.find("desktop"), std::string::npos) << seen;
    EXPECT_FALSE(ArchiveCopiedToDesktop);
    EXPECT_EQ(spine::StatusLines().back(), "The archive is incomplete: some files could not be packed.");
}

TEST(ReportArchive, UnreadableFileInASubfolderStillMarksTheArchiveIncomplete)
{
    std::string folder = OutFolder("sublocked");
    spine::UseOutputRoot(folder + "\\SupportData");
    PlantTree(OutputRoot);
    std::string locked = std::string(OutputRoot) + "\\LOGs\\netstat.txt";
    HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    CopyText(ArchivePath, (folder + "\\GATHINFO.ZIP").c_str());
    spine::ClearStatusLines();
    // The walk goes on after the failed folder and later entries succeed;
    // the archive must still not count as complete.
    EXPECT_FALSE(BuildReportArchive());
    EXPECT_TRUE(ArchiveIncomplete());
    CloseHandle(hold);
}

// WriteFile, but the first write of a full buffer (the dump's data) writes
// half its bytes and fails.
bool g_fullBufferWriteFailed = false;
int FailFullBufferWriteOnce(void* file, const void* data, unsigned long length, unsigned long* written)
{
    const bool fail = !g_fullBufferWriteFailed && length >= 65536;
    g_fullBufferWriteFailed = g_fullBufferWriteFailed || fail;
    return WriteFile(file, data, fail ? length / 2 : length, written, nullptr) && !fail;
}

// An entry that fails once the walk has handed it over (a write of its
// deflated data fails) ends the archive as an unreadable file does: no run
// log, no comment, and the archive counts as incomplete.
TEST(ReportArchive, EntryFailingBehindTheWalkLeavesNoRunLog)
{
    std::string folder = OutFolder("late-failure");
    spine::UseOutputRoot(folder + "\\SupportData");
    PlantTree(OutputRoot);
    constexpr size_t kLimit = 200000;
    std::string noise(kLimit - 10, '\0');
    uint32_t x = 2463534242u;
    for (char& c : noise) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    ASSERT_TRUE(WriteFileBytes(std::string(OutputRoot) + "\\Dumps\\noise.dmp", noise));
    CopyText(ArchivePath, (folder + "\\GATHINFO.ZIP").c_str());
    spine::ClearStatusLines();
    StatusList.AddString("a line of the run log");
    g_fullBufferWriteFailed = false;
    ZipSetFileWriteForTesting(&FailFullBufferWriteOnce);
    EXPECT_FALSE(BuildReportArchive());
    ZipSetFileWriteForTesting(nullptr);
    EXPECT_TRUE(ArchiveIncomplete());
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadFileBytes(ArchivePath, &bytes));
    EXPECT_EQ(bytes.find("HVREPORT.LOG"), std::string::npos);
    EXPECT_EQ(bytes.find("Norvane Support Information File"), std::string::npos);
}

TEST(ReportArchive, FailedDesktopCopyIsReportedAndKeepsTheArchive)
{
    std::string folder = OutFolder("desktop-fails");
    spine::UseOutputRoot(folder + "\\SupportData");
    PlantTree(OutputRoot);
    CopyText(ArchivePath, (folder + "\\GATHINFO.ZIP").c_str());
    char desktop[MAX_PATH] = "";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)));
    std::string blocker = std::string(desktop) + "\\GATHINFO.ZIP";
    DeleteFileA(blocker.c_str());
    CreateDirectoryA(blocker.c_str(), nullptr);  // a folder of that name: the copy cannot succeed
    ArchiveCopiedToDesktop = true;                // as an earlier run with a good copy left it
    std::string seen;
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        FinishCollection(nullptr);
        seen = answerer.LastText();
        EXPECT_EQ(answerer.Answered(), 2) << "the copy failure, then the final message";
    }
    RemoveDirectoryA(blocker.c_str());
    EXPECT_FALSE(ArchiveCopiedToDesktop) << "closing would delete the only archive";
    EXPECT_TRUE(FileExists(ArchivePath));
    // The final message names the archive where it is, not the desktop.
    EXPECT_NE(seen.find(ArchivePath), std::string::npos) << seen;
    EXPECT_NE(seen.find("could not be placed on your desktop"), std::string::npos) << seen;
}

// An earlier run's good copy must not count for this run: without a
// profile nothing is copied, so the archive beside the program stays.
TEST(ReportArchive, NoProfileAfterAGoodCopyKeepsTheArchive)
{
    std::string folder = OutFolder("no-profile");
    spine::UseOutputRoot(folder + "\\SupportData");
    PlantTree(OutputRoot);
    CopyText(ArchivePath, (folder + "\\GATHINFO.ZIP").c_str());
    ArchiveCopiedToDesktop = true;
    const char* profile = getenv("USERPROFILE");
    std::string saved = profile != nullptr ? profile : "";
    _putenv("USERPROFILE=");
    std::string seen;
    {
        MessageBoxAnswerer answerer(kTitle, IDOK);
        FinishCollection(nullptr);
        EXPECT_EQ(answerer.Answered(), 2) << "no profile, then the final message";
        seen = answerer.LastText();
    }
    _putenv(("USERPROFILE=" + saved).c_str());
    EXPECT_FALSE(ArchiveCopiedToDesktop) << "closing would delete the only archive";
    EXPECT_NE(seen.find(ArchivePath), std::string::npos) << seen;
}

TEST(ReportArchive, DesktopCopyLandsInTheUsersDesktopFolder)
{
    std::string folder = OutFolder("desktop");
    spine::UseOutputRoot(folder + "\\SupportData");
    PlantTree(OutputRoot);
    CopyText(ArchivePath, (folder + "\\GATHINFO.ZIP").c_str());
    ASSERT_TRUE(BuildReportArchive());
    char desktop[MAX_PATH] = "";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)));
    std::string copy = std::string(desktop) + "\\GATHINFO.ZIP";
    DeleteFileA(copy.c_str());
    EXPECT_EQ(CopyArchiveToDesktop(ArchivePath, "GATHINFO.ZIP"), 1);
    EXPECT_TRUE(ArchiveCopiedToDesktop);
    std::string original, copied;
    ASSERT_TRUE(testing_support::ReadFileBytes(ArchivePath, &original));
    ASSERT_TRUE(testing_support::ReadFileBytes(copy, &copied));
    EXPECT_EQ(original, copied);
    WriteFileBytes(folder + "\\desktop-path.txt", copy);
}

// The walk of the archive, like the summary's, enters no link (a symbolic
// link to a folder outside the tree, planted on the host side).
TEST(ReportArchive, LinksInTheTreeAreNotPacked)
{
    const std::string planted = "C:\\harvin-linktest\\packed\\SupportData";
    if (!FolderExists(planted)) GTEST_SKIP() << "the link fixture was not planted";
    spine::UseOutputRoot(planted);
    CopyText(ArchivePath, (OutFolder("links") + "\\GATHINFO.ZIP").c_str());
    std::string bytes;
    ASSERT_TRUE(BuildReportArchive() && testing_support::ReadFileBytes(ArchivePath, &bytes));
    EXPECT_NE(bytes.find("own.txt"), std::string::npos);
    EXPECT_EQ(bytes.find("keep.txt"), std::string::npos) << "the walk packed what is behind the link";
}

// ---- output location and options --------------------------------------------

// The command line as the program reads it at its start.
void UseCommandLine(const char* commandLine, bool unattended = false)
{
    CopyText(CommandLineCopy, commandLine);
    ParsedCommandLine = CommandLineOptions();
    char problem[kPathSize];
    ParseCommandLine(commandLine, &ParsedCommandLine, problem, sizeof problem);
    UnattendedRun = unattended;
}

class OutputLocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CopyText(ProgramPathOverride, (program_.Path() + "\\harvin.exe").c_str());
        UseCommandLine("");
        spine::ClearStatusLines();
    }
    void TearDown() override
    {
        ProgramPathOverride[0] = '\0';
        UseCommandLine("");
    }
    testing_support::ScratchFolder program_{"location"};
};

TEST_F(OutputLocationTest, DefaultsBesideTheProgram)
{
    ASSERT_TRUE(WriteFileBytes(program_.Join("GATHINFO.ZIP"), "old archive"));
    ASSERT_TRUE(PrepareOutputLocation(nullptr));
    std::string folder = program_.Path() + "\\";
    EXPECT_EQ(std::string(ProgramFolder), folder);
    EXPECT_EQ(std::string(OutputBase), folder);
    EXPECT_EQ(std::string(HomePathText), folder);
    EXPECT_EQ(std::string(OutputRoot), folder + "SupportData");
    EXPECT_EQ(std::string(ArchivePath), folder + "GATHINFO.ZIP");
    EXPECT_EQ(std::string(EntryPagePath), folder + "SupportData\\GATHINFO.HTM");
    EXPECT_FALSE(FileExists(program_.Join("GATHINFO.ZIP"))) << "an old archive is deleted at the start";
    std::string navi = spine::ReadText(program_.Join("SupportData\\NAVI.html"));
    EXPECT_NE(navi.find("</FONT><FONT face=\"Arial\" size=2><A NAME=\"?IDX?\"></A>\n<BR>\n"), std::string::npos);
}

TEST_F(OutputLocationTest, HtmlPathMovesTheArchiveHomePathOnlyTheReport)
{
    UseCommandLine("/HTMLPATH=D:\\Out\\ /HOMEPATH=X:\\Home");
    ASSERT_TRUE(PrepareOutputLocation(nullptr));
    EXPECT_STREQ(ArchivePath, "D:\\Out\\GATHINFO.ZIP");
    EXPECT_STREQ(EntryPagePath, "D:\\Out\\GATHINFO.HTM");
    EXPECT_STREQ(NaviFilePath, "D:\\Out\\NAVI.html");
    EXPECT_STREQ(HomePathText, "X:\\Home");
    EXPECT_EQ(std::string(OutputBase), program_.Path() + "\\");
    EXPECT_EQ(spine::StatusLines().at(0), "Home path: X:\\Home");
}

// Paths that would be cut name other files and folders: nothing is deleted
// or created in their name.
TEST_F(OutputLocationTest, PathsThatDoNotFitAreNeverUsed)
{
    // An archive option too long to take its file names is ignored.
    const std::string longOption = "C:\\" + std::string(248, 'h') + "\\";
    UseCommandLine(("/HTMLPATH=" + longOption).c_str());
    ASSERT_TRUE(PrepareOutputLocation(nullptr));
    EXPECT_EQ(std::string(ArchivePath), program_.Path() + "\\GATHINFO.ZIP");
    EXPECT_NE(spine::StatusLines().at(0).find(std::string(248, 'h')), std::string::npos);
    UseCommandLine("");

    // A program path too long to read: the folder browser asks, and leaving
    // it ends the run without writing anything into the current folder.
    spine::ClearStatusLines();
    CopyText(ProgramPathOverride, ("C:\\" + std::string(244, 'p') + "\\harvin.exe").c_str());
    {
        MessageBoxAnswerer browser("Browse", IDCANCEL);
        EXPECT_FALSE(PrepareOutputLocation(nullptr));
        EXPECT_EQ(browser.Answered(), 1);
    }
    EXPECT_EQ(ArchivePath[0], '\0');
    EXPECT_EQ(EntryPagePath[0], '\0');
    EXPECT_TRUE(spine::StatusLines().empty());
}

TEST_F(OutputLocationTest, HtmlPathWithoutTrailingBackslashJoinsDirectly)
{
    UseCommandLine("/HTMLPATH=D:\\Out");
    ASSERT_TRUE(PrepareOutputLocation(nullptr));
    EXPECT_STREQ(ArchivePath, "D:\\OutGATHINFO.ZIP");
}

// A path option that is no absolute path is not used; an interactive run says so.
TEST_F(OutputLocationTest, RefusedPathOptionIsIgnoredWithAStatusLine)
{
    UseCommandLine("/HTMLPATH=C:/Out/ /NAME=\"x /HOMEPATH=C:\\Windows\\\"");
    ASSERT_TRUE(PrepareOutputLocation(nullptr));
    EXPECT_EQ(std::string(ArchivePath) + HomePathText, program_.Path() + "\\GATHINFO.ZIP" + program_.Path() + "\\");
    EXPECT_EQ(spine::StatusLines().at(0), "The option /HTMLPATH=C:/Out/ does not name an absolute folder (a drive "
                                          "letter and a backslash, or a network path) and is ignored.");
}

// Elevated, an old tree outside the program's folder that another user owns
// is not replaced (Wine reports every owner as the user: one is planted).
TEST_F(OutputLocationTest, ForeignOldTreeOutsideTheProgramFolderIsNotReplaced)
{
    testing_support::ScratchFolder elsewhere("foreign");
    ASSERT_TRUE(WriteFileBytes(program_.Join("SupportData"), "a file in the way"));
    ASSERT_TRUE(CreateDirectoryA(elsewhere.Join("SupportData").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(elsewhere.Join("SupportData\\planted.txt"), "planted"));
    UseCommandLine(("/UNATTENDED /HTMLPATH=" + elsewhere.Path() + "\\").c_str(), true);
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    ASSERT_TRUE(AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0,
                                         0, 0, 0, 0, &FolderOwnerOverride));
    EXPECT_FALSE(PrepareOutputLocation(nullptr));
    FreeSid(FolderOwnerOverride);
    FolderOwnerOverride = nullptr;  // from now on the user's own
    EXPECT_TRUE(FileExists(elsewhere.Join("SupportData\\planted.txt")));
    EXPECT_NE(spine::StatusLines().back().find(elsewhere.Join("SupportData") + " belongs to another user"),
              std::string::npos);
    EXPECT_TRUE(PrepareOutputLocation(nullptr));
    EXPECT_FALSE(FileExists(elsewhere.Join("SupportData\\planted.txt")));
}

}  // namespace
