// The registry page of a product line: key trees, key listings, single
// values, or the desktop family's registry dump.
#include "app/harvin_dlg.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/windows_version.h"
#include "products/collection_procedure.h"

namespace {

const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunKeyWow64[] = "SOFTWARE\\WOW6432NODE\\Microsoft\\Windows\\CurrentVersion\\Run";

HKEY HiveOf(Hive hive) { return hive == Hive::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

void WriteListing(const LineRun& run, const RegistryListing& listing, Page page)
{
    const HKEY hive = HiveOf(listing.hive);
    const char* path = listing.path != nullptr ? listing.path : run.key;
    switch (listing.step) {
    case RegistryStep::Tree:
        WriteKeyTree(hive, path, listing.fileDetails, page, listing.view);
        break;
    case RegistryStep::Values:
        WriteKeyValues(hive, path, page, listing.fileDetails, listing.view);
        break;
    case RegistryStep::Value:
        WriteSingleValue(hive, path, listing.name, listing.type, page, listing.fileDetails);
        break;
    case RegistryStep::Heading:
        WriteHeading(page, listing.name);
        break;
    case RegistryStep::FamilyDump:
        FamilyRegistryDump(page);
        break;
    }
}

void AppendLanguageText(Page page, UINT id)
{
    char text[520];
    LoadResourceText(id, text);
    AppendToPage(page, "<BR>%s\n", text);
}

void AddRegistryLabel(RegistryLabel label)
{
    switch (label) {
    case RegistryLabel::Registry:
        AddNaviLabel("Registry:");
        break;
    case RegistryLabel::Empty:
        AddNaviLabel("");
        break;
    case RegistryLabel::None:
        break;
    }
}

}  // namespace

void FamilyRegistryDump(Page page)
{
    const FamilyRegistry& family = kFamilyRegistry;
    const bool system64 = IsWindows64Bit();
    WriteKeyTreeFlat(HKEY_LOCAL_MACHINE, family.formerVendorKey, page, RegistryView32);
    WriteKeyTreeFlat(HKEY_LOCAL_MACHINE, family.currentVendorKey, page, RegistryView32);
    if (system64) WriteKeyTreeFlat(HKEY_LOCAL_MACHINE, family.currentVendorKeyWow64, page, RegistryView32);
    WriteKeyTreeFlat(HKEY_LOCAL_MACHINE, family.partnerVendorKey, page, RegistryView32);

    WriteHeading(page, family.autostartHeading);
    for (const char* value : family.autostartValues) {
        WriteSingleValue(HKEY_LOCAL_MACHINE, kRunKey, value, REG_SZ, page, false);
        if (system64) WriteSingleValue(HKEY_LOCAL_MACHINE, kRunKeyWow64, value, REG_SZ, page, false);
    }

    WriteKeyTree(HKEY_LOCAL_MACHINE, family.formerVendorKey, false, page, RegistryView32);
    WriteHeading(page, family.servicesHeading);
    for (const char* key : family.serviceKeys) WriteKeyTree(HKEY_LOCAL_MACHINE, key, false, page, RegistryView64);
    WriteHeading(page, family.driversHeading);
    for (const char* key : family.driverKeys) WriteKeyTree(HKEY_LOCAL_MACHINE, key, false, page, RegistryView64);
    WriteHeading(page, family.eventLogHeading);
    WriteKeyValues(HKEY_LOCAL_MACHINE, family.eventSourceKey, page, false, RegistryView64);

    // The notes explain the driver's event log entries, so they come only with them.
    if (WriteKeyValues(HKEY_LOCAL_MACHINE, family.driverEventLogKey, page, false, RegistryView64)) {
        AppendLanguageText(page, IDS_EVENTLOG_NOTE_1);
        AppendLanguageText(page, IDS_EVENTLOG_NOTE_2);
    }

    WriteHeading(page, family.updateHeading);
    WriteSingleValue(HKEY_LOCAL_MACHINE, kRunKey, family.updateAutostartValue, REG_SZ, page, true);
    WriteKeyValues(HKEY_LOCAL_MACHINE, family.updateServiceKey, page, true, RegistryView64);
    WriteKeyValues(HKEY_LOCAL_MACHINE, family.updateEventSourceKey, page, true, RegistryView64);
}

void WriteRegistryPage(const LineRun& run, const ProcedureTraits& traits)
{
    AddRegistryLabel(traits.registryLabel);
    char title[kPathSize];
    if (traits.titleFromProductName) {
        FormatText(title, "Wardex %s Registry", run.productName);
    } else {
        CopyText(title, run.steps.registryTitle != nullptr ? run.steps.registryTitle : "");
    }
    // The product's name may come from the registry: the title is text.
    Page page = CreateReportPage(run.lineFolder, run.registryPage, 0, "Registry Entries",
                                 HtmlText<kPathSize>(title).c_str(), 0);
    if (page == nullptr) return;
    for (const RegistryListing& listing : run.steps.registry) WriteListing(run, listing, page);
    FinalizePage(page);
}
