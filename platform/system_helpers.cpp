// Administrator test, privileges, process termination and message pumping.
// Folder-tree creation and the plug-in call live in file_helpers.cpp and
// plugin_call.cpp.
#include "platform/system_helpers.h"

#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <cstdio>

namespace {

// Frees what the administrator test allocates, on every path.
struct AdminCheckResources {
    bool impersonating = false;
    HANDLE token = nullptr;
    PSID administrators = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL acl = nullptr;

    AdminCheckResources() = default;
    AdminCheckResources(const AdminCheckResources&) = delete;
    AdminCheckResources& operator=(const AdminCheckResources&) = delete;
    ~AdminCheckResources()
    {
        if (impersonating) RevertToSelf();
        if (acl != nullptr) LocalFree(acl);
        if (descriptor != nullptr) LocalFree(descriptor);
        if (administrators != nullptr) FreeSid(administrators);
        if (token != nullptr) CloseHandle(token);
    }
};

// The thread's impersonation token, or the process token when the thread has
// none of its own.
bool OpenQueryToken(HANDLE* token)
{
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, token)) return true;
    *token = nullptr;
    if (GetLastError() != ERROR_NO_TOKEN) return false;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token)) return true;
    *token = nullptr;
    return false;
}

}  // namespace

bool IsUserAdministrator()
{
    // Every user of a Windows without NT security counts as administrator.
    if (!IsNtPlatform()) return true;

    AdminCheckResources res;
    res.impersonating = ImpersonateSelf(SecurityImpersonation) != FALSE;
    if (!OpenQueryToken(&res.token)) return false;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &res.administrators)) {
        res.administrators = nullptr;
        return false;
    }

    // A descriptor that grants read and write to the Administrators group
    // only: the access check against it answers the question.
    const DWORD kRead = 1;
    const DWORD kWrite = 2;
    res.descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (res.descriptor == nullptr) return false;
    if (!InitializeSecurityDescriptor(res.descriptor, SECURITY_DESCRIPTOR_REVISION)) return false;

    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(res.administrators) - sizeof(DWORD);
    res.acl = static_cast<PACL>(LocalAlloc(LPTR, aclSize));
    if (res.acl == nullptr) return false;
    if (!InitializeAcl(res.acl, aclSize, ACL_REVISION2)) return false;
    if (!AddAccessAllowedAce(res.acl, ACL_REVISION2, kRead | kWrite, res.administrators)) return false;
    if (!SetSecurityDescriptorDacl(res.descriptor, TRUE, res.acl, FALSE)) return false;
    if (!SetSecurityDescriptorGroup(res.descriptor, res.administrators, FALSE)) return false;
    if (!SetSecurityDescriptorOwner(res.descriptor, res.administrators, FALSE)) return false;
    if (!IsValidSecurityDescriptor(res.descriptor)) return false;

    GENERIC_MAPPING mapping;
    mapping.GenericRead = kRead;
    mapping.GenericWrite = kWrite;
    mapping.GenericExecute = 0;
    mapping.GenericAll = kRead | kWrite;
    PRIVILEGE_SET privileges;
    DWORD privilegesLength = sizeof(privileges);
    DWORD granted = 0;
    BOOL accessStatus = FALSE;
    if (!AccessCheck(res.descriptor, res.token, kRead, &mapping, &privileges, &privilegesLength, &granted,
                     &accessStatus)) {
        const DWORD error = GetLastError();
        printf("AccessCheck() failed with error %lu\n", static_cast<unsigned long>(error));
        return false;
    }
    return accessStatus != FALSE;
}

bool EnablePrivilege(const char* privilegeName)
{
    if (privilegeName == nullptr) return false;
    ScopedKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Receive())) return false;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, privilegeName, &privileges.Privileges[0].Luid)) return false;
    if (!AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr)) return false;
    // Success with ERROR_NOT_ALL_ASSIGNED means the token lacks the privilege.
    return GetLastError() == ERROR_SUCCESS;
}

bool EnableDebugPrivilege() { return EnablePrivilege("SeDebugPrivilege"); }

bool TerminateProcessById(DWORD processId, DWORD* errorCode)
{
    if (errorCode != nullptr) *errorCode = 0;
    ScopedKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    if (!process) {
        const DWORD error = GetLastError();
        if (errorCode != nullptr) *errorCode = error;
        return false;
    }
    // Lets the process lose the processor while it goes; the handle lacks the
    // right for it, so this may well fail, which does not matter.
    SetPriorityClass(process.Get(), IDLE_PRIORITY_CLASS);
    if (!TerminateProcess(process.Get(), 0)) {
        const DWORD error = GetLastError();
        if (errorCode != nullptr) *errorCode = error;
        return false;
    }
    return true;
}

bool GetWow64SystemFolder(char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    using GetFolderFunction = UINT(WINAPI*)(LPSTR, UINT);
    auto getFolder = LookupProc<GetFolderFunction>(GetModuleHandleA("KERNEL32.DLL"), "GetSystemWow64DirectoryA");
    if (getFolder == nullptr) return false;
    const UINT length = getFolder(out, static_cast<UINT>(capacity));
    if (length == 0 || length >= capacity) out[0] = '\0';
    return out[0] != '\0';
}

void PumpPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
