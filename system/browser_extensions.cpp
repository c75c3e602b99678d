// The browser extensions page: for every user profile the extensions of the
// Chromium browsers (Chrome, Edge) and of Firefox, read from the JSON files
// the browsers keep. Those files are untrusted input: each is read only up
// to a size bound, checked for its nesting depth before it is parsed, parsed
// without exceptions, and one that fails gives a bracketed line, never a stop.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "app/run_journal.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"

#include <nlohmann/json.hpp>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;

constexpr DWORD kManifestLimit = 1u << 20;     // a manifest, a message catalog
constexpr DWORD kPreferencesLimit = 8u << 20;  // a browser's preferences, an add-on list
constexpr int kJsonDepthLimit = 64;
constexpr size_t kTextShown = 1024;            // bytes of one name, version or path
constexpr size_t kFolderLimit = 2000;          // subfolders looked at in one folder
constexpr size_t kAddonLimit = 5000;
constexpr size_t kProfileLimit = 1000;

const char kProfileListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The Chromium browsers' "User Data" folders below the local application data.
struct ChromiumBrowser {
    const char* name;
    const char* userData;
};
const ChromiumBrowser kChromiumBrowsers[] = {
    {"Chrome", "Google\\Chrome\\User Data"},
    {"Edge", "Microsoft\\Edge\\User Data"},
};

// Application data below a profile: Windows Vista and later, then the older
// layout (whose names later Windows keep as links back into the new one).
const char* const kLocalAppData[] = {"AppData\\Local", "Local Settings\\Application Data"};
const char* const kRoamingAppData[] = {"AppData\\Roaming", "Application Data"};

// ---- files and folders ------------------------------------------------------------

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The names of the subfolders of `folder`, sorted without case, at most
// kFolderLimit. False, with the error in *error, when it cannot be listed.
bool ListSubfolders(const char* folder, std::vector<std::string>* names, DWORD* error = nullptr)
{
    names->clear();
    char pattern[kPathSize];
    if (!JoinPath(pattern, folder, "*")) return false;
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(pattern, &found));
    if (!search) {
        if (error != nullptr) *error = GetLastError();
        return false;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || strcmp(found.cFileName, ".") == 0 ||
            strcmp(found.cFileName, "..") == 0) {
            continue;
        }
        names->push_back(found.cFileName);
    } while (names->size() < kFolderLimit && FindNextFileA(search.Get(), &found));
    std::sort(names->begin(), names->end(),
              [](const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
    return true;
}

// The first of `candidates` below `profile` that is a folder, joined with `rest`.
bool AppDataFolder(const char* profile, const char* const (&candidates)[2], const char* rest, char (&out)[kPathSize])
{
    for (const char* candidate : candidates) {
        char base[kPathSize];
        if (!JoinPath(base, profile, candidate) || !IsFolder(base)) continue;
        return JoinPath(out, base, rest) && IsFolder(out);
    }
    return false;
}

// ---- JSON ---------------------------------------------------------------------------

enum class JsonRead { Ok, Missing, Unreadable, TooLarge, Unparsable };

// Arrays and objects nest at most `limit` deep (brackets inside strings do not count).
bool NestsWithin(const std::string& text, int limit)
{
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > limit) return false;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return true;
}

JsonRead ReadJsonFile(const char* path, DWORD limit, Json* out)
{
    // The browser may hold the file open while it runs.
    ScopedKernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? JsonRead::Missing
                                                                                : JsonRead::Unreadable;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return JsonRead::Unreadable;
    if (size.QuadPart > limit) return JsonRead::TooLarge;
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    while (done < text.size()) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), &text[done], static_cast<DWORD>(text.size()) - done, &read, nullptr)) {
            return JsonRead::Unreadable;
        }
        if (read == 0) break;  // the file shrank meanwhile
        done += read;
    }
    text.resize(done);
    if (!NestsWithin(text, kJsonDepthLimit)) return JsonRead::Unparsable;
    try {
        // Manifests may hold comments; a text that does not parse gives a discarded value.
        *out = Json::parse(text, nullptr, false, true);
    } catch (...) {
        return JsonRead::Unparsable;
    }
    return out->is_discarded() ? JsonRead::Unparsable : JsonRead::Ok;
}

const Json* Member(const Json& object, const char* name)
{
    if (!object.is_object()) return nullptr;
    const auto found = object.find(name);
    return found != object.end() ? &*found : nullptr;
}

std::string TextMember(const Json& object, const char* name)
{
    const Json* member = Member(object, name);
    return member != nullptr && member->is_string() ? member->get_ref<const std::string&>() : std::string();
}

// UTF-8 as the page's ANSI text, cut to kTextShown bytes.
std::string AnsiFromUtf8(const std::string& utf8)
{
    const std::string bounded = utf8.substr(0, 4 * kTextShown);
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, bounded.c_str(), -1, nullptr, 0);
    if (wideLength <= 0) return std::string();
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bounded.c_str(), -1, &wide[0], wideLength);
    char ansi[kTextShown + 1];
    WideToAnsiText(wide.c_str(), ansi, sizeof ansi);
    return ansi;
}

// ---- the page's table ------------------------------------------------------------------

struct ExtensionRow {
    const char* browser;
    std::string profile;  // the browser's profile folder name
    std::string id;
    std::string name;
    std::string version;
    const char* enabled;
    std::string location;  // where its files are
};

const char* const kColumns[] = {"Browser", "Profile", "Id", "Name", "Version", "Enabled", "Install location"};
constexpr int kColumnCount = sizeof kColumns / sizeof kColumns[0];

// One table per user profile, opened with its first row.
class ExtensionTable {
public:
    explicit ExtensionTable(Page page) : page_(page) {}
    ExtensionTable(const ExtensionTable&) = delete;
    ExtensionTable& operator=(const ExtensionTable&) = delete;

    void Row(const ExtensionRow& row)
    {
        Open();
        const std::string cells[] = {row.browser, row.profile, row.id, row.name, row.version, row.enabled,
                                     row.location};
        AppendLiteral(page_, "<TR>");
        for (const std::string& cell : cells) {
            AppendLiteral(page_, "<TD>");
            WriteHtmlText(page_, cell.c_str());
            AppendLiteral(page_, "</TD>");
        }
        AppendLiteral(page_, "</TR>\n");
    }

    // A file that could not be used, as one bracketed line across the table.
    void Remark(JsonRead read, const char* path)
    {
        Open();
        AppendToPage(page_, "<TR><TD colspan=\"%d\">", kColumnCount);
        switch (read) {
        case JsonRead::TooLarge: AppendLiteral(page_, "[could not read, too large: "); break;
        case JsonRead::Unparsable: AppendLiteral(page_, "[could not parse: "); break;
        default: AppendLiteral(page_, "[could not read: "); break;
        }
        WriteHtmlText(page_, path);
        AppendLiteral(page_, "]</TD></TR>\n");
    }

    // Ends the table, or says there was nothing.
    void Close()
    {
        AppendLiteral(page_, open_ ? "</TABLE><br>\n" : "[none]<br>\n");
        open_ = false;
    }

private:
    void Open()
    {
        if (open_) return;
        open_ = true;
        AppendLiteral(page_, "<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=2>\n<TR>");
        for (const char* column : kColumns) AppendToPage(page_, "<TH>%s</TH>", column);
        AppendLiteral(page_, "</TR>\n");
    }

    Page page_;
    bool open_ = false;
};

void NoteExtension(const ExtensionRow& row, const char* browserProfile, const char* file)
{
    JournalAutostart entry;
    entry.kind = "browser-extension";
    entry.location = browserProfile;
    entry.name = row.name;
    entry.command = row.id;
    entry.file = file;
    JournalNoteAutostart(entry);
}

// ---- Chromium browsers ------------------------------------------------------------

// A locale folder name ("en", "pt_BR"): nothing that leads out of _locales.
bool IsLocaleName(const std::string& locale)
{
    if (locale.empty() || locale.size() > 16) return false;
    for (char c : locale) {
        const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '_' && c != '-') return false;
    }
    return true;
}

// A "__MSG_key__" name replaced by the message of the extension's default
// locale; any other name, or one whose message is not found, as it is.
std::string ResolveMessageName(const std::string& name, const Json& manifest, const char* extensionFolder,
                               ExtensionTable& table)
{
    if (name.size() <= 8 || name.compare(0, 6, "__MSG_") != 0 || name.compare(name.size() - 2, 2, "__") != 0) {
        return name;
    }
    const std::string key = name.substr(6, name.size() - 8);
    const std::string locale = TextMember(manifest, "default_locale");
    if (!IsLocaleName(locale)) return name;
    char path[kPathSize];
    if (!FormatText(path, "%s\\_locales\\%s\\messages.json", extensionFolder, locale.c_str())) return name;
    Json messages;
    const JsonRead read = ReadJsonFile(path, kManifestLimit, &messages);
    if (read != JsonRead::Ok) {
        if (read != JsonRead::Missing) table.Remark(read, path);
        return name;
    }
    if (!messages.is_object()) return name;
    // Message names compare without case.
    for (const auto& item : messages.items()) {
        if (_stricmp(item.key().c_str(), key.c_str()) != 0) continue;
        const std::string message = TextMember(item.value(), "message");
        return message.empty() ? name : message;
    }
    return name;
}

// What a browser profile keeps of its extensions: "extensions.settings" of
// its secure preferences and of its preferences, as far as they could be read.
struct ChromiumSettings {
    Json secure;
    Json plain;
};

void ReadChromiumSettings(const char* profileFolder, ChromiumSettings* settings, ExtensionTable& table)
{
    struct {
        const char* name;
        Json* out;
    } files[] = {{"Secure Preferences", &settings->secure}, {"Preferences", &settings->plain}};
    for (const auto& file : files) {
        char path[kPathSize];
        if (!JoinPath(path, profileFolder, file.name)) continue;
        const JsonRead read = ReadJsonFile(path, kPreferencesLimit, file.out);
        if (read != JsonRead::Ok && read != JsonRead::Missing) table.Remark(read, path);
        if (read != JsonRead::Ok) *file.out = Json();
    }
}

const Json* ExtensionSettings(const Json& preferences, const std::string& id)
{
    const Json* extensions = Member(preferences, "extensions");
    const Json* all = extensions != nullptr ? Member(*extensions, "settings") : nullptr;
    return all != nullptr ? Member(*all, id.c_str()) : nullptr;
}

// "yes" or "no" from the extension's settings: its state where the browser
// keeps one, else whether it names reasons for being disabled.
const char* ChromiumEnabled(const ChromiumSettings& settings, const std::string& id)
{
    const Json* entry = ExtensionSettings(settings.secure, id);
    if (entry == nullptr) entry = ExtensionSettings(settings.plain, id);
    if (entry == nullptr) return "unknown";
    const Json* state = Member(*entry, "state");
    if (state != nullptr && state->is_number()) return state->get<double>() == 1 ? "yes" : "no";
    const Json* reasons = Member(*entry, "disable_reasons");
    if (reasons != nullptr) {
        if (reasons->is_number() && reasons->get<double>() != 0) return "no";
        if (reasons->is_array() && !reasons->empty()) return "no";
    }
    return "yes";
}

// Each version folder of one extension that holds a manifest.
void ListChromiumExtension(const char* browser, const char* profileFolder, const char* profileName,
                           const char* extensionsFolder, const std::string& id, const ChromiumSettings& settings,
                           ExtensionTable& table)
{
    char idFolder[kPathSize];
    std::vector<std::string> versions;
    if (!JoinPath(idFolder, extensionsFolder, id.c_str()) || !ListSubfolders(idFolder, &versions)) return;
    for (const std::string& version : versions) {
        if (IsCancelRequested()) return;
        char folder[kPathSize];
        char manifestPath[kPathSize];
        if (!JoinPath(folder, idFolder, version.c_str()) || !JoinPath(manifestPath, folder, "manifest.json")) continue;
        Json manifest;
        const JsonRead read = ReadJsonFile(manifestPath, kManifestLimit, &manifest);
        if (read == JsonRead::Missing) continue;
        if (read != JsonRead::Ok) {
            table.Remark(read, manifestPath);
            continue;
        }
        const std::string manifestVersion = TextMember(manifest, "version");
        ExtensionRow row;
        row.browser = browser;
        row.profile = profileName;
        row.id = id;
        row.name = AnsiFromUtf8(ResolveMessageName(TextMember(manifest, "name"), manifest, folder, table));
        row.version = manifestVersion.empty() ? version : AnsiFromUtf8(manifestVersion);
        row.enabled = ChromiumEnabled(settings, id);
        row.location = folder;
        table.Row(row);
        NoteExtension(row, profileFolder, manifestPath);
    }
}

// Every browser profile of one Chromium browser that has an Extensions folder.
void ListChromiumBrowser(const ChromiumBrowser& browser, const char* userProfile, ExtensionTable& table)
{
    char userData[kPathSize];
    std::vector<std::string> profiles;
    if (!AppDataFolder(userProfile, kLocalAppData, browser.userData, userData) ||
        !ListSubfolders(userData, &profiles)) {
        return;
    }
    for (const std::string& profile : profiles) {
        if (IsCancelRequested()) return;
        char profileFolder[kPathSize];
        char extensionsFolder[kPathSize];
        std::vector<std::string> ids;
        if (!JoinPath(profileFolder, userData, profile.c_str()) ||
            !JoinPath(extensionsFolder, profileFolder, "Extensions") || !ListSubfolders(extensionsFolder, &ids)) {
            continue;
        }
        ChromiumSettings settings;
        ReadChromiumSettings(profileFolder, &settings, table);
        for (const std::string& id : ids) {
            ListChromiumExtension(browser.name, profileFolder, profile.c_str(), extensionsFolder, id, settings, table);
        }
    }
}

// ---- Firefox ------------------------------------------------------------------------

const char* FirefoxEnabled(const Json& addon)
{
    const Json* active = Member(addon, "active");
    if (active != nullptr && active->is_boolean()) return active->get<bool>() ? "yes" : "no";
    const Json* disabled = Member(addon, "userDisabled");
    if (disabled != nullptr && disabled->is_boolean()) return disabled->get<bool>() ? "no" : "yes";
    return "unknown";
}

// "app-profile: C:\...\id.xpi": where Firefox found it, and its file.
std::string FirefoxLocation(const Json& addon)
{
    const std::string kind = AnsiFromUtf8(TextMember(addon, "location"));
    const std::string path = AnsiFromUtf8(TextMember(addon, "path"));
    if (kind.empty() || path.empty()) return kind + path;
    return kind + ": " + path;
}

void ListFirefoxProfile(const char* profileFolder, const char* profileName, ExtensionTable& table)
{
    char path[kPathSize];
    if (!JoinPath(path, profileFolder, "extensions.json")) return;
    Json list;
    const JsonRead read = ReadJsonFile(path, kPreferencesLimit, &list);
    if (read == JsonRead::Missing) return;
    if (read != JsonRead::Ok) {
        table.Remark(read, path);
        return;
    }
    const Json* addons = Member(list, "addons");
    if (addons == nullptr || !addons->is_array()) return;
    size_t listed = 0;
    for (const Json& addon : *addons) {
        if (IsCancelRequested() || ++listed > kAddonLimit) return;
        const std::string type = TextMember(addon, "type");
        if (!addon.is_object() || (!type.empty() && type != "extension")) continue;  // themes, dictionaries, languages
        const Json* locale = Member(addon, "defaultLocale");
        ExtensionRow row;
        row.browser = "Firefox";
        row.profile = profileName;
        row.id = AnsiFromUtf8(TextMember(addon, "id"));
        row.name = AnsiFromUtf8(locale != nullptr ? TextMember(*locale, "name") : TextMember(addon, "name"));
        row.version = AnsiFromUtf8(TextMember(addon, "version"));
        row.enabled = FirefoxEnabled(addon);
        row.location = FirefoxLocation(addon);
        table.Row(row);
        NoteExtension(row, profileFolder, AnsiFromUtf8(TextMember(addon, "path")).c_str());
    }
}

void ListFirefox(const char* userProfile, ExtensionTable& table)
{
    char profilesFolder[kPathSize];
    std::vector<std::string> profiles;
    if (!AppDataFolder(userProfile, kRoamingAppData, "Mozilla\\Firefox\\Profiles", profilesFolder) ||
        !ListSubfolders(profilesFolder, &profiles)) {
        return;
    }
    for (const std::string& profile : profiles) {
        if (IsCancelRequested()) return;
        char profileFolder[kPathSize];
        if (JoinPath(profileFolder, profilesFolder, profile.c_str())) {
            ListFirefoxProfile(profileFolder, profile.c_str(), table);
        }
    }
}

// ---- user profiles --------------------------------------------------------------------

// The folders of the user profiles Windows knows (ProfileList); where none
// can be read, the current user's from the shell.
std::vector<std::string> UserProfileFolders()
{
    std::vector<std::string> folders;
    ScopedRegKey list;
    const REGSAM access = IsWindows64Bit() ? (KEY_READ | KEY_WOW64_64KEY) : KEY_READ;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileListKey, 0, access, list.Receive()) == ERROR_SUCCESS) {
        for (DWORD index = 0; index < kProfileLimit; ++index) {
            char sid[kPathSize];
            DWORD length = sizeof sid;
            const LONG status = RegEnumKeyExA(list.Get(), index, sid, &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_MORE_DATA) continue;
            if (status != ERROR_SUCCESS) break;
            char keyPath[kPathSize];
            char stored[kPathSize];
            char expanded[kPathSize];
            if (!JoinPath(keyPath, kProfileListKey, sid)) continue;
            ReadStringValue(HKEY_LOCAL_MACHINE, keyPath, "ProfileImagePath", stored, sizeof stored, "",
                            RegistryView64);
            const DWORD expandedLength = ExpandEnvironmentStringsA(stored, expanded, sizeof expanded);
            if (stored[0] != '\0' && expandedLength > 0 && expandedLength <= sizeof expanded) {
                folders.push_back(expanded);
            }
        }
    }
    char own[MAX_PATH];
    if (folders.empty() && SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 0, own))) {
        folders.push_back(own);
    }
    return folders;
}

void ListUserProfile(const char* userProfile, Page page)
{
    DWORD error = 0;
    std::vector<std::string> entries;
    if (!ListSubfolders(userProfile, &entries, &error) && error != ERROR_ACCESS_DENIED) return;  // gone
    AppendLiteral(page, "<h2>");
    WriteHtmlText(page, userProfile);
    AppendLiteral(page, "</h2>\n");
    if (error == ERROR_ACCESS_DENIED) {
        AppendLiteral(page, "[Access Error]<br>\n");
        return;
    }
    ExtensionTable table(page);
    for (const ChromiumBrowser& browser : kChromiumBrowsers) {
        if (!IsCancelRequested()) ListChromiumBrowser(browser, userProfile, table);
    }
    if (!IsCancelRequested()) ListFirefox(userProfile, table);
    table.Close();
}

}  // namespace

void CWindowsStuff::CollectBrowserExtensions(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_BROWSER_EXTENSIONS, "Browser Extensions",
                                 "Browser Extensions", 1);
    if (page == nullptr) return;
    {
        // The system's own profiles lie below the system folder.
        FsRedirectionOff redirectionOff;
        for (const std::string& profile : UserProfileFolders()) {
            if (IsCancelRequested()) break;
            ListUserProfile(profile.c_str(), page);
        }
    }
    FinalizePage(page);
}
