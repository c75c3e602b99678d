// The single-value readers, with sentinels behind every output buffer.
#include "info/registry.h"
#include "tests/info/registry_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using registry_test::PlantedKey;

namespace {

constexpr char kSentinel = static_cast<char>(0xBD);

// An output buffer of `capacity` bytes followed by sentinel bytes.
struct Guarded {
    explicit Guarded(size_t capacity) : capacity(capacity), bytes(capacity + 16, kSentinel) {}
    char* Out() { return bytes.data(); }
    std::string Text() const { return std::string(bytes.data()); }
    bool TailUntouched() const
    {
        for (size_t i = capacity; i < bytes.size(); ++i) {
            if (bytes[i] != kSentinel) return false;
        }
        return true;
    }
    size_t capacity;
    std::vector<char> bytes;
};

class RegistryReaderTest : public registry_test::RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        path_ = UserPath("Read");
        PlantedKey key(HKEY_CURRENT_USER, path_);
        key.SetDword("AllOnes", 0xFFFFFFFF);
        key.SetString("Blanks", "   ");
        key.SetString("Empty", "");
        key.SetString("Trailing", "value  ");
        key.Set("NoZero", REG_SZ, "abc");  // data without a terminator
        key.Set("Raw3", REG_BINARY, "abc");
        key.SetString("Long", std::string(600, 'q'));
        key.Set("Short", REG_BINARY, "\x01\x02");
        key.Set("Bin300", REG_BINARY, std::string(300, '\x7F'));
        key.Set("List", REG_MULTI_SZ, std::string("a\0bc\0\0", 6));
        key.Set("OpenList", REG_MULTI_SZ, std::string("a\0b", 3));  // no terminators at all
    }
    const char* Path() const { return path_.c_str(); }
    std::string path_;
};

TEST_F(RegistryReaderTest, StringValues)
{
    Guarded out(260);
    EXPECT_TRUE(ReadStringValue(HKEY_CURRENT_USER, Path(), "Blanks", out.Out(), out.capacity,
                                "[no information available]", RegistryView64));
    EXPECT_EQ(out.Text(), "[no information available]");

    EXPECT_FALSE(ReadStringValue(HKEY_CURRENT_USER, Path(), "Absent", out.Out(), out.capacity, "dflt", 0));
    EXPECT_EQ(out.Text(), "");
    EXPECT_FALSE(ReadStringValue(HKEY_CURRENT_USER, Path(), "Empty", out.Out(), out.capacity, "dflt", 0));
    EXPECT_EQ(out.Text(), "");

    EXPECT_TRUE(ReadStringValue(HKEY_CURRENT_USER, Path(), "Trailing", out.Out(), out.capacity, "", 0));
    EXPECT_EQ(out.Text(), "value");
    EXPECT_TRUE(ReadStringValue(HKEY_CURRENT_USER, Path(), "NoZero", out.Out(), out.capacity, "", 0));
    EXPECT_EQ(out.Text(), "abc");
    EXPECT_TRUE(out.TailUntouched());

    Guarded small(10);
    EXPECT_TRUE(ReadStringValue(HKEY_CURRENT_USER, Path(), "Long", small.Out(), small.capacity, "", 0));
    EXPECT_EQ(small.Text(), std::string(9, 'q'));
    EXPECT_TRUE(small.TailUntouched());

    EXPECT_TRUE(StringValueIsSet(HKEY_CURRENT_USER, Path(), "Trailing", 0));
    EXPECT_FALSE(StringValueIsSet(HKEY_CURRENT_USER, Path(), "Blanks", 0));
    EXPECT_FALSE(StringValueIsSet(HKEY_CURRENT_USER, Path(), "Absent", 0));
}

TEST_F(RegistryReaderTest, DwordAndBinaryTexts)
{
    Guarded out(32);
    ReadDwordValueText(HKEY_CURRENT_USER, Path(), "AllOnes", out.Out(), out.capacity, 0);
    EXPECT_EQ(out.Text(), "0xFFFFFFFF (-1)");
    ReadDwordValueText(HKEY_CURRENT_USER, Path(), "Short", out.Out(), out.capacity, 0);
    EXPECT_EQ(out.Text(), "");
    ReadDwordValueText(HKEY_CURRENT_USER, Path(), "Absent", out.Out(), out.capacity, 0);
    EXPECT_EQ(out.Text(), "");
    EXPECT_TRUE(out.TailUntouched());

    Guarded binary(1281);
    ReadBinaryValueText(HKEY_CURRENT_USER, Path(), "Bin300", binary.Out(), binary.capacity, 0);
    std::string all;
    for (int i = 0; i < 256; ++i) all += "0x7F ";
    EXPECT_EQ(binary.Text(), all);
    EXPECT_TRUE(binary.TailUntouched());

    Guarded small(12);
    ReadBinaryValueText(HKEY_CURRENT_USER, Path(), "Bin300", small.Out(), small.capacity, 0);
    EXPECT_EQ(small.Text(), "0x7F 0x7F ");
    EXPECT_TRUE(small.TailUntouched());

    ReadBinaryValueText(HKEY_CURRENT_USER, Path(), "Absent", small.Out(), small.capacity, 0);
    EXPECT_EQ(small.Text(), "");
}

TEST_F(RegistryReaderTest, MultiStringsAndFirstValueName)
{
    Guarded out(1024);
    ReadMultiStringValue(HKEY_CURRENT_USER, Path(), "List", out.Out(), out.capacity, "none", 0);
    EXPECT_EQ(out.Text(), "a<BR>bc<BR>");
    ReadMultiStringValue(HKEY_CURRENT_USER, Path(), "OpenList", out.Out(), out.capacity, "none", 0);
    EXPECT_EQ(out.Text(), "a<BR>b<BR>");
    ReadMultiStringValue(HKEY_CURRENT_USER, Path(), "Empty", out.Out(), out.capacity, "none", 0);
    EXPECT_EQ(out.Text(), "none");
    ReadMultiStringValue(HKEY_CURRENT_USER, Path(), "Absent", out.Out(), out.capacity, "none", 0);
    EXPECT_EQ(out.Text(), "");

    Guarded cut(8);
    ReadMultiStringValue(HKEY_CURRENT_USER, Path(), "List", cut.Out(), cut.capacity, "", 0);
    EXPECT_EQ(cut.Text(), "a<BR>bc");
    EXPECT_TRUE(cut.TailUntouched());

    std::string path = UserPath("First");
    PlantedKey(HKEY_CURRENT_USER, path).SetDword("OnlyOne", 1);
    Guarded name(260);
    EXPECT_TRUE(ReadFirstValueName(HKEY_CURRENT_USER, path.c_str(), name.Out(), name.capacity, 0));
    EXPECT_EQ(name.Text(), "OnlyOne");
    EXPECT_FALSE(ReadFirstValueName(HKEY_CURRENT_USER, UserPath("Nope").c_str(), name.Out(), name.capacity, 0));
    EXPECT_EQ(name.Text(), "");

    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(), RegistryView32));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UserPath("Nope").c_str(), 0));
}

TEST_F(RegistryReaderTest, ViewsSelectTheRedirectedKey)
{
    std::string path = MachinePath("Reader");
    PlantedKey(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY).SetString("Where", "64");
    PlantedKey(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY).SetString("Where", "32");
    char text[260];
    ReadStringValue(HKEY_LOCAL_MACHINE, path.c_str(), "Where", text, sizeof text, "", RegistryView64);
    EXPECT_STREQ(text, "64");
    ReadStringValue(HKEY_LOCAL_MACHINE, path.c_str(), "Where", text, sizeof text, "", RegistryView32);
    EXPECT_STREQ(text, "32");
    // View 0 is what the 32-bit program sees by default.
    ReadStringValue(HKEY_LOCAL_MACHINE, path.c_str(), "Where", text, sizeof text, "", 0);
    EXPECT_STREQ(text, "32");
}

// The warning used to be a message box on the worker thread that stopped the run.
TEST_F(RegistryReaderTest, FailedRawReadWritesAStatusLineInsteadOfABox)
{
    registry_test::StatusListCapture status;
    if (!status.Ready()) GTEST_SKIP() << "the status list needs a display";
    Guarded out(260);
    EXPECT_EQ(ReadValueOrWarn(HKEY_CURRENT_USER, Path(), "Absent", out.Out(), out.capacity, 0), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(out.Text(), "");
    EXPECT_EQ(status.Lines(), std::vector<std::string>{"Error on Registry Read"});

    // A missing key is not a failed read: no line.
    EXPECT_EQ(ReadValueOrWarn(HKEY_CURRENT_USER, UserPath("Nope").c_str(), "x", out.Out(), out.capacity, 0),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(status.Lines().size(), 1u);

    EXPECT_EQ(ReadValueOrWarn(HKEY_CURRENT_USER, Path(), "NoZero", out.Out(), out.capacity, 0), ERROR_SUCCESS);
    EXPECT_EQ(out.Text(), "abc");

    // Data that fills the buffer exactly is still terminated.
    Guarded exact(4);
    EXPECT_EQ(ReadValueOrWarn(HKEY_CURRENT_USER, Path(), "NoZero", exact.Out(), exact.capacity, 0), ERROR_SUCCESS);
    EXPECT_EQ(exact.Text(), "abc");
    Guarded tight(3);
    EXPECT_EQ(ReadValueOrWarn(HKEY_CURRENT_USER, Path(), "Raw3", tight.Out(), tight.capacity, 0), ERROR_SUCCESS);
    EXPECT_EQ(tight.Text(), "ab");
    EXPECT_TRUE(tight.TailUntouched());

    EXPECT_EQ(ReadValueOrWarn(HKEY_CURRENT_USER, Path(), "Long", exact.Out(), exact.capacity, 0), ERROR_MORE_DATA);
    EXPECT_EQ(exact.Text(), "");
    EXPECT_TRUE(exact.TailUntouched());
    EXPECT_EQ(status.Lines().size(), 2u);
}

std::string WindowsFolder()
{
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

std::string Resolved(const std::string& text, size_t capacity = 260)
{
    std::vector<char> buffer(capacity + 16, kSentinel);
    memcpy(buffer.data(), text.c_str(), text.size() + 1);
    ResolveModulePath(buffer.data(), capacity);
    for (size_t i = capacity; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kSentinel);
    return buffer.data();
}

TEST(ModulePathTest, SystemRootSearchPathAndPlainPaths)
{
    std::string windows = WindowsFolder();
    EXPECT_EQ(Resolved("%systemroot%\\system32\\x.dll"), windows + "\\system32\\x.dll");
    EXPECT_EQ(Resolved("%SYSTEMROOT%\\a.dll"), windows + "\\a.dll");

    char found[MAX_PATH];
    ASSERT_GT(SearchPathA(nullptr, "shell32.dll", nullptr, MAX_PATH, found, nullptr), 0u);
    EXPECT_EQ(Resolved("shell32.dll"), found);
    EXPECT_NE(Resolved("shell32.dll").find('\\'), std::string::npos);

    EXPECT_EQ(Resolved("D:\\Tools\\missing.dll"), "D:\\Tools\\missing.dll");
    EXPECT_EQ(Resolved("surely-not-there-7731.dll"), "");
    EXPECT_EQ(Resolved(""), "");

    // Found, but too long for the caller's buffer: empty rather than a cut path.
    EXPECT_EQ(Resolved("shell32.dll", 16), "");
}

TEST_F(RegistryReaderTest, ClsidServerIsResolved)
{
    std::string key = std::string("CLSID\\") + registry_test::kTestClsid + "\\InprocServer32";
    PlantedKey(HKEY_CLASSES_ROOT, key, KEY_WOW64_32KEY).SetString("", "%SystemRoot%\\system32\\shell32.dll");
    Guarded out(260);
    EXPECT_TRUE(ResolveClsidServer(registry_test::kTestClsid, out.Out(), out.capacity, RegistryView32));
    EXPECT_EQ(out.Text(), WindowsFolder() + "\\system32\\shell32.dll");

    Guarded small(12);
    EXPECT_FALSE(ResolveClsidServer(registry_test::kTestClsid, small.Out(), small.capacity, RegistryView32));
    EXPECT_EQ(small.Text(), "");
    EXPECT_TRUE(small.TailUntouched());

    EXPECT_FALSE(ResolveClsidServer("{00000000-0000-0000-0000-000000000001}", out.Out(), out.capacity, 0));
    EXPECT_EQ(out.Text(), "");
}

}  // namespace
