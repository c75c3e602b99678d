// Writes the system information page into the folder given as its argument
// (a Windows path), so tests can look at it under the Windows version that
// Wine reports to this program alone. Beside it, "version.txt" holds what
// GetVersionEx told this program: major minor build product-type service-pack-major
// service-pack-minor, then the
// service pack text on a line of its own.
#include "app/app_state.h"
#include "platform/bounded_text.h"
#include "system/windows_stuff.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: system_page_probe <folder>\n");
        return 2;
    }
    // Navigation lines of the page go to a NAVI.html beside it.
    if (!CopyText(OutputRoot, argv[1])) return 2;
    CWindowsStuff windows;
    windows.SetSwitches(0, 1, 1, 1, 1, 1, 1);
    windows.CollectSystemInformation(argv[1], "SystemInformations.html");

    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return 1;
    char factsPath[MAX_PATH];
    if (!JoinPath(factsPath, argv[1], "version.txt")) return 2;
    FILE* facts = fopen(factsPath, "wb");
    if (facts == nullptr) return 1;
    fprintf(facts, "%lu %lu %lu %u %u %u\n%s\n", static_cast<unsigned long>(info.dwMajorVersion),
            static_cast<unsigned long>(info.dwMinorVersion), static_cast<unsigned long>(info.dwBuildNumber),
            static_cast<unsigned>(info.wProductType), static_cast<unsigned>(info.wServicePackMajor),
            static_cast<unsigned>(info.wServicePackMinor), info.szCSDVersion);
    fclose(facts);
    return 0;
}
