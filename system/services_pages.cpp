// Services and drivers: the service list, the driver services with type and
// state, the version data of every driver image, and the search for the
// system information tool.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/file_info.h"
#include "info/signature_lines.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"
#include "platform/windows_version_model.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle NullHandle() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CloseServiceHandle(h); }
};
using ScopedServiceHandle = ScopedHandle<ServiceHandleTraits>;

const char kServiceListCaption[] = "Services List";
const char kDriversCaption[] = "Installed Drivers";
const char kDriverFilesCaption[] = "Windows NT Driver";
const char kServicesKey[] = "System\\CurrentControlSet\\Services";
const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// The system information tool as it has always been started for this report.
constexpr DWORD kMsinfoCreationFlags = 0x08002000;

// Driver services of every kind, active and inactive.
constexpr DWORD kDriverServiceTypes = 0x0B;
constexpr DWORD kAllServiceStates = 3;
// Room added to every size the enumeration asks for.
constexpr DWORD kEnumerationSpare = 16;
// Services may come while the list is read; each round picks up from the
// resume point with the size last reported, a few times at most.
constexpr int kEnumerationRounds = 8;
constexpr DWORD kEnumerationLimit = 16 * 1024 * 1024;
// A services key never lists more subkeys than this.
constexpr DWORD kMaxServiceKeys = 100000;

// Service and driver names have at most 256 characters, two bytes each in a
// double-byte code page.
constexpr size_t kServiceNameSize = 2 * 256 + 1;
// Image paths up to this size are read; no longer one names a file the
// ANSI functions can open.
constexpr size_t kImagePathSize = 4 * kPathSize;

const char* DriverTypeLine(DWORD type)
{
    switch (type) {
    case SERVICE_KERNEL_DRIVER: return "\tService Type \t : Kernel Driver  \n";
    case SERVICE_FILE_SYSTEM_DRIVER: return "\tService Type \t : File System Driver  \n";
    case SERVICE_WIN32_OWN_PROCESS: return "\tService Type \t : Own Process  \n";
    case SERVICE_WIN32_SHARE_PROCESS: return "\tService Type \t : Shared Process  \n";
    case SERVICE_INTERACTIVE_PROCESS: return "\tService Type \t : Interactive Process  \n";
    default: return "";
    }
}

const char* ServiceStateLine(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED: return "\tCurrent State \t : Stopped  \n";
    case SERVICE_START_PENDING: return "\tCurrent State \t : Start pending  \n";
    case SERVICE_STOP_PENDING: return "\tCurrent State \t : Stop pending  \n";
    case SERVICE_RUNNING: return "\tCurrent State \t : Running  \n";
    case SERVICE_CONTINUE_PENDING: return "\tCurrent State \t : Continue is pending  \n";
    case SERVICE_PAUSE_PENDING: return "\tCurrent State \t : Pause is pending  \n";
    case SERVICE_PAUSED: return "\tCurrent State \t : Paused  \n";
    default: return "";
    }
}

void WriteDriverServiceEntry(Page page, unsigned long number, const ENUM_SERVICE_STATUS_PROCESSA& service)
{
    const char* displayName = service.lpDisplayName != nullptr ? service.lpDisplayName : "";
    const char* serviceName = service.lpServiceName != nullptr ? service.lpServiceName : "";
    AppendToPage(page, "<PRE>%lu:\tDisplay Name \t : %s \n\tService Name \t : %s \n", number,
                 HtmlText<kServiceNameSize>(displayName).c_str(), HtmlText<kServiceNameSize>(serviceName).c_str());
    AppendLiteral(page, DriverTypeLine(service.ServiceStatusProcess.dwServiceType));
    AppendLiteral(page, ServiceStateLine(service.ServiceStatusProcess.dwCurrentState));
    AppendLiteral(page, "<br></PRE>");
}

// Every driver service, numbered from 1. A list that grew between the size
// query and the read goes on from where the read stopped.
void WriteDriverServices(Page page, SC_HANDLE manager, EnumServicesFunction enumerate)
{
    DWORD needed = 0;
    DWORD returned = 0;
    DWORD resume = 0;
    if (enumerate(manager, SC_ENUM_PROCESS_INFO, kDriverServiceTypes, kAllServiceStates, nullptr, 0, &needed,
                  &returned, &resume, nullptr)) {
        return;  // no driver at all
    }
    if (GetLastError() != ERROR_MORE_DATA) return;

    std::vector<BYTE> buffer;
    unsigned long number = 0;
    resume = 0;
    for (int round = 0; round < kEnumerationRounds && !IsCancelRequested(); ++round) {
        if (needed == 0 || needed > kEnumerationLimit) return;
        // Whole records: the strings behind them are read through their pointers.
        buffer.assign(needed + kEnumerationSpare, 0);
        returned = 0;
        const BOOL complete = enumerate(manager, SC_ENUM_PROCESS_INFO, kDriverServiceTypes, kAllServiceStates,
                                        buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned, &resume,
                                        nullptr);
        const DWORD error = complete ? ERROR_SUCCESS : GetLastError();
        if (!complete && error != ERROR_MORE_DATA) return;
        const DWORD fits = static_cast<DWORD>(buffer.size() / sizeof(ENUM_SERVICE_STATUS_PROCESSA));
        if (returned > fits) returned = fits;
        const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
        for (DWORD i = 0; i < returned && !IsCancelRequested(); ++i) {
            WriteDriverServiceEntry(page, ++number, services[i]);
        }
        if (complete) return;
    }
}

REGSAM ViewAccess(REGSAM access, DWORD view) { return IsWindows64Bit() ? access | view : access; }

// The system root with a trailing backslash. When the registry cannot tell,
// the running system's Windows folder (the same folder) stands in; empty
// only when neither is known.
void ReadSystemRoot(char (&root)[kPathSize])
{
    if (ReadValueOrWarn(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "SystemRoot", root, sizeof root, RegistryView32) !=
            ERROR_SUCCESS ||
        root[0] == '\0') {
        UINT length = GetSystemWindowsDirectoryA(root, sizeof root);
        if (length == 0 || length >= sizeof root) root[0] = '\0';
    }
    TrimTrailingBlanks(root);
    if (!EnsureTrailingBackslash(root)) root[0] = '\0';
}

const char* FindNoCase(const char* text, const char* token)
{
    const size_t length = strlen(token);
    for (const char* at = text; *at != '\0'; ++at) {
        if (_strnicmp(at, token, length) == 0) return at;
    }
    return nullptr;
}

bool HasDrive(const char* path)
{
    const char letter = static_cast<char>(path[0] | 0x20);
    return letter >= 'a' && letter <= 'z' && path[1] == ':';
}

// `before` (its first `beforeLength` bytes), the root, then `after` with
// exactly one backslash between root and `after`. False when it does not fit.
bool JoinBelowRoot(const char* before, size_t beforeLength, const char* root, const char* after, char* out,
                   size_t capacity)
{
    std::string path(before, beforeLength);
    path += root;
    while (*after == '\\') ++after;
    if (!path.empty() && path.back() != '\\' && *after != '\0') path += '\\';
    path += after;
    if (CopyText(out, capacity, path.c_str())) return true;
    out[0] = '\0';
    return false;
}

// The entry of a driver whose image path names no file that can be looked
// up: its text as read, with no file data.
void WriteUnresolvedDriverEntry(Page page, const char* imagePath)
{
    AppendToPage(page, "<strong>%s</strong>\n<div style=\"margin-left: 40px;\">\n</div><BR>\n",
                 HtmlText<kImagePathSize>(imagePath).c_str());
}

// The entry of one services subkey, when it is a kernel or file system driver.
void WriteDriverFileEntry(Page page, HKEY services, const char* name, const char* systemRoot, DWORD view)
{
    ScopedRegKey key;
    if (RegOpenKeyExA(services, name, 0, ViewAccess(KEY_READ, view), key.Receive()) != ERROR_SUCCESS) return;
    DWORD type = 0;
    DWORD valueType = REG_NONE;
    DWORD length = sizeof type;
    if (RegQueryValueExA(key.Get(), "Type", nullptr, &valueType, reinterpret_cast<BYTE*>(&type), &length) !=
            ERROR_SUCCESS ||
        valueType != REG_DWORD || length != sizeof type) {
        return;
    }
    if (type != SERVICE_KERNEL_DRIVER && type != SERVICE_FILE_SYSTEM_DRIVER) return;
    key.Close();

    char keyPath[sizeof kServicesKey + kPathSize + 1];
    char imagePath[kImagePathSize] = "";
    if (JoinPath(keyPath, kServicesKey, name)) {
        ReadStringValue(HKEY_LOCAL_MACHINE, keyPath, "ImagePath", imagePath, sizeof imagePath, "", view);
    }
    // Without an ImagePath the system loads the driver of the service's
    // name from the drivers folder.
    if (imagePath[0] == '\0' && !FormatText(imagePath, "System32\\drivers\\%s.sys", name)) return;

    char path[kImagePathSize];
    if (!CWindowsStuff::ResolveDriverImagePath(imagePath, systemRoot, path, sizeof path)) {
        WriteUnresolvedDriverEntry(page, imagePath);
        return;
    }
    FileEntryRequest request;
    request.path = path;
    request.page = page;
    request.withSize = true;
    request.withVersion = true;
    WriteFileEntry(request);
}

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

bool CWindowsStuff::ServiceListFromMsinfo(const VersionFacts& facts)
{
    return (ComputeVersionCode(facts) & ~VersionCodeServer) == VersionCode2000;
}

bool CWindowsStuff::PlanServiceList(const VersionFacts& facts, const char* msinfoPath, const char* folder,
                                    const char* fileName, ToolRun* run)
{
    if (run == nullptr) return false;
    run->commandLine[0] = '\0';
    if (!ServiceListFromMsinfo(facts)) {
        run->captured = true;
        run->inheritHandles = true;
        run->creationFlags = CREATE_NO_WINDOW;
        return CopyText(run->commandLine, "sc.exe queryex");
    }
    run->captured = false;
    run->inheritHandles = false;
    run->creationFlags = kMsinfoCreationFlags;
    if (msinfoPath == nullptr || msinfoPath[0] == '\0' || folder == nullptr || fileName == nullptr) return false;
    char reportPath[kPathSize];
    if (!JoinPath(reportPath, folder, fileName) ||
        !FormatText(run->commandLine, "\"%s\" /categories +SWEnvServices /report \"%s\"", msinfoPath, reportPath)) {
        run->commandLine[0] = '\0';
        return false;
    }
    return true;
}

void CWindowsStuff::CollectServiceList(const char* folder, const char* fileName)
{
    if (Services == 0) return;
    AnnounceStatus(IDS_STATUS_SERVICE_LIST);
    VersionFacts facts;
    GatherVersionFacts(&facts);
    char tool[kPathSize] = "";
    if (ServiceListFromMsinfo(facts) && LocateMsinfo32(tool, sizeof tool) != 0) return;
    ToolRun run;
    if (!PlanServiceList(facts, tool, folder, fileName, &run)) return;
    RunCommandToFile(folder, run.captured ? fileName : nullptr, kServiceListCaption, nullptr, run.commandLine,
                     kProgramWaitMs, run.inheritHandles, run.creationFlags, 0);
    if (run.captured) return;
    // The tool writes the report itself: its link is added here.
    char reportPath[kPathSize];
    if (!JoinPath(reportPath, folder, fileName)) return;
    char escaped[2 * kPathSize];
    EscapePercent(reportPath, escaped, sizeof escaped);
    AddNaviLink(kServiceListCaption, escaped, nullptr);
}

void CWindowsStuff::CollectDriverServices(const char* folder, const char* fileName, EnumServicesFunction enumerate)
{
    if (IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_DRIVER_SERVICES, kDriversCaption, kDriversCaption, 1);
    if (page == nullptr) return;
    ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (manager) WriteDriverServices(page, manager.Get(), enumerate != nullptr ? enumerate : EnumServicesStatusExA);
    FinalizePage(page);
}

void CWindowsStuff::CollectDriverFiles(const char* folder, const char* fileName)
{
    if (System == 0) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_DRIVER_FILES, kDriverFilesCaption, kDriverFilesCaption, 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    WriteDriverFileEntries(page, RegistryView32);
    FinalizePage(page);
}

void CWindowsStuff::WriteDriverFileEntries(Page page, DWORD view)
{
    FsRedirectionOff redirection;
    ScopedRegKey services;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, ViewAccess(KEY_READ, view), services.Receive()) !=
        ERROR_SUCCESS) {
        return;
    }
    char systemRoot[kPathSize];
    ReadSystemRoot(systemRoot);

    char name[kPathSize + 1];
    for (DWORD index = 0; index < kMaxServiceKeys && !IsCancelRequested(); ++index) {
        DWORD length = sizeof name;
        LONG status = RegEnumKeyExA(services.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // no service has such a name; the next one may
        if (status != ERROR_SUCCESS) break;
        WriteDriverFileEntry(page, services.Get(), name, systemRoot, view);
    }
}

bool CWindowsStuff::ResolveDriverImagePath(const char* imagePath, const char* systemRoot, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (imagePath == nullptr) return false;
    if (systemRoot == nullptr) systemRoot = "";

    // A quoted path is the text between its quotes.
    std::string text = imagePath;
    const size_t first = text.find_first_not_of(' ');
    text.erase(0, first == std::string::npos ? text.size() : first);
    if (!text.empty() && text[0] == '"') {
        const size_t closing = text.find('"', 1);
        text = text.substr(1, closing == std::string::npos ? std::string::npos : closing - 1);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.empty()) return false;

    const char* rest = text.c_str();
    if (strncmp(rest, "\\??\\", 4) == 0) {
        rest += 4;
    } else if (rest[0] == '\\' && rest[1] != '\\') {
        rest += 1;  // "\SystemRoot\..." and other rooted names; a network path keeps both
    }

    const bool haveRoot = systemRoot[0] != '\0';
    if (const char* token = FindNoCase(rest, "%SystemRoot%")) {
        return haveRoot && JoinBelowRoot(rest, static_cast<size_t>(token - rest), systemRoot,
                                          token + strlen("%SystemRoot%"), out, capacity);
    }
    if (_strnicmp(rest, "SystemRoot\\", 11) == 0) {
        return haveRoot && JoinBelowRoot("", 0, systemRoot, rest + 11, out, capacity);
    }
    if (HasDrive(rest) || (rest[0] == '\\' && rest[1] == '\\')) {
        if (CopyText(out, capacity, rest)) return true;
        out[0] = '\0';
        return false;
    }
    return haveRoot && JoinBelowRoot("", 0, systemRoot, rest, out, capacity);
}


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
