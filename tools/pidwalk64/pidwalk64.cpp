// pidwalk64: lists the running processes of a 64-bit system, each with its
// modules and their version data, as one HTML document on standard output.
// The 32-bit collector cannot see into 64-bit processes, so it carries this
// program, runs it and keeps what it prints as a report page.
//
// Text is converted to the ANSI code page here (ToPageText) and printed as
// bytes, instead of handing wide text to the runtime: the runtime stops a
// string at the first character the code page lacks, which would cut a row
// in the middle of a Cyrillic or CJK file name.
#include "file_version_info.h"
#include "pidwalk64_format.h"

#include "info/signature_pool.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

// The three attempts, widest first. The values are the ones of current
// Windows, independent of the headers' target version.
constexpr DWORD kAllAccess = 0x1FFFFF;
constexpr DWORD kQueryAndRead = 0x450;  // query information, duplicate handles, read memory
constexpr DWORD kLimitedQuery = 0x1000;
constexpr DWORD kMaxModules = 1024;

using QueryFullProcessImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);

// Closes a process or snapshot handle on every path out of a scope.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle()
    {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// Lets OpenProcess reach processes of other users; without it the list is
// just shorter, so failure is not reported.
void EnableDebugPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
    OwnedHandle owner(token);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    }
}

// Opens a process with the widest access it grants. *isProtected is set when
// only limited query access works. On failure returns NULL and *error holds
// the last attempt's error code. The caller closes the handle.
HANDLE OpenForListing(DWORD processId, bool* isProtected, DWORD* error)
{
    *isProtected = false;
    HANDLE process = OpenProcess(kAllAccess, FALSE, processId);
    if (process == nullptr) process = OpenProcess(kQueryAndRead, FALSE, processId);
    if (process == nullptr) {
        process = OpenProcess(kLimitedQuery, FALSE, processId);
        *isProtected = process != nullptr;
    }
    *error = process == nullptr ? GetLastError() : ERROR_SUCCESS;
    return process;
}

// Terminates a path of `length` characters that a call put into a buffer of
// kNameChars; a full buffer means the path was cut, so the last character goes.
void TerminateReturnedPath(wchar_t (&path)[kNameChars], DWORD length)
{
    path[length < kNameChars ? length : kNameChars - 1] = L'\0';
}

// The image path of a process, empty when it cannot be read.
void ReadImagePath(HANDLE process, DWORD majorVersion, QueryFullProcessImageNameFn queryImageName,
                   wchar_t (&path)[kNameChars])
{
    path[0] = L'\0';
    if (majorVersion < 6) {
        DWORD length = GetModuleFileNameExW(process, nullptr, path, kNameChars);
        TerminateReturnedPath(path, length);
        return;
    }
    if (queryImageName == nullptr) return;
    DWORD size = kNameChars;
    if (!queryImageName(process, 0, path, &size)) size = 0;
    TerminateReturnedPath(path, size);
}

QueryFullProcessImageNameFn LookUpQueryImageName()
{
    HMODULE kernel = GetModuleHandleW(L"KERNEL32.DLL");
    if (kernel == nullptr) return nullptr;
    FARPROC proc = GetProcAddress(kernel, "QueryFullProcessImageNameW");
    return reinterpret_cast<QueryFullProcessImageNameFn>(reinterpret_cast<void*>(proc));
}

DWORD QueryMajorVersion()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version)) return 0;
    return version.dwMajorVersion;
}

// The process table. False when the snapshot holds no process at all.
bool WriteProcessTable(FILE* out, HANDLE snapshot, const wchar_t* windowsFolder)
{
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snapshot, &entry)) return false;

    DWORD majorVersion = QueryMajorVersion();
    QueryFullProcessImageNameFn queryImageName = LookUpQueryImageName();
    WriteTableHead(out);
    do {
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        if (entry.th32ProcessID == 0) {
            WriteIdleRow(out, entry.szExeFile);
            continue;
        }
        bool isProtected = false;
        DWORD error = ERROR_SUCCESS;
        OwnedHandle process(OpenForListing(entry.th32ProcessID, &isProtected, &error));
        if (process.Get() == nullptr) {
            wchar_t message[kMessageChars];
            GetSystemMessageText(error, message);
            WriteWarningLine(out, "OpenProcess()", error, message);
            continue;
        }
        wchar_t path[kNameChars];
        ReadImagePath(process.Get(), majorVersion, queryImageName, path);
        if (wcscmp(entry.szExeFile, L"System") == 0) path[0] = L'\0';
        wchar_t shownPath[kNameChars];
        NormalizeImagePath(path, windowsFolder, shownPath);
        WriteProcessRow(out, static_cast<unsigned>(entry.th32ProcessID), entry.szExeFile, shownPath,
                        isProtected);
    } while (Process32NextW(snapshot, &entry));
    WriteTableTail(out);
    return true;
}

// Each module file is verified once, however many processes load it; the
// pool verifies a process's modules while the entries before them are
// written.
class SignatureCache {
public:
    explicit SignatureCache(bool enabled)
        : enabled_(enabled), pool_(SystemTrustFunctions(), enabled ? SignaturePool::DefaultThreads() : 0, nullptr)
    {
    }
    bool Enabled() const { return enabled_; }

    void VerifyAhead(const wchar_t* path)
    {
        if (enabled_ && known_.count(path) == 0) pool_.Submit(path);
    }

    const FileSignature& Of(const wchar_t* path)
    {
        auto known = known_.find(path);
        if (known != known_.end()) return known->second;
        FileSignature& signature = known_[path];
        OwnedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) {
            SetSignatureNotAvailable(HRESULT_FROM_WIN32(GetLastError()), &signature);
        } else if (!pool_.Take(path, file.Get(), &signature)) {
            CheckOpenFileSignature(file.Get(), path, SystemTrustFunctions(), &signature);
        }
        return signature;
    }

private:
    bool enabled_;
    std::map<std::wstring, FileSignature> known_;
    SignaturePool pool_;
};

void QueryVersionTexts(const wchar_t* path, ModuleRecord* module)
{
    FileVersionInfo info;
    if (!info.Load(path)) return;
    info.QueryString(L"FileVersion", module->version);
    info.QueryString(L"FileDescription", module->description);
    info.QueryString(L"CompanyName", module->company);
    info.QueryString(L"LegalCopyright", module->copyright);
}

struct ModuleFile {
    wchar_t name[kNameChars];
    wchar_t shownPath[kNameChars];
};

// One process's modules; nothing at all when they cannot be listed. All of
// them are named to the signature checks before the first entry is written.
void WriteModuleSection(FILE* out, const wchar_t* processName, HANDLE process,
                        const wchar_t* windowsFolder, SignatureCache& signatures)
{
    HMODULE modules[kMaxModules];
    DWORD needed = 0;
    if (!EnumProcessModules(process, modules, sizeof modules, &needed)) return;
    WriteModuleSectionHead(out, processName);

    DWORD count = needed / sizeof(HMODULE);
    if (count > kMaxModules) count = kMaxModules;
    std::vector<ModuleFile> files;
    files.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        ModuleFile file = {};
        DWORD nameLength = GetModuleBaseNameW(process, modules[i], file.name, kNameChars);
        file.name[nameLength < kNameChars ? nameLength : kNameChars - 1] = L'\0';

        wchar_t path[kNameChars];
        DWORD pathLength = GetModuleFileNameExW(process, modules[i], path, kNameChars);
        if (pathLength == 0) continue;  // unloaded meanwhile, or not readable
        TerminateReturnedPath(path, pathLength);
        NormalizeImagePath(path, windowsFolder, file.shownPath);
        files.push_back(file);
    }
    for (const ModuleFile& file : files) signatures.VerifyAhead(file.shownPath);

    for (const ModuleFile& file : files) {
        ModuleRecord module = {};
        CopyText(module.name, file.name);
        QueryVersionTexts(file.shownPath, &module);
        if (signatures.Enabled()) {
            module.signature = signatures.Of(file.shownPath);
        } else {
            module.withoutSignature = true;
        }
        WriteModuleEntry(out, module, file.shownPath);
    }
}

void WriteModuleSections(FILE* out, HANDLE snapshot, const wchar_t* windowsFolder, bool checkSignatures)
{
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snapshot, &entry)) return;
    SignatureCache signatures(checkSignatures);
    do {
        if (entry.th32ProcessID == 0) continue;  // the idle process has no modules
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        bool isProtected = false;
        DWORD error = ERROR_SUCCESS;
        OwnedHandle process(OpenForListing(entry.th32ProcessID, &isProtected, &error));
        if (process.Get() == nullptr) continue;  // already warned about in the table
        WriteModuleSection(out, entry.szExeFile, process.Get(), windowsFolder, signatures);
    } while (Process32NextW(snapshot, &entry));
}

// The collector adds /NOSIGNATURES when its own signature checks are off
// (the benchmark's run without them). No file name holds a "/".
bool SignatureChecksWanted()
{
    return wcsstr(GetCommandLineW(), L" /NOSIGNATURES") == nullptr;
}

}  // namespace

int main()
{
    WriteDocumentHead(stdout);

    wchar_t windowsFolder[kNameChars];
    UINT length = GetWindowsDirectoryW(windowsFolder, kNameChars);
    if (length == 0 || length >= kNameChars) windowsFolder[0] = L'\0';

    EnableDebugPrivilege();
    OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.Get() != INVALID_HANDLE_VALUE &&
        WriteProcessTable(stdout, snapshot.Get(), windowsFolder)) {
        WriteModuleSections(stdout, snapshot.Get(), windowsFolder, SignatureChecksWanted());
    }

    WriteDocumentTail(stdout);
    fflush(stdout);
    return 0;
}
