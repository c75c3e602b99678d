// The collection procedure of a detected product line: the common skeleton
// fed with the line's step data (products/product_data.h).
#pragma once
#include "products/product_data.h"
#include "report/page_writer.h"

// One run of a procedure for a detected catalog entry.
struct LineRun {
    const char* key;           // the detection key as it was found (HKEY_LOCAL_MACHINE, 32-bit view)
    const char* lineFolder;    // the line's folder below the product base folder, made already
    const char* versionsPage;  // null: no versions page
    const char* registryPage;
    const char* displayName;   // as the start page shows it (plain text)
    const char* productName;   // the name in "Wardex <name> Registry" (plain text)
    const LineProcedure& steps;
    bool productLine = false;  // of the product catalog; a recovery tool otherwise
};

// Install folder, start page rows, versions page, copies, setup logs, marker
// check, plug-in export, settings lookup and registry page, in that order.
// Ends after the section start when the install folder cannot be had.
void RunCollectionProcedure(const LineRun& run);

// The registry label in the navigation and the registry page with the
// line's listings.
void WriteRegistryPage(const LineRun& run, const ProcedureTraits& traits);
// The desktop family's vendor keys, autostart values, services, drivers and
// event log sources (kFamilyRegistry).
void FamilyRegistryDump(Page page);
