// The output tree: creation, deletion, and what deletion must never touch.
#include "app/app_state.h"
#include "app/output_tree.h"
#include "app/tree_deletion.h"
#include "tests/app/spine_fixture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::ScratchFolder;
using testing_support::WriteFileBytes;

namespace {

const char* const kSubfolders[] = {"Dumps", "LOGs", "INIFiles", "BATFiles", "SYSInfo", "Wardex", "Startup"};

TEST(OutputTree, SetUpCreatesTheRootAndSevenSubfolders)
{
    ScratchFolder base("tree");
    SetUpOutputTree((base.Path() + "\\").c_str());
    EXPECT_EQ(std::string(OutputRoot), base.Join("SupportData"));
    EXPECT_EQ(std::string(ProductBaseFolder), base.Join("SupportData\\Wardex"));
    EXPECT_EQ(std::string(LogsFolder), base.Join("SupportData\\LOGs"));
    for (const char* name : kSubfolders) EXPECT_TRUE(FolderExists(base.Join("SupportData\\") + name)) << name;
}

TEST(OutputTree, SecondSetUpDeletesTheFirstTree)
{
    ScratchFolder base("tree2");
    SetUpOutputTree((base.Path() + "\\").c_str());
    ASSERT_TRUE(WriteFileBytes(base.Join("SupportData\\LOGs\\old.txt"), "old"));
    CreateDirectoryA(base.Join("SupportData\\SYSInfo\\deep").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(base.Join("SupportData\\SYSInfo\\deep\\old.html"), "old"));
    SetUpOutputTree((base.Path() + "\\").c_str());
    EXPECT_FALSE(FileExists(base.Join("SupportData\\LOGs\\old.txt")));
    EXPECT_FALSE(FolderExists(base.Join("SupportData\\SYSInfo\\deep")));
    for (const char* name : kSubfolders) EXPECT_TRUE(FolderExists(base.Join("SupportData\\") + name)) << name;
}

TEST(OutputTree, DeleteTreeRemovesNestedFoldersAndReadOnlyFiles)
{
    ScratchFolder base("delete");
    std::string root = base.Join("root");
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA((root + "\\a").c_str(), nullptr);
    CreateDirectoryA((root + "\\a\\b").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(root + "\\a\\b\\ro.txt", "x"));
    SetFileAttributesA((root + "\\a\\b\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(WriteFileBytes(root + "\\top.txt", "y"));
    SetFileAttributesA((root + "\\a").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
    DeleteTree(root.c_str());
    EXPECT_FALSE(FolderExists(root));
}

TEST(OutputTree, DeleteTreeWithSubfolderArgumentAndMissingFolder)
{
    ScratchFolder base("delete2");
    CreateDirectoryA(base.Join("keep").c_str(), nullptr);
    CreateDirectoryA(base.Join("gone").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(base.Join("gone\\f.txt"), "z"));
    DeleteTree(base.Path().c_str(), "gone");
    EXPECT_FALSE(FolderExists(base.Join("gone")));
    EXPECT_TRUE(FolderExists(base.Join("keep")));
    DeleteTree(base.Join("does-not-exist").c_str());  // nothing to do, nothing breaks
    DeleteTree(nullptr);
}

// What the program can create, it can delete: paths of up to 259
// characters (CreateFileA's limit) and names outside the ANSI code page.
TEST(OutputTree, DeleteTreeRemovesEveryPathTheRunCanCreate)
{
    ScratchFolder base("long");
    std::string deep = base.Path();
    while (deep.size() + 11 <= 235) deep += "\\dddddddddd";
    deep += "\\" + std::string(245 - deep.size() - 1, 'e');
    for (size_t cut = deep.find('\\', base.Path().size()); cut != std::string::npos;
         cut = deep.find('\\', cut + 1)) {
        CreateDirectoryA(deep.substr(0, cut).c_str(), nullptr);
    }
    CreateDirectoryA(deep.c_str(), nullptr);
    const std::string longest = deep + "\\" + std::string(259 - deep.size() - 1, 'q');
    ASSERT_EQ(longest.size(), 259u);
    ASSERT_TRUE(WriteFileBytes(longest, "q"));
    const std::wstring wideFolder(deep.begin(), deep.end());
    HANDLE unicode = CreateFileW((wideFolder + L"\\\u0416\u4E2D.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, 0, nullptr);
    ASSERT_NE(unicode, INVALID_HANDLE_VALUE);
    CloseHandle(unicode);
    EXPECT_TRUE(DeleteTree(base.Path().c_str()));
    EXPECT_FALSE(FolderExists(base.Path()));
}

// A folder swapped for a junction between its listing and its opening is
// never entered, deleted through handles or by name. Wine opens through
// links, so Windows' answer for the opened junction stands in.
bool DescribeWithSwappedFolder(HANDLE entry, const wchar_t* path, OpenedEntryFacts* facts)
{
    bool described = SystemTreeDeletionFunctions().describeOpened(entry, path, facts);
    if (wcsstr(path, L"\\swapped") != nullptr) facts->handleAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return described;
}

TEST(OutputTree, FolderTurnedIntoALinkAfterListingIsNeverEntered)
{
    for (bool byName : {false, true}) {
        ScratchFolder base("swap");
        const std::string root = base.Join("SupportData");
        for (const char* folder : {"", "\\LOGs", "\\LOGs\\swapped"}) CreateDirectoryA((root + folder).c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(root + "\\LOGs\\swapped\\behind.txt", "not ours"));
        ASSERT_TRUE(WriteFileBytes(root + "\\LOGs\\own.txt", "ours"));
        TreeDeletionFunctions functions = SystemTreeDeletionFunctions();
        functions.describeOpened = DescribeWithSwappedFolder;
        if (byName) {
            functions.setInformation = nullptr;
            functions.setInformationByHandle = nullptr;
        }
        EXPECT_FALSE(DeleteTreeWith(root.c_str(), functions)) << byName;
        EXPECT_TRUE(FileExists(root + "\\LOGs\\swapped\\behind.txt")) << byName;
        EXPECT_FALSE(FileExists(root + "\\LOGs\\own.txt")) << byName;
    }
}

TEST(OutputTree, EmptyAndRelativePathsAreRefused)
{
    ScratchFolder base("relative");
    ASSERT_TRUE(CreateDirectoryA(base.Join("victim").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(base.Join("victim\\f.txt"), "x"));
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(base.Path().c_str());
    DeleteTree("");
    DeleteTree("victim");
    DeleteTree("", "victim");
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(FileExists(base.Join("victim\\f.txt")));
    // Rooted but driveless paths start at the current drive's root.
    for (const char* path : {"", "victim", "\\", "\\Windows", "C:", "C:relative"}) {
        EXPECT_FALSE(IsAbsolutePath(path)) << path;
    }
    for (const char* path : {"C:\\", "c:\\x", "\\\\server\\share"}) EXPECT_TRUE(IsAbsolutePath(path)) << path;
}

// A base too long for the tree's paths: refused with a status line, before
// anything is deleted or created.
TEST(OutputTree, SetUpRefusesPathsThatWouldBeCut)
{
    ScratchFolder base("cut");
    std::string longBase = base.Path() + "\\";
    while (longBase.size() < 240) longBase += "x";
    longBase += "\\";
    spine::ClearStatusLines();
    EXPECT_FALSE(SetUpOutputTree(longBase.c_str()));
    EXPECT_EQ(OutputRoot[0], '\0');
    EXPECT_EQ(LogsFolder[0], '\0');
    ASSERT_EQ(spine::StatusLines().size(), 1u);
    EXPECT_NE(spine::StatusLines()[0].find(longBase), std::string::npos);
    EXPECT_FALSE(SetUpOutputTree("relative\\"));
}

TEST(OutputTree, CreateOutputFoldersCompletesAnExistingRoot)
{
    ScratchFolder base("existing");
    spine::UseOutputRoot(base.Join("SupportData"));
    CreateDirectoryA(OutputRoot, nullptr);
    CreateDirectoryA(LogsFolder, nullptr);
    CreateOutputFolders();
    for (const char* name : kSubfolders) EXPECT_TRUE(FolderExists(base.Join("SupportData\\") + name)) << name;
}

// A link inside an old tree must be removed as a link, never followed: the
// host side plants a symbolic link to a folder outside the tree first
// (Wine shows it as a folder with the reparse-point attribute).
TEST(OutputTree, DeleteTreeNeverFollowsLinksOutOfTheTree)
{
    const std::string tree = "C:\\harvin-linktest\\tree";
    const std::string outside = "C:\\harvin-linktest\\outside\\keep.txt";
    if (!FolderExists(tree)) GTEST_SKIP() << "the link fixture was not planted";
    DWORD linkAttributes = GetFileAttributesA((tree + "\\link").c_str());
    ASSERT_NE(linkAttributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_TRUE(FileExists(outside));
    DeleteTree(tree.c_str());
    EXPECT_TRUE(FileExists(outside)) << "DeleteTree followed a link out of the tree";
    EXPECT_FALSE(FileExists(tree + "\\own.txt"));
}

// "SupportData" itself planted as a link: the files behind it stay, and a
// link that would not go stops the run before anything is written through it.
TEST(OutputTree, RootThatIsALinkIsNeverFollowed)
{
    const std::string base = "C:\\harvin-linktest\\rootbase\\";
    const std::string behind = "C:\\harvin-linktest\\behind";
    if (!FolderExists(base + "SupportData")) GTEST_SKIP() << "the link fixture was not planted";
    ASSERT_TRUE(GetFileAttributesA((base + "SupportData").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    DeleteTree((base + "SupportData").c_str());
    EXPECT_TRUE(FileExists(behind + "\\keep.txt")) << "DeleteTree deleted through the root link";
    spine::ClearStatusLines();
    bool setUp = SetUpOutputTree(base.c_str());
    EXPECT_TRUE(FileExists(behind + "\\keep.txt"));
    if (FolderExists(base + "SupportData") &&
        (GetFileAttributesA((base + "SupportData").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // The link stayed (Wine cannot remove it): nothing was made behind it.
        EXPECT_FALSE(setUp);
        EXPECT_FALSE(FolderExists(behind + "\\LOGs"));
        ASSERT_EQ(spine::StatusLines().size(), 1u);
        EXPECT_NE(spine::StatusLines()[0].find("is a link"), std::string::npos);
    } else {
        EXPECT_TRUE(setUp);
    }
}

}  // namespace
