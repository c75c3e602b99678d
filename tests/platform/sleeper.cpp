// Child program of the platform tests: signals the named event given as its
// second argument, then sleeps the milliseconds given as its first.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    DWORD sleepMs = argc > 1 ? static_cast<DWORD>(wcstoul(argv[1], nullptr, 10)) : 60000;
    if (argc > 2) {
        HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
        if (ready != nullptr) {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    Sleep(sleepMs);
    return 0;
}
