// Pure naming and version-code rules over a VersionFacts record.
#include "platform/windows_version_model.h"

#include "platform/bounded_text.h"
#include "platform/windows_version.h"

#include <cwchar>

bool FactsWindows64Bit(const VersionFacts& facts)
{
    if (!facts.hasNativeSystemInfo) return false;
    return facts.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           facts.nativeArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool FactsNativeX86(const VersionFacts& facts)
{
    if (!facts.hasNativeSystemInfo) return true;
    return facts.nativeArchitecture == PROCESSOR_ARCHITECTURE_INTEL;
}

bool FactsWorkstation(const VersionFacts& facts) { return facts.productType == VER_NT_WORKSTATION; }

bool FactsVersionAtLeast(const VersionFacts& facts, DWORD major, DWORD minor, DWORD servicePackMajor,
                         DWORD servicePackMinor)
{
    if (major == kVersionFieldUnset) return false;
    // The system compares the fields as one hierarchy: a higher major version
    // passes whatever the minor, an equal one hands over to the next field.
    const DWORD wanted[4] = {major, minor, servicePackMajor, servicePackMinor};
    const DWORD have[4] = {facts.major, facts.minor, facts.servicePackMajor, facts.servicePackMinor};
    for (int i = 0; i < 4; ++i) {
        if (wanted[i] == kVersionFieldUnset) continue;
        if (have[i] > wanted[i]) return true;
        if (have[i] < wanted[i]) return false;
    }
    return true;
}

bool NextVersionFields(DWORD fields[4])
{
    for (int i = 3; i >= 0; --i) {
        if (fields[i] == kVersionFieldUnset) continue;
        // A field one below "unset" has no successor that could be given.
        if (fields[i] == kVersionFieldUnset - 1) return false;
        ++fields[i];
        return true;
    }
    return false;
}

bool FactsVersionExactly(const VersionFacts& facts, DWORD major, DWORD minor, DWORD servicePackMajor,
                         DWORD servicePackMinor)
{
    if (!FactsVersionAtLeast(facts, major, minor, servicePackMajor, servicePackMinor)) return false;
    DWORD next[4] = {major, minor, servicePackMajor, servicePackMinor};
    if (!NextVersionFields(next)) return true;
    return !FactsVersionAtLeast(facts, next[0], next[1], next[2], next[3]);
}

namespace {

bool Exactly(const VersionFacts& facts, DWORD major, DWORD minor)
{
    return FactsVersionExactly(facts, major, minor, kVersionFieldUnset, kVersionFieldUnset);
}

}  // namespace

const wchar_t* ChooseWindowsName(const VersionFacts& facts)
{
    if (!facts.versionQueryOk || facts.platformId != VER_PLATFORM_WIN32_NT) return L"Unknown Windows";
    if (facts.major == 3 || facts.major == 4) return L"Windows NT";

    // Only a native x86 system goes without the " x64" suffix (IA64 gets it too).
    const bool x86 = FactsNativeX86(facts);
    auto pick = [x86](const wchar_t* plain, const wchar_t* wide) { return x86 ? plain : wide; };
    const bool workstation = FactsWorkstation(facts);

    if (Exactly(facts, 5, 0)) return L"Windows 2000";
    // 64-bit XP carries the server kernel's version 5.2.
    const bool xp = (FactsWindows64Bit(facts) && workstation) ? Exactly(facts, 5, 2) : Exactly(facts, 5, 1);
    if (xp) return pick(L"Windows XP", L"Windows XP x64 Edition");
    if (Exactly(facts, 5, 2) && !workstation && facts.serverR2Metric == 0)
        return pick(L"Windows Server 2003", L"Windows Server 2003 x64");
    if (Exactly(facts, 5, 2) && facts.serverR2Metric != 0)
        return pick(L"Windows Server 2003 R2", L"Windows Server 2003 R2 x64");
    if (Exactly(facts, 6, 0))
        return workstation ? pick(L"Windows Vista", L"Windows Vista x64")
                           : pick(L"Windows Server 2008", L"Windows Server 2008 x64");
    if (Exactly(facts, 6, 1))
        return workstation ? pick(L"Windows 7", L"Windows 7 x64")
                           : pick(L"Windows Server 2008 R2", L"Windows Server 2008 R2 x64");
    return L"Windows NT";
}

namespace {

// An empty or all-blank service pack string reads "plain" on the detail line.
bool HasNonBlank(const wchar_t* text)
{
    for (; *text != L'\0'; ++text) {
        if (*text != L' ') return true;
    }
    return false;
}

}  // namespace

void ComposeVersionTexts(const VersionFacts& facts, wchar_t* fullText, size_t fullCapacity, wchar_t* nameText,
                         size_t nameCapacity, wchar_t* detailText, size_t detailCapacity)
{
    // The record may come from anywhere: read the service pack text only
    // within its array, terminated.
    wchar_t csd[sizeof(facts.csdVersion) / sizeof(facts.csdVersion[0])];
    CopyText(csd, facts.csdVersion);

    const wchar_t* name = ChooseWindowsName(facts);
    if (nameText != nullptr) CopyText(nameText, nameCapacity, name);
    if (fullText != nullptr) {
        FormatText(fullText, fullCapacity, L"%ls (%ls)  [%d.%d.%d]", name, csd, static_cast<int>(facts.major),
                   static_cast<int>(facts.minor), static_cast<int>(facts.build));
    }
    if (detailText != nullptr) {
        // Only the low word of the build number belongs on the detail line.
        FormatText(detailText, detailCapacity, L"(%ls)  [%d.%d.%hd]", HasNonBlank(csd) ? csd : L"plain", static_cast<int>(facts.major),
                   static_cast<int>(facts.minor), static_cast<short>(facts.build & 0xFFFF));
    }
}

namespace {

DWORD Windows9xCode(const VersionFacts& facts)
{
    if (facts.major != 4) return 0;
    if (facts.minor == 0) {
        // The letter after the leading blank of " B" / " C" names the release.
        const wchar_t second = facts.csdVersion[0] != L'\0' ? facts.csdVersion[1] : L'\0';
        if (second == L'B' || second == L'b') return VersionCodeWin95B;
        if (second == L'C' || second == L'c') return VersionCodeWin95C;
        return VersionCodeWin95;
    }
    if (facts.minor == 10) return (facts.build & 0xFFFF) < 1999 ? VersionCodeWin98 : VersionCodeWin98SE;
    if (facts.minor == 90) return VersionCodeWinMe;
    return 0;
}

DWORD ClassicNtCode(const VersionFacts& facts)
{
    DWORD code = 0;
    switch (facts.major) {
    case 3:
        if (facts.minor == 0) code = VersionCodeNT30;
        else if (facts.minor == 50) code = VersionCodeNT350;
        else if (facts.minor == 51) code = VersionCodeNT351;
        break;
    case 4:
        if (facts.minor == 0) code = VersionCodeNT4;
        break;
    case 5:
        if (facts.minor == 0) code = VersionCode2000;
        else if (facts.minor == 1) code = VersionCodeXP;
        else if (facts.minor == 2) {
            if (facts.serverByRegistry) code = facts.wow64 != 0 ? VersionCodeXP64 : VersionCodeXP;
            else code = VersionCodeXP64;
        }
        break;
    default:
        break;
    }
    if (code != 0 && facts.serverByRegistry) code |= VersionCodeServer;
    return code;
}

DWORD Version6Code(const VersionFacts& facts)
{
    if (facts.extendedQuery == ExtendedQuery::Failed) return VersionCode6Workstation32;
    // After the basic-size retry the product type is left 0, which is not a
    // workstation.
    const bool workstation = FactsWorkstation(facts);
    const DWORD code = facts.wow64 != 0 ? VersionCode6Workstation64 : VersionCode6Workstation32;
    return workstation ? code : (code | VersionCodeServer);
}

}  // namespace

DWORD ComputeVersionCode(const VersionFacts& facts)
{
    // A failed query is no version at all (its zero-filled record would
    // otherwise read as Win32s).
    if (!facts.versionQueryOk) return 0;
    switch (facts.platformId) {
    case VER_PLATFORM_WIN32s:
        return VersionCodeWin32s;
    case VER_PLATFORM_WIN32_WINDOWS:
        return Windows9xCode(facts);
    case VER_PLATFORM_WIN32_NT:
        if (facts.major == 6) return Version6Code(facts);
        return ClassicNtCode(facts);
    default:
        return 0;
    }
}

bool ProductOptionsSayServer(const wchar_t* productType, const BYTE* systemPrefix)
{
    if (productType != nullptr) return wcsncmp(productType, L"WinNT", 5) != 0;
    if (systemPrefix != nullptr) return (systemPrefix[14] & 0x04) != 0;
    return false;
}
