// Version queries. The facts of the running system are gathered once per
// process (they cannot change while it runs); the naming and the version code
// are decided by the pure rules of windows_version_model.cpp. Only the
// version tests ask VerifyVersionInfoW each time.
#include "platform/windows_version.h"

#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version_model.h"

#include <cstring>

namespace {

using GetNativeSystemInfoFunction = void(WINAPI*)(SYSTEM_INFO*);
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);

bool QueryBasicVersion(OSVERSIONINFOW* info)
{
    memset(info, 0, sizeof(*info));
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    return GetVersionExW(info) != FALSE;
}

// The extended record, retried with the basic size when the system does not
// know the extended one.
ExtendedQuery QueryExtendedVersion(OSVERSIONINFOEXW* info)
{
    memset(info, 0, sizeof(*info));
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(info))) return ExtendedQuery::Ok;
    memset(info, 0, sizeof(*info));
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(info))) return ExtendedQuery::BasicOnly;
    memset(info, 0, sizeof(*info));
    return ExtendedQuery::Failed;
}

// The native processor architecture; false when GetNativeSystemInfo is missing.
bool QueryNativeArchitecture(WORD* architecture)
{
    auto getNativeSystemInfo =
        LookupProc<GetNativeSystemInfoFunction>(GetModuleHandleW(L"kernel32"), "GetNativeSystemInfo");
    if (getNativeSystemInfo == nullptr) return false;
    SYSTEM_INFO info;
    memset(&info, 0, sizeof(info));
    getNativeSystemInfo(&info);
    *architecture = info.wProcessorArchitecture;
    return true;
}

// Reads a registry value of at most `size` bytes into a zero-filled buffer.
bool ReadMachineValue(const wchar_t* keyPath, const wchar_t* valueName, BYTE* data, DWORD size, DWORD* type)
{
    memset(data, 0, size);
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
    DWORD got = size;
    if (RegQueryValueExW(key.Get(), valueName, nullptr, type, data, &got) != ERROR_SUCCESS) {
        memset(data, 0, size);
        return false;
    }
    return true;
}

// The registry's product options (see IsServerProduct).
bool ReadServerProductFromRegistry()
{
    wchar_t productType[10];  // 20 bytes: "LanmanNT" and its terminator fit
    DWORD type = REG_NONE;
    if (ReadMachineValue(L"System\\CurrentControlSet\\Control\\ProductOptions", L"ProductType",
                         reinterpret_cast<BYTE*>(productType), sizeof(productType), &type) &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        return ProductOptionsSayServer(productType, nullptr);
    }
    BYTE systemPrefix[20];
    if (ReadMachineValue(L"System\\Setup", L"SystemPrefix", systemPrefix, sizeof(systemPrefix), &type)) {
        return ProductOptionsSayServer(nullptr, systemPrefix);
    }
    return false;
}

int QueryWow64()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) return -1;
    auto isWow64Process = LookupProc<IsWow64ProcessFunction>(kernel, "IsWow64Process");
    if (isWow64Process == nullptr) return 0;
    BOOL flag = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &flag)) return -1;
    return flag ? 1 : 0;
}

// Filled once: 0 = not yet, 1 = being filled, 2 = ready. Without the locks of
// newer systems (InitOnce is Vista's), a second caller waits for the first.
volatile LONG g_factsState = 0;
VersionFacts g_facts;

}  // namespace

const VersionFacts& RunningVersionFacts()
{
    if (InterlockedCompareExchange(&g_factsState, 1, 0) == 0) {
        GatherVersionFacts(&g_facts);
        InterlockedExchange(&g_factsState, 2);
    } else {
        while (InterlockedCompareExchange(&g_factsState, 2, 2) != 2) Sleep(1);
    }
    return g_facts;
}

void GatherVersionFacts(VersionFacts* facts)
{
    memset(facts, 0, sizeof(*facts));
    OSVERSIONINFOW basic;
    facts->versionQueryOk = QueryBasicVersion(&basic);
    facts->platformId = basic.dwPlatformId;
    facts->major = basic.dwMajorVersion;
    facts->minor = basic.dwMinorVersion;
    facts->build = basic.dwBuildNumber;
    static_assert(sizeof(facts->csdVersion) == sizeof(basic.szCSDVersion), "same service pack field");
    memcpy(facts->csdVersion, basic.szCSDVersion, sizeof(facts->csdVersion));
    facts->csdVersion[127] = L'\0';

    OSVERSIONINFOEXW extended;
    facts->extendedQuery = QueryExtendedVersion(&extended);
    facts->servicePackMajor = extended.wServicePackMajor;
    facts->servicePackMinor = extended.wServicePackMinor;
    facts->productType = extended.wProductType;

    facts->serverByRegistry = ReadServerProductFromRegistry();
    facts->hasNativeSystemInfo = QueryNativeArchitecture(&facts->nativeArchitecture);
    facts->wow64 = QueryWow64();
    facts->serverR2Metric = GetSystemMetrics(SM_SERVERR2);
}

bool IsVersionAtLeast(DWORD major, DWORD minor, DWORD servicePackMajor, DWORD servicePackMinor)
{
    if (major == kVersionFieldUnset) return false;
    OSVERSIONINFOEXW wanted;
    memset(&wanted, 0, sizeof(wanted));
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = major;
    DWORD typeMask = VER_MAJORVERSION;
    DWORDLONG conditions = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    if (minor != kVersionFieldUnset) {
        wanted.dwMinorVersion = minor;
        typeMask |= VER_MINORVERSION;
        conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    }
    if (servicePackMajor != kVersionFieldUnset) {
        wanted.wServicePackMajor = static_cast<WORD>(servicePackMajor);
        typeMask |= VER_SERVICEPACKMAJOR;
        conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    }
    if (servicePackMinor != kVersionFieldUnset) {
        wanted.wServicePackMinor = static_cast<WORD>(servicePackMinor);
        typeMask |= VER_SERVICEPACKMINOR;
        conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMINOR, VER_GREATER_EQUAL);
    }
    return VerifyVersionInfoW(&wanted, typeMask, conditions) != FALSE;
}

bool IsVersionExactly(DWORD major, DWORD minor, DWORD servicePackMajor, DWORD servicePackMinor)
{
    if (!IsVersionAtLeast(major, minor, servicePackMajor, servicePackMinor)) return false;
    DWORD next[4] = {major, minor, servicePackMajor, servicePackMinor};
    if (!NextVersionFields(next)) return true;
    return !IsVersionAtLeast(next[0], next[1], next[2], next[3]);
}

bool IsWorkstationProduct()
{
    return FactsWorkstation(RunningVersionFacts());
}

bool IsNtPlatform()
{
    const VersionFacts& facts = RunningVersionFacts();
    return facts.versionQueryOk && facts.platformId == VER_PLATFORM_WIN32_NT;
}

bool IsServerProduct() { return RunningVersionFacts().serverByRegistry; }

int IsWow64() { return RunningVersionFacts().wow64; }

bool IsWindows64Bit()
{
    // The native architecture answers for the system, not for this process,
    // so a 32-bit program under WOW64 and a native 64-bit one agree.
    return FactsWindows64Bit(RunningVersionFacts());
}

bool IsNativeX86()
{
    return FactsNativeX86(RunningVersionFacts());
}

DWORD GetWindowsVersionCode()
{
    return ComputeVersionCode(RunningVersionFacts());
}

bool IsWindowsNT4()
{
    const DWORD code = GetWindowsVersionCode();
    return code == VersionCodeNT4 || code == (VersionCodeNT4 | VersionCodeServer);
}

bool IsWindows2000()
{
    const DWORD code = GetWindowsVersionCode();
    return code == VersionCode2000 || code == (VersionCode2000 | VersionCodeServer);
}

bool IsWindows6Workstation32() { return GetWindowsVersionCode() == VersionCode6Workstation32; }

bool IsWindows6Workstation64() { return GetWindowsVersionCode() == VersionCode6Workstation64; }

bool IsWindows6OrLater()
{
    const DWORD code = GetWindowsVersionCode();
    return code == VersionCode6Workstation32 || code == VersionCode6Workstation64 ||
           code == (VersionCode6Workstation32 | VersionCodeServer) ||
           code == (VersionCode6Workstation64 | VersionCodeServer);
}

void GetWindowsVersionName(wchar_t* fullText, size_t fullCapacity, wchar_t* nameText, size_t nameCapacity,
                           wchar_t* detailText, size_t detailCapacity)
{
    ComposeVersionTexts(RunningVersionFacts(), fullText, fullCapacity, nameText, nameCapacity, detailText,
                        detailCapacity);
}

void GetServicePackText(wchar_t* text, size_t capacity)
{
    if (text == nullptr || capacity == 0) return;
    CopyText(text, capacity, RunningVersionFacts().csdVersion);
}
