// The collector of the Windows system pages. Constructed without a parent
// window and never shown; each page operation opens, writes and finishes its
// own page.
#pragma once
#include "app/harvin_dlg.h"

class CWindowsStuff : public CHarvinDlg {
public:
    CWindowsStuff();

    void SetSwitches(LONG extended, LONG autostart, LONG logging, LONG registry, LONG services, LONG system,
                     LONG configFiles);

    LONG Extended;
    LONG Autostart;
    LONG Logging;
    LONG Registry;
    LONG Services;
    LONG System;
    LONG ConfigFiles;
};
