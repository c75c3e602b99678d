// The live version functions under Wine, checked against what the system
// reports through other calls.
#include "platform/windows_version.h"
#include "platform/windows_version_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD U = kVersionFieldUnset;

OSVERSIONINFOEXW SystemVersion()
{
    OSVERSIONINFOEXW info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    EXPECT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)));
    return info;
}

TEST(LiveVersionTest, ArchitectureComesFromTheNativeSystem)
{
    SYSTEM_INFO native;
    GetNativeSystemInfo(&native);
    const bool wide = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                      native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
    EXPECT_EQ(wide, IsWindows64Bit());
    EXPECT_EQ(native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL, IsNativeX86());
#ifdef _WIN64
    // A native 64-bit process: the system is 64-bit, the process is no WOW64 guest.
    EXPECT_TRUE(IsWindows64Bit());
    EXPECT_FALSE(IsNativeX86());
    EXPECT_EQ(0, IsWow64());
#endif
}

TEST(LiveVersionTest, PlatformAndProductType)
{
    const OSVERSIONINFOEXW info = SystemVersion();
    EXPECT_TRUE(IsNtPlatform());
    EXPECT_EQ(info.wProductType == VER_NT_WORKSTATION, IsWorkstationProduct());
    // Wine's ProductOptions say "WinNT".
    EXPECT_FALSE(IsServerProduct());
}

TEST(LiveVersionTest, VerifyVersionInfoAgreesWithTheModel)
{
    const OSVERSIONINFOEXW info = SystemVersion();
    const DWORD major = info.dwMajorVersion;
    const DWORD minor = info.dwMinorVersion;
    const DWORD sp = info.wServicePackMajor;
    EXPECT_TRUE(IsVersionExactly(major, minor));
    EXPECT_TRUE(IsVersionExactly(major));
    EXPECT_FALSE(IsVersionExactly(major, minor + 1));
    EXPECT_TRUE(IsVersionAtLeast(major, minor, sp, info.wServicePackMinor));
    EXPECT_FALSE(IsVersionAtLeast(major, minor, sp + 1));
    EXPECT_FALSE(IsVersionAtLeast(U));

    VersionFacts facts;
    GatherVersionFacts(&facts);
    const DWORD tuples[][4] = {
        {major, U, U, U},          {major + 1, U, U, U},  {major - 1, minor + 5, U, U},
        {major, minor, U, U},      {major, minor + 1, U, U}, {major, U, sp + 1, U},
        {major, minor, sp, U},     {major, minor, sp, 1},  {major, minor, U, 0},
        {5, 0, U, U},              {5, 1, U, U},           {6, 0, U, U},
        {6, 1, U, U},              {6, 2, U, U},           {10, 0, U, U},
    };
    for (const auto& t : tuples) {
        EXPECT_EQ(IsVersionAtLeast(t[0], t[1], t[2], t[3]), FactsVersionAtLeast(facts, t[0], t[1], t[2], t[3]))
            << t[0] << "." << t[1] << " sp " << t[2] << "." << t[3];
        EXPECT_EQ(IsVersionExactly(t[0], t[1], t[2], t[3]), FactsVersionExactly(facts, t[0], t[1], t[2], t[3]))
            << t[0] << "." << t[1] << " sp " << t[2] << "." << t[3];
    }
}

TEST(LiveVersionTest, VersionCodeAndPredicates)
{
    const OSVERSIONINFOEXW info = SystemVersion();
    if (info.dwMajorVersion != 6) GTEST_SKIP() << "the prefix reports version " << info.dwMajorVersion;
    const bool workstation = info.wProductType == VER_NT_WORKSTATION;
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    DWORD expected = wow64 ? 0x10000 : 0x4000;
    if (!workstation) expected |= 0x80000000;
    EXPECT_EQ(expected, GetWindowsVersionCode());
    EXPECT_TRUE(IsWindows6OrLater());
    EXPECT_EQ(expected == 0x4000, IsWindows6Workstation32());
    EXPECT_EQ(expected == 0x10000, IsWindows6Workstation64());
    EXPECT_FALSE(IsWindowsNT4());
    EXPECT_FALSE(IsWindows2000());
}

TEST(LiveVersionTest, NameTextsMatchTheSystem)
{
    const OSVERSIONINFOEXW info = SystemVersion();
    wchar_t full[128], name[64], detail[128];
    GetWindowsVersionName(full, 128, name, 64, detail, 128);

    std::wstring expectedName = L"Windows NT";
    if (info.dwMajorVersion == 6 && info.dwMinorVersion == 1)
        expectedName = info.wProductType == VER_NT_WORKSTATION ? L"Windows 7" : L"Windows Server 2008 R2";
    else if (info.dwMajorVersion == 6 && info.dwMinorVersion == 0)
        expectedName = info.wProductType == VER_NT_WORKSTATION ? L"Windows Vista" : L"Windows Server 2008";
    if (expectedName != L"Windows NT" && IsWindows64Bit()) expectedName += L" x64";
    EXPECT_EQ(expectedName, name);

    const std::wstring numbers = L"  [" + std::to_wstring(info.dwMajorVersion) + L"." +
                                 std::to_wstring(info.dwMinorVersion) + L"." +
                                 std::to_wstring(info.dwBuildNumber) + L"]";
    const std::wstring csd = info.szCSDVersion;
    EXPECT_EQ(expectedName + L" (" + csd + L")" + numbers, full);
    EXPECT_EQ(L"(" + (csd.find_first_not_of(L' ') == std::wstring::npos ? L"plain" : csd) + L")" + numbers, detail);

    wchar_t servicePack[8];
    wmemset(servicePack, 0xBDBD, 8);
    GetServicePackText(servicePack, 5);
    EXPECT_EQ(csd.substr(0, 4), servicePack);
    EXPECT_EQ(0xBDBD, servicePack[5]);
}

}  // namespace
