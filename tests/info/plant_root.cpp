// Adds a certificate (a DER file) to the machine's Root store, so signatures
// under it verify in this prefix: the signature fixture's root.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>

int main(int argc, char** argv)
{
    static BYTE der[65536];
    FILE* file = argc == 2 ? fopen(argv[1], "rb") : nullptr;
    if (file == nullptr) return 2;
    const DWORD length = static_cast<DWORD>(fread(der, 1, sizeof der, file));
    fclose(file);
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store == nullptr) return 1;
    const BOOL added =
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, length, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(store, 0);
    return added ? 0 : 1;
}
