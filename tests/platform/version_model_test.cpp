// The naming, version-code and version-comparison rules over crafted facts.
#include "platform/windows_version.h"
#include "platform/windows_version_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD U = kVersionFieldUnset;
constexpr WORD X86 = PROCESSOR_ARCHITECTURE_INTEL;
constexpr WORD AMD64 = PROCESSOR_ARCHITECTURE_AMD64;
constexpr WORD IA64 = PROCESSOR_ARCHITECTURE_IA64;
constexpr BYTE WS = VER_NT_WORKSTATION;
constexpr BYTE DC = VER_NT_DOMAIN_CONTROLLER;
constexpr BYTE SRV = VER_NT_SERVER;

// Windows 7 SP1 workstation on a 64-bit machine unless changed.
VersionFacts Facts(DWORD platform, DWORD major, DWORD minor, BYTE productType = WS, WORD arch = AMD64,
                   int serverR2 = 0)
{
    VersionFacts f;
    memset(&f, 0, sizeof(f));
    f.versionQueryOk = true;
    f.platformId = platform;
    f.major = major;
    f.minor = minor;
    f.build = 7601;
    wcscpy(f.csdVersion, L"Service Pack 1");
    f.extendedQuery = ExtendedQuery::Ok;
    f.servicePackMajor = 1;
    f.productType = productType;
    f.hasNativeSystemInfo = true;
    f.nativeArchitecture = arch;
    f.serverR2Metric = serverR2;
    return f;
}

VersionFacts Nt(DWORD major, DWORD minor, BYTE productType = WS, WORD arch = AMD64, int serverR2 = 0)
{
    return Facts(VER_PLATFORM_WIN32_NT, major, minor, productType, arch, serverR2);
}

struct NameRow {
    const char* label;
    VersionFacts facts;
    const wchar_t* expected;
};

TEST(WindowsNameTest, EveryRuleInOrder)
{
    VersionFacts noNativeInfo = Nt(6, 1);
    noNativeInfo.hasNativeSystemInfo = false;
    VersionFacts failedQuery = Nt(6, 1);
    failedQuery.versionQueryOk = false;

    const NameRow rows[] = {
        {"9x", Facts(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0, X86), L"Unknown Windows"},
        {"Win32s", Facts(VER_PLATFORM_WIN32s, 3, 10, 0, X86), L"Unknown Windows"},
        {"query failed", failedQuery, L"Unknown Windows"},
        {"NT 3.51", Nt(3, 51, WS, X86), L"Windows NT"},
        {"NT 4 server 64", Nt(4, 0, SRV, AMD64), L"Windows NT"},
        {"2000", Nt(5, 0, WS, X86), L"Windows 2000"},
        {"2000 server, not x86", Nt(5, 0, SRV, IA64), L"Windows 2000"},
        {"XP", Nt(5, 1, WS, X86), L"Windows XP"},
        {"XP x64 (5.2 workstation)", Nt(5, 2, WS, AMD64), L"Windows XP x64 Edition"},
        {"XP 64 on IA64", Nt(5, 2, WS, IA64), L"Windows XP x64 Edition"},
        {"XP x64 before R2 rule", Nt(5, 2, WS, AMD64, 1), L"Windows XP x64 Edition"},
        {"2003", Nt(5, 2, SRV, X86), L"Windows Server 2003"},
        {"2003 x64", Nt(5, 2, SRV, AMD64), L"Windows Server 2003 x64"},
        {"2003 IA64", Nt(5, 2, DC, IA64), L"Windows Server 2003 x64"},
        {"2003 R2", Nt(5, 2, SRV, X86, 1), L"Windows Server 2003 R2"},
        {"2003 R2 x64", Nt(5, 2, SRV, AMD64, 1), L"Windows Server 2003 R2 x64"},
        {"Vista", Nt(6, 0, WS, X86), L"Windows Vista"},
        {"Vista x64", Nt(6, 0, WS, AMD64), L"Windows Vista x64"},
        {"2008", Nt(6, 0, SRV, X86), L"Windows Server 2008"},
        {"2008 x64 DC", Nt(6, 0, DC, AMD64), L"Windows Server 2008 x64"},
        {"7", Nt(6, 1, WS, X86), L"Windows 7"},
        {"7 x64", Nt(6, 1, WS, AMD64), L"Windows 7 x64"},
        {"7 IA64", Nt(6, 1, WS, IA64), L"Windows 7 x64"},
        {"7 without GetNativeSystemInfo", noNativeInfo, L"Windows 7"},
        {"2008 R2", Nt(6, 1, SRV, X86), L"Windows Server 2008 R2"},
        {"2008 R2 x64", Nt(6, 1, SRV, AMD64), L"Windows Server 2008 R2 x64"},
        {"6.2", Nt(6, 2, WS, AMD64), L"Windows NT"},
        {"6.3 server", Nt(6, 3, SRV, X86), L"Windows NT"},
        {"10.0", Nt(10, 0, WS, AMD64), L"Windows NT"},
    };
    for (const NameRow& row : rows) {
        EXPECT_STREQ(row.expected, ChooseWindowsName(row.facts)) << row.label;
    }
}

struct TextRow {
    const char* label;
    VersionFacts facts;
    const wchar_t* full;
    const wchar_t* detail;
};

VersionFacts WithServicePack(VersionFacts f, const wchar_t* csd, DWORD build)
{
    wcscpy(f.csdVersion, csd);
    f.build = build;
    return f;
}

TEST(WindowsNameTest, FullAndDetailTexts)
{
    const TextRow rows[] = {
        {"service pack", WithServicePack(Nt(6, 1), L"Service Pack 1", 7601),
         L"Windows 7 x64 (Service Pack 1)  [6.1.7601]", L"(Service Pack 1)  [6.1.7601]"},
        {"empty", WithServicePack(Nt(5, 1, WS, X86), L"", 2600), L"Windows XP ()  [5.1.2600]",
         L"(plain)  [5.1.2600]"},
        {"all blank", WithServicePack(Nt(5, 1, WS, X86), L"   ", 2600), L"Windows XP (   )  [5.1.2600]",
         L"(plain)  [5.1.2600]"},
        {"leading blank kept", WithServicePack(Nt(5, 0, WS, X86), L" A", 2195), L"Windows 2000 ( A)  [5.0.2195]",
         L"( A)  [5.0.2195]"},
        // 9x keeps major and minor in the build's high word: only the low word is the build.
        {"9x build", WithServicePack(Facts(VER_PLATFORM_WIN32_WINDOWS, 4, 10), L" A", 0x040A08AE),
         L"Unknown Windows ( A)  [4.10.67766446]", L"( A)  [4.10.2222]"},
        {"low word as signed", WithServicePack(Nt(6, 2), L"", 0x00018000), L"Windows NT ()  [6.2.98304]",
         L"(plain)  [6.2.-32768]"},
    };
    for (const TextRow& row : rows) {
        wchar_t full[128], name[64], detail[128];
        ComposeVersionTexts(row.facts, full, 128, name, 64, detail, 128);
        EXPECT_STREQ(row.full, full) << row.label;
        EXPECT_STREQ(row.detail, detail) << row.label;
        EXPECT_STREQ(ChooseWindowsName(row.facts), name) << row.label;
    }
}

TEST(WindowsNameTest, TextsAreCutToTheirCapacity)
{
    wchar_t full[16], name[9], detail[12];
    wmemset(full, 0xBDBD, 16);
    wmemset(name, 0xBDBD, 9);
    wmemset(detail, 0xBDBD, 12);
    const VersionFacts f = Nt(6, 1);
    ComposeVersionTexts(f, full, 10, name, 8, detail, 11);
    EXPECT_STREQ(L"Windows 7", full);
    EXPECT_EQ(0xBDBD, full[10]);
    EXPECT_STREQ(L"Windows", name);
    EXPECT_EQ(0xBDBD, name[8]);
    EXPECT_STREQ(L"(Service P", detail);  // 10 characters and the terminator
    EXPECT_EQ(0xBDBD, detail[11]);

    // Absent texts are simply not written.
    ComposeVersionTexts(f, nullptr, 0, name, 9, nullptr, 0);
    EXPECT_STREQ(L"Windows ", name);
}

TEST(WindowsNameTest, UnterminatedServicePackStaysInItsField)
{
    VersionFacts f = Nt(6, 1);
    wmemset(f.csdVersion, L'x', 128);
    wchar_t full[300], detail[300];
    ComposeVersionTexts(f, full, 300, nullptr, 0, detail, 300);
    const std::wstring expected = L"(" + std::wstring(127, L'x') + L")  [6.1.7601]";
    EXPECT_EQ(expected, detail);
}

struct CodeRow {
    const char* label;
    VersionFacts facts;
    DWORD expected;
};

VersionFacts Win9x(DWORD minor, const wchar_t* csd, DWORD build = 950)
{
    return WithServicePack(Facts(VER_PLATFORM_WIN32_WINDOWS, 4, minor, 0, X86), csd, build);
}

VersionFacts Server(VersionFacts f, int wow64)
{
    f.serverByRegistry = true;
    f.wow64 = wow64;
    return f;
}

VersionFacts Wow(VersionFacts f, int wow64)
{
    f.wow64 = wow64;
    return f;
}

VersionFacts Extended(VersionFacts f, ExtendedQuery query)
{
    f.extendedQuery = query;
    if (query != ExtendedQuery::Ok) f.productType = 0;
    return f;
}

TEST(VersionCodeTest, EveryRow)
{
    VersionFacts failedQuery = Nt(6, 1);
    failedQuery.versionQueryOk = false;
    const CodeRow rows[] = {
        {"query failed", failedQuery, 0},
        {"Win32s", Facts(VER_PLATFORM_WIN32s, 3, 10), 0x1},
        {"95", Win9x(0, L""), 0x2},
        {"95 A", Win9x(0, L" A"), 0x2},
        {"95 B", Win9x(0, L" B"), 0x4},
        {"95 b", Win9x(0, L" b"), 0x4},
        {"95 C", Win9x(0, L" C"), 0x8},
        {"95 c", Win9x(0, L" c"), 0x8},
        {"95 with B first", Win9x(0, L"B"), 0x2},
        {"98", Win9x(10, L"", 0x040A07CE), 0x10},
        {"98 SE", Win9x(10, L" A ", 0x040A07CF), 0x20},
        {"98 SE build 2222", Win9x(10, L"", 2222), 0x20},
        {"Me", Win9x(90, L""), 0x40},
        {"9x 4.3", Win9x(3, L""), 0},
        {"9x 5.0", WithServicePack(Facts(VER_PLATFORM_WIN32_WINDOWS, 5, 0), L"", 1), 0},
        {"NT 3.0", Nt(3, 0), 0x100},
        {"NT 3.50", Nt(3, 50), 0x200},
        {"NT 3.51", Nt(3, 51), 0x400},
        {"NT 3.51 server", Server(Nt(3, 51, SRV), 0), 0x80000400},
        {"NT 3.1", Nt(3, 1), 0},
        {"NT 3.1 server", Server(Nt(3, 1, SRV), 0), 0},
        {"NT 4", Nt(4, 0), 0x800},
        {"NT 4 server", Server(Nt(4, 0, SRV), 0), 0x80000800},
        {"NT 4.1", Nt(4, 1), 0},
        {"2000", Nt(5, 0), 0x1000},
        {"2000 server", Server(Nt(5, 0, SRV), 0), 0x80001000},
        {"XP", Nt(5, 1), 0x2000},
        {"XP x64 (5.2 workstation)", Nt(5, 2), 0x8000},
        {"5.2 server", Server(Nt(5, 2, SRV), 0), 0x80002000},
        {"5.2 server under WOW64", Server(Nt(5, 2, SRV), 1), 0x80008000},
        {"5.2 server, WOW64 test failed", Server(Nt(5, 2, SRV), -1), 0x80008000},
        {"5.3", Nt(5, 3), 0},
        {"Vista 32", Wow(Nt(6, 0), 0), 0x4000},
        {"7 WOW64", Wow(Nt(6, 1), 1), 0x10000},
        {"7 WOW64 test failed", Wow(Nt(6, 1), -1), 0x10000},
        {"6.2 still version 6", Wow(Nt(6, 2), 0), 0x4000},
        {"2008 R2", Wow(Nt(6, 1, SRV), 0), 0x80004000},
        {"2008 R2 DC WOW64", Wow(Nt(6, 1, DC), 1), 0x80010000},
        {"6.x ignores the registry product type", Server(Nt(6, 1, WS), 0), 0x4000},
        {"6.x both queries failed", Wow(Extended(Nt(6, 1, SRV), ExtendedQuery::Failed), 1), 0x4000},
        {"6.x basic retry has no product type", Extended(Nt(6, 1), ExtendedQuery::BasicOnly), 0x80004000},
        {"7.0", Nt(7, 0), 0},
        {"10.0", Nt(10, 0), 0},
        {"other platform", Facts(3, 6, 1), 0},
    };
    for (const CodeRow& row : rows) {
        EXPECT_EQ(row.expected, ComputeVersionCode(row.facts)) << row.label << " 0x" << std::hex
                                                                << ComputeVersionCode(row.facts);
    }
}

struct CompareRow {
    DWORD major, minor, spMajor, spMinor;
    bool atLeast, exactly;
};

TEST(VersionCompareTest, HierarchicalOverGivenFields)
{
    const VersionFacts f = Nt(6, 1);  // service pack 1.0
    const CompareRow rows[] = {
        {U, U, U, U, false, false},
        {U, 1, U, U, false, false},
        {6, U, U, U, true, true},
        {5, U, U, U, true, false},
        {7, U, U, U, false, false},
        {5, 2, U, U, true, false},   // a higher major passes whatever the minor
        {6, 0, U, U, true, false},
        {6, 1, U, U, true, true},
        {6, 2, U, U, false, false},
        {6, 1, 1, U, true, true},
        {6, 1, 0, U, true, false},
        {6, 1, 2, U, false, false},
        {6, U, 2, U, false, false},  // minor left out: the service pack decides
        {6, U, 1, U, true, true},
        {5, U, 3, U, true, false},
        {6, 1, 1, 0, true, true},
        {6, 1, 1, 1, false, false},
        {6, 1, U, 0, true, true},
        {6, 0xFFFFFFFE, U, U, false, false},
    };
    for (const CompareRow& r : rows) {
        EXPECT_EQ(r.atLeast, FactsVersionAtLeast(f, r.major, r.minor, r.spMajor, r.spMinor))
            << r.major << "." << r.minor << " sp " << r.spMajor << "." << r.spMinor;
        EXPECT_EQ(r.exactly, FactsVersionExactly(f, r.major, r.minor, r.spMajor, r.spMinor))
            << r.major << "." << r.minor << " sp " << r.spMajor << "." << r.spMinor;
    }
}

TEST(VersionCompareTest, NextVersionRaisesTheLastGivenField)
{
    DWORD a[4] = {6, 1, U, U};
    ASSERT_TRUE(NextVersionFields(a));
    EXPECT_EQ(6u, a[0]);
    EXPECT_EQ(2u, a[1]);
    EXPECT_EQ(U, a[2]);
    DWORD b[4] = {6, U, U, U};
    ASSERT_TRUE(NextVersionFields(b));
    EXPECT_EQ(7u, b[0]);
    DWORD c[4] = {6, 1, U, 0};
    ASSERT_TRUE(NextVersionFields(c));
    EXPECT_EQ(1u, c[3]);
    EXPECT_EQ(U, c[2]);
    DWORD none[4] = {U, U, U, U};
    EXPECT_FALSE(NextVersionFields(none));
    DWORD top[4] = {6, 0xFFFFFFFE, U, U};
    EXPECT_FALSE(NextVersionFields(top));
    EXPECT_EQ(0xFFFFFFFEu, top[1]);
}

TEST(ProductOptionsTest, RegistryTextsAndSetupFallback)
{
    EXPECT_FALSE(ProductOptionsSayServer(L"WinNT", nullptr));
    EXPECT_FALSE(ProductOptionsSayServer(L"WinNTx", nullptr));  // the first five characters decide
    EXPECT_TRUE(ProductOptionsSayServer(L"ServerNT", nullptr));
    EXPECT_TRUE(ProductOptionsSayServer(L"LanmanNT", nullptr));
    EXPECT_TRUE(ProductOptionsSayServer(L"winnt", nullptr));
    EXPECT_TRUE(ProductOptionsSayServer(L"", nullptr));

    BYTE prefix[20] = {};
    EXPECT_FALSE(ProductOptionsSayServer(nullptr, prefix));
    prefix[14] = 0x04;
    EXPECT_TRUE(ProductOptionsSayServer(nullptr, prefix));
    prefix[14] = 0xFB;
    EXPECT_FALSE(ProductOptionsSayServer(nullptr, prefix));
    EXPECT_FALSE(ProductOptionsSayServer(nullptr, nullptr));
}

}  // namespace
