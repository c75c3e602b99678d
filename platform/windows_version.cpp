// Live version queries. Every call asks the system again; the naming and the
// version code are decided by the pure rules of windows_version_model.cpp.
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

}  // namespace

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

    facts->serverByRegistry = IsServerProduct();
    facts->hasNativeSystemInfo = QueryNativeArchitecture(&facts->nativeArchitecture);
    facts->wow64 = IsWow64();
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
    OSVERSIONINFOEXW info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return false;
    return info.wProductType == VER_NT_WORKSTATION;
}

bool IsServerProduct()
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

bool IsNtPlatform()
{
    OSVERSIONINFOW info;
    return QueryBasicVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool IsWindows64Bit()
{
    // GetNativeSystemInfo answers for the system, not for this process, so a
    // 32-bit program under WOW64 and a native 64-bit one agree.
    WORD architecture = 0;
    if (!QueryNativeArchitecture(&architecture)) return false;
    return architecture == PROCESSOR_ARCHITECTURE_AMD64 || architecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool IsNativeX86()
{
    WORD architecture = 0;
    if (!QueryNativeArchitecture(&architecture)) return true;
    return architecture == PROCESSOR_ARCHITECTURE_INTEL;
}

int IsWow64()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) return -1;
    auto isWow64Process = LookupProc<IsWow64ProcessFunction>(kernel, "IsWow64Process");
    if (isWow64Process == nullptr) return 0;
    BOOL flag = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &flag)) return -1;
    return flag ? 1 : 0;
}

DWORD GetWindowsVersionCode()
{
    VersionFacts facts;
    GatherVersionFacts(&facts);
    return ComputeVersionCode(facts);
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
    VersionFacts facts;
    GatherVersionFacts(&facts);
    ComposeVersionTexts(facts, fullText, fullCapacity, nameText, nameCapacity, detailText, detailCapacity);
}

void GetServicePackText(wchar_t* text, size_t capacity)
{
    if (text == nullptr || capacity == 0) return;
    OSVERSIONINFOW info;
    QueryBasicVersion(&info);  // a failed query leaves the field empty
    info.szCSDVersion[127] = L'\0';
    CopyText(text, capacity, info.szCSDVersion);
}
