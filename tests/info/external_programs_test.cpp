// Running programs with captured output, the line-end repair and writing
// embedded resources to files.
#include "info/external_programs.h"

#include "app/app_state.h"
#include "tests/info/output_root_fixture.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::TestBinDir;
using testing_support::WriteFileBytes;

namespace {

std::string Helper() { return TestBinDir() + "\\capture_helper.exe"; }
std::string QuotedHelper() { return "\"" + Helper() + "\""; }

// The ids of this test's child processes running `exeName`.
std::vector<DWORD> RunningChildren(const char* exeName)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, exeName) == 0) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

// Ends the helper processes this test started and left running.
void EndLeftoverHelpers()
{
    for (const char* name : {"capture_helper.exe", "late-companion.exe"}) {
        for (DWORD id : RunningChildren(name)) {
            HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            if (process == nullptr) continue;
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

// Copies of the helper under system tools' names, removed again at the end.
class PlantedPrograms {
public:
    ~PlantedPrograms()
    {
        for (const std::string& path : paths_) DeleteFileA(path.c_str());
    }
    bool Plant(const std::string& path)
    {
        if (!CopyFileA(Helper().c_str(), path.c_str(), FALSE)) return false;
        paths_.push_back(path);
        return true;
    }

private:
    std::vector<std::string> paths_;
};

class ExternalProgramsTest : public OutputRootFixture {
protected:
    void SetUp() override
    {
        OutputRootFixture::SetUp();
        logs_ = RootJoin("LOGs");
        ASSERT_TRUE(CreateDirectoryA(logs_.c_str(), nullptr));
    }
    void TearDown() override
    {
        EndLeftoverHelpers();
        OutputRootFixture::TearDown();
    }
    void Run(const char* name, const char* caption, const std::string& commandLine, DWORD timeout = kProgramWaitMs,
             int utf16Mark = 0)
    {
        RunCommandToFile(logs_.c_str(), name, caption, nullptr, commandLine.c_str(), timeout, true, CREATE_NO_WINDOW,
                         utf16Mark);
    }
    std::string Captured(const char* name) { return ReadWholeFile(logs_ + "\\" + name); }
    bool Linked(const char* name, const char* caption)
    {
        return NaviText().find(NaviLinkMarkup(std::string("./LOGs/") + name, caption)) != std::string::npos;
    }

    std::string logs_;
};

}  // namespace

// ---- running and capturing ----------------------------------------------------------

TEST_F(ExternalProgramsTest, CapturesOutputAndLinksTheFile)
{
    Run("echo.txt", "Echo output", "cmd /c echo hello world");
    EXPECT_EQ(Captured("echo.txt"), "hello world\r\n");
    EXPECT_TRUE(Linked("echo.txt", "Echo output")) << NaviText();
}

TEST_F(ExternalProgramsTest, StandardErrorGoesIntoTheSameFile)
{
    Run("stderr.txt", "Errors", QuotedHelper() + " stderr");
    EXPECT_EQ(Captured("stderr.txt"), "err\r\n");
}

TEST_F(ExternalProgramsTest, DoubledCarriageReturnsAreRepaired)
{
    Run("crcrlf.txt", "Tool output", QuotedHelper() + " crcrlf");
    EXPECT_EQ(Captured("crcrlf.txt"), "a\r\nb\r\n");
    // Version 6 and later: no byte order mark even when asked for one.
    Run("marked.txt", "Tool output", QuotedHelper() + " crcrlf", kProgramWaitMs, 1);
    EXPECT_EQ(Captured("marked.txt"), "a\r\nb\r\n");
}

TEST_F(ExternalProgramsTest, ProgramWritingNothingLeavesALinkedEmptyFile)
{
    Run("empty.txt", "Nothing", QuotedHelper() + " nothing");
    EXPECT_TRUE(FileExists(logs_ + "\\empty.txt"));
    EXPECT_EQ(Captured("empty.txt"), "");
    EXPECT_TRUE(Linked("empty.txt", "Nothing"));
}

TEST_F(ExternalProgramsTest, ProgramThatCannotStartLeavesAnUnlinkedEmptyFile)
{
    Run("missing.txt", "Missing", "C:\\nowhere\\missing-tool.exe /all");
    EXPECT_TRUE(FileExists(logs_ + "\\missing.txt"));
    EXPECT_EQ(Captured("missing.txt"), "");
    EXPECT_FALSE(Linked("missing.txt", "Missing"));
}

TEST_F(ExternalProgramsTest, ExistingOutputFileMeansNothingRuns)
{
    ASSERT_TRUE(WriteFileBytes(logs_ + "\\taken.txt", "old"));
    const std::string marker = scratch_.Join("ran.marker");
    Run("taken.txt", "Taken", QuotedHelper() + " touch \"" + marker + "\"");
    EXPECT_EQ(Captured("taken.txt"), "old");
    EXPECT_FALSE(FileExists(marker));
    EXPECT_FALSE(Linked("taken.txt", "Taken"));
}

TEST_F(ExternalProgramsTest, CancelMeansNothingRunsAndNoFileIsMade)
{
    const std::string marker = scratch_.Join("ran.marker");
    CancelRequested = 1;
    Run("cancelled.txt", "Cancelled", QuotedHelper() + " touch \"" + marker + "\"");
    EXPECT_FALSE(FileExists(logs_ + "\\cancelled.txt"));
    EXPECT_FALSE(FileExists(marker));
    EXPECT_EQ(NaviText(), "");
}

TEST_F(ExternalProgramsTest, WithoutOutputNameTheProgramRunsUncaptured)
{
    const std::string marker = scratch_.Join("ran.marker");
    RunCommandToFile(logs_.c_str(), nullptr, "unused", nullptr, (QuotedHelper() + " touch \"" + marker + "\"").c_str(),
                     kProgramWaitMs, false, CREATE_NO_WINDOW, 0);
    EXPECT_TRUE(FileExists(marker));
    EXPECT_EQ(NaviText(), "");
}

// The program is still running after its time: the runner returns, and the
// file it still writes to is not rewritten under its feet.
TEST_F(ExternalProgramsTest, ProgramOutlivingItsTimeoutIsLeftAlone)
{
    DWORD start = GetTickCount();
    Run("late.txt", "Late", QuotedHelper() + " late 8000", 500);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_LT(elapsed, 4000u);
    EXPECT_EQ(Captured("late.txt"), "a\r\r\n");
    EXPECT_TRUE(Linked("late.txt", "Late"));
}

// A program of ours still running when its time is up is ended when asked
// (the 64-bit lister is): gone before the runner returns, its output
// repaired, its file free to be deleted.
TEST_F(ExternalProgramsTest, LateProgramIsEndedWhenAsked)
{
    const std::string program = scratch_.Join("late-companion.exe");
    ASSERT_TRUE(CopyFileA(Helper().c_str(), program.c_str(), FALSE));
    DWORD start = GetTickCount();
    RunCommandToFile(logs_.c_str(), "ended.txt", "Ended", nullptr, ("\"" + program + "\" late 8000").c_str(), 500,
                     true, CREATE_NO_WINDOW, 0, LateProgram::End);
    EXPECT_LT(GetTickCount() - start, 4000u);
    EXPECT_TRUE(RunningChildren("late-companion.exe").empty());
    EXPECT_TRUE(DeleteFileA(program.c_str())) << GetLastError();
    EXPECT_EQ(Captured("ended.txt"), "a\r\n");
    EXPECT_TRUE(Linked("ended.txt", "Ended"));
}

// ---- which program runs ------------------------------------------------------------

// The program's own folder and the current folder come before the system
// folder in the search path: a system tool named bare must still be the
// system's own.
TEST_F(ExternalProgramsTest, BareSystemToolNamesRunFromTheSystemFolder)
{
    PlantedPrograms planted;
    ASSERT_TRUE(planted.Plant(TestBinDir() + "\\netstat.exe"));
    ASSERT_TRUE(planted.Plant(TestBinDir() + "\\ipconfig.exe"));
    ASSERT_TRUE(planted.Plant(scratch_.Join("netstat.exe")));
    ASSERT_TRUE(planted.Plant(scratch_.Join("ipconfig.exe")));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch_.Path().c_str()));

    Run("netstat.txt", "Netstat", "netstat.exe -an");
    Run("ipconfig.txt", "IP configuration", "ipconfig /all");
    SetCurrentDirectoryA(previous);

    const std::string netstat = Captured("netstat.txt");
    EXPECT_EQ(netstat.find("PLANTED"), std::string::npos);
    EXPECT_NE(netstat.find("Active Connections"), std::string::npos) << netstat;
    const std::string ipconfig = Captured("ipconfig.txt");
    EXPECT_EQ(ipconfig.find("PLANTED"), std::string::npos);
    EXPECT_FALSE(ipconfig.empty());
}

// An unquoted companion path with blanks: "...\dir with blanks\x.exe" must
// not start "...\dir.exe".
TEST_F(ExternalProgramsTest, UnquotedProgramPathWithBlanksRunsThatProgram)
{
    PlantedPrograms planted;
    const std::string folder = scratch_.Join("dir with blanks");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(planted.Plant(folder + "\\companion.exe"));
    ASSERT_TRUE(planted.Plant(scratch_.Join("dir.exe")));
    Run("companion.txt", "Companion", folder + "\\companion.exe crcrlf");
    EXPECT_EQ(Captured("companion.txt"), "a\r\nb\r\n");
}

TEST_F(ExternalProgramsTest, HandlesAreNotLeft)
{
    DWORD before = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &before)) GTEST_SKIP() << "no handle count here";
    for (int i = 0; i < 5; ++i) {
        std::string name = "run" + std::to_string(i) + ".txt";
        Run(name.c_str(), "Run", QuotedHelper() + " nothing");
        Run(("fail" + name).c_str(), "Fail", "C:\\nowhere\\missing-tool.exe");
    }
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_LE(after, before + 2);  // a little slack for lazily opened system handles
}

// ---- line-end repair ----------------------------------------------------------------

class RepairTest : public ::testing::Test {
protected:
    std::string Repaired(const std::string& bytes)
    {
        const std::string path = scratch_.Join("capture.txt");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        RepairCapturedLineEnds(path.c_str());
        return ReadWholeFile(path);
    }
    testing_support::ScratchFolder scratch_{"harvin-repair"};
};

TEST_F(RepairTest, SecondOfTwoCarriageReturnsGoes)
{
    EXPECT_EQ(Repaired("line one\r\r\nline two\r\r\n"), "line one\r\nline two\r\n");
    EXPECT_EQ(Repaired("x\r\r\r\ny"), "x\r\r\ny");
    EXPECT_EQ(Repaired("x\r\r\r\r\n"), "x\r\r\n");
    EXPECT_EQ(Repaired("plain\r\nlines\n"), "plain\r\nlines\n");
    EXPECT_EQ(Repaired(""), "");
}

TEST_F(RepairTest, BytesFromTheFirstZeroOnAreKept)
{
    EXPECT_EQ(Repaired(std::string("a\r\r\n\0b\r\r\n", 9)), std::string("a\r\n\0b\r\r\n", 8));
    const std::string utf16("h\0i\0\r\0\r\0\n\0", 10);
    EXPECT_EQ(Repaired(utf16), utf16);
    const std::string marked("\xFF\xFE\r\0\r\0\n\0", 8);
    EXPECT_EQ(Repaired(marked), marked);
}

TEST_F(RepairTest, PairsAcrossReadPiecesAreFound)
{
    std::string text = std::string(65535, 'x') + "\r\r\n" + std::string(70000, 'y') + "\r\r\n" + "end";
    std::string expected = std::string(65535, 'x') + "\r\n" + std::string(70000, 'y') + "\r\n" + "end";
    EXPECT_EQ(Repaired(text), expected);
}

// ---- embedded resources ----------------------------------------------------------------

TEST(ExtractResourceToFile, WritesTheResourceBytesExactly)
{
    testing_support::ScratchFolder scratch;
    std::string expected;
    ASSERT_TRUE(ReadFileBytes(testing_support::SourceDir() + "\\tests\\info\\data\\resource_payload.bin", &expected));
    ASSERT_FALSE(expected.empty());

    const std::string path = scratch.Join("tool.exe");
    ASSERT_TRUE(WriteFileBytes(path, std::string(expected.size() + 500, 'L')));  // longer: must be truncated
    EXPECT_TRUE(ExtractResourceToFile(501, "HARVINTESTDATA", path.c_str()));
    std::string written;
    ASSERT_TRUE(ReadFileBytes(path, &written));
    EXPECT_EQ(written, expected);
}

TEST(ExtractResourceToFile, MissingResourceGivesFalseAndNoFile)
{
    testing_support::ScratchFolder scratch;
    const std::string path = scratch.Join("absent.exe");
    EXPECT_FALSE(ExtractResourceToFile(999, "HARVINTESTDATA", path.c_str()));
    EXPECT_FALSE(ExtractResourceToFile(501, "DATA_EXE", path.c_str()));
    EXPECT_FALSE(FileExists(path));
}
