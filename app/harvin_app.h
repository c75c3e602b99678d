// The application object: picks the language library, refuses a second
// instance and runs the main dialog.
#pragma once
#include "framework/framework.h"

class CHarvinApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
