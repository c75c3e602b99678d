// provscan: lists the transport providers of the Winsock catalog (base and
// layered providers, protocol chains) as variable/value blocks on standard
// output. Layered providers are a classic cause of network trouble.
#include "provscan_format.h"

#include <cstdio>

namespace {

// The catalog as an array in one zero-filled global block, or NULL. The
// caller frees the block with GlobalFree.
WSAPROTOCOL_INFOW* ReadProtocolCatalog(int* count)
{
    *count = 0;
    DWORD size = 0;
    int error = 0;
    if (WSCEnumProtocols(nullptr, nullptr, &size, &error) == SOCKET_ERROR && error != WSAENOBUFS) {
        return nullptr;
    }
    // Never a block smaller than one record, even for an empty catalog.
    if (size < sizeof(WSAPROTOCOL_INFOW)) size = sizeof(WSAPROTOCOL_INFOW);
    auto* catalog = static_cast<WSAPROTOCOL_INFOW*>(GlobalAlloc(GPTR, size));
    if (catalog == nullptr) return nullptr;
    int entries = WSCEnumProtocols(nullptr, catalog, &size, &error);
    if (entries == SOCKET_ERROR) {
        GlobalFree(catalog);
        return nullptr;
    }
    int capacity = static_cast<int>(size / sizeof(WSAPROTOCOL_INFOW));
    *count = entries < capacity ? entries : capacity;
    return catalog;
}

void WriteProviderList(FILE* out, WSAPROTOCOL_INFOW* catalog, int count)
{
    fputs("Provider List", out);
    for (int i = 0; i < count; ++i) {
        // Some Winsock implementations report success without writing a path:
        // an empty buffer then means no path, never stale stack bytes.
        wchar_t path[MAX_PATH] = L"";
        int pathLength = MAX_PATH;
        int error = 0;
        bool found = WSCGetProviderPath(&catalog[i].ProviderId, path, &pathLength, &error) == 0;
        path[MAX_PATH - 1] = L'\0';
        found = found && path[0] != L'\0';
        WriteProviderEntry(out, catalog[i], found ? path : nullptr);
    }
}

}  // namespace

int main()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;

    int count = 0;
    WSAPROTOCOL_INFOW* catalog = ReadProtocolCatalog(&count);
    if (catalog != nullptr) WriteProviderList(stdout, catalog, count);
    fputs("\n", stdout);

    if (catalog != nullptr) GlobalFree(catalog);
    WSACleanup();
    fflush(stdout);
    return 0;
}
