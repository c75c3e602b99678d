// Services and drivers: the search for the system information tool.
#include "system/windows_stuff.h"

#include "info/registry.h"
#include "platform/bounded_text.h"

namespace {

bool IsExistingFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// "Path" of an App Paths key, followed by the tool's name.
bool AppPathCandidate(const char* key, char (&candidate)[kPathSize])
{
    char folder[kPathSize];
    if (!ReadStringValue(HKEY_LOCAL_MACHINE, key, "Path", folder, sizeof folder, "", RegistryView32)) return false;
    return CopyText(candidate, folder) && AppendText(candidate, "\\msinfo32.exe");
}

}  // namespace

int CWindowsStuff::LocateMsinfo32(char* path, size_t capacity)
{
    if (path == nullptr || capacity == 0) return -1;
    path[0] = '\0';
    char windows[kPathSize] = "";
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    char drive[3] = "";
    if (length >= 2 && length < sizeof windows && windows[1] == ':') {
        drive[0] = windows[0];
        drive[1] = ':';
    }

    static const char* const kSharedFolders[] = {
        "\\programme\\gemeinsame dateien\\microsoft shared\\msinfo\\msinfo32.exe",
        "\\program files\\common files\\microsoft shared\\msinfo\\msinfo32.exe",
    };
    char candidate[kPathSize];
    for (const char* folder : kSharedFolders) {
        if (drive[0] != '\0' && CopyText(candidate, drive) && AppendText(candidate, folder) &&
            IsExistingFile(candidate)) {
            return CopyText(path, capacity, candidate) ? 0 : (path[0] = '\0', -1);
        }
    }
    bool found =
        (AppPathCandidate("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msinfo32.exe", candidate) &&
         IsExistingFile(candidate)) ||
        (AppPathCandidate("SOFTWARE\\WOW6432NODE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msinfo32.exe",
                          candidate) &&
         IsExistingFile(candidate)) ||
        (ReadStringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSInfo", "Path", candidate,
                         sizeof candidate, "", RegistryView32) &&
         IsExistingFile(candidate));
    // A cut path would name some other program: it is not used.
    if (!found || !CopyText(path, capacity, candidate)) {
        path[0] = '\0';
        return -1;
    }
    return 0;
}
