// The Authenticode signature of a file: the embedded signature, or else the
// system catalogs, verified without user interface, revocation check or
// network retrieval, so a machine without internet gives the same answer
// quickly. Shared by the collector and the 64-bit process lister; wide text,
// nothing of the collector's state.
#pragma once
#include "platform/win.h"

#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

#include <cstddef>

enum class SignatureStatus { Valid, NotSigned, NotTrusted, Invalid, Expired, NotAvailable };

constexpr size_t kSignerChars = 260;

struct FileSignature {
    SignatureStatus status;
    LONG code;                    // what the verification returned, or the error that stopped it
    bool catalog;                 // verified through a system catalog
    wchar_t signer[kSignerChars]; // subject common name of the signing leaf certificate; empty when none
};

// The wintrust and crypt32 functions the check calls. The system's are taken
// at run time (SystemTrustFunctions); tests put stand-ins in their place.
// The SHA-256 catalog functions are null before Windows 8.
struct TrustFunctions {
    LONG(WINAPI* verifyTrust)(HWND window, GUID* action, LPVOID data);
    CRYPT_PROVIDER_DATA*(WINAPI* providerData)(HANDLE stateData);
    CRYPT_PROVIDER_SGNR*(WINAPI* providerSigner)(CRYPT_PROVIDER_DATA* data, DWORD signer, BOOL counterSigner,
                                                 DWORD counterSignerIndex);
    DWORD(WINAPI* certificateName)(PCCERT_CONTEXT certificate, DWORD type, DWORD flags, void* typeParameter,
                                   LPWSTR name, DWORD nameChars);
    BOOL(WINAPI* acquireCatalogAdmin)(HCATADMIN* admin, const GUID* subsystem, DWORD flags);
    BOOL(WINAPI* hashFile)(HANDLE file, DWORD* hashSize, BYTE* hash, DWORD flags);
    BOOL(WINAPI* acquireCatalogAdmin2)(HCATADMIN* admin, const GUID* subsystem, const WCHAR* hashAlgorithm,
                                       const void* strongSignPolicy, DWORD flags);
    BOOL(WINAPI* hashFile2)(HCATADMIN admin, HANDLE file, DWORD* hashSize, BYTE* hash, DWORD flags);
    HCATINFO(WINAPI* catalogFromHash)(HCATADMIN admin, BYTE* hash, DWORD hashSize, DWORD flags, HCATINFO* previous);
    BOOL(WINAPI* catalogInfo)(HCATINFO catalog, CATALOG_INFO* info, DWORD flags);
    BOOL(WINAPI* releaseCatalog)(HCATADMIN admin, HCATINFO catalog, DWORD flags);
    BOOL(WINAPI* releaseCatalogAdmin)(HCATADMIN admin, DWORD flags);
};

// wintrust.dll and crypt32.dll of the system folder, loaded on first use and
// kept for the process; a function either lacks is null.
const TrustFunctions& SystemTrustFunctions();

// Verifies the file open in `file` (read access; `path` names it for the
// verification). Every verification is closed and every catalog context
// released before it returns. A verification that cannot be made gives
// NotAvailable with the reason's code.
void CheckOpenFileSignature(HANDLE file, const wchar_t* path, const TrustFunctions& functions, FileSignature* out);
// NotAvailable with `code` (a file that cannot be opened, for one).
void SetSignatureNotAvailable(LONG code, FileSignature* out);

// The text after "Signature: " as page text: "Valid (Signer)", "Valid,
// catalog (Signer)", "Not signed", "Not trusted (0x800B0109)", "Invalid
// (0x80096010)", "Expired (Signer)" or "[not available] (0x...)"; the
// signer is HTML text (up to three bytes a character, six bytes a byte).
constexpr size_t kSignatureTextSize = 64 + 6 * 3 * kSignerChars;
void FormatSignatureText(const FileSignature& signature, char* out, size_t capacity);
// "valid", "not-signed", "not-trusted", "invalid", "expired", "not-available".
const char* SignatureStatusName(SignatureStatus status);
