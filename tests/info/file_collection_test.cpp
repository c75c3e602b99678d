// Copies into the output tree and folder walks that copy or list files.
#include "info/file_collection.h"

#include "app/app_state.h"
#include "framework/framework.h"
#include "tests/info/output_root_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::MessageBoxAnswerer;
using testing_support::WriteFileBytes;

namespace {

// The part of a folder text below its drive up to its last backslash, as
// copies of a walk are stored: "C:\a\b" -> "\a\", "C:\a\b\" -> "\a\b\".
std::string DirectoryPart(const std::string& folder)
{
    std::string rest = folder.size() >= 2 && folder[1] == ':' ? folder.substr(2) : folder;
    size_t last = rest.rfind('\\');
    return last == std::string::npos ? std::string() : rest.substr(0, last + 1);
}

std::string Slashes(std::string text)
{
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    return text;
}

std::vector<std::string> SearchOrder(const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool MakeFileOfSize(const std::string& path, long long size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = size;
    bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

class FileCollectionTest : public OutputRootFixture {
protected:
    void SetUp() override
    {
        OutputRootFixture::SetUp();
        logs_ = RootJoin("LOGs");
        ASSERT_TRUE(CreateDirectoryA(logs_.c_str(), nullptr));
    }
    void TearDown() override
    {
        SetResourceModule(nullptr);
        if (language_ != nullptr) FreeLibrary(language_);
        OutputRootFixture::TearDown();
    }
    void UseEnglishTexts()
    {
        language_ = LoadLibraryExA((testing_support::DistDir() + "\\en-us\\harvinr.dll").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(language_, nullptr);
        SetResourceModule(language_);
    }
    std::string PagePath() const { return scratch_.Join("page.html"); }
    Page OpenPage() { return fopen(PagePath().c_str(), "wb"); }

    std::string logs_;
    HMODULE language_ = nullptr;
};

}  // namespace

// ---- single files -------------------------------------------------------------

TEST_F(FileCollectionTest, CopiesGainTxtUnlessTheirExtensionIsKept)
{
    const struct {
        const char* name;
        const char* stored;
    } cases[] = {{"setup.LOG", "setup.LOG.txt"}, {"System.EVTX", "System.EVTX"}, {"README", "README.txt"},
                 {"crash.Dmp", "crash.Dmp"},     {"data.xml", "data.xml"},       {"archive.tar.gz", "archive.tar.gz.txt"},
                 {"old.evt", "old.evt"},         {"lic.key", "lic.key"},         {"db.mdb", "db.mdb"},
                 {"blob.bin", "blob.bin"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string content = std::string("content of ") + c.name;
        ASSERT_TRUE(WriteFileBytes(SourceJoin(c.name), content));
        CopyFileAsText(Source().c_str(), c.name, logs_.c_str());
        std::string copied;
        ASSERT_TRUE(testing_support::ReadFileBytes(logs_ + "\\" + c.stored, &copied));
        EXPECT_EQ(copied, content);
        EXPECT_NE(NaviText().find(NaviLinkMarkup(std::string("./LOGs/") + c.stored, c.name)), std::string::npos);
    }
}

TEST_F(FileCollectionTest, MissingSourceIsNotCopiedNorLinked)
{
    CopyFileAsText(Source().c_str(), "absent.log", logs_.c_str());
    EXPECT_FALSE(FileExists(logs_ + "\\absent.log.txt"));
    EXPECT_EQ(NaviText().find("absent"), std::string::npos);

    EXPECT_FALSE(CopyNamedFile((Source() + "\\").c_str(), logs_.c_str(), "absent.ini", nullptr));
    EXPECT_EQ(NaviText().find("absent"), std::string::npos);
}

TEST_F(FileCollectionTest, NamedCopyUnderItsOwnOrAFixedName)
{
    ASSERT_TRUE(WriteFileBytes(SourceJoin("ORDO.INI"), "[a]\r\nb=1\r\n"));
    EXPECT_TRUE(CopyNamedFile((Source() + "\\").c_str(), logs_.c_str(), "ORDO.INI", "ORDOini.TXT"));
    EXPECT_TRUE(FileExists(logs_ + "\\ORDOini.TXT"));
    EXPECT_TRUE(CopyNamedFile((Source() + "\\").c_str(), logs_.c_str(), "ORDO.INI", nullptr));
    EXPECT_TRUE(FileExists(logs_ + "\\ORDO.INI"));
    const std::string navi = NaviText();
    EXPECT_NE(navi.find(NaviLinkMarkup("./LOGs/ORDOini.TXT", "ORDO.INI")), std::string::npos);
    EXPECT_NE(navi.find(NaviLinkMarkup("./LOGs/ORDO.INI", "ORDO.INI")), std::string::npos);
}

// The navigation line collapses "%%": names are doubled for it, so the
// link shows (and opens) the name as it is.
TEST_F(FileCollectionTest, PercentInANameShowsOnceInEntryAndLink)
{
    const std::string name = "100%%done 5%d.log";
    ASSERT_TRUE(WriteFileBytes(SourceJoin(name), "percent"));
    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    FileCollectionOptions options;
    options.targetBase = logs_.c_str();
    options.page = page;
    options.copy = true;
    options.listing = true;
    CollectFolderFiles(Source().c_str(), "*.log", options);
    fclose(page);

    const std::string target = logs_ + DirectoryPart(Source()) + name + ".txt";
    EXPECT_TRUE(FileExists(target)) << target;
    const std::string relative = "./LOGs" + Slashes(DirectoryPart(Source())) + name + ".txt";
    EXPECT_NE(NaviText().find(NaviLinkMarkup(relative, name)), std::string::npos) << NaviText();
    EXPECT_NE(ReadWholeFile(PagePath()).find("<strong>" + name + "</strong>"), std::string::npos);
}

// ---- folder walks ----------------------------------------------------------------

// Sibling folders with files of the same name keep both copies.
TEST_F(FileCollectionTest, RecursiveWalkKeepsTheFolderStructureOfItsCopies)
{
    const std::string sub1 = SourceJoin("sub1");
    const std::string sub2 = SourceJoin("sub2");
    ASSERT_TRUE(CreateDirectoryA(sub1.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(sub2.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(SourceJoin("top.log"), "top"));
    ASSERT_TRUE(WriteFileBytes(sub1 + "\\one.log", "one"));
    ASSERT_TRUE(WriteFileBytes(sub2 + "\\two.log", "two"));
    ASSERT_TRUE(WriteFileBytes(sub1 + "\\same.log", "from sub1"));
    ASSERT_TRUE(WriteFileBytes(sub2 + "\\same.log", "from sub2"));
    ASSERT_TRUE(WriteFileBytes(sub2 + "\\skip.txt", "not matching"));

    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    FileCollectionOptions options;
    options.recursive = true;
    options.targetBase = logs_.c_str();
    options.page = page;
    options.copy = true;
    options.listing = true;
    options.withSize = true;
    CollectFolderFiles(Source().c_str(), "*.log", options);
    fclose(page);

    EXPECT_TRUE(FileExists(logs_ + DirectoryPart(Source()) + "top.log.txt"));
    EXPECT_TRUE(FileExists(logs_ + DirectoryPart(sub1 + "\\") + "one.log.txt"));
    EXPECT_TRUE(FileExists(logs_ + DirectoryPart(sub2 + "\\") + "two.log.txt"));
    EXPECT_EQ(ReadWholeFile(logs_ + DirectoryPart(sub1 + "\\") + "same.log.txt"), "from sub1");
    EXPECT_EQ(ReadWholeFile(logs_ + DirectoryPart(sub2 + "\\") + "same.log.txt"), "from sub2");
    EXPECT_FALSE(FileExists(logs_ + DirectoryPart(sub2 + "\\") + "skip.txt.txt"));
    EXPECT_FALSE(FileExists(logs_ + DirectoryPart(Source()) + "same.log.txt"));

    // The folder's own files come when its "." entry does: before the subfolders'.
    const std::string listed = ReadWholeFile(PagePath());
    size_t top = listed.find("<strong>top.log</strong>");
    size_t one = listed.find("<strong>one.log</strong>");
    size_t two = listed.find("<strong>two.log</strong>");
    ASSERT_NE(top, std::string::npos);
    ASSERT_NE(one, std::string::npos);
    ASSERT_NE(two, std::string::npos);
    EXPECT_LT(top, one);
    EXPECT_LT(top, two);
    EXPECT_NE(listed.find("Path: " + sub1 + "<br>\n"), std::string::npos);
    EXPECT_EQ(listed.find("skip.txt"), std::string::npos);
}

// A file deleted between the listing and its reading is neither copied nor
// linked; the walk goes on with the next one.
TEST_F(FileCollectionTest, FileGoneAfterTheListingIsSkipped)
{
    for (const char* name : {"a.log", "gone.log", "z.log"}) ASSERT_TRUE(WriteFileBytes(SourceJoin(name), name));
    FileListedObserver = [](const char* folder, const char* name) {
        if (strcmp(name, "gone.log") == 0) DeleteFileA((std::string(folder) + "\\" + name).c_str());
    };
    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    FileCollectionOptions options;
    options.targetBase = logs_.c_str();
    options.page = page;
    options.copy = options.listing = options.withCrc = options.withMd5 = options.withVersion = true;
    CollectFolderFiles(Source().c_str(), "*.log", options);
    FileListedObserver = nullptr;
    fclose(page);
    const std::string copies = logs_ + DirectoryPart(Source());
    EXPECT_EQ(ReadWholeFile(copies + "a.log.txt"), "a.log");
    EXPECT_EQ(ReadWholeFile(copies + "z.log.txt"), "z.log");
    EXPECT_FALSE(FileExists(copies + "gone.log.txt"));
    EXPECT_EQ(NaviText().find("gone.log"), std::string::npos);
    EXPECT_NE(ReadWholeFile(PagePath()).find("<strong>z.log</strong>"), std::string::npos);
}

TEST_F(FileCollectionTest, MaxSizeIsAnUpperBoundThatExcludesItself)
{
    const long long limit = 0xA00000;  // 10 MiB
    ASSERT_TRUE(MakeFileOfSize(SourceJoin("at-limit.mdb"), limit));
    ASSERT_TRUE(MakeFileOfSize(SourceJoin("below-limit.mdb"), limit - 1));
    FileCollectionOptions options;
    options.maxSize = static_cast<DWORD>(limit);
    options.targetBase = logs_.c_str();
    options.copy = true;
    CollectFolderFiles(Source().c_str(), "*.mdb", options);
    const std::string target = logs_ + DirectoryPart(Source());
    EXPECT_FALSE(FileExists(target + "at-limit.mdb"));
    EXPECT_TRUE(FileExists(target + "below-limit.mdb"));
}

// A size over 4 GiB must not wrap below the limit (a sparse file costs nothing).
TEST_F(FileCollectionTest, FilesOver4GiBAreComparedInFull)
{
    const std::string huge = SourceJoin("huge.mdb");
    if (!MakeFileOfSize(huge, 0x100000000LL + 100)) GTEST_SKIP() << "no room for a sparse 4 GiB file here";
    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    FileCollectionOptions options;
    options.maxSize = 0xA00000;
    options.page = page;
    options.listing = true;  // listing only: a wrapped size would list it without reading it
    CollectFolderFiles(Source().c_str(), "*.mdb", options);
    fclose(page);
    DeleteFileA(huge.c_str());
    EXPECT_EQ(ReadWholeFile(PagePath()), "");
}

// A file of 4 GiB and more is read to its end for its CRC. The fixture plants
// it sparse on the Linux side, with the CRC that zlib gives for its bytes.
TEST_F(FileCollectionTest, FileOf4GiBAndMoreGetsTheCrcOfAllItsBytes)
{
    const std::string folder = "C:\\harvin-large";
    std::string crc;
    ASSERT_TRUE(testing_support::ReadFileBytes(folder + "\\big.crc", &crc)) << "the fixture planted nothing";
    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    FileCollectionOptions options;
    options.page = page;
    options.listing = true;
    options.withCrc = true;
    options.withSize = true;
    CollectFolderFiles(folder.c_str(), "big.bin", options);
    fclose(page);
    EXPECT_EQ(ReadWholeFile(PagePath()), "<strong>big.bin</strong>\n<div style=\"margin-left: 40px;\">\n"
                                         "CRC32: 0x" + crc.substr(0, 8) + "<BR>\n"
                                         "Filesize: 4294967302<BR>\n"
                                         "Path: " + folder + "<br>\n\n</div><BR>\n");
}

TEST_F(FileCollectionTest, EmptyFilesAreListedButNotCopied)
{
    ASSERT_TRUE(WriteFileBytes(SourceJoin("empty.log"), ""));
    ASSERT_TRUE(WriteFileBytes(SourceJoin("full.log"), "full"));
    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    FileCollectionOptions options;
    options.targetBase = logs_.c_str();
    options.page = page;
    options.copy = true;
    options.listing = true;
    options.withSize = true;
    options.withAttributes = true;
    options.withTime = true;
    CollectFolderFiles(Source().c_str(), "*.log", options);
    fclose(page);

    const std::string target = logs_ + DirectoryPart(Source());
    EXPECT_FALSE(FileExists(target + "empty.log.txt"));
    EXPECT_TRUE(FileExists(target + "full.log.txt"));
    const std::string listed = ReadWholeFile(PagePath());
    EXPECT_NE(listed.find("<strong>empty.log</strong>"), std::string::npos);
    EXPECT_NE(listed.find("<strong>full.log</strong>"), std::string::npos);
    EXPECT_NE(listed.find("Filesize: 4<BR>\n"), std::string::npos);
    EXPECT_NE(listed.find("GMT: "), std::string::npos);
    EXPECT_NE(listed.find("File attributes: ["), std::string::npos);
    EXPECT_EQ(NaviText().find("empty.log"), std::string::npos);
}

TEST_F(FileCollectionTest, FolderWithoutDirectoryPartUsesTheOverride)
{
    // A relative folder text ("source") has no backslash: no directory part.
    ASSERT_TRUE(WriteFileBytes(SourceJoin("rel.log"), "relative"));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch_.Path().c_str()));
    const std::string base = RootJoin("unused");
    FileCollectionOptions options;
    options.targetBase = base.c_str();
    options.targetOverride = logs_.c_str();
    options.copy = true;
    CollectFolderFiles("source", "*.log", options);
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(FileExists(logs_ + "\\rel.log.txt"));
    EXPECT_FALSE(FolderExists(base));
}

TEST_F(FileCollectionTest, CancelStopsTheWalkAfterTheCurrentFile)
{
    for (const char* name : {"a.log", "b.log", "c.log"}) ASSERT_TRUE(WriteFileBytes(SourceJoin(name), name));
    ASSERT_EQ(SearchOrder(SourceJoin("*.log")).size(), 3u);
    CancelRequested = 1;
    FileCollectionOptions options;
    options.targetBase = logs_.c_str();
    options.copy = true;
    CollectFolderFiles(Source().c_str(), "*.log", options);
    const std::string target = logs_ + DirectoryPart(Source());
    int copied = 0;
    for (const char* name : {"a.log", "b.log", "c.log"}) copied += FileExists(target + name + ".txt") ? 1 : 0;
    EXPECT_EQ(copied, 1);
}

TEST_F(FileCollectionTest, ByExtensionCopiesOrListsStandardEntries)
{
    const std::string sub = SourceJoin("Logs");
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(sub + "\\x.evtx", "abc"));
    ASSERT_TRUE(WriteFileBytes(sub + "\\y.txt", "other"));

    CollectFilesByExtension(Source().c_str(), "Logs", "evtx", 1, logs_.c_str(), nullptr);
    // The folder text ends in a backslash: its last component is kept.
    EXPECT_TRUE(FileExists(logs_ + DirectoryPart(sub + "\\") + "x.evtx"));
    EXPECT_FALSE(FileExists(logs_ + DirectoryPart(sub + "\\") + "y.txt.txt"));

    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    const std::string listTarget = RootJoin("listing");
    CollectFilesByExtension(Source().c_str(), "Logs", "evtx", 0, listTarget.c_str(), page);
    fclose(page);
    EXPECT_EQ(ReadWholeFile(PagePath()), "<strong>x.evtx</strong>\n<div style=\"margin-left: 40px;\">\n"
                                         "MD5: 900150983cd24fb0d6963f7d28e17f72\n<BR>\n"
                                         "Path: " + sub + "\\<br>\n\n</div><BR>\n");
    EXPECT_FALSE(FolderExists(listTarget));
}

// ---- the large-file question -----------------------------------------------------------

class LargeFileTest : public FileCollectionTest {
protected:
    void SetUp() override
    {
        FileCollectionTest::SetUp();
        dumps_ = RootJoin("Dumps");
        ASSERT_TRUE(CreateDirectoryA(dumps_.c_str(), nullptr));
        ASSERT_TRUE(MakeFileOfSize(SourceJoin("a-big.dmp"), 200 * 1024));
        ASSERT_TRUE(WriteFileBytes(SourceJoin("b-small.dmp"), std::string(1024, 's')));
        ASSERT_TRUE(WriteFileBytes(SourceJoin("0-first.dmp"), "first"));
        // The walk follows the search order; the cases below rely on this one.
        std::vector<std::string> expectedOrder = {"0-first.dmp", "a-big.dmp", "b-small.dmp"};
        ASSERT_EQ(SearchOrder(SourceJoin("*.dmp")), expectedOrder);
        target_ = dumps_ + DirectoryPart(Source());
    }

public:
    void Collect(Page page)
    {
        FileCollectionOptions options;
        options.targetBase = dumps_.c_str();
        options.page = page;
        options.copy = true;
        options.askLarge = true;
        CollectFolderFiles(Source().c_str(), "*.dmp", options);
    }

protected:
    std::string dumps_;
    std::string target_;
};

TEST_F(LargeFileTest, AnsweredNoDeclinesTheFileAndTheNextSmallOne)
{
    UseEnglishTexts();
    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    {
        MessageBoxAnswerer answerer("Harvin", IDNO);
        Collect(page);
        EXPECT_EQ(answerer.Answered(), 1);
        const std::string question = answerer.LastText();
        EXPECT_NE(question.find("a-big.dmp"), std::string::npos) << question;
        EXPECT_NE(question.find("0.125 MB (0.20 MB)"), std::string::npos) << question;
    }
    fclose(page);

    EXPECT_TRUE(FileExists(target_ + "0-first.dmp"));
    EXPECT_FALSE(FileExists(target_ + "a-big.dmp"));
    EXPECT_FALSE(FileExists(target_ + "b-small.dmp"));

    // The entry in the collection page, and the page the link opens.
    const std::string declined = "<strong>a-big.dmp</strong>\n<div style=\"margin-left: 40px;\">\n"
                                 "Filesize: 204800<BR>\n";
    const std::string listed = ReadWholeFile(PagePath());
    EXPECT_NE(listed.find(declined), std::string::npos) << listed;
    EXPECT_NE(listed.find("The file was not collected !!!<br>\n"), std::string::npos);
    const std::string placeholder = ReadTextFile(target_ + "a-big.dmp.html");
    EXPECT_NE(placeholder.find(declined), std::string::npos) << placeholder;
    EXPECT_NE(placeholder.find("The file was not collected !!!<br>\n"), std::string::npos);
    EXPECT_NE(placeholder.find("</html>"), std::string::npos);

    const std::string relative = "./Dumps" + Slashes(DirectoryPart(Source()));
    const std::string navi = NaviText();
    EXPECT_NE(navi.find(NaviLinkMarkup(relative + "a-big.dmp.html", "a-big.dmp")), std::string::npos) << navi;
    EXPECT_NE(navi.find(NaviLinkMarkup(relative + "0-first.dmp", "0-first.dmp")), std::string::npos);
    EXPECT_EQ(navi.find("b-small"), std::string::npos);
}

// Without a target folder (none given, or a file standing where it would be
// made) a declined file still gets its entry; it gets no page of its own and
// no link, for there is nowhere to put one.
TEST_F(LargeFileTest, DeclinedFileKeepsItsEntryWithoutATargetFolder)
{
    UseEnglishTexts();
    const std::string blocker = RootJoin("Blocker");
    ASSERT_TRUE(WriteFileBytes(blocker, "a file where the folder would go"));
    for (const char* targetBase : {static_cast<const char*>(nullptr), blocker.c_str()}) {
        SCOPED_TRACE(targetBase != nullptr ? targetBase : "no target base");
        Page page = OpenPage();
        ASSERT_NE(page, nullptr);
        {
            MessageBoxAnswerer answerer("Harvin", IDNO);
            FileCollectionOptions options;
            options.targetBase = targetBase;
            options.page = page;
            options.copy = true;
            options.askLarge = true;
            CollectFolderFiles(Source().c_str(), "*.dmp", options);
            EXPECT_EQ(answerer.Answered(), 1);
        }
        fclose(page);
        const std::string listed = ReadWholeFile(PagePath());
        EXPECT_EQ(listed.find("<strong>a-big.dmp</strong>\n<div style=\"margin-left: 40px;\">\nFilesize: 204800<BR>\n"),
                  0u)
            << listed;
        const std::string tail = "Path: " + Source() + "<br>\nThe file was not collected !!!<br>\n\n</div><BR>\n";
        EXPECT_EQ(listed.rfind(tail), listed.size() - tail.size()) << listed;
        EXPECT_EQ(NaviText(), "");
    }
}

TEST_F(LargeFileTest, AnsweredYesCopiesEverything)
{
    UseEnglishTexts();
    {
        MessageBoxAnswerer answerer("Harvin", IDYES);
        Collect(nullptr);
        EXPECT_EQ(answerer.Answered(), 1);
    }
    EXPECT_TRUE(FileExists(target_ + "0-first.dmp"));
    EXPECT_TRUE(FileExists(target_ + "a-big.dmp"));
    EXPECT_TRUE(FileExists(target_ + "b-small.dmp"));
}

// The question comes from the collecting thread while the dialog's thread
// runs on: the main dialog must stay enabled so the run can be cancelled.
TEST_F(LargeFileTest, QuestionLeavesTheMainDialogEnabled)
{
    UseEnglishTexts();
    HWND main = CreateWindowA("STATIC", "main dialog", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(main, nullptr);
    HWND previousMain = MainDialogWindow;
    MainDialogWindow = main;
    HANDLE collector = CreateThread(
        nullptr, 0, [](void* self) -> DWORD { static_cast<LargeFileTest*>(self)->Collect(nullptr); return 0; }, this,
        0, nullptr);
    ASSERT_NE(collector, nullptr);

    bool asked = false;
    bool enabledWhileAsked = false;
    for (DWORD start = GetTickCount(); WaitForSingleObject(collector, 0) == WAIT_TIMEOUT;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        HWND box = FindWindowA("#32770", nullptr);
        if (box != nullptr && IsWindowVisible(box) && GetDlgItem(box, IDNO) != nullptr) {
            Sleep(100);  // long enough for an owner to have been disabled
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            asked = true;
            enabledWhileAsked = IsWindowEnabled(main) != FALSE;
            SendMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
        }
        if (GetTickCount() - start > 20000) break;
        Sleep(20);
    }
    EXPECT_EQ(WaitForSingleObject(collector, 5000), WAIT_OBJECT_0);
    CloseHandle(collector);
    MainDialogWindow = previousMain;
    DestroyWindow(main);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(enabledWhileAsked) << "the question disabled the main dialog";
}

// With no one at the screen the large file is declined unasked; its entry
// says it was not collected, and the small file after it is still copied.
TEST_F(LargeFileTest, UnattendedRunDeclinesWithoutAsking)
{
    UseEnglishTexts();
    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    UnattendedRun = true;
    {
        MessageBoxAnswerer answerer("Harvin", IDYES);
        Collect(page);
        EXPECT_EQ(answerer.Answered(), 0);
    }
    UnattendedRun = false;
    fclose(page);
    EXPECT_TRUE(FileExists(target_ + "0-first.dmp"));
    EXPECT_FALSE(FileExists(target_ + "a-big.dmp"));
    EXPECT_TRUE(FileExists(target_ + "b-small.dmp"));
    EXPECT_NE(ReadWholeFile(PagePath()).find("The file was not collected !!!"), std::string::npos);
}

// Without the question's text the large file is left out entirely, unasked.
TEST_F(LargeFileTest, MissingQuestionTextDropsTheFile)
{
    SetResourceModule(GetModuleHandleA(nullptr));
    Page page = OpenPage();
    ASSERT_NE(page, nullptr);
    Collect(page);
    fclose(page);
    EXPECT_TRUE(FileExists(target_ + "0-first.dmp"));
    EXPECT_FALSE(FileExists(target_ + "a-big.dmp"));
    EXPECT_TRUE(FileExists(target_ + "b-small.dmp"));
    EXPECT_EQ(ReadWholeFile(PagePath()), "");
    EXPECT_EQ(NaviText().find("a-big"), std::string::npos);
}
