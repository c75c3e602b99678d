// Readers that fetch one registry value into a text buffer.
#include "info/registry.h"

#include "app/app_constants.h"
#include "app/harvin_dlg.h"
#include "info/registry_internal.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"

#include <cstring>

using registry_detail::QueryValue;
using registry_detail::ValueBuffer;
using registry_detail::ViewAccess;

namespace {

// Initial read size of the readers; values grow the buffer when needed.
constexpr DWORD kInitialData = 520;

void ClearText(char* out, size_t capacity)
{
    if (out != nullptr && capacity > 0) out[0] = '\0';
}

// String data of a value read: everything up to the first zero byte (the
// buffer always holds zero bytes after the data).
const char* DataText(const ValueBuffer& value) { return reinterpret_cast<const char*>(value.data.data()); }

}  // namespace

bool KeyExists(HKEY hive, const char* path, DWORD view)
{
    ScopedRegKey key;
    return RegOpenKeyExA(hive, path, 0, ViewAccess(KEY_READ, view), key.Receive()) == ERROR_SUCCESS;
}

bool ReadStringValue(HKEY hive, const char* path, const char* name, char* out, size_t capacity,
                     const char* defaultText, DWORD view)
{
    ClearText(out, capacity);
    ValueBuffer value(0, kInitialData);
    if (QueryValue(hive, path, name, view, value) != ERROR_SUCCESS) return false;
    if (DataText(value)[0] == '\0') return false;
    CopyText(out, capacity, DataText(value));  // a longer text is cut
    TrimTrailingBlanks(out);
    if (out[0] == '\0') CopyText(out, capacity, defaultText);
    return true;
}

bool StringValueIsSet(HKEY hive, const char* path, const char* name, DWORD view)
{
    char text[kPathSize];
    ReadStringValue(hive, path, name, text, sizeof text, "", view);
    return text[0] != '\0';
}

void ReadMultiStringValue(HKEY hive, const char* path, const char* name, char* out, size_t capacity,
                          const char* defaultText, DWORD view)
{
    ClearText(out, capacity);
    ValueBuffer value(0, kInitialData);
    if (QueryValue(hive, path, name, view, value) != ERROR_SUCCESS) return;
    // The list ends at an empty string or at the end of the data, whichever
    // comes first; the spare zero bytes stop a list without its terminator.
    const char* text = DataText(value);
    const char* end = text + value.dataLength;
    for (const char* item = text; item < end && *item != '\0'; item += strlen(item) + 1) {
        // The strings are data between the breaks: text, not markup. A list
        // that does not fit is cut, never inside an entity or a break.
        if (!AppendHtmlText(out, capacity, item)) break;
        const size_t kept = strlen(out);
        if (!AppendText(out, capacity, "<BR>")) {
            out[kept] = '\0';
            break;
        }
    }
    TrimTrailingBlanks(out);
    if (out[0] == '\0') CopyText(out, capacity, defaultText);
}

void ReadDwordValueText(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view)
{
    ClearText(out, capacity);
    ValueBuffer value(0, sizeof(DWORD));
    if (QueryValue(hive, path, name, view, value) != ERROR_SUCCESS) return;
    if (value.dataLength != sizeof(DWORD)) return;
    DWORD number = 0;
    memcpy(&number, value.data.data(), sizeof number);
    FormatText(out, capacity, "0x%08X (%d)", static_cast<unsigned>(number), static_cast<int>(number));
}

void ReadBinaryValueText(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view)
{
    constexpr DWORD kShownBytes = 256;
    ClearText(out, capacity);
    ValueBuffer value(0, kInitialData);
    if (QueryValue(hive, path, name, view, value) != ERROR_SUCCESS) return;
    DWORD count = value.dataLength < kShownBytes ? value.dataLength : kShownBytes;
    size_t used = 0;
    for (DWORD i = 0; i < count && used + 5 < capacity; ++i, used += 5) {
        FormatText(out + used, capacity - used, "0x%02X ", static_cast<unsigned>(value.data[i]));
    }
}

bool ReadFirstValueName(HKEY hive, const char* path, char* out, size_t capacity, DWORD view)
{
    ClearText(out, capacity);
    ScopedRegKey key;
    if (RegOpenKeyExA(hive, path, 0, ViewAccess(KEY_READ, view), key.Receive()) != ERROR_SUCCESS) return false;
    ValueBuffer value(kPathSize, kInitialData);
    if (registry_detail::EnumValue(key.Get(), 0, value) != ERROR_SUCCESS) return false;
    CopyText(out, capacity, value.name.data());
    return true;
}

LONG ReadValueOrWarn(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view)
{
    if (out == nullptr || capacity == 0) return ERROR_INVALID_PARAMETER;
    memset(out, 0, capacity);
    ScopedRegKey key;
    LONG status = RegOpenKeyExA(hive, path, 0, ViewAccess(KEY_READ, view), key.Receive());
    if (status != ERROR_SUCCESS) return status;
    DWORD length = static_cast<DWORD>(capacity);
    status = RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(out), &length);
    if (status != ERROR_SUCCESS) {
        memset(out, 0, capacity);
        // A status line rather than a box: this runs on the worker thread,
        // where an unowned box would stop the run until someone answers it.
        CHarvinDlg::AddStatusLine("Error on Registry Read");
        return status;
    }
    // Callers read texts: data that fills the whole buffer loses its last byte
    // to the terminator.
    if (length >= capacity) out[capacity - 1] = '\0';
    return status;
}

bool ResolveClsidServer(const char* clsid, char* out, size_t capacity, DWORD view)
{
    ClearText(out, capacity);
    char path[kPathSize];
    if (!FormatText(path, "CLSID\\%s\\InprocServer32", clsid != nullptr ? clsid : "")) return false;
    ValueBuffer value(0, 256);
    if (QueryValue(HKEY_CLASSES_ROOT, path, "", view, value) != ERROR_SUCCESS) return false;
    char server[kPathSize];
    // A cut path would name another file.
    if (!CopyText(server, DataText(value))) return false;
    ResolveModulePath(server, sizeof server);
    if (server[0] == '\0' || !CopyText(out, capacity, server)) {
        ClearText(out, capacity);
        return false;
    }
    return true;
}

void ResolveModulePath(char* text, size_t capacity)
{
    if (text == nullptr || capacity == 0) return;
    bool hasSystemRoot = ContainsNoCase(text, "%SystemRoot%");
    if (!hasSystemRoot && strchr(text, '\\') != nullptr) return;  // already a path
    if (text[0] == '\0') return;

    char result[kPathSize];
    if (hasSystemRoot) {
        char windowsFolder[kPathSize];
        UINT n = GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder);
        if (n == 0 || n >= sizeof windowsFolder) return;
        ReplaceFirstNoCase(text, "%SystemRoot%", windowsFolder, result, sizeof result);
    } else {
        // A bare file name: where the loader would find it, or nothing.
        DWORD n = SearchPathA(nullptr, text, nullptr, sizeof result, result, nullptr);
        if (n == 0 || n >= sizeof result) result[0] = '\0';
    }
    if (!CopyText(text, capacity, result)) text[0] = '\0';  // a cut path would name another file
}
