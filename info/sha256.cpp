#include "info/sha256.h"

#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"

#include <wincrypt.h>

#include <cstdio>
#include <vector>

namespace {

// From wincrypt.h of Windows XP SP3 and later; this program is built with
// the headers of its oldest Windows.
constexpr DWORD kProviderRsaAes = 24;              // PROV_RSA_AES
constexpr ALG_ID kAlgorithmSha256 = 0x0000800c;    // CALG_SHA_256
constexpr DWORD kReadSize = 256 * 1024;
constexpr DWORD kDigestSize = 32;

using AcquireContextFunction = BOOL(WINAPI*)(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD);
using ReleaseContextFunction = BOOL(WINAPI*)(HCRYPTPROV, DWORD);
using CreateHashFunction = BOOL(WINAPI*)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*);
using HashDataFunction = BOOL(WINAPI*)(HCRYPTHASH, const BYTE*, DWORD, DWORD);
using GetHashParamFunction = BOOL(WINAPI*)(HCRYPTHASH, DWORD, BYTE*, DWORD*, DWORD);
using DestroyHashFunction = BOOL(WINAPI*)(HCRYPTHASH);

// The provider functions of advapi32, which every Windows has loaded; the
// SHA-256 algorithm is what only newer ones offer.
struct CryptFunctions {
    AcquireContextFunction acquire = nullptr;
    ReleaseContextFunction release = nullptr;
    CreateHashFunction createHash = nullptr;
    HashDataFunction hashData = nullptr;
    GetHashParamFunction getHashParam = nullptr;
    DestroyHashFunction destroyHash = nullptr;

    CryptFunctions()
    {
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        if (advapi == nullptr) return;
        acquire = LookupProc<AcquireContextFunction>(advapi, "CryptAcquireContextA");
        release = LookupProc<ReleaseContextFunction>(advapi, "CryptReleaseContext");
        createHash = LookupProc<CreateHashFunction>(advapi, "CryptCreateHash");
        hashData = LookupProc<HashDataFunction>(advapi, "CryptHashData");
        getHashParam = LookupProc<GetHashParamFunction>(advapi, "CryptGetHashParam");
        destroyHash = LookupProc<DestroyHashFunction>(advapi, "CryptDestroyHash");
    }
    bool Complete() const
    {
        return acquire != nullptr && release != nullptr && createHash != nullptr && hashData != nullptr &&
               getHashParam != nullptr && destroyHash != nullptr;
    }
};

const CryptFunctions& Crypt()
{
    static const CryptFunctions functions;
    return functions;
}

// One hash object, destroyed on every path.
class HashObject {
public:
    explicit HashObject(HCRYPTPROV provider)
    {
        if (!Crypt().createHash(provider, kAlgorithmSha256, 0, 0, &hash_)) hash_ = 0;
    }
    ~HashObject()
    {
        if (hash_ != 0) Crypt().destroyHash(hash_);
    }
    HashObject(const HashObject&) = delete;
    HashObject& operator=(const HashObject&) = delete;
    HCRYPTHASH Get() const { return hash_; }

private:
    HCRYPTHASH hash_ = 0;
};

}  // namespace

Sha256Files::Sha256Files() : provider_(0)
{
    if (!Crypt().Complete()) return;
    if (!Crypt().acquire(&provider_, nullptr, nullptr, kProviderRsaAes, CRYPT_VERIFYCONTEXT)) provider_ = 0;
}

Sha256Files::~Sha256Files()
{
    if (provider_ != 0) Crypt().release(provider_, 0);
}

bool Sha256Files::HashFile(const char* path, char (&hex)[65]) const
{
    hex[0] = '\0';
    if (provider_ == 0 || path == nullptr) return false;
    HashObject hash(provider_);
    if (hash.Get() == 0) return false;
    ScopedKernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    std::vector<BYTE> buffer(kReadSize);
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file.Get(), buffer.data(), kReadSize, &got, nullptr)) return false;
        if (got == 0) break;
        if (!Crypt().hashData(hash.Get(), buffer.data(), got, 0)) return false;
    }
    BYTE digest[kDigestSize];
    DWORD size = sizeof digest;
    if (!Crypt().getHashParam(hash.Get(), HP_HASHVAL, digest, &size, 0) || size != kDigestSize) return false;
    for (DWORD i = 0; i < kDigestSize; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return true;
}
