// The "System Informations" page: operating system identity and edition,
// registration values, memory figures, boot mode and system metrics, screen
// saver state and the programs of the two Startup shell folders.
#include "system/windows_stuff.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "app/app_constants.h"
#include "app/app_state.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <cstdio>
#include <cstring>

namespace {

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char kNoInformation[] = "[no information available]";

// What the machine reports (version texts, registry values, paths, names)
// is text in the page, never markup.
using ValueText = HtmlText<kPathSize>;

constexpr int kMemoryFigureWidth = 15;
constexpr size_t kMemoryFigureSize = 259;
constexpr int kMaxPadding = 47;
constexpr DWORD kTempPathSize = 280;

using GetProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);

bool IsVersion6Workstation() { return IsWindows6Workstation32() || IsWindows6Workstation64(); }

struct EditionRow {
    DWORD productType;
    const char* text;
};

const EditionRow kEditions[] = {
    {0, "An unknown product"},
    {1, "Ultimate Edition"},
    {2, "Home Basic Edition"},
    {3, "Home Premium Edition"},
    {4, "Enterprise Edition"},
    {5, "Home Basic Edition"},
    {6, "Business Edition"},
    {7, "Server Standard Edition (full installation)"},
    {8, "Server Datacenter Edition (full installation)"},
    {9, "Small Business Server"},
    {10, "Server Enterprise Edition (full installation)"},
    {11, "Starter Edition"},
    {12, "Server Datacenter Edition (core installation)"},
    {13, "Server Standard Edition (core installation)"},
    {14, "Server Enterprise Edition (core installation)"},
    {15, "Server Enterprise Edition for Itanium-based Systems"},
    {16, "Business Edition"},
    {17, "Web Server Edition"},
    {18, "Cluster Server Edition"},
    {19, "Home Server Edition"},
    {20, "Storage Server Express Edition"},
    {21, "Storage Server Standard Edition"},
    {22, "Storage Server Workgroup Edition"},
    {23, "Storage Server Enterprise Edition"},
    {24, "Server for Small Business Edition"},
    {25, "Small Business Server Premium Edition"},
    {26, "Home Premium Edition"},
    {27, "Enterprise Edition"},
    {28, "Ultimate Edition"},
};

// The product type that GetProductInfo reports for this version; 0 when the
// function does not exist (before Windows Vista) or fails.
DWORD QueryProductType(DWORD major, DWORD minor, DWORD servicePackMajor, DWORD servicePackMinor)
{
    ScopedLibrary kernel(LoadLibraryA("kernel32.dll"));
    if (!kernel) return 0;
    auto getProductInfo = LookupProc<GetProductInfoFunction>(kernel.Get(), "GetProductInfo");
    if (getProductInfo == nullptr) return 0;
    DWORD productType = 0;
    if (!getProductInfo(major, minor, servicePackMajor, servicePackMinor, &productType)) return 0;
    return productType;
}

void WriteOperatingSystemBlock(CWindowsStuff& windows, Page page)
{
    char platform[kPathSize];
    char version[kPathSize];
    char enhanced[kPathSize];
    char registryVersion[kPathSize];
    DWORD productType = 0;
    windows.QueryOsTexts(platform, version, enhanced, registryVersion, &productType);

    if (IsVersion6Workstation()) {
        char edition[kPathSize];
        CWindowsStuff::EditionName(productType, edition, sizeof edition);
        AppendText(platform, " - ");
        AppendText(platform, edition);
    }
    if (enhanced[0] == '\0') CopyText(enhanced, "[No enhanced information available]");

    AppendToPage(page,
                 "\n<strong>\nOperating System\n</strong>\n<BR>\n<div style=\"margin-left: 40px;\">\n"
                 "Operating system platform --------------> %s<BR>\n"
                 "Operating system version ---------------> %s<BR>\n"
                 "Enhanced version information -----------> %s<BR>\n"
                 "Version information from registry ------> %s<BR>\n",
                 ValueText(platform).c_str(), ValueText(version).c_str(), ValueText(enhanced).c_str(),
                 ValueText(registryVersion).c_str());
}

// One registration value of the CurrentVersion key, in the 32-bit view.
void ReadRegistration(const char* name, char* value, size_t capacity)
{
    ReadStringValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, name, value, capacity, kNoInformation, RegistryView32);
}

void WriteRegistrationLines(Page page)
{
    char value[kPathSize];
    ReadRegistration("Plus! VersionNumber", value, sizeof value);
    AppendToPage(page, "Version number of Plus! packet ---------> %s<BR>\n", ValueText(value).c_str());
    ReadRegistration("RegisteredOwner", value, sizeof value);
    AppendToPage(page, "Registered user ------------------------> %s<BR>\n", ValueText(value).c_str());
    ReadRegistration("RegisteredOrganization", value, sizeof value);
    AppendToPage(page, "Registered organisation ----------------> %s<BR>\n", ValueText(value).c_str());
    ReadRegistration("ProductId", value, sizeof value);
    AppendToPage(page, "Product identification number ----------> %s<BR>\n", ValueText(value).c_str());
    ReadRegistration("SystemRoot", value, sizeof value);
    AppendToPage(page, "System root directory ------------------> %s</div><BR>\n<BR>\n", ValueText(value).c_str());
}

void WriteMemoryBlock(Page page)
{
    MEMORYSTATUSEX memory;
    memset(&memory, 0, sizeof memory);
    memory.dwLength = 64;
    GlobalMemoryStatusEx(&memory);

    char figure[kMemoryFigureSize];
    CWindowsStuff::FormatGroupedNumber(figure, sizeof figure, kMemoryFigureWidth, memory.ullTotalPhys);
    AppendToPage(page,
                 "\n<strong>\nMain Memory\n</strong>\n<BR>\n<div style=\"margin-left: 40px;\">"
                 "Physical main memory -------------------> %s Byte <BR>\n",
                 figure);
    CWindowsStuff::FormatGroupedNumber(figure, sizeof figure, kMemoryFigureWidth, memory.ullAvailPhys);
    AppendToPage(page, "Free physical main memory --------------> %s Byte<BR>\n", figure);
    CWindowsStuff::FormatGroupedNumber(figure, sizeof figure, kMemoryFigureWidth, memory.ullTotalPageFile);
    AppendToPage(page, "Size of swap file ----------------------> %s Byte<BR>\n", figure);
    CWindowsStuff::FormatGroupedNumber(figure, sizeof figure, kMemoryFigureWidth, memory.ullAvailPageFile);
    AppendToPage(page, "Free memory in swap file ---------------> %s Byte<BR>\n", figure);
    CWindowsStuff::FormatGroupedNumber(figure, sizeof figure, kMemoryFigureWidth, memory.ullTotalVirtual);
    AppendToPage(page, "Virtual memory size --------------------> %s Byte<BR>\n", figure);
    CWindowsStuff::FormatGroupedNumber(figure, sizeof figure, kMemoryFigureWidth, memory.ullAvailVirtual);
    AppendToPage(page, "Available virtual memory size ----------> %s Byte<BR>\n", figure);

    if (memory.dwMemoryLoad != 0) {
        AppendToPage(page, "Used main memory -----------------------> %d &#037</div><BR>\n<BR>\n",
                     static_cast<int>(memory.dwMemoryLoad));
    } else {
        AppendToPage(page, "Currently used main memory -------------> [unknown]</div><BR>\n<BR>\n");
    }
}

// 0 or 1 for a system metric that is a yes/no answer.
int MetricFlag(int index) { return GetSystemMetrics(index) != 0 ? 1 : 0; }

void WriteMiscellaneousBlock(Page page)
{
    char tempPath[kTempPathSize];
    DWORD length = GetTempPathA(kTempPathSize, tempPath);
    // A length of the buffer or more means the path did not fit and nothing was written.
    if (length == 0 || length >= kTempPathSize) CopyText(tempPath, "[unknown]");
    AppendToPage(page,
                 "\n<strong>\nMiscellaneous\n</strong>\n<BR>\n<div style=\"margin-left: 40px;\">"
                 "Windows path for temporary files -------------> %s<BR>\n",
                 HtmlText<kTempPathSize>(tempPath).c_str());

    char computerName[16];
    DWORD nameSize = sizeof computerName;
    if (!GetComputerNameA(computerName, &nameSize)) CopyText(computerName, "[unknown]");
    AppendToPage(page, "Computer name --------------------------------> %s<BR>\n",
                 HtmlText<sizeof computerName>(computerName).c_str());

    char bootMode[64];
    int clean = GetSystemMetrics(SM_CLEANBOOT);
    switch (clean) {
    case 0: CopyText(bootMode, "Standard boot"); break;
    case 1: CopyText(bootMode, "Fail safe boot without network"); break;
    case 2: CopyText(bootMode, "Fail safe boot with network"); break;
    default: FormatText(bootMode, "unknown (ID: %d)", clean); break;
    }
    AppendToPage(page,
                 "Last system startup --------------------------> %s<BR>\n"
                 "Double-byte character of USER.EXE ------------> %d<BR>\n"
                 "Debug version of USER.EXE --------------------> %d<BR>\n"
                 "Mouse installed ------------------------------> %d<BR>\n"
                 "Network installed ----------------------------> %d<BR>\n"
                 "Security option available --- ----------------> %d<BR>\n"
                 "Slow system ----------------------------------> %d<BR>\n",
                 bootMode, MetricFlag(SM_DBCSENABLED), MetricFlag(SM_DEBUG), MetricFlag(SM_MOUSEPRESENT),
                 GetSystemMetrics(SM_NETWORK) & 1, MetricFlag(SM_SECURE), MetricFlag(SM_SLOWMACHINE));

    char screenSaver[16];
    BOOL active = FALSE;
    if (SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) {
        FormatText(screenSaver, "%d", active ? 1 : 0);
    } else {
        CopyText(screenSaver, "unknown");
    }
    AppendToPage(page,
                 "Screen saver enabled -------------------------> %s<BR>\n"
                 "Programs in Menu \"Start->Program->Startup\"----><BR>\n",
                 screenSaver);
}

bool EndsWithLinkExtension(const char* name)
{
    size_t length = strlen(name);
    return length > 4 && _stricmp(name + length - 4, ".lnk") == 0;
}

}  // namespace

void CWindowsStuff::CollectSystemInformation(const char* folder, const char* fileName)
{
    if (System == 0) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_SYSTEM_INFO, "System Informations",
                                 "System Informations", 1);
    if (page == nullptr) return;
    WriteSystemInformation(page);
    FinalizePage(page);
}

void CWindowsStuff::WriteSystemInformation(Page page)
{
    WriteOperatingSystemBlock(*this, page);
    WriteRegistrationLines(page);
    WriteMemoryBlock(page);
    WriteMiscellaneousBlock(page);
    ListStartupFolder(page, HKEY_LOCAL_MACHINE, "Common Startup");
    ListStartupFolder(page, HKEY_CURRENT_USER, "Startup");
    // The block stays open: the page foot follows.
}

namespace {

// Windows Server releases by build, for a ProductName that names none or an
// older one.
struct ServerRelease {
    unsigned long build;
    const char* year;
};
const ServerRelease kServerReleases[] = {{14393, "2016"}, {17763, "2019"}, {20348, "2022"}, {26100, "2025"}};
constexpr unsigned long kFirstWindows11Build = 22000;

bool StartsWith(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

// ProductName corrected where it lags behind the build: "Windows 10" on
// Windows 11, a server name without its release year or with an older one.
void CorrectedProductName(const RegistryVersionValues& values, char (&name)[128])
{
    CopyText(name, values.productName);
    unsigned long build = strtoul(values.currentBuild, nullptr, 10);
    bool server = StartsWith(values.installationType, "Server") || StartsWith(values.productName, "Windows Server");
    if (!server && build >= kFirstWindows11Build && StartsWith(name, "Windows 10")) {
        FormatText(name, "Windows 11%s", values.productName + strlen("Windows 10"));
        return;
    }
    if (!server || !StartsWith(name, "Windows Server")) return;
    for (const ServerRelease& release : kServerReleases) {
        if (release.build != build || strstr(name, release.year) != nullptr) continue;
        const char* rest = values.productName + strlen("Windows Server");
        // Drop a year the name may carry: " 2019 Datacenter" -> " Datacenter".
        if (rest[0] == ' ' && isdigit(static_cast<unsigned char>(rest[1])) && strlen(rest) >= 5) rest += 5;
        FormatText(name, "Windows Server %s%s", release.year, rest);
    }
}

}  // namespace

bool CWindowsStuff::DescribeRegistryVersion(const RegistryVersionValues& values, char* text, size_t capacity)
{
    bool more = values.displayVersion[0] != '\0' || values.releaseId[0] != '\0' || values.hasUbr ||
                values.editionId[0] != '\0' || values.installationType[0] != '\0';
    if (text == nullptr || capacity == 0 || values.productName[0] == '\0' || values.currentBuild[0] == '\0' ||
        !more) {
        return false;
    }
    char name[128];
    CorrectedProductName(values, name);
    const char* release = values.displayVersion[0] != '\0' ? values.displayVersion : values.releaseId;
    CopyText(text, capacity, name);
    if (release[0] != '\0') AppendFormat(text, capacity, " %s", release);
    AppendFormat(text, capacity, " (build %s", values.currentBuild);
    if (values.hasUbr) AppendFormat(text, capacity, ".%lu", static_cast<unsigned long>(values.ubr));
    if (values.editionId[0] != '\0') AppendFormat(text, capacity, ", %s", values.editionId);
    if (values.installationType[0] != '\0') AppendFormat(text, capacity, ", %s", values.installationType);
    AppendText(text, capacity, ")");
    return true;
}

void CWindowsStuff::ReadRegistryVersionValues(RegistryVersionValues* values)
{
    memset(values, 0, sizeof *values);
    // The native view: the 32-bit view of 64-bit Windows may lack them.
    struct Text {
        const char* name;
        char* out;
        size_t capacity;
    } texts[] = {
        {"ProductName", values->productName, sizeof values->productName},
        {"DisplayVersion", values->displayVersion, sizeof values->displayVersion},
        {"ReleaseId", values->releaseId, sizeof values->releaseId},
        {"CurrentBuild", values->currentBuild, sizeof values->currentBuild},
        {"EditionID", values->editionId, sizeof values->editionId},
        {"InstallationType", values->installationType, sizeof values->installationType},
    };
    for (const Text& t : texts) {
        ReadStringValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, t.name, t.out, t.capacity, "", RegistryView64);
    }
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_READ | RegistryView64, key.Receive()) !=
        ERROR_SUCCESS) {
        return;
    }
    DWORD type = 0;
    DWORD size = sizeof values->ubr;
    values->hasUbr = RegQueryValueExA(key.Get(), "UBR", nullptr, &type, reinterpret_cast<BYTE*>(&values->ubr),
                                      &size) == ERROR_SUCCESS &&
                     type == REG_DWORD && size == sizeof values->ubr;
    if (!values->hasUbr) values->ubr = 0;
}

bool CWindowsStuff::QueryOsTexts(char* platform, char* version, char* enhanced, char* registryVersion,
                                 DWORD* productType)
{
    wchar_t fullText[kPathSize];
    wchar_t nameText[kPathSize];
    wchar_t detailText[kPathSize];
    wchar_t servicePack[kPathSize];
    GetWindowsVersionName(fullText, kPathSize, nameText, kPathSize, detailText, kPathSize);
    GetServicePackText(servicePack, kPathSize);
    WideToAnsiText(nameText, platform, kPathSize);
    WideToAnsiText(detailText, version, kPathSize);
    WideToAnsiText(servicePack, enhanced, kPathSize);
    // What current Windows keeps in the registry names it best; where those
    // values are missing the full version text stands in: name, service
    // pack and version numbers.
    RegistryVersionValues registryValues;
    ReadRegistryVersionValues(&registryValues);
    if (!DescribeRegistryVersion(registryValues, registryVersion, kPathSize)) {
        WideToAnsiText(fullText, registryVersion, kPathSize);
    }
    if (productType != nullptr) *productType = 0;

    OSVERSIONINFOEXA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
        memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return false;
    }

    if (productType != nullptr && IsVersion6Workstation()) {
        *productType = QueryProductType(info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor,
                                        info.wServicePackMinor);
    }
    return true;
}

void CWindowsStuff::EditionName(DWORD productType, char* text, size_t capacity)
{
    if (text == nullptr || capacity == 0) return;
    text[0] = '\0';
    for (const EditionRow& row : kEditions) {
        if (row.productType == productType) {
            CopyText(text, capacity, row.text);
            return;
        }
    }
}

void CWindowsStuff::FormatGroupedNumber(char* out, size_t outSize, int width, unsigned long long value)
{
    if (out == nullptr || outSize == 0) return;
    char digits[32];
    FormatText(digits, "%llu", value);
    const size_t digitCount = strlen(digits);

    // 20 digits get 6 separators at most.
    char grouped[40];
    size_t used = 0;
    for (size_t i = 0; i < digitCount; ++i) {
        grouped[used++] = digits[i];
        const size_t remaining = digitCount - 1 - i;
        if (digitCount >= 4 && remaining > 0 && remaining % 3 == 0) grouped[used++] = '.';
    }
    grouped[used] = '\0';

    out[0] = '\0';
    const int padding = width - static_cast<int>(used);
    if (padding >= 1 && padding <= kMaxPadding) {
        char pad[kMaxPadding + 1];
        memset(pad, 0xA0, static_cast<size_t>(padding));
        pad[padding] = '\0';
        CopyText(out, outSize, pad);
    }
    AppendText(out, outSize, grouped);
}

void CWindowsStuff::ListStartupFolder(Page page, HKEY hive, const char* valueName)
{
    char folder[kPathSize];
    ReadStartupFolderPath(hive, valueName, folder);
    // No folder text, no listing: an empty text would otherwise name the
    // current folder, or with the backslash the root of the current drive.
    if (folder[0] == '\0') return;
    if (!EnsureTrailingBackslash(folder)) return;
    char pattern[kPathSize];
    // A cut pattern would list some other folder.
    if (!CopyText(pattern, folder) || !AppendText(pattern, "*.*")) return;

    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(pattern, &found));
    if (!search) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        char name[kPathSize];
        CopyText(name, found.cFileName);
        TrimTrailingBlanks(name);
        char fullPath[kPathSize];
        if (!CopyText(fullPath, folder) || !AppendText(fullPath, name)) continue;

        char shown[kPathSize];
        CopyText(shown, fullPath);
        if (EndsWithLinkExtension(name)) {
            char target[MAX_PATH];
            char description[MAX_PATH];
            ResolveShortcut(nullptr, fullPath, target, description);
            // A link that cannot be resolved still starts something (or
            // tries to) at every logon: it is listed under its own path.
            if (target[0] != '\0') CopyText(shown, target);
        }
        if (shown[0] != '\0') AppendToPage(page, "&nbsp;&nbsp;&nbsp;%s<BR>\n", ValueText(shown).c_str());
    } while (!IsCancelRequested() && FindNextFileA(search.Get(), &found));
}
