// A console program whose output the external-program tests capture.
//   crcrlf             writes "a\r\r\nb\r\r\n" to standard output
//   stderr             writes "err\r\n" to standard error
//   nothing            writes nothing
//   late <ms>          writes "a\r\r\n", waits, then writes "b\r\r\n"
//   touch <path>       creates the file <path>
//   (anything else)    writes "PLANTED HELPER RAN\r\n": the text a program
//                      planted under a system tool's name would leave
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

void Write(DWORD which, const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(which), text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    if (strcmp(mode, "crcrlf") == 0) {
        Write(STD_OUTPUT_HANDLE, "a\r\r\nb\r\r\n");
    } else if (strcmp(mode, "stderr") == 0) {
        Write(STD_ERROR_HANDLE, "err\r\n");
    } else if (strcmp(mode, "nothing") == 0) {
    } else if (strcmp(mode, "late") == 0 && argc > 2) {
        Write(STD_OUTPUT_HANDLE, "a\r\r\n");
        Sleep(static_cast<DWORD>(atoi(argv[2])));
        Write(STD_OUTPUT_HANDLE, "b\r\r\n");
    } else if (strcmp(mode, "touch") == 0 && argc > 2) {
        HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    } else {
        Write(STD_OUTPUT_HANDLE, "PLANTED HELPER RAN\r\n");
    }
    return 0;
}
