#include "tests/products/product_fixture.h"

#include "app/app_state.h"
#include "info/file_info.h"
#include "lang/resource_ids.h"
#include "products/product_catalog.h"
#include "tests/app/spine_fixture.h"

#include <share.h>

#include <vector>

namespace products_test {
namespace {

const char kRule[] = "<hr noshade size=\"1\" align=\"left\">";
// Keys below HKEY_LOCAL_MACHINE that plantings make, removed before and after each test.
const char* const kVendorKeys[] = {"Norvane", "Kelmor", "Astrel", "Wardex"};
std::vector<std::string> g_systemKeys;

void DeleteKeyTree(HKEY hive, const char* parent, const char* name, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, parent, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeA(key, name);
    RegDeleteKeyExA(key, name, view, 0);
    RegCloseKey(key);
}

void RemoveProductKeys()
{
    for (const char* vendor : kVendorKeys) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software", vendor, KEY_WOW64_32KEY);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software", vendor, KEY_WOW64_64KEY);
    }
    for (const std::string& path : g_systemKeys) {
        const size_t last = path.rfind('\\');
        DeleteKeyTree(HKEY_LOCAL_MACHINE, path.substr(0, last).c_str(), path.substr(last + 1).c_str(),
                      KEY_WOW64_64KEY);
    }
    g_systemKeys.clear();
}

void PlantKeyInView(const std::string& path, const StringValues& values, REGSAM view)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS)
        << path;
    for (const auto& value : values) {
        EXPECT_EQ(RegSetValueExA(key, value.first.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.second.c_str()),
                                 static_cast<DWORD>(value.second.size() + 1)),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

std::string TempFolder()
{
    char temp[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    return temp;
}

std::string WindowsTempFolder()
{
    char windows[MAX_PATH] = "";
    GetEnvironmentVariableA("WINDIR", windows, sizeof windows);
    return std::string(windows) + "\\temp";
}

}  // namespace

void ProductsFixture::SetUp()
{
    RemoveProductKeys();
    testing_support::RemoveTree(kFilesRoot);
    testing_support::RemoveTree(WindowsTempFolder() + "\\WXSETUP_x");
    CancelRequested = 0;
    ExtendedCollection = 0;
    root_ = scratch_.Join("SupportData");
    spine::UseOutputRoot(root_);
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(ProductBase().c_str(), nullptr));
    ResetOutput();

    const std::string setupFolder = TempFolder() + "\\WXSETUP_x";
    testing_support::RemoveTree(setupFolder);
    PlantFile(setupFolder + "\\setup.log", "setup log\r\n");
    setupLog_ = setupFolder + "\\setup.log";
}

void ProductsFixture::TearDown()
{
    RemoveProductKeys();
    testing_support::RemoveTree(kFilesRoot);
    testing_support::RemoveTree(TempFolder() + "\\WXSETUP_x");
    CancelRequested = 0;
    ExtendedCollection = 0;
    OutputRoot[0] = '\0';
}

void ProductsFixture::PlantKey(const std::string& path, const StringValues& values)
{
    PlantKeyInView(path, values, KEY_WOW64_32KEY);
}

void ProductsFixture::PlantSystemKey(const std::string& path, const StringValues& values)
{
    g_systemKeys.push_back(path);
    PlantKeyInView(path, values, KEY_WOW64_64KEY);
}

void ProductsFixture::PlantFolder(const std::string& path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
}

void ProductsFixture::PlantFile(const std::string& path, const std::string& bytes)
{
    PlantFolder(path.substr(0, path.rfind('\\')));
    ASSERT_TRUE(testing_support::WriteFileBytes(path, bytes)) << path;
}

void ProductsFixture::PlantOrdo(const std::string& key, const std::string& install)
{
    // Values in name order: the order of creation (Windows) and of name (Wine) agree.
    PlantKey(key, {{"DataDir", install + "Data"}, {"InstallDir", install}});
    PlantFolder(install + "Data");
    PlantFile(install + "\\ordo.ini", "[Ordo]\r\nLevel=3\r\n");
    PlantFile(install + "Data\\Logs\\ordo.log", "ordo started\r\n");
    PlantFile(install + "Data\\debug.on", "");
    PlantFolder(install + "Data\\Firewall");
    ASSERT_TRUE(CopyFileA((testing_support::TestBinDir() + "\\system_known_version.dll").c_str(),
                          (install + "\\ordo.dll").c_str(), FALSE));
}

void ProductsFixture::RunCatalog()
{
    CRecovery recovery;
    CNorvaneProducts products;
    products.RunProductCatalog(recovery);
}

void ProductsFixture::ResetOutput()
{
    // The line before the catalog was written in the small font.
    NaviFontSize = 2;
    ASSERT_TRUE(testing_support::WriteFileBytes(root_ + "\\NAVI.html", ""));
    ASSERT_TRUE(testing_support::WriteFileBytes(root_ + "\\START.html", ""));
}

std::string ProductsFixture::Navi() const { return spine::ReadText(root_ + "\\NAVI.html"); }
std::string ProductsFixture::Start() const { return spine::ReadText(root_ + "\\START.html"); }
std::string ProductsFixture::LineFile(const std::string& relative) const
{
    return spine::ReadText(ProductBase() + "\\" + relative);
}

// ---- expected texts -----------------------------------------------------------------

const char kNaviFoot[] = "</TT></BODY></HTML>";

std::string NorvaneGroup()
{
    return std::string("</FONT><FONT face=\"Arial\" size=4>") + kRule + "Norvane" + kRule + "\n";
}
std::string SmallFont() { return "</FONT><FONT face=\"Arial\" size=2>"; }
std::string Heading(const std::string& text) { return kRule + text + kRule + "\n"; }
std::string Link(const std::string& href, const std::string& caption)
{
    return "<LI><A HREF=\"" + href + "\" target=\"Inhalt\">" + caption + "</A>\n<BR>\n";
}
std::string Label(const std::string& text) { return "<BR>" + text + "\n"; }
std::string Level3Line(const std::string& text) { return "<BR>" + text + "<BR>\n"; }
std::string PlainLine(const std::string& text) { return text + "\n"; }

std::string Href(const std::string& lineFolder, const std::string& rest)
{
    std::string href = "./Wardex/" + lineFolder + "/" + rest;
    for (char& c : href) {
        if (c == '\\') c = '/';
    }
    for (size_t at = href.find("//"); at != std::string::npos; at = href.find("//")) href.erase(at, 1);
    return href;
}

std::string DirectoryPart(const std::string& folder)
{
    const std::string rest = folder.size() >= 2 && folder[1] == ':' ? folder.substr(2) : folder;
    const size_t last = rest.rfind('\\');
    return last == std::string::npos ? std::string() : rest.substr(0, last + 1);
}

std::string StartRows(const std::string& product, const std::string& installFolder)
{
    char productLabel[260] = "";
    char folderLabel[260] = "";
    LoadStringA(ResourceLibrary, IDS_LABEL_PRODUCT, productLabel, sizeof productLabel);
    LoadStringA(ResourceLibrary, IDS_LABEL_INSTALL_FOLDER, folderLabel, sizeof folderLabel);
    auto row = [](const std::string& label, const std::string& value) {
        return "\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n\t\t<td width = \"20%\">" + label +
               ":</td>\n\t\t<td width = \"60%\"><strong>" + value + "</strong></td>\n\t\t</tr>\n\n";
    };
    return row(productLabel, product) + row(folderLabel, installFolder);
}

std::string PageHead(const std::string& title)
{
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
           "\"http://www.w3.org/TR/html4/loose.dtd\">\n<html>\n<head>\n" + testing_support::CharsetMeta() + "<title>" +
           title + "</title>\n</head>\n<body>\n<tt>\n<h2>" + title + "</h2>\n";
}

std::string PageFoot() { return "\n</font></tt>\n</body>\n</html>\n"; }

std::string StandardEntry(const std::string& folder, const std::string& name)
{
    testing_support::ScratchFolder scratch("harvin-entry");
    const std::string path = scratch.Join("entry.html");
    Page page = _fsopen(path.c_str(), "w", _SH_DENYNO);
    if (page == nullptr) return "<no entry page>";
    WriteStandardFileEntry(folder.c_str(), name.c_str(), page);
    fclose(page);
    return spine::ReadText(path);
}

}  // namespace products_test
