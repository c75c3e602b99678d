#include "system/autostart_entries.h"

#include "app/run_journal.h"
#include "info/file_info.h"
#include "info/registry.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"
#include "system/windows_stuff.h"

#include <cstdlib>
#include <cstring>

namespace {

// No value these pages read comes near this; a bigger one is not read.
constexpr DWORD kMaxValueBytes = 64 * 1024;
constexpr DWORD kMaxValueNameSize = 16384;
constexpr DWORD kMaxListedEntries = 10000;
constexpr DWORD kExpandedSize = 4096;

bool FileExists(const char* path)
{
    if (path == nullptr || path[0] == '\0') return false;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Replaces every `token` (any case) in `text` by `replacement`.
void ReplaceAllNoCase(std::string& text, const char* token, const std::string& replacement)
{
    const size_t tokenLength = strlen(token);
    for (size_t at = 0; at + tokenLength <= text.size();) {
        if (_strnicmp(text.c_str() + at, token, tokenLength) != 0) {
            ++at;
            continue;
        }
        text.replace(at, tokenLength, replacement);
        at += replacement.size();
    }
}

// A 32-bit program sees the 32-bit program folders in %ProgramFiles%; the
// 64-bit starters of the system see the 64-bit ones.
void UseNativeProgramFolders(std::string& text)
{
    if (!IsWindows64Bit()) return;
    const char* const pairs[][2] = {{"%ProgramFiles%", "ProgramW6432"},
                                    {"%CommonProgramFiles%", "CommonProgramW6432"}};
    for (const auto& pair : pairs) {
        char folder[kPathSize];
        const DWORD length = GetEnvironmentVariableA(pair[1], folder, sizeof folder);
        if (length > 0 && length < sizeof folder) ReplaceAllNoCase(text, pair[0], folder);
    }
}

std::string ExpandedText(const char* command)
{
    std::string text = command;
    UseNativeProgramFolders(text);
    std::vector<char> expanded(kExpandedSize);
    const DWORD length = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), kExpandedSize);
    if (length == 0 || length > kExpandedSize) return text;
    return expanded.data();
}

// The leading words of `text` up to the end of the first word that ends
// in a program or library extension; the first word when none does.
std::string FirstProgramWords(const std::string& text)
{
    static const char* const kExtensions[] = {".exe", ".dll", ".com", ".bat", ".cmd", ".scr", ".cpl", ".ocx",
                                              ".vbs", ".js", ".ps1", ".sys", ".msi"};
    for (size_t end = 0; end <= text.size(); ++end) {
        if (end < text.size() && text[end] != ' ' && text[end] != ',') continue;
        for (const char* extension : kExtensions) {
            const size_t length = strlen(extension);
            if (end >= length && _strnicmp(text.c_str() + end - length, extension, length) == 0) {
                return text.substr(0, end);
            }
        }
    }
    return text.substr(0, text.find(' '));
}

// The path part of an expanded command: quoted, or the longest run of
// leading words that names an existing file.
std::string CommandPath(std::string text)
{
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return std::string();
    text.erase(0, start);
    if (text[0] == '"') {
        const size_t closing = text.find('"', 1);
        return text.substr(1, closing == std::string::npos ? std::string::npos : closing - 1);
    }
    for (std::string words = text;;) {
        if (FileExists(words.c_str())) return words;
        const size_t blank = words.rfind(' ');
        if (blank == std::string::npos) break;
        words.erase(blank);
    }
    return FirstProgramWords(text);
}

bool IsBareName(const std::string& path) { return path.find_first_of("\\/:") == std::string::npos; }

bool HasExtension(const std::string& name) { return name.find('.') != std::string::npos; }

LONG ReadValueBytes(HKEY key, const char* name, DWORD& type, std::vector<char>& data)
{
    // A value that grows between the two calls is asked for again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        LONG status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) return status;
        if (size > kMaxValueBytes) return ERROR_MORE_DATA;
        data.assign(static_cast<size_t>(size) + 2, '\0');
        DWORD length = size;
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &length);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return status;
        data.resize(static_cast<size_t>(length) + 2);  // two zero bytes end every text
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

REGSAM ReadAccess(DWORD view) { return IsWindows64Bit() ? (KEY_READ | view) : KEY_READ; }

}  // namespace

void ResolveCommandFile(const char* command, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    out[0] = '\0';
    if (command == nullptr) return;
    std::string path = CommandPath(ExpandedText(command));
    if (path.compare(0, 4, "\\??\\") == 0) path.erase(0, 4);
    // "%1", "%L": the document an open command is given, no program.
    if (path.empty() || (path.size() == 2 && path[0] == '%')) return;
    if (IsBareName(path)) {
        if (!HasExtension(path)) path += ".exe";
        char found[kPathSize];
        const DWORD length = SearchPathA(nullptr, path.c_str(), nullptr, sizeof found, found, nullptr);
        if (length > 0 && length < sizeof found) path = found;
    }
    if (!CopyText(out, capacity, path.c_str())) out[0] = '\0';  // a cut path names another file
}

void ResolveSystemFile(const char* name, const char* extension, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    out[0] = '\0';
    if (name == nullptr || name[0] == '\0') return;
    std::string file = ExpandedText(name);
    if (!HasExtension(file)) file += extension;
    if (IsBareName(file)) {
        char system[kPathSize];
        const UINT length = GetSystemDirectoryA(system, sizeof system);
        if (length == 0 || length >= sizeof system) return;
        file = std::string(system) + "\\" + file;
    }
    if (!CopyText(out, capacity, file.c_str())) out[0] = '\0';
}

void ResolveClassServer(const char* clsid, DWORD view, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    out[0] = '\0';
    for (const char* server : {"InprocServer32", "LocalServer32"}) {
        const std::string path = std::string("CLSID\\") + clsid + "\\" + server;
        ScopedRegKey key;
        std::string text;
        if (OpenKeyForReading(HKEY_CLASSES_ROOT, path.c_str(), view, key.Receive()) == ERROR_SUCCESS &&
            ReadKeyText(key.Get(), "", text)) {
            ResolveCommandFile(text.c_str(), out, capacity);
            return;
        }
    }
}

void WriteAutostartFile(const char* file, Page page)
{
    // The system's own programs are named by their 64-bit paths.
    FsRedirectionOff redirectionOff;
    if (FileExists(file)) {
        WriteStandardFileEntry(file, nullptr, page);
    } else {
        AppendLiteral(page, "[file not found]<br>\n");
    }
}

void NoteAutostart(const char* kind, const std::string& location, const std::string& name,
                   const std::string& command, const char* file)
{
    JournalNoteAutostart(JournalAutostart{kind, location, name, command, file != nullptr ? file : ""});
}

void NoteKeyValues(const char* kind, HKEY hive, const char* path, const char* const* names)
{
    ScopedRegKey key;
    if (OpenKeyForReading(hive, path, RegistryView64, key.Receive()) != ERROR_SUCCESS) return;
    const std::string location = RegistryLocation(hive, path, RegistryView64);
    std::vector<char> name(kMaxValueNameSize);
    for (DWORD index = 0; index < kMaxListedEntries; ++index) {
        DWORD nameLength = kMaxValueNameSize;
        LONG status = RegEnumValueA(key.Get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        bool wanted = names == nullptr;
        for (const char* const* listed = names; listed != nullptr && *listed != nullptr; ++listed) {
            wanted = wanted || _stricmp(*listed, name.data()) == 0;
        }
        std::string command;
        if (!wanted || !ReadKeyText(key.Get(), name.data(), command)) continue;
        char file[kPathSize];
        ResolveCommandFile(command.c_str(), file, sizeof file);
        NoteAutostart(kind, location, name[0] != '\0' ? name.data() : "(Default)", command, file);
    }
}

std::string RegistryLocation(HKEY hive, const char* path, DWORD view)
{
    char hiveName[50];
    HiveName(hive, hiveName, sizeof hiveName);
    std::string location = std::string(hiveName) + "\\" + path;
    if (!location.empty() && location.back() == '\\') location.pop_back();
    const size_t software = strlen(hiveName) + 1;
    if (IsWindows64Bit() && view == RegistryView32 && _strnicmp(path, "SOFTWARE\\", 9) == 0) {
        location.insert(software + 9, "WOW6432Node\\");
    }
    return location;
}

bool ReadKeyText(HKEY key, const char* name, std::string& text)
{
    text.clear();
    DWORD type = REG_NONE;
    std::vector<char> data;
    if (ReadValueBytes(key, name, type, data) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    text = data.data();
    return !text.empty();
}

bool ReadKeyTexts(HKEY key, const char* name, std::vector<std::string>& texts)
{
    texts.clear();
    DWORD type = REG_NONE;
    std::vector<char> data;
    if (ReadValueBytes(key, name, type, data) != ERROR_SUCCESS) return false;
    if (type != REG_MULTI_SZ && type != REG_SZ && type != REG_EXPAND_SZ) return false;
    // The data ends in two zero bytes of our own: every string is ended.
    for (size_t at = 0; at < data.size() - 2;) {
        const std::string text = data.data() + at;
        if (text.empty()) break;  // a list ends at its empty string
        texts.push_back(text);
        if (type != REG_MULTI_SZ) break;
        at += text.size() + 1;
    }
    return !texts.empty();
}

bool ReadKeyNumber(HKEY key, const char* name, DWORD& number)
{
    number = 0;
    DWORD type = REG_NONE;
    std::vector<char> data;
    if (ReadValueBytes(key, name, type, data) != ERROR_SUCCESS) return false;
    if (type == REG_DWORD && data.size() == sizeof(DWORD) + 2) {
        memcpy(&number, data.data(), sizeof number);
        return true;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    char* end = nullptr;
    number = strtoul(data.data(), &end, 0);
    return end != data.data();
}

void ListSubkeyNames(HKEY key, std::vector<std::string>& names)
{
    names.clear();
    char name[256];  // key names have at most 255 characters
    for (DWORD index = 0; index < kMaxListedEntries; ++index) {
        DWORD length = sizeof name;
        LONG status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // a cut name would open another key
        if (status != ERROR_SUCCESS) break;
        names.push_back(name);
    }
}

LONG OpenKeyForReading(HKEY hive, const char* path, DWORD view, HKEY* key)
{
    return RegOpenKeyExA(hive, path, 0, ReadAccess(view), key);
}
