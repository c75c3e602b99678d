#include "provscan_format.h"

#include <cwchar>

namespace {

// Name (256 wide characters) and path (MAX_PATH) texts, at most 3 bytes per
// character in any ANSI code page (UTF-8 included), so nothing is lost to a
// short buffer.
constexpr size_t kTextBytes = 3 * MAX_PATH + 1;

// snprintf into what is left of a buffer; returns the new length, never
// beyond outSize - 1.
size_t AppendNumber(char* out, size_t outSize, size_t used, const char* prefix, int value)
{
    if (used + 1 >= outSize) return used;
    int n = snprintf(out + used, outSize - used, "%s%d", prefix, value);
    if (n < 0) {
        out[used] = '\0';
        return used;
    }
    size_t added = static_cast<size_t>(n);
    return used + added < outSize ? used + added : outSize - 1;
}

}  // namespace

void BuildChainEntriesText(const WSAPROTOCOL_INFOW& info, char* out, size_t outSize)
{
    if (outSize == 0) return;
    out[0] = '\0';
    const WSAPROTOCOLCHAIN& chain = info.ProtocolChain;
    int count = chain.ChainLen;
    if (count > MAX_PROTOCOL_CHAIN) count = MAX_PROTOCOL_CHAIN;
    if (count < 1) return;

    size_t used = AppendNumber(out, outSize, 0, "\nProtocolChain.ChainEntries\t",
                               static_cast<int>(chain.ChainEntries[0]));
    for (int i = 1; i < count; ++i) {
        used = AppendNumber(out, outSize, used, ",", static_cast<int>(chain.ChainEntries[i]));
    }
}

void FormatGuidText(const GUID& id, char (&out)[kGuidTextChars])
{
    snprintf(out, sizeof out, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
             static_cast<unsigned>(id.Data1), static_cast<unsigned>(id.Data2),
             static_cast<unsigned>(id.Data3), id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3],
             id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
}

void ToThreadAnsi(const wchar_t* text, size_t maxChars, char* out, size_t outSize)
{
    if (outSize == 0) return;
    out[0] = '\0';
    int length = static_cast<int>(wcsnlen(text, maxChars));
    if (length == 0) return;
    int written = WideCharToMultiByte(CP_THREAD_ACP, 0, text, length, out,
                                      static_cast<int>(outSize - 1), nullptr, nullptr);
    if (written < 0) written = 0;
    out[written] = '\0';
}

void WriteProviderEntry(FILE* out, const WSAPROTOCOL_INFOW& info, const wchar_t* libraryPath)
{
    fputs("\n\nVariable\tValue", out);

    char text[kTextBytes];
    ToThreadAnsi(info.szProtocol, WSAPROTOCOL_LEN + 1, text, sizeof text);
    fprintf(out, "\nName\t\t%s", text);

    // Printed as data: these paths hold environment references like "%SystemRoot%".
    if (libraryPath != nullptr) {
        ToThreadAnsi(libraryPath, MAX_PATH, text, sizeof text);
        fprintf(out, "\nLibraryPath\t%s", text);
    }

    fprintf(out, "\nServiceFlags1\t0x%08x", static_cast<unsigned>(info.dwServiceFlags1));
    fprintf(out, "\nServiceFlags2\t0x%08x", static_cast<unsigned>(info.dwServiceFlags2));
    fprintf(out, "\nServiceFlags3\t0x%08x", static_cast<unsigned>(info.dwServiceFlags3));
    fprintf(out, "\nServiceFlags4\t0x%08x", static_cast<unsigned>(info.dwServiceFlags4));
    fprintf(out, "\nProviderFlags\t0x%08x", static_cast<unsigned>(info.dwProviderFlags));
    fprintf(out, "\nCatalogEntryId\t%d", static_cast<int>(info.dwCatalogEntryId));
    fprintf(out, "\nProtocolChain.ChainLen\t%d", info.ProtocolChain.ChainLen);

    if (info.ProtocolChain.ChainLen > 1) {
        char chain[kChainTextChars];
        BuildChainEntriesText(info, chain, sizeof chain);
        fputs(chain, out);
    }

    char guid[kGuidTextChars];
    FormatGuidText(info.ProviderId, guid);
    fprintf(out, "\nGUID\t\t%s", guid);

    fprintf(out, "\nVersion\t\t%d", info.iVersion);
    fprintf(out, "\nAddressFamily\t%d", info.iAddressFamily);
    fprintf(out, "\nMaxSockAddr\t%d", info.iMaxSockAddr);
}
