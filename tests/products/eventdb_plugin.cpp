// A product plug-in stand-in: command 1 writes a small event database into
// the file named by its argument and replies "SUCCESS".
#include <windows.h>

#include <cwchar>

namespace {

const char kEventDatabase[] = "HARVIN TEST EVENT DATABASE\r\n2 events\r\n";

bool WriteEventDatabase(const wchar_t* path)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, kEventDatabase, sizeof kEventDatabase - 1, &written, nullptr) &&
                    written == sizeof kEventDatabase - 1;
    return CloseHandle(file) && ok;
}

}  // namespace

extern "C" BOOL WINAPI execQZPluginCmdW(DWORD command, const wchar_t* argument, wchar_t* reply, DWORD capacity)
{
    const bool done = command == 1 && argument != nullptr && WriteEventDatabase(argument);
    if (reply != nullptr && capacity > 0) {
        wcsncpy(reply, done ? L"SUCCESS" : L"FAILED", capacity - 1);
        reply[capacity - 1] = L'\0';
    }
    return done ? TRUE : FALSE;
}
