// Stands in for a system tool in the test prefix: writes the recorded
// transcript beside it (its own path with ".txt" for ".exe") to standard
// output, byte for byte, whatever its arguments.
#include <windows.h>

#include <cstring>

int main()
{
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length < 4 || length >= sizeof path) return 2;
    strcpy(path + length - 4, ".txt");
    HANDLE transcript = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (transcript == INVALID_HANDLE_VALUE) return 3;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(transcript, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, got, &written, nullptr);
    }
    CloseHandle(transcript);
    return 0;
}
