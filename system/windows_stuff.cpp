#include "system/windows_stuff.h"

CWindowsStuff::CWindowsStuff()
    : Extended(0), Autostart(0), Logging(0), Registry(0), Services(0), System(0), ConfigFiles(0)
{
}

void CWindowsStuff::SetSwitches(LONG extended, LONG autostart, LONG logging, LONG registry, LONG services,
                                LONG system, LONG configFiles)
{
    Extended = extended;
    Autostart = autostart;
    Logging = logging;
    Registry = registry;
    Services = services;
    System = system;
    ConfigFiles = configFiles;
}
