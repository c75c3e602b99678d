// The maker's product lines and recovery tools: detection in the registry
// and one report section per product found.
#pragma once
#include "app/harvin_dlg.h"
#include "products/product_data.h"

// Applies the entry's detection rule (HKEY_LOCAL_MACHINE, 32-bit view; the
// 64-bit key where the entry has one and Windows is 64-bit). When the
// product is there: its folder, status text and navigation heading, then its
// collection procedure. True when the product was found.
bool DetectProductLine(const ProductLine& entry);

// The entries in order until a cancel is requested. A fallback entry runs
// only when the entry before it found nothing; an entry marked so runs only
// when its install folder differs from the next entry's.
void RunCatalogEntries(TableList<ProductLine> entries);

class CRecovery : public CHarvinDlg {
public:
    CRecovery();
    // Every recovery tool that is there, in catalog order; nothing when
    // disabled or when `cancelFlag` is set.
    void RunRecoveryCatalog(BYTE cancelFlag);

    LONG enabled;
};

class CNorvaneProducts : public CHarvinDlg {
public:
    // The "Norvane" group, the recovery catalog, then (unless cancelled) the
    // product catalog and the foot of NAVI.html.
    void RunProductCatalog(CRecovery& recovery);
};
