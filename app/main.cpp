// Entry point of harvin.exe: runs the application object.
#include "app/harvin_app.h"

CHarvinApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    return RunApplication(instance, commandLine);
}
