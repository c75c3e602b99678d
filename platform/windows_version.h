// Which Windows this is: version predicates, product type, architecture and
// the product name texts. The facts behind them (GetVersionExW,
// GetNativeSystemInfo, IsWow64Process, GetSystemMetrics, two registry values)
// are gathered once per process, so a check per file entry costs nothing;
// the version tests ask VerifyVersionInfoW on every call. No function reports
// an error; a failed query gives the answer its description names.
#pragma once
#include "platform/win.h"

#include <cstddef>

// A version field that is not given.
constexpr DWORD kVersionFieldUnset = 0xFFFFFFFF;

// Bits of GetWindowsVersionCode. VersionCodeServer marks a server product of
// NT 3 to 5 and of version 6.
constexpr DWORD VersionCodeWin32s = 0x1;
constexpr DWORD VersionCodeWin95 = 0x2;
constexpr DWORD VersionCodeWin95B = 0x4;
constexpr DWORD VersionCodeWin95C = 0x8;
constexpr DWORD VersionCodeWin98 = 0x10;
constexpr DWORD VersionCodeWin98SE = 0x20;
constexpr DWORD VersionCodeWinMe = 0x40;
constexpr DWORD VersionCodeNT30 = 0x100;
constexpr DWORD VersionCodeNT350 = 0x200;
constexpr DWORD VersionCodeNT351 = 0x400;
constexpr DWORD VersionCodeNT4 = 0x800;
constexpr DWORD VersionCode2000 = 0x1000;
constexpr DWORD VersionCodeXP = 0x2000;
constexpr DWORD VersionCode6Workstation32 = 0x4000;
constexpr DWORD VersionCodeXP64 = 0x8000;
constexpr DWORD VersionCode6Workstation64 = 0x10000;
constexpr DWORD VersionCodeServer = 0x80000000;

// True when the running system is at least the given version. The fields
// are compared as one hierarchy (a higher major passes whatever the minor);
// fields left unset are not compared; an unset major gives false.
bool IsVersionAtLeast(DWORD major, DWORD minor = kVersionFieldUnset,
                      DWORD servicePackMajor = kVersionFieldUnset, DWORD servicePackMinor = kVersionFieldUnset);
// True when the running system has that version at the precision given:
// (5, 0) matches 5.0 but not 5.1; (6) matches every 6.x.
bool IsVersionExactly(DWORD major, DWORD minor = kVersionFieldUnset,
                      DWORD servicePackMajor = kVersionFieldUnset, DWORD servicePackMinor = kVersionFieldUnset);
// wProductType is VER_NT_WORKSTATION; a failed query is no workstation.
bool IsWorkstationProduct();
// The registry's ProductOptions\ProductType does not start with "WinNT"
// (or, when it cannot be read, System\Setup\SystemPrefix says server).
bool IsServerProduct();
bool IsNtPlatform();
// The native processor is AMD64 or IA64, also for a 32-bit process under
// WOW64; false when GetNativeSystemInfo does not exist.
bool IsWindows64Bit();
// The native processor is x86, or GetNativeSystemInfo does not exist.
bool IsNativeX86();
// 1 under WOW64, 0 when not (or IsWow64Process is missing), -1 when the test
// fails. A native 64-bit process is no WOW64 guest: 0.
int IsWow64();
// The VersionCode* value of the running system, 0 for a version not known
// (version 10 and later NT majors included). For version 6 the 64 code means
// a process under WOW64.
DWORD GetWindowsVersionCode();
bool IsWindowsNT4();
bool IsWindows2000();
bool IsWindows6Workstation32();
bool IsWindows6Workstation64();
bool IsWindows6OrLater();

// Fills the full text ("Windows 7 (Service Pack 1)  [6.1.7601]"), the name
// text ("Windows 7") and the detail text ("(Service Pack 1)  [6.1.7601]";
// "(plain)  [...]" without a service pack). Capacities are in characters;
// texts are cut to fit and always terminated; a null text is skipped.
void GetWindowsVersionName(wchar_t* fullText, size_t fullCapacity, wchar_t* nameText, size_t nameCapacity,
                           wchar_t* detailText, size_t detailCapacity);
// The running system's service pack string (may be empty), cut to fit.
void GetServicePackText(wchar_t* text, size_t capacity);
