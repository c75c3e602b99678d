// The other users' startup entries: the Run keys and the Winlogon overrides
// of every profile loaded under HKEY_USERS except the current user's, in the
// format of the startup registry page.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "system/autostart_entries.h"

#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kUserRunKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run",
};
const char kWinlogonKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char* const kWinlogonValues[] = {"Shell", "Userinit", nullptr};
const char kProfileListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const char kClassesSuffix[] = "_Classes";

// As the startup registry page shows a value: its data cut to 520 bytes.
constexpr size_t kListedDataSize = 520;
constexpr size_t kValueLineSize = 3640;

// The current user's key name under HKEY_USERS ("S-1-5-21-..."); empty when
// the process token cannot tell.
std::string CurrentUserSid()
{
    ScopedKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return std::string();
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0 || size > 4096) return std::string();
    std::vector<BYTE> user(size);
    if (!GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size)) return std::string();
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) return std::string();
    std::string sid = text;
    LocalFree(text);
    return sid;
}

bool IsOtherProfile(const std::string& name, const std::string& currentUser)
{
    const size_t suffix = strlen(kClassesSuffix);
    if (_stricmp(name.c_str(), ".DEFAULT") == 0) return false;
    if (name.size() > suffix && _stricmp(name.c_str() + name.size() - suffix, kClassesSuffix) == 0) return false;
    return _stricmp(name.c_str(), currentUser.c_str()) != 0;
}

// The Shell and Userinit values of a user's Winlogon key, each as the
// startup registry page lists a value, with the details of its file.
// Nothing when the user overrides neither.
void WriteWinlogonOverrides(Page page, const std::string& path)
{
    const std::string header = "HKEY_USERS\\" + path;
    ScopedRegKey key;
    if (OpenKeyForReading(HKEY_USERS, path.c_str(), RegistryView64, key.Receive()) != ERROR_SUCCESS) return;
    int listed = 0;
    for (const char* const* value = kWinlogonValues; *value != nullptr; ++value) {
        std::string text;
        if (!ReadKeyText(key.Get(), *value, text)) continue;
        if (listed++ == 0) {
            AppendToPage(page, "<br><strong>%s: </strong><BR>\n", HtmlText<kPathSize>(header.c_str()).c_str());
        }
        text.resize(std::min(text.size(), kListedDataSize));
        char name[16];
        CopyText(name, *value);
        char line[kValueLineSize];
        char dataText[kPathSize];
        const DWORD length = static_cast<DWORD>(text.size() + 1);
        FormatRegistryValue(REG_SZ, name, reinterpret_cast<const BYTE*>(text.c_str()), length, line, sizeof line,
                            dataText);
        WriteHtmlText(page, line);
        AppendLiteral(page, "<br>");
        if (dataText[0] != '\0') WriteFileDetailsForText(dataText, page);
    }
}

void WriteProfile(Page page, const std::string& profile)
{
    AppendToPage(page, "<h2>Registry (HKEY_USERS\\%s)</h2>\n", HtmlText<kPathSize>(profile.c_str()).c_str());
    ScopedRegKey profileKey;
    std::string folder;
    if (OpenKeyForReading(HKEY_LOCAL_MACHINE, (kProfileListKey + profile).c_str(), RegistryView64,
                          profileKey.Receive()) == ERROR_SUCCESS &&
        ReadKeyText(profileKey.Get(), "ProfileImagePath", folder)) {
        AppendToPage(page, "Profile folder: %s<br>\n", HtmlText<kPathSize>(folder.c_str()).c_str());
    }
    // A user's Software key has one view; the 64-bit view reaches it whole.
    for (const char* runKey : kUserRunKeys) {
        if (IsCancelRequested()) return;
        const std::string path = profile + "\\" + runKey;
        WriteKeyValues(HKEY_USERS, path.c_str(), page, true, RegistryView64);
        NoteKeyValues("run-key", HKEY_USERS, path.c_str());
    }
    const std::string winlogon = profile + "\\" + kWinlogonKey;
    WriteWinlogonOverrides(page, winlogon);
    NoteKeyValues("winlogon", HKEY_USERS, winlogon.c_str(), kWinlogonValues);
}

}  // namespace

void CWindowsStuff::CollectUsersRegistry(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_USERS_REGISTRY, "Other Users' Startup Entries",
                                 "Other Users' Startup Entries", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    const std::string currentUser = CurrentUserSid();
    std::vector<std::string> profiles;
    ListSubkeyNames(HKEY_USERS, profiles);
    int listed = 0;
    for (const std::string& profile : profiles) {
        if (IsCancelRequested()) break;
        if (!IsOtherProfile(profile, currentUser)) continue;
        WriteProfile(page, profile);
        ++listed;
    }
    if (listed == 0 && !IsCancelRequested()) AppendLiteral(page, "[no other user profile is loaded]<br>\n");
    AppendLiteral(page, "<BR>\n");
    FinalizePage(page);
}
