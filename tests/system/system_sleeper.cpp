// Child program of the processes page tests: loads the DLL named by its first
// argument, signals the named event given as its second, then sleeps.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc > 1 && LoadLibraryA(argv[1]) == nullptr) return 3;
    if (argc > 2) {
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
        if (ready != nullptr) {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    Sleep(argc > 3 ? static_cast<DWORD>(strtoul(argv[3], nullptr, 10)) : 60000);
    return 0;
}
