// The startup, registry, Explorer, browser and logon pages against fixtures
// planted in the prefix: each case plants its keys, values and files, writes
// a page or part of one and compares whole sections, byte for byte.
#include "app/app_state.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "info/signature_lines.h"
#include "platform/bounded_text.h"
#include "system/windows_stuff.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shlobj.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Mode = CWindowsStuff::ComponentMode;
using system_tests::PlantedValue;
using system_tests::ReadPage;
using testing_support::TestBinDir;
using testing_support::WriteFileBytes;

const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kKnownClsid[] = "{0B1C4E2A-7D35-4A8E-9C61-3F2E5D7A9B10}";
const char kUnknownClsid[] = "{0B1C4E2A-7D35-4A8E-9C61-3F2E5D7A9B11}";
const char kViewBlock[] =
    "<br><div style=\"color:blue;\"><strong><u>*64Bit* -> 32bit regKey view (of Wow6432Node if exists!):</u>"
    "</strong>";
const char kNotSet[] = "\n&nbsp;&lt;default&gt;: &nbsp;&nbsp;&nbsp;     Value is not set!<br>";
const char kEntryNotAvailable[] = "[not available]<br><br>";

std::string TestPath(const std::string& rest) { return "Software\\HarvinRegistryPagesTest\\" + rest; }
std::string KnownDll() { return TestBinDir() + "\\system_known_version.dll"; }

// A key created for the test (the fixture deletes the test trees afterwards).
class Key {
public:
    Key(HKEY hive, const std::string& path, REGSAM view = KEY_WOW64_64KEY)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                                 &key_, nullptr)) << path;
    }
    ~Key() { RegCloseKey(key_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }
    Key& Text(const char* name, const std::string& text, DWORD type = REG_SZ)
    {
        return Set(name, type, text.c_str(), text.size() + 1);
    }
    Key& Number(const char* name, DWORD value) { return Set(name, REG_DWORD, &value, sizeof value); }

private:
    Key& Set(const char* name, DWORD type, const void* data, size_t size)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)));
        return *this;
    }
    HKEY key_ = nullptr;
};

void DeleteTree(HKEY hive, const char* parent, const char* name, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, parent, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeA(key, name);
    RegCloseKey(key);
}

// A file of known bytes with the archive attribute only, and the details
// block that a value naming it gets.
std::string PlantFile(const std::string& path, const std::string& bytes, bool signatureLine = false)
{
    EXPECT_TRUE(WriteFileBytes(path, bytes) && SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE)) << path;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                            static_cast<uInt>(bytes.size()));
    char block[256];
    snprintf(block, sizeof block,
             "<div style=\"margin-left: 40px;\">\nCRC32: 0x%08lX<BR>\n%sFilesize: %u<BR>\nFile attributes: [A---]<br>\n"
             "</div><BR>\n",
             static_cast<unsigned long>(crc), signatureLine ? "Signature: Not signed<BR>\n" : "",
             static_cast<unsigned>(bytes.size()));
    return block;
}

// The version entry of a copy of the module with the known version resource.
std::string KnownEntry(const std::string& path, bool signatureLine = false)
{
    return "<strong>" + path + "</strong>\n<div style=\"margin-left: 40px;\">\nVersion: 7.6.5.4<BR>\n"
           "Description: Harvin known module<BR>\nVendor: Harvin Test Vendor<BR>\n"
           "Copyright: Copyright (C) Harvin Tests<BR>\n" +
           std::string(signatureLine ? "Signature: Not signed<BR>\n" : "") + "</div><BR>\n";
}

// From `from` (included) up to `to` (excluded); "<missing>" when either is absent.
std::string Section(const std::string& text, const std::string& from, const std::string& to)
{
    const size_t start = text.find(from);
    const size_t end = start == std::string::npos ? start : text.find(to, start + from.size());
    return end == std::string::npos ? "<missing>" : text.substr(start, end - start);
}

std::string Indented(const std::string& lines) { return "<div style=\"margin-left: 40px;\">\n" + lines + "</div>\n"; }

// What `write` puts into a page file of its own (text mode, as report pages are).
template <typename Write>
std::string Captured(const std::string& path, Write write)
{
    Page page = fopen(path.c_str(), "w");
    EXPECT_NE(nullptr, page) << path;
    write(page);
    if (page != nullptr) fclose(page);
    return ReadPage(path);
}

class RegistryPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = scratch_.Join("SupportData");
        startup_ = root_ + "\\Startup";
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr) && CreateDirectoryA(startup_.c_str(), nullptr));
        ASSERT_TRUE(CopyText(OutputRoot, root_.c_str()));
        NaviFontSize = -1;
        CancelRequested = 0;
        ExtendedCollection = 0;
        windows_.SetSwitches(0, 1, 1, 1, 1, 1, 1);
    }
    void TearDown() override
    {
        DeleteTree(HKEY_CURRENT_USER, "Software", "HarvinRegistryPagesTest", 0);
        DeleteTree(HKEY_LOCAL_MACHINE, "Software", "HarvinRegistryPagesTest", KEY_WOW64_64KEY);
        DeleteTree(HKEY_CLASSES_ROOT, "CLSID", kKnownClsid, KEY_WOW64_32KEY);
        DeleteTree(HKEY_CLASSES_ROOT, "CLSID", kKnownClsid, KEY_WOW64_64KEY);
        OutputRoot[0] = '\0';
    }
    std::string StartupPage(const std::string& file) { return ReadPage(startup_ + "\\" + file); }
    std::string Navi() { return ReadPage(root_ + "\\NAVI.html"); }
    std::string Scratch(const char* name) { return scratch_.Join(name); }

    testing_support::ScratchFolder scratch_{"harvin-regpages"};
    std::string root_;
    std::string startup_;
    CWindowsStuff windows_;
};

// ---- startup registry page -------------------------------------------------------

TEST_F(RegistryPagesTest, StartupRegistryShowsBothViewsWithFileDetails)
{
    const std::string program = Scratch("autostart.exe");
    const std::string details = PlantFile(program, "started with Windows", true);
    const std::string missing = Scratch("missing.exe");
    PlantedValue run64(HKEY_LOCAL_MACHINE, kRunKey, "HarvinA-Run", KEY_WOW64_64KEY, REG_SZ, program);
    PlantedValue gone64(HKEY_LOCAL_MACHINE, kRunKey, "HarvinB-Gone", KEY_WOW64_64KEY, REG_SZ, missing);
    PlantedValue run32(HKEY_LOCAL_MACHINE, kRunKey, "HarvinRun32", KEY_WOW64_32KEY, REG_SZ, program);
    ASSERT_TRUE(run64.Ok() && gone64.Ok() && run32.Ok());

    windows_.CollectStartupRegistry(startup_.c_str(), "StartRegistry.html");
    const std::string page = StartupPage("StartRegistry.html");

    const std::string header = "<br><strong>HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run: </strong><BR>\n";
    const std::string twinHeader =
        "<br><strong>HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\Microsoft\\Windows\\CurrentVersion\\Run: </strong><BR>\n";
    const std::string listing32 = "HarvinRun32 = " + program + "<br>" + details;
    // The 64-bit view plain, the 32-bit view in the blue block; then the
    // WOW6432NODE twin, which both views show as the 32-bit key.
    EXPECT_EQ("<h2>Registry (HKEY_LOCAL_MACHINE)</h2>\n" + header + "HarvinA-Run = " + program + "<br>" + details +
                  "HarvinB-Gone = " + missing + "<br>" + kViewBlock + header + listing32 + "</div>" + twinHeader +
                  listing32 + kViewBlock + twinHeader + listing32 + "</div>",
              Section(page, "<h2>Registry (HKEY_LOCAL_MACHINE)</h2>",
                      "<br><strong>HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"));
    EXPECT_NE(std::string::npos,
              Navi().find("<A HREF=\"./Startup/StartRegistry.html\" target=\"Inhalt\">Startup Registry Entries</A>"));
}

// ---- registry tree ---------------------------------------------------------------

std::string TreeKey(const std::string& path, const char* hive = "HKEY_CURRENT_USER")
{
    return "\n<BR><strong>" + std::string(hive) + "\\" + path + "</strong><BR>\n";
}
std::string DefaultLine(const std::string& text) { return "\n&nbsp;&lt;default&gt;: &nbsp;&nbsp;&nbsp;    " + text + "<br>"; }
std::string StringLine(const std::string& name, const std::string& text) { return "\n&nbsp;" + name + ":&nbsp;" + text + "<br>"; }

std::string Tree(const std::string& path, HKEY hive, DWORD view, const std::string& pageFile)
{
    return Captured(pageFile, [&](Page page) { CWindowsStuff::WriteRegistryTree(page, hive, path.c_str(), view); });
}

TEST_F(RegistryPagesTest, RegistryTreeShowsStoredStringsDefaultsAndSubkeysInOrder)
{
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string driver = std::string(windows) + "\\harvin-tree-test.sys";
    const std::string details = PlantFile(driver, "a driver named by %SystemRoot%");
    const std::string big(300, 'x');
    const std::string bigDefault(300, 'd');
    const std::string tree = TestPath("Tree\\");
    Key(HKEY_CURRENT_USER, tree)
        .Text("", "root <default>")
        .Text("big", big)
        .Number("count", 7)
        .Text("expand", "%SystemRoot%\\harvin-tree-test.sys", REG_EXPAND_SZ);
    Key(HKEY_CURRENT_USER, tree + "A").Text("", "");
    Key(HKEY_CURRENT_USER, tree + "A\\Inner");
    {
        // A key the user may read but not change is listed all the same.
        Key readOnly(HKEY_CURRENT_USER, tree + "B");
        readOnly.Text("", bigDefault).Text("v", "1");
        PSECURITY_DESCRIPTOR rights = nullptr;  // read, and delete for the clean-up
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KRSD;;;WD)", SDDL_REVISION_1, &rights,
                                                                         nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(readOnly.Get(), DACL_SECURITY_INFORMATION, rights));
        LocalFree(rights);
    }
    HKEY probe = nullptr;
    ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_CURRENT_USER, (tree + "B").c_str(), 0, KEY_ALL_ACCESS, &probe));
    const std::vector<BYTE> huge(1024 * 1024 + 1, 0);  // one byte over what a tree lists
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, tree.c_str(), "huge <&>", REG_BINARY, huge.data(),
                                             static_cast<DWORD>(huge.size())));

    const std::string text = Tree(tree, HKEY_CURRENT_USER, RegistryView64, Scratch("tree.html")) +
                             Tree(tree, HKEY_CURRENT_USER, RegistryView32, Scratch("tree32.html"));
    DeleteFileA(driver.c_str());

    const std::string rootValues = DefaultLine("root &lt;default&gt;") + StringLine("(Default)", "root &lt;default&gt;") +
                                   StringLine("big", big) + "&nbsp;count = 0x00000007<br>" +
                                   StringLine("expand", "%SystemRoot%\\harvin-tree-test.sys") + details +
                                   "&nbsp;huge &lt;&amp;&gt; = [value of 1048577 bytes not listed]<br>";
    const std::string aValues = DefaultLine("") + "&nbsp;(Default) = <br>";
    // A default longer than its 260-byte buffer shows cut, not as missing.
    const std::string bValues = DefaultLine(bigDefault.substr(0, 259)) + StringLine("(Default)", bigDefault) +
                                StringLine("v", "1");
    const std::string keys[][2] = {{tree, rootValues}, {tree + "A\\", aValues}, {tree + "A\\Inner\\", kNotSet},
                                   {tree + "B\\", bValues}};
    std::string plain, blue;
    for (const auto& key : keys) {
        plain += TreeKey(key[0]) + key[1];
        blue += kViewBlock + TreeKey(key[0]) + key[1] + "</div>";
    }
    EXPECT_EQ(plain + blue, text);
}

// A registry link that points back up the tree is shown, not followed; a
// tree deeper than the bound ends with a marker instead of the rest.
TEST_F(RegistryPagesTest, RegistryTreeNeitherFollowsLinksNorDescendsWithoutEnd)
{
    const std::string loop = TestPath("Loop");
    {
        Key parent(HKEY_LOCAL_MACHINE, loop);
        HKEY link = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent.Get(), "back", 0, nullptr, REG_OPTION_CREATE_LINK,
                                                 KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &link, nullptr));
        const std::wstring target = L"\\Registry\\Machine\\" + std::wstring(loop.begin(), loop.end());
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                                reinterpret_cast<const BYTE*>(target.c_str()),
                                                static_cast<DWORD>(target.size() * sizeof(wchar_t))));
        RegCloseKey(link);
    }
    const std::string loopText = Tree(loop + "\\", HKEY_LOCAL_MACHINE, RegistryView64, Scratch("loop.html"));
    {
        // The link goes first: deleting the tree through it would delete its target.
        using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);
        auto ntDeleteKey = reinterpret_cast<NtDeleteKeyFunction>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
        HKEY link = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, (loop + "\\back").c_str(), REG_OPTION_OPEN_LINK,
                                               DELETE | KEY_WOW64_64KEY, &link));
        EXPECT_EQ(0, ntDeleteKey(link));
        RegCloseKey(link);
    }
    EXPECT_EQ(TreeKey(loop + "\\", "HKEY_LOCAL_MACHINE") + kNotSet + TreeKey(loop + "\\back\\", "HKEY_LOCAL_MACHINE") +
                  "&nbsp;[registry link: not followed]<br>",
              loopText);

    std::string deep = TestPath("Deep\\");
    std::string expected;
    for (int depth = 0; depth <= 66; ++depth, deep += "d\\") {
        Key(HKEY_CURRENT_USER, deep);
        if (depth <= 65) expected += TreeKey(deep) + (depth <= 64 ? kNotSet : "&nbsp;[nested too deeply: not listed]<br>");
    }
    EXPECT_EQ(expected, Tree(TestPath("Deep\\"), HKEY_CURRENT_USER, RegistryView64, Scratch("deep.html")));
}

// ---- startup folders -------------------------------------------------------------

class StartupFoldersTest : public RegistryPagesTest {
protected:
    // The Shell Folders values point at the two scratch folders.
    void Collect()
    {
        PlantedValue user(HKEY_CURRENT_USER, kShellFoldersKey, "Startup", KEY_WOW64_32KEY, REG_SZ, user_);
        PlantedValue common(HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common Startup", KEY_WOW64_32KEY, REG_SZ, common_);
        ASSERT_TRUE(user.Ok() && common.Ok());
        windows_.CollectStartupFolders(startup_.c_str(), "StartAutostart.html");
    }
    std::string Body()
    {
        return Section(StartupPage("StartAutostart.html"), "<h2>Entries in the startup directory</h2>\n", "\n</font></tt>")
            .substr(strlen("<h2>Entries in the startup directory</h2>\n"));
    }
    const std::string user_ = Scratch("User Startup");
    const std::string common_ = Scratch("Common Startup");
};

TEST_F(StartupFoldersTest, UserFolderWithSubfoldersThenTheCommonFolder)
{
    for (const char* folder : {"", "\\a-empty", "\\c-tools", "\\d-only folders", "\\d-only folders\\inner"}) {
        ASSERT_TRUE(CreateDirectoryA((user_ + folder).c_str(), nullptr)) << folder;
    }
    for (const char* file : {"\\b-run & go.txt", "\\c-tools\\tool.exe", "\\d-only folders\\inner\\deep.txt"}) {
        ASSERT_TRUE(WriteFileBytes(user_ + file, "x")) << file;
    }
    ASSERT_TRUE(CreateDirectoryA(common_.c_str(), nullptr));
    Collect();

    // Every folder that holds nothing says so; one that holds a folder does not.
    EXPECT_EQ(user_ + "<BR>\n" +
                  Indented(user_ + "\\a-empty<BR>\n" + Indented("[empty]<BR>\n") + "b-run &amp; go.txt<BR>\n" + user_ +
                           "\\c-tools<BR>\n" + Indented("tool.exe<BR>\n") + user_ + "\\d-only folders<BR>\n" +
                           Indented(user_ + "\\d-only folders\\inner<BR>\n" + Indented("deep.txt<BR>\n"))) +
                  "<BR><BR>\n" + common_ + "<BR>\n" + Indented("[empty]<BR>\n"),
              Body());
    EXPECT_NE(std::string::npos,
              Navi().find("<A HREF=\"./Startup/StartAutostart.html\" target=\"Inhalt\">Start Menu/Startup</A>"));
}

// The common folder alone makes the page; with neither folder there is none.
TEST_F(StartupFoldersTest, OnlyTheCommonFolderOrNeither)
{
    Collect();
    EXPECT_FALSE(testing_support::FileExists(startup_ + "\\StartAutostart.html"));
    EXPECT_EQ(std::string::npos, Navi().find("Start Menu/Startup"));

    ASSERT_TRUE(CreateDirectoryA(common_.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(common_ + "\\everyone.exe", "x"));
    Collect();
    EXPECT_EQ("<BR><BR>\n" + common_ + "<BR>\n" + Indented("everyone.exe<BR>\n"), Body());
}

// Without its "Shell Folders" value (a copy Windows may lack) the common folder is the shell's.
TEST_F(StartupFoldersTest, CommonFolderWithoutItsShellFoldersValue)
{
    char common[MAX_PATH] = "";
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_COMMON_STARTUP, nullptr, SHGFP_TYPE_CURRENT, common));
    const std::string program = std::string(common) + "\\harvin-everyone.exe";
    ASSERT_TRUE(WriteFileBytes(program, "x"));
    PlantedValue removed(HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common Startup", KEY_WOW64_32KEY, REG_SZ, "", true);
    PlantedValue user(HKEY_CURRENT_USER, kShellFoldersKey, "Startup", KEY_WOW64_32KEY, REG_SZ, user_);
    windows_.CollectStartupFolders(startup_.c_str(), "StartAutostart.html");
    DeleteFileA(program.c_str());
    EXPECT_EQ("<BR><BR>\n" + std::string(common) + "<BR>\n" + Indented("harvin-everyone.exe<BR>\n"), Body());
}

// A link inside a Startup folder is listed, never entered: the host side
// plants a symbolic link from the folder back to itself.
TEST_F(StartupFoldersTest, LinksAreListedNotEntered)
{
    const std::string tree = "C:\\harvin-folderloop\\tree";
    const DWORD linkAttributes = GetFileAttributesA((tree + "\\loop").c_str());
    ASSERT_TRUE(linkAttributes != INVALID_FILE_ATTRIBUTES && (linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        << "the link fixture was not planted";
    EXPECT_EQ(Indented(tree + "\\loop<BR>\nown.txt<BR>\n"),
              Captured(Scratch("loop.html"), [&](Page page) { CWindowsStuff::ListFolderTree(tree.c_str(), page); }));
}

// ---- component keys and value modules ------------------------------------------------

TEST_F(RegistryPagesTest, ComponentKeyInEachMode)
{
    // The known module serves the known class id, where the pages look (32-bit view).
    Key(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kKnownClsid + "\\InprocServer32", KEY_WOW64_32KEY).Text("", KnownDll());
    const std::string known = KnownEntry(KnownDll());
    auto write = [&](const std::string& key, bool values, Mode mode) {
        return Captured(Scratch("component.html"), [&](Page page) {
            EXPECT_TRUE(CWindowsStuff::WriteComponentKey(page, HKEY_CURRENT_USER, key.c_str(), values, mode,
                                                         RegistryView32));
        });
    };
    const std::string cantFind = std::string("[Can't find ") + kUnknownClsid;

    // Named entries: a value's description is its caption; a class id that
    // is not registered is named.
    Key(HKEY_CURRENT_USER, TestPath("Approved")).Text(kKnownClsid, "Harvin <test> extension").Text(kUnknownClsid, "");
    EXPECT_EQ("<strong>Harvin &lt;test&gt; extension</strong>:<br>\n" + known + "<strong>" + kUnknownClsid +
                  "</strong>:<br>\n" + cantFind + " in HKCR\\CLSID]<br>" + kEntryNotAvailable,
              write(TestPath("Approved"), true, Mode::NamedEntries));

    // Class-id subkeys: "CLSID", else "ClsidExtension", else nothing.
    const std::string handlers = TestPath("Handler\\");
    Key(HKEY_CURRENT_USER, handlers + "bare");
    Key(HKEY_CURRENT_USER, handlers + "ext").Text("CLSID", kUnknownClsid).Text("ClsidExtension", kKnownClsid);
    Key(HKEY_CURRENT_USER, handlers + "known").Text("CLSID", kKnownClsid);
    Key(HKEY_CURRENT_USER, handlers + "lost").Text("ClsidExtension", kUnknownClsid);
    EXPECT_EQ(std::string("<strong>bare</strong>:<BR>\n") + kEntryNotAvailable + "<strong>ext</strong>:<BR>\n" + cantFind +
                  " in HKCR\\CLSID]<br>Found ClsidExtension=" + kKnownClsid + " in HKCR\\CLSID instead:<br>" + known +
                  "<strong>known</strong>:<BR>\n" + known + "<strong>lost</strong>:<BR>\n" + cantFind + "]<br>" +
                  kEntryNotAvailable,
              write(handlers, false, Mode::ClassIdSubkeys));

    // DLL-name subkeys: a full path, and a bare name the search path lacks.
    Key(HKEY_CURRENT_USER, TestPath("Notify\\harvin")).Text("DllName", KnownDll());
    Key(HKEY_CURRENT_USER, TestPath("Notify\\missing")).Text("DllName", "harvin-no-such.dll");
    EXPECT_EQ("<strong>harvin</strong>:<br>\n" + known + "<strong>missing</strong>:<br>\n" + kEntryNotAvailable,
              write(TestPath("Notify\\"), false, Mode::DllNameSubkeys));

    // DLL values: the DllDirectory values are left out.
    Key(HKEY_CURRENT_USER, TestPath("KnownDlls"))
        .Text("DllDirectory", "%SystemRoot%\\system32", REG_EXPAND_SZ)
        .Text("a-harvin", KnownDll())
        .Text("DllDirectory32", "%SystemRoot%\\syswow64", REG_EXPAND_SZ)
        .Text("b-gone", "harvin-no-such.dll");
    EXPECT_EQ("<strong>a-harvin</strong>\n" + known + "<strong>b-gone</strong>\n" + kEntryNotAvailable,
              write(TestPath("KnownDlls"), true, Mode::DllValues));

    EXPECT_EQ("", Captured(Scratch("missing.html"), [&](Page page) {
                  EXPECT_FALSE(CWindowsStuff::WriteComponentKey(page, HKEY_CURRENT_USER, TestPath("Nowhere").c_str(),
                                                                true, Mode::NamedEntries, RegistryView32));
              }));
}

// 64-bit Explorer loads what the 64-bit view names; each view resolves classes (named in the data too) itself.
TEST_F(RegistryPagesTest, ExplorerListsThe64BitViewThenThe32BitView)
{
    Key(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kKnownClsid + "\\InprocServer32").Text("", KnownDll());
    PlantedValue approved(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                          kKnownClsid, KEY_WOW64_64KEY, REG_SZ, "Harvin 64-bit");
    PlantedValue delayLoad(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
                           "HarvinService", KEY_WOW64_64KEY, REG_SZ, kKnownClsid);
    windows_.CollectExplorer(startup_.c_str(), "Explorer.html");
    auto block = [](const std::string& text) { return kViewBlock + text + "</div>"; };
    const std::string none = "[not available]<br>", known = KnownEntry(KnownDll(), true);
    const std::string machine = "<strong>HKEY_LOCAL_MACHINE</strong><br>\n";
    const std::string user = "<strong>HKEY_CURRENT_USER</strong><br>\n", named = "<strong>" + std::string(kKnownClsid);
    EXPECT_EQ(machine + "<strong>Harvin 64-bit</strong>:<br>\n" + known + block(none) + user + none + block(none),
              Section(StartupPage("Explorer.html"), machine, "<a name=\"columnHandlers\">"));
    const std::string cantFind = std::string("</strong>:<br>\n[Can't find ") + kKnownClsid + " in HKCR\\CLSID]<br>";
    EXPECT_EQ("Load\n</h2>\n" + machine + none + block(none) + user + named + "</strong>:<br>\n" + known +
                  block(named + cantFind + kEntryNotAvailable),
              Section(StartupPage("Explorer.html"), "Load\n</h2>\n", "<a name=\"shExecHooks\">"));
}

// "explorer.exe,extra": two programs, the second an .exe found on the search
// path (in the current folder: a copy of the known module).
TEST_F(RegistryPagesTest, ValueModulesNameEachProgramOfTheValue)
{
    ASSERT_TRUE(CopyFileA(KnownDll().c_str(), Scratch("extra.exe").c_str(), FALSE));
    char explorer[MAX_PATH];
    ASSERT_GT(SearchPathA(nullptr, "explorer.exe", nullptr, MAX_PATH, explorer, nullptr), 0u);
    const std::string key = TestPath("Winlogon");
    Key(HKEY_CURRENT_USER, key).Text("Shell", "explorer.exe,extra").Text("Empty", "  ");

    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch_.Path().c_str()));
    const std::string text = Captured(Scratch("modules.html"), [&](Page page) {
        for (const char* value : {"Shell", "Empty", "Absent"}) {
            CWindowsStuff::WriteValueModules(HKEY_CURRENT_USER, key.c_str(), value, page);
        }
    });
    SetCurrentDirectoryA(previous);

    // Explorer's version texts are the system's own: its entry is checked for its frame.
    const std::string extra = KnownEntry(Scratch("extra.exe"));
    const std::string explorerEntry = Section(text, "<strong>" + std::string(explorer), extra);
    EXPECT_EQ(0u, explorerEntry.find("<strong>" + std::string(explorer) +
                                     "</strong>\n<div style=\"margin-left: 40px;\">\nVersion: "))
        << explorerEntry;
    const std::string heading = "<h2>HKEY_CURRENT_USER\\" + key + "\\";
    EXPECT_EQ(heading + "Shell</h2>\n" + explorerEntry + extra + heading + "Empty</h2>\n[not available]<br>" + heading +
                  "Absent</h2>\n[not available]<br>",
              text);
}

// ---- scheduled tasks, other users, execution hooks -------------------------------------

const char kOtherUser[] = "S-1-5-21-1111-2222-3333-1001";
const char kHooked[] = "harvin-hooked.exe";
const char kOptionsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
const char kSilentExitKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit";
const char kComponentsKey[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";
const char kTaskProgramFolder[] = "C:\\harvin-task-test";

std::string TaskFolder()
{
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system) + "\\Tasks\\Harvin Tests";
}

// From `from` through the end of its entry block.
std::string Entry(const std::string& text, const std::string& from)
{
    return Section(text, from, "</div><br>\n") + "</div><br>\n";
}

class AutostartPagesTest : public RegistryPagesTest {
protected:
    void TearDown() override
    {
        testing_support::RemoveTree(TaskFolder());
        testing_support::RemoveTree(kTaskProgramFolder);
        for (const std::string& user : {std::string(kOtherUser), std::string(kOtherUser) + "_Classes"}) {
            DeleteTree(HKEY_USERS, "", user.c_str(), 0);
        }
        DeleteTree(HKEY_LOCAL_MACHINE, kOptionsKey, kHooked, KEY_WOW64_64KEY);
        DeleteTree(HKEY_LOCAL_MACHINE, kSilentExitKey, kHooked, KEY_WOW64_64KEY);
        DeleteTree(HKEY_LOCAL_MACHINE, kComponentsKey, "{HarvinTest}", KEY_WOW64_32KEY);
        DeleteTree(HKEY_CLASSES_ROOT, "CLSID", kKnownClsid, KEY_WOW64_64KEY);
        RegistryPagesTest::TearDown();
    }
    // The standard entry (version texts and MD5) every page writes for a file.
    std::string StandardEntry(const std::string& path)
    {
        SignatureLinesScope signatures;  // the autostart pages' entries carry them
        return Captured(Scratch("entry.html"), [&](Page page) { WriteStandardFileEntry(path.c_str(), nullptr, page); });
    }
    std::string Collect(const std::string& folder, const char* file, void (CWindowsStuff::*collect)(const char*, const char*))
    {
        (windows_.*collect)(folder.c_str(), file);
        return ReadPage(folder + "\\" + file);
    }
};

std::string Utf16(const std::string& text)
{
    std::string bytes = "\xFF\xFE";
    for (char c : text) bytes += std::string(1, c) + '\0';
    return bytes;
}

// The scheduler of this prefix cannot list its tasks: the page reads the task
// folder's definitions, as Windows stores them, and one that is cut short.
TEST_F(AutostartPagesTest, ScheduledTaskShowsItsDefinitionAndTheFilesItStarts)
{
    const std::string program = std::string(kTaskProgramFolder) + "\\known.exe";
    CreateDirectoryA(kTaskProgramFolder, nullptr);
    ASSERT_TRUE(CopyFileA(KnownDll().c_str(), program.c_str(), FALSE));
    Key(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kKnownClsid + "\\InprocServer32").Text("", KnownDll());
    ASSERT_TRUE(CreateDirectoryA(TaskFolder().c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(
        TaskFolder() + "\\R&D Task",
        Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!-- <Task> -->\n<Task version=\"1.2\" "
              "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><RegistrationInfo><Author>Harvin &amp; "
              "Tests</Author><Description>&lt;b&gt;bold&lt;/b&gt; &#38; more</Description></RegistrationInfo><Triggers>"
              "<LogonTrigger><Enabled>false</Enabled></LogonTrigger><CalendarTrigger><StartBoundary>2024-01-02T03:04:05"
              "</StartBoundary><ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>"
              "<Settings><Hidden>true</Hidden></Settings><Actions Context=\"Author\"><Exec><Command>\"%SystemDrive%"
              "\\harvin-task-test\\known.exe\"</Command><Arguments>/run &lt;now&gt;</Arguments></Exec><ComHandler>"
              "<ClassId>" + std::string(kKnownClsid) + "</ClassId><Data>x</Data></ComHandler><Exec><Command>"
              "harvin-no-such-program</Command></Exec></Actions></Task>")));
    ASSERT_TRUE(WriteFileBytes(TaskFolder() + "\\Cut", "<Task><Actions><Exec></Actions></Task>"));
    std::string opened, closed;  // nested far deeper than any definition
    for (int level = 0; level < 10000; ++level) opened += "<a>", closed += "</a>";
    ASSERT_TRUE(WriteFileBytes(TaskFolder() + "\\Deep", "<Task>" + opened + closed + "</Task>"));

    const std::string page = Collect(startup_, "ScheduledTasks.html", &CWindowsStuff::CollectScheduledTasks);
    const std::string state = "<br>\n<div style=\"margin-left: 40px;\">\nState: ";
    const std::string runs = "Last run: unknown<br>\nNext run: unknown<br>\n";
    EXPECT_EQ("<strong>\\Harvin Tests\\R&amp;D Task</strong>" + state + "enabled, hidden<br>\n" + runs +
                  "Author: Harvin &amp; Tests<br>\nDescription: &lt;b&gt;bold&lt;/b&gt; &amp; more<br>\n"
                  "Triggers: at logon (disabled); daily from 2024-01-02T03:04:05<br>\n"
                  "Action: &quot;%SystemDrive%\\harvin-task-test\\known.exe&quot; /run &lt;now&gt;<br>\n" +
                  StandardEntry(program) + "Action: COM handler " + kKnownClsid + ", data: x<br>\n" +
                  StandardEntry(KnownDll()) + "Action: harvin-no-such-program<br>\n[file not found]<br>\n</div><br>\n",
              Entry(page, "<strong>\\Harvin Tests\\R&amp;D Task"));
    EXPECT_EQ("<strong>\\Harvin Tests\\Cut</strong>" + state + "unknown<br>\n" + runs +
                  "[Error: the task definition cannot be read]<br>\n</div><br>\n",
              Entry(page, "<strong>\\Harvin Tests\\Cut"));
    EXPECT_NE(std::string::npos,
              Entry(page, "<strong>\\Harvin Tests\\Deep").find("[Error: the task definition cannot be read]"));
    EXPECT_NE(std::string::npos,
              Navi().find("<A HREF=\"./Startup/ScheduledTasks.html\" target=\"Inhalt\">Scheduled Tasks</A>"));
}

// Without Task Scheduler 2.0 (Windows 2000, XP) the .job files are named.
TEST_F(AutostartPagesTest, JobFilesAreNamedWhereTheNewSchedulerIsMissing)
{
    const std::string tasks = Scratch("Tasks");
    ASSERT_TRUE(CreateDirectoryA(tasks.c_str(), nullptr) && WriteFileBytes(tasks + "\\Backup & more.job", "job") &&
                WriteFileBytes(tasks + "\\desktop.ini", "ini"));
    const std::string heading = "Task Scheduler 2.0 is not available; the tasks of ";
    EXPECT_EQ(heading + tasks + ":<br>\n<strong>Backup &amp; more.job</strong><br>\n" + heading + Scratch("None") +
                  ":<br>\n[none]<br>\n",
              Captured(Scratch("jobs.html"), [&](Page page) {
                  CWindowsStuff::WriteJobFiles(page, tasks.c_str());
                  CWindowsStuff::WriteJobFiles(page, Scratch("None").c_str());
              }));
}

// A second profile's Run value and Winlogon override; its classes key, the
// current user and .DEFAULT are not listed.
TEST_F(AutostartPagesTest, OtherUsersRunKeysAndWinlogonOverrides)
{
    const std::string program = Scratch("other & user.exe");
    const std::string details = PlantFile(program, "runs for another user", true);
    const std::string software = std::string(kOtherUser) + "\\Software\\Microsoft\\";
    Key(HKEY_USERS, software + "Windows\\CurrentVersion\\Run").Text("HarvinOther", program);
    Key(HKEY_USERS, software + "Windows NT\\CurrentVersion\\Winlogon").Text("Userinit", program).Text("Other", "x");
    Key(HKEY_USERS, std::string(kOtherUser) + "_Classes\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
        .Text("HarvinClasses", program);

    const std::string page = Collect(startup_, "UsersRegistry.html", &CWindowsStuff::CollectUsersRegistry);
    const std::string key = "<br><strong>HKEY_USERS\\" + software;
    const std::string shown = std::string(" = ") + HtmlText<kPathSize>(program.c_str()).c_str() + "<br>" + details;
    EXPECT_EQ("<h2>Registry (HKEY_USERS\\" + std::string(kOtherUser) + ")</h2>\n" + key +
                  "Windows\\CurrentVersion\\Run: </strong><BR>\nHarvinOther" + shown + key +
                  "Windows NT\\CurrentVersion\\Winlogon: </strong><BR>\nUserinit" + shown + "<BR>\n",
              Section(page, "<h2>Registry (HKEY_USERS", "\n</font></tt>"));
}

// A debugger, a global flag and an exit monitor of one image (64-bit view),
// and an Active Setup component of the 32-bit view inside its blue block.
TEST_F(AutostartPagesTest, ExecutionHooksNameTheProgramsTheyStart)
{
    const std::string program = Scratch("known.exe");
    ASSERT_TRUE(CopyFileA(KnownDll().c_str(), program.c_str(), FALSE));
    Key(HKEY_LOCAL_MACHINE, std::string(kOptionsKey) + "\\" + kHooked)
        .Text("Debugger", "\"" + program + "\" -z")
        .Number("GlobalFlag", 0x200);
    Key(HKEY_LOCAL_MACHINE, std::string(kSilentExitKey) + "\\" + kHooked).Text("MonitorProcess", "harvin-gone.exe");
    Key(HKEY_LOCAL_MACHINE, std::string(kComponentsKey) + "\\{HarvinTest}", KEY_WOW64_32KEY)
        .Text("", "Harvin <setup>")
        .Text("StubPath", program + " /install");

    const std::string page = Collect(scratch_.Path(), "ExecutionHooks.html", &CWindowsStuff::CollectExecutionHooks);
    const std::string block = "</strong><br>\n<div style=\"margin-left: 40px;\">\n";
    EXPECT_EQ(std::string("<strong>") + kHooked + block + "Debugger: &quot;" + program + "&quot; -z<br>\n" +
                  StandardEntry(program) + "GlobalFlag: 0x00000200<br>\nMonitorProcess: harvin-gone.exe<br>\n"
                  "[file not found]<br>\n</div><br>\n",
              Entry(page, std::string("<strong>") + kHooked));
    const std::string activeSetup = Section(page, "<a name=\"activeSetup\">", "<a name=\"bootExecute\">");
    EXPECT_EQ(std::string(kViewBlock) + "<br>\n<strong>{HarvinTest}" + block + "Name: Harvin &lt;setup&gt;<br>\nStubPath: " +
                  program + " /install<br>\n" + StandardEntry(program) + "</div><br>\n</div>",
              activeSetup.substr(activeSetup.find(kViewBlock)));
}

}  // namespace
