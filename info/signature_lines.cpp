#include "info/signature_lines.h"

#include "app/app_state.h"
#include "app/run_journal.h"
#include "info/checksum_cache.h"
#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <memory>
#include <string>

namespace {

int g_scopes = 0;
bool g_checksEnabled = true;
const TrustFunctions* g_functions = nullptr;
SignaturePool* g_pool = nullptr;  // while a SignaturesAheadScope lives

const TrustFunctions& Functions() { return g_functions != nullptr ? *g_functions : SystemTrustFunctions(); }

// The verification loads libraries and reads the system's catalogs and
// certificate stores. With WOW64 redirection off (pages that show the 64-bit
// system folder) a 32-bit process would reach the 64-bit system's copies
// there, so redirection is on while it lasts and as it was afterwards.
class RedirectionOnForSystemFiles {
public:
    RedirectionOnForSystemFiles()
    {
        if (!IsWindows64Bit()) return;
        HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
        auto disable = LookupProc<BOOL(WINAPI*)(PVOID*)>(kernel, "Wow64DisableWow64FsRedirection");
        auto enable = LookupProc<BOOLEAN(WINAPI*)(BOOLEAN)>(kernel, "Wow64EnableWow64FsRedirection");
        revert_ = LookupProc<BOOL(WINAPI*)(PVOID)>(kernel, "Wow64RevertWow64FsRedirection");
        if (disable == nullptr || enable == nullptr || revert_ == nullptr || !disable(&saved_)) return;
        restore_ = true;
        enable(TRUE);
    }
    ~RedirectionOnForSystemFiles()
    {
        if (restore_) revert_(saved_);
    }
    RedirectionOnForSystemFiles(const RedirectionOnForSystemFiles&) = delete;
    RedirectionOnForSystemFiles& operator=(const RedirectionOnForSystemFiles&) = delete;

private:
    BOOL(WINAPI* revert_)(PVOID) = nullptr;
    PVOID saved_ = nullptr;
    bool restore_ = false;
};

bool SameStamp(const BY_HANDLE_FILE_INFORMATION& info, const FileStamp& stamp)
{
    const unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return size == stamp.size && info.ftLastWriteTime.dwLowDateTime == stamp.lastWrite.dwLowDateTime &&
           info.ftLastWriteTime.dwHighDateTime == stamp.lastWrite.dwHighDateTime;
}

std::string Utf8(const wchar_t* text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length - 1));
    return utf8;
}

void NoteInJournal(const char* path, const FileSignature& signature)
{
    JournalNoteSignature(JournalSignature{path, SignatureStatusName(signature.status), Utf8(signature.signer),
                                          signature.catalog, static_cast<unsigned long>(signature.code)});
}

// The path as the verification takes it; false when it has no wide form.
bool WidePath(const char* path, wchar_t (&widePath)[MAX_PATH])
{
    return path != nullptr && MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) != 0;
}

bool IsRunCancelled() { return IsCancelRequested(); }

}  // namespace

SignaturesAheadScope::SignaturesAheadScope(void (*feed)(SignatureFeed& feed), unsigned threads)
{
    if (g_pool != nullptr || !g_checksEnabled || threads == 0) return;
    pool_.reset(new SignaturePool(Functions(), threads, &IsRunCancelled, feed));
    g_pool = pool_.get();
}

SignaturesAheadScope::~SignaturesAheadScope()
{
    if (!pool_) return;
    g_pool = nullptr;
    pool_.reset();
}

void VerifySignatureAhead(const char* path)
{
    wchar_t widePath[MAX_PATH];
    if (g_pool != nullptr && WidePath(path, widePath)) g_pool->Submit(widePath);
}

void VerifySignatureAhead(SignatureFeed& feed, const char* path)
{
    wchar_t widePath[MAX_PATH];
    if (WidePath(path, widePath)) feed.Submit(widePath);
}

SignatureLinesScope::SignatureLinesScope() { ++g_scopes; }
SignatureLinesScope::~SignatureLinesScope() { --g_scopes; }

void UseTrustFunctions(const TrustFunctions* functions) { g_functions = functions; }
void SetSignatureChecksEnabled(bool enabled) { g_checksEnabled = enabled; }
bool SignatureChecksEnabled() { return g_checksEnabled; }

void CheckFileSignature(const char* path, const FileStamp* stamp, FileSignature* out)
{
    if (stamp != nullptr && FindCachedSignature(path, *stamp, out)) return;
    wchar_t widePath[MAX_PATH];
    if (!WidePath(path, widePath)) {
        SetSignatureNotAvailable(HRESULT_FROM_WIN32(GetLastError()), out);
        return;
    }
    // Shared with writers and deleters: a file replaced meanwhile is checked
    // as it was when opened.
    ScopedKernelHandle file(CreateFileW(widePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        SetSignatureNotAvailable(HRESULT_FROM_WIN32(GetLastError()), out);
        return;
    }
    if (g_pool == nullptr || !g_pool->Take(widePath, file.Get(), out)) {
        RedirectionOnForSystemFiles redirection;
        CheckOpenFileSignature(file.Get(), widePath, Functions(), out);
    }
    BY_HANDLE_FILE_INFORMATION checked;
    if (stamp != nullptr && GetFileInformationByHandle(file.Get(), &checked) && SameStamp(checked, *stamp)) {
        RememberSignature(path, *stamp, *out);
    }
}

void FormatSignatureLine(const char* path, const FileStamp* stamp, char* line, size_t capacity)
{
    if (line == nullptr || capacity == 0) return;
    line[0] = '\0';
    if (g_scopes == 0 || !g_checksEnabled || path == nullptr || path[0] == '\0') return;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;

    FileSignature signature;
    CheckFileSignature(path, stamp, &signature);
    NoteInJournal(path, signature);
    char text[kSignatureTextSize];
    FormatSignatureText(signature, text, sizeof text);
    FormatText(line, capacity, "Signature: %s<BR>\n", text);
}
