// Stands in for the system information tool in the test prefix: writes a
// short report to the file named after "/report", then stays running while
// a file named "hold" lies beside it, so a test decides when the run that
// waits for it may go on. Gives up holding after five minutes.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The quoted or bare word after "/report".
std::string ReportPath(const char* commandLine)
{
    const char* at = strstr(commandLine, "/report");
    if (at == nullptr) return "";
    at += strlen("/report");
    while (*at == ' ') ++at;
    const char* end = nullptr;
    if (*at == '"') {
        ++at;
        end = strchr(at, '"');
    } else {
        end = strchr(at, ' ');
    }
    return end != nullptr ? std::string(at, end) : std::string(at);
}

std::string OwnFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    char* slash = strrchr(path, '\\');
    if (slash != nullptr) slash[1] = '\0';
    return path;
}

}  // namespace

int main()
{
    std::string report = ReportPath(GetCommandLineA());
    if (!report.empty()) {
        FILE* file = fopen(report.c_str(), "wb");
        if (file != nullptr) {
            fputs("System information report (stand-in)\r\n", file);
            fclose(file);
        }
    }
    std::string hold = OwnFolder() + "hold";
    for (DWORD start = GetTickCount();
         GetFileAttributesA(hold.c_str()) != INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 300000;) {
        Sleep(50);
    }
    return 0;
}
