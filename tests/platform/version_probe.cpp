// Prints the live version texts, one per line (UTF-8): the detail text, the
// name text and the service pack text. The host-side check compares them
// with what reg.exe reads from the registry.
#include "platform/windows_version.h"

#include <cstdio>

namespace {

void PrintLine(const wchar_t* text)
{
    char utf8[512];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr) == 0) utf8[0] = '\0';
    printf("%s\n", utf8);
}

}  // namespace

int main()
{
    wchar_t full[256], name[128], detail[256], servicePack[128];
    GetWindowsVersionName(full, 256, name, 128, detail, 256);
    GetServicePackText(servicePack, 128);
    PrintLine(detail);
    PrintLine(name);
    PrintLine(servicePack);
    return 0;
}
