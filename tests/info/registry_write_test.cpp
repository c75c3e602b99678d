// The registry page writers against keys planted in the prefix, compared
// byte for byte with what lands on disk.
#include "app/app_state.h"
#include "info/registry.h"
#include "tests/info/registry_test_support.h"

#include <gtest/gtest.h>

#include <string>

using registry_test::CapturedPage;
using registry_test::Crlf;
using registry_test::PlantedKey;

namespace {

const char kViewBlock[] =
    "<br><div style=\"color:blue;\"><strong><u>*64Bit* -> 32bit regKey view (of Wow6432Node if exists!):</u>"
    "</strong>";

std::string Header(const std::string& hive, const std::string& path)
{
    return "<br><strong>" + hive + "\\" + path + ": </strong><BR>\n";
}

class RegistryWriterTest : public registry_test::RegistryTest {};

TEST_F(RegistryWriterTest, KeyValuesGiveOneLinePerValueType)
{
    std::string path = UserPath("Values");
    {
        PlantedKey key(HKEY_CURRENT_USER, path);
        key.SetString("", "default text");
        key.SetString("a_percent", "100% sure");
        key.SetString("b_expand", "%SystemRoot%\\x.dll", REG_EXPAND_SZ);
        key.Set("c_multi", REG_MULTI_SZ, std::string("one\0two\0three\0\0", 15));
        key.SetDword("d_dword", 0x12AB);
        key.Set("e_binary", REG_BINARY, std::string("\x01\x02\xFF", 3));
        key.Set("f_empty", REG_BINARY, std::string());
        key.Set("g_qword", REG_QWORD, std::string(8, '\x07'));
    }
    CapturedPage page;
    EXPECT_TRUE(WriteKeyValues(HKEY_CURRENT_USER, path.c_str(), page.Get(), false, RegistryView64));
    std::string expected = Header("HKEY_CURRENT_USER", path) +
                           "(Default) = default text<br>"
                           "a_percent = 100% sure<br>"
                           "b_expand = %SystemRoot%\\x.dll<br>"
                           "c_multi = one two three<br>"
                           "d_dword = 0x000012AB<br>"
                           "\\e_binary = 0x01 0x02 0xFF <br>"
                           "\\f_empty = <br>"
                           "Unknown Registry Value Type<br>";
    EXPECT_EQ(page.Text(), Crlf(expected));
}

TEST_F(RegistryWriterTest, KeyWithoutValuesAndMissingKey)
{
    std::string path = UserPath("Empty");
    { PlantedKey key(HKEY_CURRENT_USER, path); }
    CapturedPage page;
    EXPECT_TRUE(WriteKeyValues(HKEY_CURRENT_USER, path.c_str(), page.Get(), false, RegistryView64));
    EXPECT_EQ(page.Text(), Crlf("<br><strong>HKEY_CURRENT_USER\\" + path + ":</strong><BR>[not available]<br>\n"));

    CapturedPage missing;
    EXPECT_FALSE(WriteKeyValues(HKEY_CURRENT_USER, UserPath("Missing").c_str(), missing.Get(), false, 0));
    EXPECT_FALSE(WriteKeyValues(HKEY_LOCAL_MACHINE, MachinePath("Missing").c_str(), missing.Get(), true, 0));
    EXPECT_EQ(missing.Text(), "");
}

// One value too large for the first buffer used to end the listing there;
// one over 1 MiB is named with its size.
TEST_F(RegistryWriterTest, LongValueDoesNotHideLaterValues)
{
    std::string path = UserPath("Long");
    std::string longName(400, 'n');
    {
        PlantedKey key(HKEY_CURRENT_USER, path);
        key.SetString("a_long", std::string(2000, 'y'));
        key.Set("b_bin", REG_BINARY, std::string(1000, '\x5A'));
        key.Set("b_huge", REG_BINARY, std::string(1048577, '\x5A'));
        key.SetString("c_after", "x");
        key.SetString(longName.c_str(), "named");
    }
    CapturedPage page;
    ASSERT_TRUE(WriteKeyValues(HKEY_CURRENT_USER, path.c_str(), page.Get(), false, RegistryView64));
    std::string binary = "\\b_bin = ";
    for (int i = 0; i < 520; ++i) binary += "0x5A ";
    // Shown within the listing's limits: 520 data bytes, names of 299 characters.
    std::string expected = Header("HKEY_CURRENT_USER", path) + "a_long = " + std::string(520, 'y') + "<br>" +
                           binary + "<br>" + "b_huge = [value of 1048577 bytes not listed]<br>" + "c_after = x<br>" +
                           std::string(299, 'n') + " = named<br>";
    EXPECT_EQ(page.Text(), Crlf(expected));
}

TEST_F(RegistryWriterTest, BothViewsListedWithBlueBlockOnlyWhenThe32BitViewExists)
{
    std::string both = MachinePath("Views");
    {
        PlantedKey key64(HKEY_LOCAL_MACHINE, both, KEY_WOW64_64KEY);
        key64.SetString("Where", "64");
        PlantedKey key32(HKEY_LOCAL_MACHINE, both, KEY_WOW64_32KEY);
        key32.SetString("Where", "32");
        PlantedKey only64(HKEY_LOCAL_MACHINE, MachinePath("Only64"), KEY_WOW64_64KEY);
        only64.SetDword("N", 1);
        PlantedKey only32(HKEY_LOCAL_MACHINE, MachinePath("Only32"), KEY_WOW64_32KEY);
        only32.SetDword("N", 2);
    }
    const std::string hklm = "HKEY_LOCAL_MACHINE";

    CapturedPage page;
    EXPECT_TRUE(WriteKeyValues(HKEY_LOCAL_MACHINE, both.c_str(), page.Get(), false, RegistryViewBoth));
    EXPECT_EQ(page.Text(), Crlf(Header(hklm, both) + "Where = 64<br>" + kViewBlock + Header(hklm, both) +
                                "Where = 32<br>" + "</div>"));

    CapturedPage page64;
    std::string path64 = MachinePath("Only64");
    EXPECT_TRUE(WriteKeyValues(HKEY_LOCAL_MACHINE, path64.c_str(), page64.Get(), false, RegistryViewBoth));
    EXPECT_EQ(page64.Text(), Crlf(Header(hklm, path64) + "N = 0x00000001<br>"));

    // Listed in the 32-bit view alone: still a listing, so still true.
    CapturedPage page32;
    std::string path32 = MachinePath("Only32");
    EXPECT_TRUE(WriteKeyValues(HKEY_LOCAL_MACHINE, path32.c_str(), page32.Get(), false, RegistryViewBoth));
    EXPECT_EQ(page32.Text(), Crlf(std::string(kViewBlock) + Header(hklm, path32) + "N = 0x00000002<br></div>"));

    // The caller's own choice of the 32-bit view gets the block too.
    CapturedPage chosen;
    EXPECT_TRUE(WriteKeyValues(HKEY_LOCAL_MACHINE, both.c_str(), chosen.Get(), false, RegistryView32));
    EXPECT_EQ(chosen.Text(), Crlf(kViewBlock + Header(hklm, both) + "Where = 32<br></div>"));
}

TEST_F(RegistryWriterTest, KeyOutsideRedirectionShowsTheSameValuesInBothListings)
{
    std::string path = registry_test::kSystemRoot;
    {
        PlantedKey key(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY);
        key.SetString("Shared", "same");
    }
    CapturedPage page;
    EXPECT_TRUE(WriteKeyValues(HKEY_LOCAL_MACHINE, path.c_str(), page.Get(), false, RegistryViewBoth));
    std::string listing = Header("HKEY_LOCAL_MACHINE", path) + "Shared = same<br>";
    EXPECT_EQ(page.Text(), Crlf(listing + kViewBlock + listing + "</div>"));
}

TEST_F(RegistryWriterTest, FileDetailsFollowStringValuesThatNameAFile)
{
    std::string path = UserPath("Details");
    {
        PlantedKey key(HKEY_CURRENT_USER, path);
        key.SetString("a_module", "%SystemRoot%\\system32\\kernel32.dll", REG_EXPAND_SZ);
        key.SetDword("b_number", 5);
    }
    CapturedPage page;
    ASSERT_TRUE(WriteKeyValues(HKEY_CURRENT_USER, path.c_str(), page.Get(), true, RegistryView64));
    std::string text = page.Text();
    std::string firstLine = Crlf(Header("HKEY_CURRENT_USER", path)) + "a_module = %SystemRoot%\\system32\\kernel32.dll<br>";
    ASSERT_EQ(text.compare(0, firstLine.size(), firstLine), 0) << text;
    // The file entry sits between the string value and the next value.
    size_t next = text.find("b_number = 0x00000005<br>");
    ASSERT_NE(next, std::string::npos);
    std::string entry = text.substr(firstLine.size(), next - firstLine.size());
    EXPECT_EQ(entry.rfind("<div style=\"margin-left: 40px;\">", 0), 0u) << entry;
    EXPECT_EQ(text.substr(next), "b_number = 0x00000005<br>");
}

class KeyTreeTest : public registry_test::RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        root_ = UserPath("Tree");
        PlantedKey(HKEY_CURRENT_USER, root_).SetDword("v", 1);
        PlantedKey(HKEY_CURRENT_USER, root_ + "\\A").SetDword("a", 2);
        PlantedKey(HKEY_CURRENT_USER, root_ + "\\A\\A1").SetDword("a1", 3);
        PlantedKey(HKEY_CURRENT_USER, root_ + "\\B").SetDword("b", 4);
    }
    std::string Listing(const std::string& rest, const char* name, int value) const
    {
        std::string path = rest.empty() ? root_ : root_ + "\\" + rest;
        return Header("HKEY_CURRENT_USER", path) + name + " = 0x0000000" + std::to_string(value) + "<br>";
    }
    std::string root_;
};

TEST_F(KeyTreeTest, ValuesBeforeSubkeysDepthFirst)
{
    CapturedPage page;
    EXPECT_TRUE(WriteKeyTree(HKEY_CURRENT_USER, root_.c_str(), false, page.Get(), RegistryView64));
    EXPECT_EQ(page.Text(), Crlf(Listing("", "v", 1) + Listing("A", "a", 2) + Listing("A\\A1", "a1", 3) +
                                Listing("B", "b", 4)));

    // A path that already ends in a backslash gets no second one.
    CapturedPage slash;
    std::string withSlash = root_ + "\\A\\";
    WriteKeyTree(HKEY_CURRENT_USER, withSlash.c_str(), false, slash.Get(), RegistryView64);
    EXPECT_EQ(slash.Text(), Crlf(Header("HKEY_CURRENT_USER", withSlash) + "a = 0x00000002<br>" +
                                 Listing("A\\A1", "a1", 3)));
}

TEST_F(KeyTreeTest, CancelStopsAfterTheCurrentSubkey)
{
    CancelRequested = 1;
    CapturedPage page;
    EXPECT_TRUE(WriteKeyTree(HKEY_CURRENT_USER, root_.c_str(), false, page.Get(), RegistryView64));
    // The first subkey finishes its own first branch; B is never visited.
    EXPECT_EQ(page.Text(), Crlf(Listing("", "v", 1) + Listing("A", "a", 2) + Listing("A\\A1", "a1", 3)));
}

TEST_F(KeyTreeTest, MissingKeyWritesNothing)
{
    CapturedPage page;
    EXPECT_TRUE(WriteKeyTree(HKEY_CURRENT_USER, UserPath("Nowhere").c_str(), false, page.Get(), RegistryView64));
    EXPECT_EQ(page.Text(), "");
}

TEST_F(RegistryWriterTest, TreeInBothViewsWalksThe32BitSubkeys)
{
    std::string root = MachinePath("Walk");
    PlantedKey(HKEY_LOCAL_MACHINE, root + "\\Sub64", KEY_WOW64_64KEY).SetDword("x", 6);
    PlantedKey(HKEY_LOCAL_MACHINE, root + "\\Sub32", KEY_WOW64_32KEY).SetDword("x", 3);
    CapturedPage page;
    WriteKeyTree(HKEY_LOCAL_MACHINE, root.c_str(), false, page.Get(), RegistryViewBoth);
    const std::string hklm = "HKEY_LOCAL_MACHINE";
    std::string notAvailable = "<br><strong>" + hklm + "\\" + root + ":</strong><BR>[not available]<br>\n";
    std::string sub = root + "\\Sub32";
    EXPECT_EQ(page.Text(), Crlf(notAvailable + kViewBlock + notAvailable + "</div>" + kViewBlock +
                                Header(hklm, sub) + "x = 0x00000003<br></div>"));
}

TEST_F(RegistryWriterTest, FlatTreeGivesSubkeysBeforeValuesAndRecursesIn32BitView)
{
    std::string root = MachinePath("Flat");
    {
        PlantedKey flat(HKEY_LOCAL_MACHINE, root, KEY_WOW64_64KEY);
        flat.SetDword("d", 0x10);
        flat.SetString("", "unnamed");
        flat.SetString("long", std::string(3000, 'L'));
        flat.SetString("s", "50% text");
        PlantedKey(HKEY_LOCAL_MACHINE, root + "\\Sub", KEY_WOW64_64KEY).SetString("w", "64");
        PlantedKey(HKEY_LOCAL_MACHINE, root + "\\Sub", KEY_WOW64_32KEY).SetString("w", "32");
    }
    CapturedPage page;
    WriteKeyTreeFlat(HKEY_LOCAL_MACHINE, root.c_str(), page.Get(), RegistryView64);
    std::string prefix = "<strong>HKEY_LOCAL_MACHINE\\" + root;
    std::string expected = prefix + "\\Sub\\w = </strong>32<BR><BR>\n" +
                           prefix + "\\ = </strong>unnamed<BR><BR>\n" +
                           prefix + "\\d = </strong>0x00000010<BR><BR>\n" +
                           prefix + "\\long = </strong>" + std::string(1536, 'L') + "<BR><BR>\n" +
                           prefix + "\\s = </strong>50% text<BR><BR>\n";
    EXPECT_EQ(page.Text(), Crlf(expected));

    CapturedPage missing;
    WriteKeyTreeFlat(HKEY_LOCAL_MACHINE, MachinePath("NoFlat").c_str(), missing.Get(), RegistryView64);
    EXPECT_EQ(missing.Text(), "");
}

TEST_F(RegistryWriterTest, SingleValuesByTypeInThe32BitView)
{
    std::string path = MachinePath("Single");
    {
        PlantedKey key(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
        key.SetString("Str", "50% off  ");
        key.Set("Bin", REG_BINARY, std::string("\x01\x02\xFF", 3));
        key.SetDword("Num", 42);
        key.Set("List", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
        // Only in the 64-bit view: the single-value writer never sees it.
        PlantedKey(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY).SetString("Hidden", "64");
    }
    auto single = [&](const char* name, DWORD type) {
        CapturedPage page;
        WriteSingleValue(HKEY_LOCAL_MACHINE, path.c_str(), name, type, page.Get(), false);
        return page.Text();
    };
    std::string prefix = "<BR><BR><strong>HKEY_LOCAL_MACHINE\\" + path + "\\";
    EXPECT_EQ(single("Str", REG_SZ), prefix + "Str = </strong>50% off");
    EXPECT_EQ(single("Bin", REG_BINARY), prefix + "Bin = </strong>0x01 0x02 0xFF ");
    EXPECT_EQ(single("Num", REG_DWORD), prefix + "Num = </strong>0x0000002A (42)");
    EXPECT_EQ(single("List", REG_MULTI_SZ), prefix + "List = </strong>one<BR>two<BR>");
    EXPECT_EQ(single("Absent", REG_SZ), prefix + "Absent = </strong>[not available]<br>");
    EXPECT_EQ(single("Hidden", REG_SZ), prefix + "Hidden = </strong>[not available]<br>");
    EXPECT_EQ(single("Str", REG_EXPAND_SZ), "");
}

// Key names, value names and data are the machine's: text in the page, never markup.
TEST_F(RegistryWriterTest, MarkupInKeysNamesAndDataIsText)
{
    const std::string path = MachinePath("R&D <x>");
    {
        PlantedKey key(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
        key.SetString("<b>name</b>", "<img src=x onerror=go()> & \"q\"");
        key.Set("list", REG_MULTI_SZ, std::string("<i>\0a&b\0\0", 10));
    }
    const std::string hklm = "HKEY_LOCAL_MACHINE";
    const std::string shownPath = MachinePath("R&amp;D &lt;x&gt;");
    const std::string name = "&lt;b&gt;name&lt;/b&gt;";
    const std::string data = "&lt;img src=x onerror=go()&gt; &amp; &quot;q&quot;";

    CapturedPage values;
    WriteKeyValues(HKEY_LOCAL_MACHINE, path.c_str(), values.Get(), false, RegistryView32);
    EXPECT_EQ(values.Text(), Crlf(kViewBlock + Header(hklm, shownPath) + name + " = " + data + "<br>" +
                                  "list = &lt;i&gt; a&amp;b<br></div>"));

    CapturedPage flat;
    WriteKeyTreeFlat(HKEY_LOCAL_MACHINE, path.c_str(), flat.Get(), RegistryView32);
    const std::string prefix = "<strong>" + hklm + "\\" + shownPath + "\\";
    EXPECT_EQ(flat.Text(), Crlf(prefix + name + " = </strong>" + data + "<BR><BR>\n" + prefix +
                                "list = </strong>&lt;i&gt;<BR><BR>\n"));

    CapturedPage single;
    WriteSingleValue(HKEY_LOCAL_MACHINE, path.c_str(), "<b>name</b>", REG_SZ, single.Get(), false);
    WriteSingleValue(HKEY_LOCAL_MACHINE, path.c_str(), "list", REG_MULTI_SZ, single.Get(), false);
    EXPECT_EQ(single.Text(), "<BR><BR>" + prefix + name + " = </strong>" + data + "<BR><BR>" + prefix +
                                 "list = </strong>&lt;i&gt;<BR>a&amp;b<BR>");
}

TEST_F(RegistryWriterTest, SingleValueWithFileDetailsAddsTheFileEntry)
{
    std::string path = MachinePath("SingleFile");
    PlantedKey(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY).SetString("Run", "%SystemRoot%\\system32\\kernel32.dll");
    CapturedPage page;
    WriteSingleValue(HKEY_LOCAL_MACHINE, path.c_str(), "Run", REG_SZ, page.Get(), true);
    std::string text = page.Text();
    std::string line = "<BR><BR><strong>HKEY_LOCAL_MACHINE\\" + path +
                       "\\Run = </strong>%SystemRoot%\\system32\\kernel32.dll";
    ASSERT_EQ(text.compare(0, line.size(), line), 0) << text;
    EXPECT_EQ(text.find("<div style=\"margin-left: 40px;\">", line.size()), line.size()) << text;
}

}  // namespace
