// The layered provider lister: the entry formatter fed with crafted catalog
// records, and the built program run against the live catalog.
#include "tests/tools/capture_file.h"
#include "tests/tools/companion_runner.h"
#include "tools/provscan/provscan_format.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <cstring>
#include <cwchar>
#include <regex>
#include <string>
#include <vector>

namespace {

using tools_test::CaptureFile;

// {E70F1AA0-AB8B-11CF-8CA3-00805F48A192}, the TCP/IP provider of Windows.
const GUID kTcpProvider = {0xE70F1AA0, 0xAB8B, 0x11CF, {0x8C, 0xA3, 0x00, 0x80, 0x5F, 0x48, 0xA1, 0x92}};

WSAPROTOCOL_INFOW CraftedEntry(int chainLength)
{
    WSAPROTOCOL_INFOW info;
    memset(&info, 0, sizeof info);
    info.dwServiceFlags1 = 0x20066;
    info.dwServiceFlags2 = 1;
    info.dwServiceFlags3 = 0xFFFFFFFF;
    info.dwServiceFlags4 = 0x80000000;
    info.dwProviderFlags = 8;
    info.ProviderId = kTcpProvider;
    info.dwCatalogEntryId = 1001;
    info.ProtocolChain.ChainLen = chainLength;
    for (int i = 0; i < MAX_PROTOCOL_CHAIN; ++i) info.ProtocolChain.ChainEntries[i] = 1001 + i;
    info.iVersion = 2;
    info.iAddressFamily = 2;
    info.iMaxSockAddr = 16;
    wcscpy(info.szProtocol, L"MSAFD Tcpip [TCP/IP]");
    return info;
}

std::string EntryText(const WSAPROTOCOL_INFOW& info, const wchar_t* path)
{
    CaptureFile capture;
    WriteProviderEntry(capture.File(), info, path);
    return capture.Text();
}

TEST(ProviderEntry, PrintsEveryFieldInOrder)
{
    WSAPROTOCOL_INFOW info = CraftedEntry(3);
    // The path is data: its percent signs must come out as they are.
    EXPECT_EQ(EntryText(info, L"%SystemRoot%\\system32\\mswsock.dll"),
              "\n\nVariable\tValue"
              "\nName\t\tMSAFD Tcpip [TCP/IP]"
              "\nLibraryPath\t%SystemRoot%\\system32\\mswsock.dll"
              "\nServiceFlags1\t0x00020066"
              "\nServiceFlags2\t0x00000001"
              "\nServiceFlags3\t0xffffffff"
              "\nServiceFlags4\t0x80000000"
              "\nProviderFlags\t0x00000008"
              "\nCatalogEntryId\t1001"
              "\nProtocolChain.ChainLen\t3"
              "\nProtocolChain.ChainEntries\t1001,1002,1003"
              "\nGUID\t\te70f1aa0-ab8b-11cf-8ca3-00805f48a192"
              "\nVersion\t\t2"
              "\nAddressFamily\t2"
              "\nMaxSockAddr\t16");

    // Without a path there is no LibraryPath line; an empty path keeps it.
    std::string noPath = EntryText(info, nullptr);
    EXPECT_EQ(noPath.find("LibraryPath"), std::string::npos);
    EXPECT_NE(EntryText(info, L"").find("\nLibraryPath\t\nServiceFlags1"), std::string::npos);
}

TEST(ProviderEntry, ChainEntriesOnlyForRealChains)
{
    for (int length : {1, 0, -1}) {
        std::string text = EntryText(CraftedEntry(length), nullptr);
        EXPECT_EQ(text.find("ChainEntries"), std::string::npos) << length;
        EXPECT_NE(text.find("\nProtocolChain.ChainLen\t" + std::to_string(length) + "\nGUID"), std::string::npos);
    }
    EXPECT_NE(EntryText(CraftedEntry(2), nullptr).find("\nProtocolChain.ChainEntries\t1001,1002\nGUID"),
              std::string::npos);
}

TEST(ProviderEntry, ChainTextStaysWithinTheRecordAndTheBuffer)
{
    // A chain length beyond what the record holds reads only the ids there are.
    WSAPROTOCOL_INFOW info = CraftedEntry(1000);
    for (DWORD& id : info.ProtocolChain.ChainEntries) id = 0x80000000;  // widest as %d
    info.iVersion = 777;  // follows the chain in the record; must not show up as an id
    char chain[kChainTextChars + 16];
    memset(chain, 0xBD, sizeof chain);
    BuildChainEntriesText(info, chain, kChainTextChars);
    std::string full = chain;
    std::string expected = "\nProtocolChain.ChainEntries\t-2147483648";
    for (int i = 1; i < MAX_PROTOCOL_CHAIN; ++i) expected += ",-2147483648";
    EXPECT_EQ(full, expected);
    EXPECT_EQ(static_cast<unsigned char>(chain[kChainTextChars]), 0xBD);
    EXPECT_NE(EntryText(info, nullptr).find("\nProtocolChain.ChainLen\t1000" + expected + "\nGUID"),
              std::string::npos);

    // A buffer too small is filled to its last byte and terminated, never passed.
    for (size_t size : {1u, 10u, 29u, 40u, 52u}) {
        memset(chain, 0xBD, sizeof chain);
        BuildChainEntriesText(info, chain, size);
        EXPECT_EQ(strlen(chain), size - 1) << size;
        EXPECT_EQ(full.compare(0, size - 1, chain), 0) << size;
        EXPECT_EQ(static_cast<unsigned char>(chain[size]), 0xBD) << size;
    }
}

TEST(ProviderEntry, GuidIsLowerCaseWithoutBraces)
{
    char text[kGuidTextChars];
    FormatGuidText(kTcpProvider, text);
    EXPECT_STREQ(text, "e70f1aa0-ab8b-11cf-8ca3-00805f48a192");
    const GUID small = {0xA, 0xB, 0xC, {1, 2, 3, 4, 5, 6, 7, 8}};
    FormatGuidText(small, text);
    EXPECT_STREQ(text, "0000000a-000b-000c-0102-030405060708");
}

TEST(ProviderEntry, UnterminatedNameEndsAtTheField)
{
    WSAPROTOCOL_INFOW info = CraftedEntry(1);
    for (wchar_t& c : info.szProtocol) c = L'N';  // no terminator anywhere
    std::string text = EntryText(info, nullptr);
    EXPECT_NE(text.find("\nName\t\t" + std::string(WSAPROTOCOL_LEN + 1, 'N') + "\nServiceFlags1"),
              std::string::npos);
}

// The catalog as this (64-bit) process sees it, to compare the program with.
std::vector<WSAPROTOCOL_INFOW> ReadCatalog()
{
    std::vector<WSAPROTOCOL_INFOW> entries;
    DWORD size = 0;
    int error = 0;
    WSCEnumProtocols(nullptr, nullptr, &size, &error);
    if (error != WSAENOBUFS) return entries;
    entries.resize(size / sizeof(WSAPROTOCOL_INFOW) + 1);
    size = static_cast<DWORD>(entries.size() * sizeof(WSAPROTOCOL_INFOW));
    int count = WSCEnumProtocols(nullptr, entries.data(), &size, &error);
    entries.resize(count > 0 ? static_cast<size_t>(count) : 0);
    return entries;
}

std::string LowerGuidWithoutBraces(const GUID& id)
{
    wchar_t wide[40];
    StringFromGUID2(id, wide, 40);
    std::string text;
    for (const wchar_t* p = wide; *p != L'\0'; ++p) {
        if (*p != L'{' && *p != L'}') text += static_cast<char>(towlower(*p));
    }
    return text;
}

TEST(ProvscanRun, ListsTheLiveCatalog)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    std::vector<WSAPROTOCOL_INFOW> catalog = ReadCatalog();
    WSACleanup();
    ASSERT_FALSE(catalog.empty());

    std::string raw;
    DWORD exitCode = 1;
    ASSERT_TRUE(tools_test::RunCompanion(tools_test::CompanionPath("provscan.exe"), &raw, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    std::string text = tools_test::WithoutCarriageReturns(raw);

    const std::string title = "Provider List";
    const std::string blockStart = "\n\nVariable\tValue";
    ASSERT_EQ(text.compare(0, title.size(), title), 0) << text.substr(0, 80);
    ASSERT_EQ(text.compare(title.size(), blockStart.size(), blockStart), 0);
    ASSERT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('{'), std::string::npos);
    EXPECT_EQ(text.find('}'), std::string::npos);

    // One block per catalog entry, in catalog order.
    std::vector<std::string> blocks;
    size_t at = title.size();
    while (at != std::string::npos) {
        size_t next = text.find(blockStart, at + blockStart.size());
        blocks.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    ASSERT_EQ(blocks.size(), catalog.size());

    const std::regex guidLine("\nGUID\t\t[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\n");
    for (size_t i = 0; i < blocks.size(); ++i) {
        const std::string& block = blocks[i];
        SCOPED_TRACE(block);
        char name[512];
        WideCharToMultiByte(CP_THREAD_ACP, 0, catalog[i].szProtocol, -1, name, sizeof name, nullptr, nullptr);
        EXPECT_EQ(block.compare(0, blockStart.size() + 7, blockStart + "\nName\t\t"), 0);
        EXPECT_NE(block.find("\nName\t\t" + std::string(name) + "\n"), std::string::npos);
        EXPECT_TRUE(std::regex_search(block, guidLine));
        EXPECT_NE(block.find("\nGUID\t\t" + LowerGuidWithoutBraces(catalog[i].ProviderId) + "\n"),
                  std::string::npos);
        EXPECT_NE(block.find("\nCatalogEntryId\t" + std::to_string(catalog[i].dwCatalogEntryId) + "\n"),
                  std::string::npos);
        bool chained = catalog[i].ProtocolChain.ChainLen > 1;
        EXPECT_EQ(block.find("\nProtocolChain.ChainEntries\t") != std::string::npos, chained);
        EXPECT_NE(block.find("\nMaxSockAddr\t" + std::to_string(catalog[i].iMaxSockAddr)), std::string::npos);
    }
}

}  // namespace
