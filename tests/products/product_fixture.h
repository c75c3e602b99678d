// What the product tests share: products planted in the test prefix (keys in
// the 32-bit view of HKEY_LOCAL_MACHINE, files below C:\harvin-products and
// a setup folder in TEMP), a scratch output tree, and the expected texts of
// navigation lines, start page rows and pages.
#pragma once
#include "platform/win.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace products_test {

// Where planted product files live.
constexpr char kFilesRoot[] = "C:\\harvin-products";

using StringValues = std::vector<std::pair<std::string, std::string>>;

class ProductsFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A key below HKEY_LOCAL_MACHINE in the 32-bit view, with string values.
    static void PlantKey(const std::string& path, const StringValues& values = {});
    // A key below HKEY_LOCAL_MACHINE in the 64-bit view (services, event log sources).
    static void PlantSystemKey(const std::string& path, const StringValues& values);
    // A file with its missing folders.
    static void PlantFile(const std::string& path, const std::string& bytes);
    static void PlantFolder(const std::string& path);
    // An Ordo installation: ordo.dll (with a version resource) and ordo.ini in
    // `install`, Logs\ordo.log, debug.on and an empty Firewall folder in
    // `install` + "Data", and its key with InstallDir and DataDir.
    void PlantOrdo(const std::string& key, const std::string& install);

    // The product catalog as the worker runs it (recovery tools first).
    void RunCatalog();
    // Starts NAVI.html and START.html anew (both empty).
    void ResetOutput();

    std::string Navi() const;
    std::string Start() const;
    // A page or copy below the product base folder ("Ordo\\Ordo.html").
    std::string LineFile(const std::string& relative) const;
    std::string ProductBase() const { return root_ + "\\Wardex"; }

    testing_support::ScratchFolder scratch_{"harvin-products"};
    std::string root_;   // the scratch SupportData
    std::string setupLog_;  // TEMP\WXSETUP_x\setup.log
};

// ---- expected texts -----------------------------------------------------------------

// The "Norvane" group heading as the first line after the fixture's start,
// and the font tag that the next (smaller) line begins with.
std::string NorvaneGroup();
std::string SmallFont();
std::string Heading(const std::string& text);
std::string Link(const std::string& href, const std::string& caption);
std::string Label(const std::string& text);
std::string Level3Line(const std::string& text);
std::string PlainLine(const std::string& text);
extern const char kNaviFoot[];

// "./Wardex/<lineFolder>/<rest>" with slashes.
std::string Href(const std::string& lineFolder, const std::string& rest);
// Below its drive up to its last backslash: where the copies of a folder walk
// go ("C:\a\b\" -> "\a\b\").
std::string DirectoryPart(const std::string& folder);

std::string StartRows(const std::string& product, const std::string& installFolder);
std::string PageHead(const std::string& title);
std::string PageFoot();
// The standard entry of a file, as the file information writer makes it.
std::string StandardEntry(const std::string& folder, const std::string& name);

}  // namespace products_test
