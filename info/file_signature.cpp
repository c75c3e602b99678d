#include "info/file_signature.h"

#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"

#include <softpub.h>

#include <cstddef>
#include <cwchar>

namespace {

// Codes that tell that the file carries no embedded signature: the catalogs
// may still know it.
bool IsWithoutEmbeddedSignature(LONG code)
{
    return code == TRUST_E_NOSIGNATURE || code == TRUST_E_SUBJECT_FORM_UNKNOWN || code == TRUST_E_PROVIDER_UNKNOWN;
}

// A chain that does not end in a root this machine trusts, or that the
// machine distrusts, or that is not meant for signing code.
bool IsNotTrusted(LONG code)
{
    switch (code) {
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_UNTRUSTEDCA:
    case TRUST_E_EXPLICIT_DISTRUST:
    case CERT_E_REVOKED:
    case CERT_E_WRONG_USAGE:
    case CERT_E_PURPOSE:
    case TRUST_E_SUBJECT_NOT_TRUSTED:
        return true;
    default:
        return false;
    }
}

// A signature that no longer matches the file, or that is damaged itself.
bool IsInvalid(LONG code)
{
    constexpr LONG kMalformedSignature = static_cast<LONG>(0x80096011);  // TRUST_E_MALFORMED_SIGNATURE
    switch (code) {
    case TRUST_E_BAD_DIGEST:
    case TRUST_E_CERT_SIGNATURE:
    case CRYPT_E_HASH_VALUE:
    case NTE_BAD_SIGNATURE:
    case CERT_E_MALFORMED:
    case kMalformedSignature:
        return true;
    default:
        return false;
    }
}

WINTRUST_DATA VerifyRequest()
{
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    return data;
}

// One verification: made when constructed, closed (WTD_STATEACTION_CLOSE)
// when it ends, whatever its result, so the state data it holds is freed.
class Verification {
public:
    Verification(const TrustFunctions& functions, const WINTRUST_DATA& request)
        : functions_(functions), data_(request)
    {
        result_ = functions_.verifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    ~Verification()
    {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        functions_.verifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    Verification(const Verification&) = delete;
    Verification& operator=(const Verification&) = delete;

    LONG Result() const { return result_; }

    // The subject common name of the first signer's leaf certificate (or
    // its display name when it has no common name); empty when the state
    // holds none.
    void ReadSigner(wchar_t (&signer)[kSignerChars]) const
    {
        signer[0] = L'\0';
        if (functions_.providerData == nullptr || functions_.providerSigner == nullptr ||
            functions_.certificateName == nullptr || data_.hWVTStateData == nullptr) {
            return;
        }
        CRYPT_PROVIDER_DATA* provider = functions_.providerData(data_.hWVTStateData);
        CRYPT_PROVIDER_SGNR* first = provider != nullptr ? functions_.providerSigner(provider, 0, FALSE, 0) : nullptr;
        if (first == nullptr || first->csCertChain == 0 || first->pasCertChain == nullptr) return;
        PCCERT_CONTEXT leaf = first->pasCertChain[0].pCert;
        if (leaf == nullptr) return;
        char commonName[] = szOID_COMMON_NAME;
        if (functions_.certificateName(leaf, CERT_NAME_ATTR_TYPE, 0, commonName, signer, kSignerChars) <= 1) {
            functions_.certificateName(leaf, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, signer, kSignerChars);
        }
        signer[kSignerChars - 1] = L'\0';
    }

private:
    const TrustFunctions& functions_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_DATA data_;
    LONG result_;
};

void Classify(const Verification& verification, bool catalog, FileSignature* out)
{
    const LONG code = verification.Result();
    out->code = code;
    out->catalog = catalog;
    out->signer[0] = L'\0';
    if (code == ERROR_SUCCESS || code == CERT_E_EXPIRED) {
        out->status = code == ERROR_SUCCESS ? SignatureStatus::Valid : SignatureStatus::Expired;
        verification.ReadSigner(out->signer);
    } else if (IsNotTrusted(code)) {
        out->status = SignatureStatus::NotTrusted;
    } else if (IsInvalid(code)) {
        out->status = SignatureStatus::Invalid;
    } else {
        out->status = SignatureStatus::NotAvailable;
    }
}

void Rewind(HANDLE file)
{
    LARGE_INTEGER start = {};
    SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
}

// Reads `size` bytes at `offset`; false when the file holds fewer.
bool ReadAt(HANDLE file, LONGLONG offset, void* buffer, DWORD size)
{
    LARGE_INTEGER position = {};
    position.QuadPart = offset;
    DWORD read = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && ReadFile(file, buffer, size, &read, nullptr) &&
           read == size;
}

// True for a well-formed program image whose certificate table is empty.
// An embedded signature of an image lives in that table and nowhere else,
// so the verification would answer TRUST_E_NOSIGNATURE; asking it costs
// loading the trust providers and opening the certificate stores (under
// Wine, filling the Root store from the host, a second or more). Anything
// else, including a table that is only half empty, is left to the
// verification.
bool IsImageWithoutCertificates(HANDLE file)
{
    IMAGE_DOS_HEADER dos;
    if (!ReadAt(file, 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return false;
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER file;
        WORD magic;
    } head;
    if (!ReadAt(file, dos.e_lfanew, &head, sizeof head) || head.signature != IMAGE_NT_SIGNATURE) return false;
    LONG directoryCountAt;  // NumberOfRvaAndSizes, followed by the data directories
    if (head.magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        directoryCountAt = offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes);
    } else if (head.magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        directoryCountAt = offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes);
    } else {
        return false;
    }
    const DWORD securityEntryEnd = static_cast<DWORD>(directoryCountAt) + sizeof(DWORD) +
                                   (IMAGE_DIRECTORY_ENTRY_SECURITY + 1) * sizeof(IMAGE_DATA_DIRECTORY);
    if (head.file.SizeOfOptionalHeader < securityEntryEnd) return false;
    struct {
        DWORD count;
        IMAGE_DATA_DIRECTORY entries[IMAGE_DIRECTORY_ENTRY_SECURITY + 1];
    } directories;
    const LONGLONG optionalHeaderAt = LONGLONG{dos.e_lfanew} + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    if (!ReadAt(file, optionalHeaderAt + directoryCountAt, &directories, sizeof directories) ||
        directories.count <= IMAGE_DIRECTORY_ENTRY_SECURITY) {
        return false;
    }
    const IMAGE_DATA_DIRECTORY& certificates = directories.entries[IMAGE_DIRECTORY_ENTRY_SECURITY];
    return certificates.VirtualAddress == 0 && certificates.Size == 0;
}

// ---- catalogs -------------------------------------------------------------------

// A catalog administrator context, released when it ends.
class CatalogAdmin {
public:
    explicit CatalogAdmin(const TrustFunctions& functions) : functions_(functions) {}
    ~CatalogAdmin()
    {
        if (admin_ != nullptr) functions_.releaseCatalogAdmin(admin_, 0);
    }
    CatalogAdmin(const CatalogAdmin&) = delete;
    CatalogAdmin& operator=(const CatalogAdmin&) = delete;
    HCATADMIN* Receive() { return &admin_; }
    HCATADMIN Get() const { return admin_; }

private:
    const TrustFunctions& functions_;
    HCATADMIN admin_ = nullptr;
};

// The catalog that lists a hash, released through its administrator.
class CatalogContext {
public:
    CatalogContext(const TrustFunctions& functions, HCATADMIN admin, HCATINFO catalog)
        : functions_(functions), admin_(admin), catalog_(catalog)
    {
    }
    ~CatalogContext()
    {
        if (catalog_ != nullptr) functions_.releaseCatalog(admin_, catalog_, 0);
    }
    CatalogContext(const CatalogContext&) = delete;
    CatalogContext& operator=(const CatalogContext&) = delete;
    HCATINFO Get() const { return catalog_; }

private:
    const TrustFunctions& functions_;
    HCATADMIN admin_;
    HCATINFO catalog_;
};

// The catalog request as Windows 8 and later read it: with the administrator
// context, which tells the verification the hash algorithm.
struct CatalogRequest {
    WINTRUST_CATALOG_INFO info;
    HCATADMIN admin;
};

constexpr DWORD kLargestHash = 64;

enum class CatalogLookup { Verified, NotListed, Failed };

// Looks the file's hash up in the catalogs of one hash algorithm (SHA-256
// with `sha256`, else SHA-1) and verifies the catalog that lists it.
CatalogLookup CheckInCatalogs(HANDLE file, const wchar_t* path, const TrustFunctions& functions, bool sha256,
                              FileSignature* out, LONG* error)
{
    CatalogAdmin admin(functions);
    const bool acquired = sha256 ? functions.acquireCatalogAdmin2(admin.Receive(), nullptr, L"SHA256", nullptr, 0)
                                 : functions.acquireCatalogAdmin(admin.Receive(), nullptr, 0);
    if (!acquired) {
        *error = HRESULT_FROM_WIN32(GetLastError());
        return CatalogLookup::Failed;
    }
    BYTE hash[kLargestHash];
    DWORD hashSize = sizeof hash;
    Rewind(file);
    const bool hashed = sha256 ? functions.hashFile2(admin.Get(), file, &hashSize, hash, 0)
                               : functions.hashFile(file, &hashSize, hash, 0);
    if (!hashed || hashSize == 0 || hashSize > sizeof hash) {
        *error = HRESULT_FROM_WIN32(GetLastError());
        return CatalogLookup::Failed;
    }
    CatalogContext catalog(functions, admin.Get(), functions.catalogFromHash(admin.Get(), hash, hashSize, 0, nullptr));
    if (catalog.Get() == nullptr) return CatalogLookup::NotListed;
    CATALOG_INFO catalogFile = {};
    catalogFile.cbStruct = sizeof catalogFile;
    if (!functions.catalogInfo(catalog.Get(), &catalogFile, 0)) {
        *error = HRESULT_FROM_WIN32(GetLastError());
        return CatalogLookup::Failed;
    }
    catalogFile.wszCatalogFile[MAX_PATH - 1] = L'\0';

    // The catalog lists its members by their hash in upper-case hex.
    const wchar_t kDigits[] = L"0123456789ABCDEF";
    wchar_t memberTag[2 * kLargestHash + 1];
    for (DWORD i = 0; i < hashSize; ++i) {
        memberTag[2 * i] = kDigits[hash[i] >> 4];
        memberTag[2 * i + 1] = kDigits[hash[i] & 0x0F];
    }
    memberTag[2 * hashSize] = L'\0';
    CatalogRequest request = {};
    request.info.cbStruct = sha256 ? sizeof request : sizeof request.info;
    request.info.pcwszCatalogFilePath = catalogFile.wszCatalogFile;
    request.info.pcwszMemberTag = memberTag;
    request.info.pcwszMemberFilePath = path;
    request.info.hMemberFile = file;
    request.info.pbCalculatedFileHash = hash;
    request.info.cbCalculatedFileHash = hashSize;
    request.admin = admin.Get();
    WINTRUST_DATA data = VerifyRequest();
    data.dwUnionChoice = WTD_CHOICE_CATALOG;
    data.pCatalog = &request.info;
    Rewind(file);
    Verification verification(functions, data);
    Classify(verification, true, out);
    return CatalogLookup::Verified;
}

bool HasCatalogFunctions(const TrustFunctions& f, bool sha256)
{
    const bool common = f.catalogFromHash != nullptr && f.catalogInfo != nullptr && f.releaseCatalog != nullptr &&
                        f.releaseCatalogAdmin != nullptr;
    return common && (sha256 ? f.acquireCatalogAdmin2 != nullptr && f.hashFile2 != nullptr
                             : f.acquireCatalogAdmin != nullptr && f.hashFile != nullptr);
}

template <typename Function>
void Take(HMODULE library, const char* name, Function& function)
{
    function = LookupProc<Function>(library, name);
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    // Only the system's own copy: never one planted beside the program.
    if (length == 0 || length >= MAX_PATH || !AppendText(path, L"\\") || !AppendText(path, name)) return nullptr;
    return LoadLibraryW(path);
}

}  // namespace

const TrustFunctions& SystemTrustFunctions()
{
    static const TrustFunctions functions = [] {
        TrustFunctions f = {};
        const HMODULE wintrust = LoadSystemLibrary(L"wintrust.dll");
        const HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll");
        Take(wintrust, "WinVerifyTrust", f.verifyTrust);
        Take(wintrust, "WTHelperProvDataFromStateData", f.providerData);
        Take(wintrust, "WTHelperGetProvSignerFromChain", f.providerSigner);
        Take(crypt32, "CertGetNameStringW", f.certificateName);
        Take(wintrust, "CryptCATAdminAcquireContext", f.acquireCatalogAdmin);
        Take(wintrust, "CryptCATAdminCalcHashFromFileHandle", f.hashFile);
        Take(wintrust, "CryptCATAdminAcquireContext2", f.acquireCatalogAdmin2);
        Take(wintrust, "CryptCATAdminCalcHashFromFileHandle2", f.hashFile2);
        Take(wintrust, "CryptCATAdminEnumCatalogFromHash", f.catalogFromHash);
        Take(wintrust, "CryptCATCatalogInfoFromContext", f.catalogInfo);
        Take(wintrust, "CryptCATAdminReleaseCatalogContext", f.releaseCatalog);
        Take(wintrust, "CryptCATAdminReleaseContext", f.releaseCatalogAdmin);
        return f;
    }();
    return functions;
}

void SetSignatureNotAvailable(LONG code, FileSignature* out)
{
    out->status = SignatureStatus::NotAvailable;
    out->code = code;
    out->catalog = false;
    out->signer[0] = L'\0';
}

void CheckOpenFileSignature(HANDLE file, const wchar_t* path, const TrustFunctions& functions, FileSignature* out)
{
    if (functions.verifyTrust == nullptr) {
        SetSignatureNotAvailable(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), out);
        return;
    }
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path;
    fileInfo.hFile = file;
    WINTRUST_DATA data = VerifyRequest();
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    LONG embedded = TRUST_E_NOSIGNATURE;
    if (!IsImageWithoutCertificates(file)) {
        Rewind(file);
        Verification verification(functions, data);
        embedded = verification.Result();
        if (!IsWithoutEmbeddedSignature(embedded)) {
            Classify(verification, false, out);
            return;
        }
    }

    // Most of Windows' own files are signed in its catalogs; newer catalogs
    // list SHA-256 hashes only, older ones SHA-1.
    bool notListed = false;
    bool failed = false;
    LONG error = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    const bool kSha256First[] = {true, false};
    for (bool sha256 : kSha256First) {
        if (!HasCatalogFunctions(functions, sha256)) continue;
        switch (CheckInCatalogs(file, path, functions, sha256, out, &error)) {
        case CatalogLookup::Verified: return;
        case CatalogLookup::NotListed: notListed = true; break;
        case CatalogLookup::Failed: failed = true; break;
        }
    }
    // Not signed only when the catalogs could be asked and none lists the
    // file: a lookup that failed proves nothing.
    if (failed || !notListed) {
        SetSignatureNotAvailable(error, out);
        return;
    }
    SetSignatureNotAvailable(embedded, out);
    if (embedded != TRUST_E_PROVIDER_UNKNOWN) out->status = SignatureStatus::NotSigned;
}

void FormatSignatureText(const FileSignature& signature, char* out, size_t capacity)
{
    char signer[3 * kSignerChars + 1];
    WideToAnsiText(signature.signer, signer, sizeof signer);
    char signerHtml[HtmlTextSize(sizeof signer)];
    CopyHtmlText(signerHtml, signer);
    const unsigned long code = static_cast<unsigned long>(signature.code);
    switch (signature.status) {
    case SignatureStatus::Valid:
    case SignatureStatus::Expired: {
        const char* state = signature.status == SignatureStatus::Expired ? "Expired"
                            : signature.catalog                         ? "Valid, catalog"
                                                                        : "Valid";
        if (signer[0] == '\0') {
            CopyText(out, capacity, state);
        } else {
            FormatText(out, capacity, "%s (%s)", state, signerHtml);
        }
        break;
    }
    case SignatureStatus::NotSigned: CopyText(out, capacity, "Not signed"); break;
    case SignatureStatus::NotTrusted: FormatText(out, capacity, "Not trusted (0x%08lX)", code); break;
    case SignatureStatus::Invalid: FormatText(out, capacity, "Invalid (0x%08lX)", code); break;
    case SignatureStatus::NotAvailable: FormatText(out, capacity, "[not available] (0x%08lX)", code); break;
    }
}

const char* SignatureStatusName(SignatureStatus status)
{
    switch (status) {
    case SignatureStatus::Valid: return "valid";
    case SignatureStatus::NotSigned: return "not-signed";
    case SignatureStatus::NotTrusted: return "not-trusted";
    case SignatureStatus::Invalid: return "invalid";
    case SignatureStatus::Expired: return "expired";
    case SignatureStatus::NotAvailable: break;
    }
    return "not-available";
}
