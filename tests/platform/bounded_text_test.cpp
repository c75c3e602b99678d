// Bounded text helpers: the folder part of a path, as the program finds its
// own folder; the HTML form of data; and the ANSI form of wide names that
// are shown and looked up.
#include "platform/bounded_text.h"
#include "platform/win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr unsigned char kSentinel = 0xBD;

// The HTML copy of `text` into a buffer of `capacity` bytes; checks that
// nothing past the buffer was touched.
std::string HtmlCopy(const char* text, size_t capacity, bool* fit)
{
    char buffer[80];
    memset(buffer, kSentinel, sizeof buffer);
    *fit = CopyHtmlText(buffer, capacity, text);
    EXPECT_EQ(static_cast<unsigned char>(buffer[capacity]), kSentinel) << "written past the buffer";
    return buffer;
}

TEST(HtmlText, MarkupCharactersBecomeEntitiesAndCutsFallBetweenThem)
{
    bool fit = false;
    EXPECT_EQ(HtmlCopy("<img src=x onerror=\"go()\"> R&D 100% \xA0", 64, &fit),
              "&lt;img src=x onerror=&quot;go()&quot;&gt; R&amp;D 100% \xA0");
    EXPECT_TRUE(fit);
    EXPECT_EQ(HtmlCopy("", 1, &fit), "");
    EXPECT_TRUE(fit);

    // Room for "a" and four more bytes: "&amp;" (five) does not fit, so it is left out whole.
    EXPECT_EQ(HtmlCopy("a&b", 6, &fit), "a");
    EXPECT_FALSE(fit);
    EXPECT_EQ(HtmlCopy("a&b", 7, &fit), "a&amp;");
    EXPECT_FALSE(fit);
    EXPECT_EQ(HtmlCopy("a&b", 8, &fit), "a&amp;b");
    EXPECT_TRUE(fit);

    // Appending continues a text and keeps the same rule.
    char line[16] = "x=";
    EXPECT_FALSE(AppendHtmlText(line, "<<<<"));
    EXPECT_STREQ(line, "x=&lt;&lt;&lt;");  // the fourth entity has no room left

    // The holder is sized for the worst case of its source buffer.
    const std::string quotes(259, '"');
    std::string expected;
    for (size_t i = 0; i < quotes.size(); ++i) expected += "&quot;";
    EXPECT_EQ(HtmlText<260>(quotes.c_str()).c_str(), expected);
}

struct AnsiResult {
    std::string text;
    bool fit;
    bool lossy;
};

AnsiResult ToAnsi(const wchar_t* text)
{
    AnsiResult result;
    char out[64];
    result.lossy = true;
    result.fit = WideToAnsiText(text, out, sizeof out, &result.lossy);
    result.text = out;
    return result;
}

TEST(WideToAnsiText, NoLookAlikesAndLossTold)
{
    AnsiResult plain = ToAnsi(L"harvin & co.exe");
    EXPECT_EQ(plain.text, "harvin & co.exe");
    EXPECT_TRUE(plain.fit);
    EXPECT_FALSE(plain.lossy);

    if (GetACP() == CP_UTF8) GTEST_SKIP() << "UTF-8 holds every character: nothing is lost";
    // A full-width '<' and '"' never become markup; a Cyrillic letter has no
    // form in a western code page. Each is one '?', and the loss is told.
    AnsiResult lookAlike = ToAnsi(L"a\xFF1C" L"b\xFF02" L"c\x0416.exe");
    EXPECT_EQ(lookAlike.text.find_first_of("<\""), std::string::npos) << lookAlike.text;
    EXPECT_EQ(lookAlike.text, "a?b?c?.exe");
    EXPECT_TRUE(lookAlike.fit);
    EXPECT_TRUE(lookAlike.lossy);

    if (GetACP() == 1252) {
        AnsiResult western = ToAnsi(L"caf\x00E9");
        EXPECT_EQ(western.text, "caf\xE9");
        EXPECT_FALSE(western.lossy);
    }
}

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
