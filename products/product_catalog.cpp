#include "products/product_catalog.h"

#include "app/app_state.h"
#include "info/registry.h"
#include "platform/bounded_text.h"
#include "platform/windows_version.h"
#include "products/collection_procedure.h"
#include "products/product_facts.h"
#include "products/product_paths.h"
#include "report/page_writer.h"
#include "report/report_frame.h"

#include <cstring>

namespace {

// A line's folder name from the registry is cut to this, so every page and
// copy below it still fits a path.
constexpr size_t kLineFolderNameSize = 65;
// Display names from the registry are cut to this before they are escaped.
constexpr size_t kDisplayNameSize = 200;

// The key, folder and registry page that apply on this Windows.
struct EntryChoice {
    const char* key;
    const char* folder;
    const char* registryPage;
};

EntryChoice ChooseForBitness(const ProductLine& entry)
{
    EntryChoice choice{entry.key, entry.folder, entry.registryPage};
    if (entry.on64.key != nullptr && IsWindows64Bit()) {
        choice.key = entry.on64.key;
        if (entry.on64.folder != nullptr) choice.folder = entry.on64.folder;
        if (entry.on64.registryPage != nullptr) choice.registryPage = entry.on64.registryPage;
    }
    return choice;
}

bool IsInstalled(const ProductLine& entry, const char* key)
{
    if (entry.detection == Detection::ValueSet) {
        return StringValueIsSet(HKEY_LOCAL_MACHINE, key, entry.detectionValue, RegistryView32);
    }
    return KeyExists(HKEY_LOCAL_MACHINE, key, RegistryView32);
}

// The main desktop line's name as the product itself records it, with the
// first "\xFC" (u umlaut) spelt "ue". False when it cannot be read.
bool ReadProductName(char (&name)[kDisplayNameSize])
{
    char text[kPathSize];
    if (!ReadStringValue(HKEY_LOCAL_MACHINE, kProductNameSource.key, kProductNameSource.value, text, sizeof text, "",
                         RegistryView32)) {
        return false;
    }
    ReplaceFirst(text, "\xFC", "ue", name, sizeof name);
    return name[0] != '\0';
}

// The install folder value an entry's procedure reads, as stored.
void ReadInstallValue(const ProductLine& entry, char (&out)[kPathSize])
{
    const EntryChoice choice = ChooseForBitness(entry);
    ReadStringValue(HKEY_LOCAL_MACHINE, choice.key, entry.procedure->install.value, out, sizeof out, "",
                    RegistryView32);
}

bool InstallDiffersFromNext(const ProductLine* entry, const ProductLine* end)
{
    if (entry + 1 == end) return true;
    char own[kPathSize];
    char next[kPathSize];
    ReadInstallValue(entry[0], own);
    ReadInstallValue(entry[1], next);
    return strcmp(own, next) != 0;
}

}  // namespace

bool DetectProductLine(const ProductLine& entry)
{
    const EntryChoice choice = ChooseForBitness(entry);
    if (!IsInstalled(entry, choice.key)) return false;

    char productName[kDisplayNameSize];
    char displayName[kDisplayNameSize];
    char folderName[kLineFolderNameSize];
    if (entry.namedByVendorKey) {
        if (!ReadProductName(productName)) return false;
        FormatText(displayName, "Wardex %s", productName);
        // The name becomes a folder: it must stay one folder below the base.
        MakeSafeName(productName, folderName);
    } else {
        CopyText(productName, entry.displayName);
        CopyText(displayName, entry.displayName);
        CopyText(folderName, choice.folder);
    }

    char lineFolder[kPathSize];
    BeginProductSection(folderName, lineFolder, entry.statusTextId,
                        NaviText(displayName).c_str());
    const LineRun run{choice.key, lineFolder, entry.versionsPage, choice.registryPage, displayName, productName,
                      *entry.procedure, IsProductCatalogEntry(entry)};
    RunCollectionProcedure(run);
    return true;
}

void RunCatalogEntries(TableList<ProductLine> entries)
{
    bool previousFound = false;
    for (const ProductLine* entry = entries.begin(); entry != entries.end(); ++entry) {
        if (IsCancelRequestedAt(CancelPoint::CatalogEntry)) return;
        switch (entry->rule) {
        case EntryRule::Always:
            previousFound = DetectProductLine(*entry);
            break;
        case EntryRule::Fallback:
            if (!previousFound) previousFound = DetectProductLine(*entry);
            break;
        case EntryRule::WhenInstallDiffersFromNext:
            previousFound = InstallDiffersFromNext(entry, entries.end()) && DetectProductLine(*entry);
            break;
        }
    }
}

CRecovery::CRecovery() : enabled(1) {}

void CRecovery::RunRecoveryCatalog(BYTE cancelFlag)
{
    if (!enabled || cancelFlag) return;
    for (const ProductLine& entry : kRecoveryCatalog) {
        if (IsCancelRequestedAt(CancelPoint::CatalogEntry)) return;
        DetectProductLine(entry);
    }
}

void CNorvaneProducts::RunProductCatalog(CRecovery& recovery)
{
    AddNaviGroupHeading("Norvane");
    recovery.RunRecoveryCatalog(CancelRequested);
    if (IsCancelRequested()) return;
    RunCatalogEntries(kProductCatalog);
    if (IsCancelRequested()) return;
    FinishNaviFile();
}
