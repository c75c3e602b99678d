// A product plug-in stand-in: its command entry point answers according to
// the argument text, and it remembers the current folder at load time.
#include <windows.h>

#include <cwchar>

namespace {
wchar_t loadFolder[MAX_PATH];
DWORD lastCommand;
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DWORD n = GetCurrentDirectoryW(MAX_PATH, loadFolder);
        if (n == 0 || n >= MAX_PATH) loadFolder[0] = L'\0';
    }
    return TRUE;
}

// "ok" -> "SUCCESS"; "lower" -> "success"; "silent" -> no reply;
// "refuse" -> "SUCCESS" but a zero result; anything else -> "FAILED".
extern "C" BOOL WINAPI execQZPluginCmdW(DWORD command, const wchar_t* argument, wchar_t* reply, DWORD capacity)
{
    lastCommand = command;
    const wchar_t* text = L"FAILED";
    BOOL result = TRUE;
    if (argument == nullptr) argument = L"";
    if (wcscmp(argument, L"ok") == 0) text = L"SUCCESS";
    else if (wcscmp(argument, L"lower") == 0) text = L"success";
    else if (wcscmp(argument, L"silent") == 0) return TRUE;
    else if (wcscmp(argument, L"refuse") == 0) {
        text = L"SUCCESS";
        result = FALSE;
    }
    if (reply != nullptr && capacity > 0) {
        wcsncpy(reply, text, capacity - 1);
        reply[capacity - 1] = L'\0';
    }
    return result;
}

extern "C" const wchar_t* WINAPI TestPluginLoadFolder() { return loadFolder; }
extern "C" DWORD WINAPI TestPluginLastCommand() { return lastCommand; }
