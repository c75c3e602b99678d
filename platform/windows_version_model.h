// The decisions behind windows_version.h as pure functions of one record of
// facts, so every naming and code rule can be checked without the system
// that would produce it. The live functions gather the facts and call these.
#pragma once
#include "platform/win.h"
#include "platform/windows_version.h"

#include <cstddef>

// Result of the OSVERSIONINFOEXW query that supplies the product type: the
// version-code rules fall back to the basic record and then to a default.
enum class ExtendedQuery { Ok, BasicOnly, Failed };

struct VersionFacts {
    bool versionQueryOk;        // GetVersionExW with the basic record
    DWORD platformId;
    DWORD major;
    DWORD minor;
    DWORD build;
    wchar_t csdVersion[128];    // szCSDVersion, possibly empty
    ExtendedQuery extendedQuery;
    WORD servicePackMajor;      // from the extended record, 0 when it failed
    WORD servicePackMinor;
    BYTE productType;           // wProductType, 0 when the extended query failed
    bool serverByRegistry;      // IsServerProduct
    bool hasNativeSystemInfo;   // GetNativeSystemInfo exists in kernel32
    WORD nativeArchitecture;    // PROCESSOR_ARCHITECTURE_*, meaningful only with the above
    int wow64;                  // IsWow64: 1, 0 or -1
    int serverR2Metric;         // GetSystemMetrics(SM_SERVERR2)
};

// Fills the facts from the running system.
void GatherVersionFacts(VersionFacts* facts);
// The running system's facts, gathered on the first call of the process;
// every version function but the version tests answers from them.
const VersionFacts& RunningVersionFacts();

bool FactsWindows64Bit(const VersionFacts& facts);
bool FactsNativeX86(const VersionFacts& facts);
bool FactsWorkstation(const VersionFacts& facts);

// VerifyVersionInfoW with VER_GREATER_EQUAL on the given fields, compared in
// order major, minor, service pack major, service pack minor; a field equal
// to kVersionFieldUnset is left out. False when the major is not given.
bool FactsVersionAtLeast(const VersionFacts& facts, DWORD major, DWORD minor, DWORD servicePackMajor,
                         DWORD servicePackMinor);
bool FactsVersionExactly(const VersionFacts& facts, DWORD major, DWORD minor, DWORD servicePackMajor,
                         DWORD servicePackMinor);

// The next version above the given fields for the "exactly" test: the last
// given field (service pack minor, then service pack major, minor, major) is
// raised by one. False when no field is given.
bool NextVersionFields(DWORD fields[4]);

// The product name ("Windows 7 x64", "Unknown Windows"...), a static text.
const wchar_t* ChooseWindowsName(const VersionFacts& facts);

// Fills the three texts of GetWindowsVersionName from the facts (any text
// pointer may be null; each is cut to its capacity and terminated).
void ComposeVersionTexts(const VersionFacts& facts, wchar_t* fullText, size_t fullCapacity, wchar_t* nameText,
                         size_t nameCapacity, wchar_t* detailText, size_t detailCapacity);

// The version code of GetWindowsVersionCode, 0 for a version not known.
DWORD ComputeVersionCode(const VersionFacts& facts);

// How the product options in the registry are read: ProductType text (null
// when it could not be read) and the System\Setup SystemPrefix bytes (null
// when they could not be read; at least 15 bytes).
bool ProductOptionsSayServer(const wchar_t* productType, const BYTE* systemPrefix);
