// The catalogs' own consistency, and the names made from product data and
// registry values.
#include "products/product_data.h"
#include "products/product_paths.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The short name of a line: its versions page without ".html", or for a line
// without one its registry page without "Registry.html".
std::string ShortName(const ProductLine& entry)
{
    const std::string versions = entry.versionsPage != nullptr ? entry.versionsPage : "";
    if (!versions.empty()) return versions.substr(0, versions.size() - strlen(".html"));
    const std::string registry = entry.registryPage;
    return registry.substr(0, registry.size() - strlen("Registry.html"));
}

void ExpectPageNamesFollowTheirPatterns(const ProductLine& entry)
{
    const std::string shortName = ShortName(entry);
    SCOPED_TRACE(entry.key);
    if (entry.versionsPage != nullptr) {
        EXPECT_EQ(std::string(entry.versionsPage), shortName + ".html");
    }
    const std::string registry = entry.registryPage;
    EXPECT_TRUE(registry == shortName + "Registry.html" || registry == shortName + "Reg.html" ||
                registry == shortName + "RegistryV8.html")
        << registry;
    if (entry.on64.registryPage != nullptr) {
        EXPECT_EQ(std::string(entry.on64.registryPage), shortName + "Registry64bit.html");
    }
    if (entry.on64.folder != nullptr) {
        EXPECT_EQ(std::string(entry.on64.folder), std::string(entry.folder) + "-64bit");
    }
    if (entry.folder != nullptr && strncmp(entry.key, "Software\\Kelmor\\", 16) == 0) {
        EXPECT_TRUE(EndsWith(entry.folder, "Old")) << entry.folder;
    }
}

// A fallback repeats the entry before it with its key below WOW6432Node.
void ExpectFallbackFollowsItsEntry(const ProductLine& fallback, const ProductLine& before)
{
    SCOPED_TRACE(fallback.key);
    EXPECT_NE(before.rule, EntryRule::Fallback);
    const std::string key = before.key;
    ASSERT_EQ(key.rfind("Software\\", 0), 0u);
    EXPECT_EQ(std::string(fallback.key), "Software\\WOW6432Node\\" + key.substr(strlen("Software\\")));
    auto same = [](const char* a, const char* b) { return (a == nullptr && b == nullptr) || (a && b && !strcmp(a, b)); };
    EXPECT_TRUE(same(fallback.folder, before.folder));
    EXPECT_TRUE(same(fallback.versionsPage, before.versionsPage));
    EXPECT_TRUE(same(fallback.registryPage, before.registryPage));
    EXPECT_TRUE(same(fallback.displayName, before.displayName));
    EXPECT_EQ(fallback.procedure, before.procedure);
    EXPECT_EQ(fallback.statusTextId, before.statusTextId);
    EXPECT_EQ(fallback.detection, before.detection);
    EXPECT_EQ(fallback.namedByVendorKey, before.namedByVendorKey);
}

TEST(Catalog, RowsAreCompleteAndConsistent)
{
    EXPECT_EQ(kProductCatalog.count, 37u);
    EXPECT_EQ(kRecoveryCatalog.count, 7u);
    std::set<std::string> productLines;
    std::set<std::string> recoveryTools;
    for (const ProductLine* entry = kProductCatalog.begin(); entry != kProductCatalog.end(); ++entry) {
        productLines.insert(ShortName(*entry));
        ExpectPageNamesFollowTheirPatterns(*entry);
        if (entry->rule == EntryRule::Fallback) {
            ASSERT_NE(entry, kProductCatalog.begin());
            ExpectFallbackFollowsItsEntry(*entry, entry[-1]);
        }
        EXPECT_TRUE(entry->namedByVendorKey || (entry->folder != nullptr && entry->displayName != nullptr));
        EXPECT_TRUE(TraitsOf(entry->procedure->procedure).startPageRows) << entry->key;
    }
    for (const ProductLine& entry : kRecoveryCatalog) {
        recoveryTools.insert(ShortName(entry));
        ExpectPageNamesFollowTheirPatterns(entry);
        EXPECT_EQ(entry.rule, EntryRule::Always);
        EXPECT_EQ(entry.detection, Detection::KeyPresent);
        EXPECT_FALSE(TraitsOf(entry.procedure->procedure).startPageRows) << entry.key;
    }
    EXPECT_EQ(productLines.size(), 17u);
    EXPECT_EQ(recoveryTools.size(), 5u);
    for (size_t i = 0; i < 14; ++i) EXPECT_EQ(static_cast<size_t>(kProcedures[i].procedure), i);
}

TEST(Catalog, StatusTextsExistInBothLanguages)
{
    for (const char* language : {"en-us", "de-de"}) {
        const std::string path = testing_support::DistDir() + "\\" + language + "\\harvinr.dll";
        HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(library, nullptr) << path;
        for (TableList<ProductLine> catalog : {kProductCatalog, kRecoveryCatalog}) {
            for (const ProductLine& entry : catalog) {
                char text[520];
                EXPECT_GT(LoadStringA(library, entry.statusTextId, text, sizeof text), 0)
                    << language << " " << entry.statusTextId;
            }
        }
        FreeLibrary(library);
    }
}

TEST(ProductNames, CopiesGetTheirTargetNames)
{
    char out[260];
    ASSERT_TRUE(CopyTargetName("ORDO.INI", TargetName::Joined, out));
    EXPECT_STREQ(out, "ORDOini.TXT");
    ASSERT_TRUE(CopyTargetName("ordo.ini", TargetName::Joined, out));
    EXPECT_STREQ(out, "ORDOini.TXT");
    ASSERT_TRUE(CopyTargetName("ordo.conf", TargetName::Underscore, out));
    EXPECT_STREQ(out, "ordo_conf.TXT");
    ASSERT_TRUE(CopyTargetName("ordo.bat", TargetName::TxtAdded, out));
    EXPECT_STREQ(out, "ordo.bat.TXT");
    ASSERT_TRUE(CopyTargetName("ordo.bat", TargetName::Same, out));
    EXPECT_STREQ(out, "ordo.bat");
}

TEST(ProductNames, NamesFromValuesBecomeOneSafeFolderName)
{
    struct Case {
        const char* text;
        const char* name;
    } cases[] = {
        {"..\\..\\Windows", "______Windows"},
        {"C:\\Windows\\System32", "C__Windows_System32"},
        {"a/b:c*d?e\"f<g>h|i%j", "a_b_c_d_e_f_g_h_i_j"},
        {"..", "__"},
        {"Security 2.0.", "Security 2.0_"},
        {"Net ", "Net_"},
        {"con", "_con"},
        {"LPT1.log", "_LPT1.log"},
        {"CON .txt", "_CON .txt"},      // blanks end the part before the extension
        {"AUX  .log", "_AUX  .log"},
        {"CONIN$", "_CONIN$"},
        {"conout$.txt", "_conout$.txt"},
        {"COM\xB9", "_COM\xB9"},        // superscript digits (code page 1252)
        {"lpt\xB3.log", "_lpt\xB3.log"},
        {"COM\xB9x", "COM\xB9x"},
        {"Console", "Console"},
        {"", "_"},
    };
    for (const Case& c : cases) {
        char out[65];
        MakeSafeName(c.text, out);
        EXPECT_STREQ(out, c.name) << c.text;
    }
    char small[8];
    MakeSafeName("Wardex Internet Security", small);
    EXPECT_STREQ(small, "Wardex");
}

TEST(ProductNames, FoldersFromValues)
{
    char out[260];
    ASSERT_TRUE(MakeFolderPath("C:\\Program Files\\Norvane\\Ordo\\..\\..\\..\\Windows", out));
    EXPECT_STREQ(out, "C:\\Windows\\");
    CommandFolder("\"C:\\Program Files\\Norvane\\Tersus\\uninst.exe\" /S", out, sizeof out);
    EXPECT_STREQ(out, "C:\\Program Files\\Norvane\\Tersus\\");
    CommandFolder("C:\\Tersus\\uninst.exe", out, sizeof out);
    EXPECT_STREQ(out, "C:\\Tersus\\");
}

}  // namespace
