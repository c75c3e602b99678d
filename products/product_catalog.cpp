#include "products/product_catalog.h"

#include "app/app_state.h"
#include "report/page_writer.h"
#include "report/report_frame.h"

CRecovery::CRecovery() : enabled(1) {}

void CRecovery::RunRecoveryCatalog(BYTE cancelFlag)
{
    if (!enabled || cancelFlag) return;
    // The recovery tool rows arrive with the product collectors.
}

void CNorvaneProducts::RunProductCatalog(CRecovery& recovery)
{
    AddNaviGroupHeading("Norvane");
    recovery.RunRecoveryCatalog(CancelRequested);
    if (IsCancelRequested()) return;
    // The product rows arrive with the product collectors.
    FinishNaviFile();
}
