// The maker's product lines and recovery tools: detection in the registry
// and one report section per product found.
#pragma once
#include "app/harvin_dlg.h"

class CRecovery : public CHarvinDlg {
public:
    CRecovery();
    void RunRecoveryCatalog(BYTE cancelFlag);

    LONG enabled;
};

class CNorvaneProducts : public CHarvinDlg {
public:
    // The "Norvane" group, the recovery catalog, then (unless cancelled) the
    // product catalog and the foot of NAVI.html.
    void RunProductCatalog(CRecovery& recovery);
};
