// The checks that look at the machine itself: the free space of the system
// drive, recent crash dumps, a pending restart, and the layered providers of
// the provider list the run captured.
#include "app/finding_checks.h"

#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace finding_checks {
namespace {

constexpr ULONGLONG kGiB = 1024ULL * 1024 * 1024;
constexpr ULONGLONG kLeastFreeBytes = 2 * kGiB;  // and at least a tenth of the drive
constexpr long long kCrashDumpDays = 30;
constexpr unsigned long long kTicksPerDay = 864000000000ULL;
constexpr int kMostDumpsListed = 10000;
constexpr size_t kLargestProviderList = 4 * 1024 * 1024;
const char kDrWatsonKey[] = "SOFTWARE\\Microsoft\\DrWatson";
const char kDefaultUserDump[] =
    "C:\\Documents and Settings\\All Users\\Application Data\\Microsoft\\Dr Watson\\user.dmp";
const char kProviderList[] = "LOGs\\lsplist.txt";

std::string LocalTimeText(const FILETIME& utc)
{
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) return "?";
    char text[32];
    FormatText(text, "%02u.%02u.%04u, %02u:%02u:%02u", time.wDay, time.wMonth, time.wYear, time.wHour, time.wMinute,
               time.wSecond);
    return text;
}

// ---- disk-space ------------------------------------------------------------------

std::string GigabyteText(ULONGLONG bytes)
{
    char text[32];
    FormatText(text, "%.1f GB", static_cast<double>(bytes) / static_cast<double>(kGiB));
    return text;
}

// ---- recent-crash ----------------------------------------------------------------

struct DumpCount {
    int count = 0;
    FILETIME newest = {0, 0};
};

unsigned long long Ticks(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void CountDump(const FILETIME& written, unsigned long long now, DumpCount& dumps)
{
    if (Ticks(written) + kCrashDumpDays * kTicksPerDay < now) return;
    ++dumps.count;
    if (Ticks(written) > Ticks(dumps.newest)) dumps.newest = written;
}

void CountMinidumps(const std::string& windows, unsigned long long now, DumpCount& dumps)
{
    char pattern[kPathSize];
    if (!JoinPath(pattern, windows.c_str(), "Minidump\\*.dmp")) return;
    WIN32_FIND_DATAA entry;
    ScopedFindHandle find(FindFirstFileA(pattern, &entry));
    if (!find) return;
    int listed = 0;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) CountDump(entry.ftLastWriteTime, now, dumps);
    } while (++listed < kMostDumpsListed && FindNextFileA(find.Get(), &entry));
}

// Dr Watson's user dump: where its settings name it, else its default place.
void CountUserDump(unsigned long long now, DumpCount& dumps)
{
    char named[kPathSize] = "";
    char dump[kPathSize] = "";
    if (!ReadStringValue(HKEY_LOCAL_MACHINE, kDrWatsonKey, "CrashDumpFile", named, sizeof named, "", RegistryView32)) {
        CopyText(named, kDefaultUserDump);
    }
    const DWORD length = ExpandEnvironmentStringsA(named, dump, sizeof dump);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (length == 0 || length > sizeof dump || !GetFileAttributesExA(dump, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return;
    }
    CountDump(data.ftLastWriteTime, now, dumps);
}

// ---- reboot-pending --------------------------------------------------------------

// HKEY_LOCAL_MACHINE in the 64-bit view: Windows keeps these for itself there.
LONG OpenMachineKey(const char* path, ScopedRegKey& key)
{
    HKEY opened = nullptr;
    const REGSAM view = IsWindows64Bit() ? KEY_WOW64_64KEY : 0;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | view, &opened);
    key.Reset(status == ERROR_SUCCESS ? opened : nullptr);
    return status;
}

enum class Presence { Absent, Present, Unreadable };

Presence Of(LONG status)
{
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) return Presence::Present;
    return status == ERROR_FILE_NOT_FOUND ? Presence::Absent : Presence::Unreadable;
}

Presence KeyPresence(const char* path)
{
    ScopedRegKey key;
    return Of(OpenMachineKey(path, key));
}

// A multi-string with at least one name in it (more than its terminators).
Presence ListPresence(const char* path, const char* name)
{
    ScopedRegKey key;
    const LONG opened = OpenMachineKey(path, key);
    if (opened != ERROR_SUCCESS) return Of(opened);
    DWORD size = 0;
    const Presence value = Of(RegQueryValueExA(key.Get(), name, nullptr, nullptr, nullptr, &size));
    return value == Presence::Present && size <= 2 * sizeof(wchar_t) ? Presence::Absent : value;
}

// ---- layered-providers ------------------------------------------------------------

struct ProviderEntry {
    std::string name;
    std::string library;
    int chainLength = -1;
};

bool ReadProviderList(const std::string& outputRoot, std::string* text)
{
    char path[kPathSize];
    if (!JoinPath(path, outputRoot.c_str(), kProviderList)) return false;
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    char buffer[8192];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0 && text->size() < kLargestProviderList) {
        text->append(buffer, got);
    }
    fclose(file);
    return text->find("Provider List") != std::string::npos;
}

// The value of a "Variable<tabs>Value" line when its variable is `name`.
bool ValueOf(const std::string& line, const char* name, std::string* value)
{
    const size_t length = strlen(name);
    if (line.compare(0, length, name) != 0 || line.size() <= length || line[length] != '\t') return false;
    const size_t start = line.find_first_not_of('\t', length);
    *value = start != std::string::npos ? line.substr(start) : std::string();
    return true;
}

// The entries of the lister's output: each begins with "Variable<tab>Value".
std::vector<ProviderEntry> ParseProviderList(const std::string& text)
{
    std::vector<ProviderEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string value;
        if (line == "Variable\tValue") {
            entries.emplace_back();
        } else if (entries.empty()) {
            continue;
        } else if (ValueOf(line, "Name", &value)) {
            entries.back().name = value;
        } else if (ValueOf(line, "LibraryPath", &value)) {
            entries.back().library = value;
        } else if (ValueOf(line, "ProtocolChain.ChainLen", &value)) {
            entries.back().chainLength = atoi(value.c_str());
        }
    }
    return entries;
}

// The system folder and, on 64-bit Windows, its 32-bit twin.
bool InSystemFolder(const std::string& path)
{
    char system[MAX_PATH] = "";
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    if (length > 0 && length < MAX_PATH && StartsWithNoCase(path, std::string(system) + "\\")) return true;
    const std::string windows = WindowsFolder();
    return !windows.empty() && StartsWithNoCase(path, windows + (windows.back() == '\\' ? "" : "\\") + "SysWOW64\\");
}

}  // namespace

FindingOutcome CheckDiskSpace(const FindingContext& context)
{
    const std::string windows = WindowsFolder();
    ULONGLONG total = 0;
    ULONGLONG free = 0;
    if (windows.size() < 3 || windows[1] != ':') return NotAvailable(Text(IDS_FINDING_NO_DISK_SPACE));
    const std::string root = windows.substr(0, 3);
    if (!context.sources.diskSpace(root.c_str(), &total, &free) || total == 0) {
        return NotAvailable(Text(IDS_FINDING_NO_DISK_SPACE));
    }
    if (free >= kLeastFreeBytes && free * 10 >= total) return NotFound();
    char share[32];
    FormatText(share, "%.1f %%", 100.0 * static_cast<double>(free) / static_cast<double>(total));
    return Found(Formatted(IDS_FMT_FINDING_DISK_SPACE, root.c_str(), GigabyteText(free).c_str(),
                           GigabyteText(total).c_str(), share));
}

FindingOutcome CheckRecentCrashes(const FindingContext&)
{
    const std::string windows = WindowsFolder();
    if (windows.empty()) return NotAvailable(Text(IDS_FINDING_NO_WINDOWS_FOLDER));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    DumpCount dumps;
    CountMinidumps(windows, Ticks(now), dumps);
    CountUserDump(Ticks(now), dumps);
    if (dumps.count == 0) return NotFound();
    return Found(Formatted(IDS_FMT_FINDING_CRASH_DUMPS, dumps.count, LocalTimeText(dumps.newest).c_str()));
}

FindingOutcome CheckRebootPending(const FindingContext&)
{
    struct Mark {
        const char* shown;
        Presence presence;
    };
    const Mark marks[] = {
        {"PendingFileRenameOperations",
         ListPresence("SYSTEM\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations")},
        {"Component Based Servicing\\RebootPending",
         KeyPresence("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending")},
        {"WindowsUpdate\\Auto Update\\RebootRequired",
         KeyPresence("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired")},
    };
    std::string evidence;
    bool unreadable = false;
    for (const Mark& mark : marks) {
        if (mark.presence == Presence::Present) Join(evidence, mark.shown);
        unreadable = unreadable || mark.presence == Presence::Unreadable;
    }
    if (!evidence.empty()) return Found(evidence);
    return unreadable ? NotAvailable(Text(IDS_FINDING_REGISTRY_UNREADABLE)) : NotFound();
}

FindingOutcome CheckLayeredProviders(const FindingContext& context)
{
    std::string text;
    if (!ReadProviderList(context.outputRoot, &text)) return NotAvailable(Text(IDS_FINDING_NO_PROVIDER_LIST));
    std::string evidence;
    std::vector<std::string> shown;
    for (const ProviderEntry& entry : ParseProviderList(text)) {
        char library[kPathSize] = "";
        const DWORD length = ExpandEnvironmentStringsA(entry.library.c_str(), library, sizeof library);
        // Layered providers have a chain of length 0; one without a library path tells nothing.
        if (entry.chainLength != 0 || entry.library.empty() || length == 0 || length > sizeof library ||
            InSystemFolder(library)) {
            continue;
        }
        bool listed = false;
        for (const std::string& known : shown) listed = listed || _stricmp(known.c_str(), library) == 0;
        if (listed) continue;
        shown.push_back(library);
        Join(evidence, entry.name + ": " + library, "; ");
    }
    return evidence.empty() ? NotFound() : Found(evidence);
}

}  // namespace finding_checks
