// Child of the markup run: a program whose version texts hold markup, started
// from a path that holds "&". Signals the named event given as its first
// argument, then sleeps until it is ended.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc > 1) {
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
        if (ready != nullptr) {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    Sleep(120000);
    return 0;
}
