// The folder part of a path, as the program finds its own folder.
#include "platform/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string FolderOf(const char* path)
{
    char folder[260];
    EXPECT_TRUE(CopyPathFolder(folder, path)) << path;
    return folder;
}

TEST(PathFolderTest, DriveAndFolderThroughTheLastSeparator)
{
    EXPECT_EQ("C:\\Program Files\\Harvin\\", FolderOf("C:\\Program Files\\Harvin\\harvin.exe"));
    EXPECT_EQ("Z:/work/dist/", FolderOf("Z:/work/dist/harvin.exe"));
    EXPECT_EQ("\\\\server\\share\\", FolderOf("\\\\server\\share\\harvin.exe"));
    EXPECT_EQ("C:\\", FolderOf("C:\\harvin.exe"));
    EXPECT_EQ("C:", FolderOf("C:harvin.exe"));
    EXPECT_EQ("", FolderOf("harvin.exe"));
    EXPECT_EQ("", FolderOf(""));
    EXPECT_EQ("", FolderOf(nullptr));
}

TEST(PathFolderTest, FolderLongerThanMaxDirIsKeptWhole)
{
    // 257 characters of folder: more than _MAX_DIR, still within a 260-byte path.
    const std::string folder = "C:\\" + std::string(253, 'd') + "\\";
    EXPECT_EQ(folder, FolderOf((folder + "a.exe").c_str()));
}

TEST(PathFolderTest, CutToTheBufferAndTerminated)
{
    char small[8];
    memset(small, 0xBD, sizeof small);
    EXPECT_FALSE(CopyPathFolder(small, sizeof small - 1, "C:\\folder\\file.exe"));
    EXPECT_STREQ("C:\\fol", small);
    EXPECT_EQ(static_cast<char>(0xBD), small[7]);
}

}  // namespace
