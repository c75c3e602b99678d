// Which Windows this is: version predicates, product type, architecture and
// the product name texts. Stateless: every call asks the system again.
#pragma once
#include "platform/win.h"

// A version field that is not given.
constexpr DWORD kVersionFieldUnset = 0xFFFFFFFF;

bool IsVersionAtLeast(DWORD major, DWORD minor = kVersionFieldUnset,
                      DWORD servicePackMajor = kVersionFieldUnset, DWORD servicePackMinor = kVersionFieldUnset);
bool IsVersionExactly(DWORD major, DWORD minor = kVersionFieldUnset,
                      DWORD servicePackMajor = kVersionFieldUnset, DWORD servicePackMinor = kVersionFieldUnset);
bool IsWorkstationProduct();
bool IsServerProduct();
bool IsNtPlatform();
bool IsWindows64Bit();
bool IsNativeX86();
// 1 under WOW64, 0 when not (or IsWow64Process is missing), -1 when the test fails.
int IsWow64();
DWORD GetWindowsVersionCode();
bool IsWindowsNT4();
bool IsWindows2000();
bool IsWindows6Workstation32();
bool IsWindows6Workstation64();
bool IsWindows6OrLater();

// Fills the full text ("Windows 7 (Service Pack 1)  [6.1.7601]"), the name
// text ("Windows 7") and the detail text ("(Service Pack 1)  [6.1.7601]").
// Capacities are in characters; texts are cut to fit.
void GetWindowsVersionName(wchar_t* fullText, size_t fullCapacity, wchar_t* nameText, size_t nameCapacity,
                           wchar_t* detailText, size_t detailCapacity);
// The running system's service pack string (may be empty).
void GetServicePackText(wchar_t* text, size_t capacity);
