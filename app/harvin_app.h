// The application object: picks the language library, refuses a second
// instance and runs the main dialog, or one unattended collection.
#pragma once
#include "app/command_line.h"
#include "framework/framework.h"

class CHarvinApp : public CWinApp {
public:
    BOOL InitInstance() override;
    // 0 for an interactive run; an unattended run's exit code.
    int ExitInstance() override;

private:
    // Everything after the language library has been loaded.
    void RunWithLibrary(const CommandLineOptions& options, bool validCommandLine);

    int m_exitCode = 0;
};
