#include "app/folder_owner.h"

#include "platform/scoped_handle.h"

#include <aclapi.h>

#include <vector>

PSID FolderOwnerOverride = nullptr;

namespace {

// Token information larger than this is not believed.
constexpr DWORD kLargestTokenUser = 4096;

bool IsNtAuthoritySid(PSID sid, BYTE subCount, DWORD first, DWORD second)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID known = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, subCount, first, second, 0, 0, 0, 0, 0, 0, &known)) return false;
    const bool same = EqualSid(sid, known) != FALSE;
    FreeSid(known);
    return same;
}

bool IsProcessUser(PSID sid)
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    ScopedKernelHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER) || size > kLargestTokenUser) return false;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
    return EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid) != FALSE;
}

bool IsTrustedOwner(PSID owner)
{
    if (owner == nullptr || !IsValidSid(owner)) return false;
    return IsNtAuthoritySid(owner, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS) ||
           IsNtAuthoritySid(owner, 1, SECURITY_LOCAL_SYSTEM_RID, 0) || IsProcessUser(owner);
}

}  // namespace

bool IsOwnedByTrustedAccount(const char* folder)
{
    if (FolderOwnerOverride != nullptr) return IsTrustedOwner(FolderOwnerOverride);
    ScopedKernelHandle handle(CreateFileA(folder, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool trusted = IsTrustedOwner(owner);
    LocalFree(descriptor);
    return trusted;
}
