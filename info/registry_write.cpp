// Page writers that put registry content into a report page in fixed line
// formats. Keys are opened for reading only: listing needs no more, and
// HKEY_LOCAL_MACHINE stays readable for users without administrative rights.
#include "info/registry.h"

#include "app/app_state.h"
#include "info/file_info.h"
#include "info/registry_internal.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <algorithm>
#include <cstring>

using registry_detail::EnumValue;
using registry_detail::kMaxEnumeratedItems;
using registry_detail::ValueBuffer;
using registry_detail::ViewAccess;

namespace {

constexpr size_t kHiveNameSize = 50;
constexpr size_t kKeyPathSize = 520;

// Limits of what one value line of WriteKeyValues shows.
constexpr DWORD kListedNameSize = 300;
constexpr DWORD kListedDataSize = 520;
constexpr size_t kValueLineSize = 3640;

// Limits of WriteKeyTreeFlat.
constexpr DWORD kFlatNameSize = 260;
constexpr DWORD kFlatDataSize = 1536;

// A value that was read whole is shown cut to the given limits; the spare
// zero bytes of the buffer terminate the cut data.
void CutForDisplay(ValueBuffer& value, DWORD nameSize, DWORD dataSize)
{
    if (value.nameLength >= nameSize) value.name[nameSize - 1] = '\0';
    if (value.dataLength > dataSize) {
        value.dataLength = dataSize;
        value.data[dataSize] = 0;
        value.data[dataSize + 1] = 0;
    }
}

// The child key path, or false when it does not fit (a cut path would name
// another key).
bool MakeChildPath(const char* path, const char* name, char (&child)[kKeyPathSize])
{
    if (path[0] == '\0') return CopyText(child, name);
    return JoinPath(child, path, name);
}

// Key paths and value names are data: text in the page, never markup.
using KeyPathText = HtmlText<kKeyPathSize>;
using NameText = HtmlText<kListedNameSize>;

void WriteKeyPathTooLong(HKEY hive, const char* path, const char* name, Page page)
{
    char hiveName[kHiveNameSize];
    HiveName(hive, hiveName, sizeof hiveName);
    AppendToPage(page, "<br><strong>%s\\%s\\%s:</strong><BR>[key path too long]<br>\n", hiveName,
                 KeyPathText(path).c_str(), NameText(name).c_str());
}

// A value too large to be listed keeps its place with its size: a dropped
// line would read as a value that is not there.
using UnlistedText = char[64];
void FormatUnlistedValue(const ValueBuffer& value, UnlistedText& text)
{
    FormatText(text, "[value of %lu bytes not listed]", static_cast<unsigned long>(value.unlistedBytes));
}

DWORD DwordData(const ValueBuffer& value)
{
    DWORD number = 0;
    memcpy(&number, value.data.data(), std::min<DWORD>(value.dataLength, sizeof number));
    return number;
}

}  // namespace

void BeginViewBlock(Page page)
{
    AppendLiteral(page, "<br><div style=\"color:blue;\"><strong><u>*64Bit* -> 32bit regKey view "
                        "(of Wow6432Node if exists!):</u></strong>");
}

void EndViewBlock(Page page) { AppendLiteral(page, "</div>"); }

bool WriteKeyValues(HKEY hive, const char* path, Page page, bool fileDetails, DWORD view)
{
    const bool system64 = IsWindows64Bit();
    bool listed64 = false;
    if (system64 && view == RegistryViewBoth) {
        listed64 = WriteKeyValues(hive, path, page, fileDetails, RegistryView64);
        view = RegistryView32;
    }

    ScopedRegKey key;
    if (RegOpenKeyExA(hive, path, 0, ViewAccess(KEY_READ, view), key.Receive()) != ERROR_SUCCESS) {
        return listed64;  // the 64-bit listing, when written, still counts
    }
    const bool viewBlock = system64 && view == RegistryView32;
    if (viewBlock) BeginViewBlock(page);

    char hiveName[kHiveNameSize];
    HiveName(hive, hiveName, sizeof hiveName);
    ValueBuffer value(kListedNameSize, kListedDataSize);
    char line[kValueLineSize];
    char dataText[kPathSize];
    DWORD listed = 0;
    for (DWORD index = 0; index < kMaxEnumeratedItems; ++index) {
        LONG status = EnumValue(key.Get(), index, value);
        const bool unlisted = status == ERROR_MORE_DATA;
        if (unlisted && value.unlistedBytes == 0) continue;  // not even its name could be read
        if (status != ERROR_SUCCESS && !unlisted) break;      // ERROR_NO_MORE_ITEMS is the normal end
        if (listed++ == 0) {
            AppendToPage(page, "<br><strong>%s\\%s: </strong><BR>\n", hiveName, KeyPathText(path).c_str());
        }
        CutForDisplay(value, kListedNameSize, kListedDataSize);
        if (unlisted) {
            UnlistedText text;
            FormatUnlistedValue(value, text);
            FormatText(line, "%s = %s", value.name[0] != '\0' ? value.name.data() : "(Default)", text);
            WriteHtmlText(page, line);
            AppendLiteral(page, "<br>");
            continue;
        }
        FormatRegistryValue(value.type, value.name.data(), value.data.data(), value.dataLength, line, sizeof line,
                            dataText);
        // Names and data are text, never a format nor markup.
        WriteHtmlText(page, line);
        AppendLiteral(page, "<br>");
        if (fileDetails && dataText[0] != '\0') WriteFileDetailsForText(dataText, page);
    }
    if (listed == 0) {
        AppendToPage(page, "<br><strong>%s\\%s:</strong><BR>", hiveName, KeyPathText(path).c_str());
        AppendFailureText(page, "[not available]");
        AppendLiteral(page, "<br>\n");
    }
    if (viewBlock) EndViewBlock(page);
    return true;
}

bool WriteKeyTree(HKEY hive, const char* path, bool fileDetails, Page page, DWORD view)
{
    WriteKeyValues(hive, path, page, fileDetails, view);

    ScopedRegKey key;
    if (RegOpenKeyExA(hive, path, 0, ViewAccess(KEY_READ, view), key.Receive()) != ERROR_SUCCESS) return true;
    char name[261];
    char child[kKeyPathSize];
    for (DWORD index = 0; index < kMaxEnumeratedItems; ++index) {
        DWORD nameLength = sizeof name;
        LONG status = RegEnumKeyExA(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;  // no such key name exists: its path could not be opened
        if (status != ERROR_SUCCESS) break;
        if (MakeChildPath(path, name, child)) {
            WriteKeyTree(hive, child, fileDetails, page, view);
        } else {
            WriteKeyPathTooLong(hive, path, name, page);
        }
        if (CancelRequested != 0) break;
    }
    return true;
}

void WriteKeyTreeFlat(HKEY hive, const char* path, Page page, DWORD view)
{
    ScopedRegKey key;
    if (RegOpenKeyExA(hive, path, 0, ViewAccess(KEY_READ, view), key.Receive()) != ERROR_SUCCESS) return;

    char name[kFlatNameSize];
    char child[kKeyPathSize];
    for (DWORD index = 0; index < kMaxEnumeratedItems; ++index) {
        DWORD nameLength = sizeof name;
        LONG status = RegEnumKeyExA(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return;  // this key ends without its values
        if (MakeChildPath(path, name, child)) {
            WriteKeyTreeFlat(hive, child, page, RegistryView32);
        } else {
            WriteKeyPathTooLong(hive, path, name, page);
        }
    }

    char hiveName[kHiveNameSize];
    HiveName(hive, hiveName, sizeof hiveName);
    ValueBuffer value(kFlatNameSize, kFlatDataSize);
    for (DWORD index = 0; index < kMaxEnumeratedItems; ++index) {
        LONG status = EnumValue(key.Get(), index, value);
        const bool unlisted = status == ERROR_MORE_DATA;
        if (unlisted && value.unlistedBytes == 0) continue;
        if (status != ERROR_SUCCESS && !unlisted) break;
        CutForDisplay(value, kFlatNameSize, kFlatDataSize);
        AppendToPage(page, "<strong>%s\\%s\\%s = </strong>", hiveName, KeyPathText(path).c_str(),
                     NameText(value.name.data()).c_str());
        if (unlisted) {
            UnlistedText text;
            FormatUnlistedValue(value, text);
            AppendLiteral(page, text);
        } else if (value.type == REG_DWORD) {
            AppendToPage(page, "0x%08X", static_cast<unsigned>(DwordData(value)));
        } else {
            WriteHtmlText(page, reinterpret_cast<const char*>(value.data.data()));
        }
        AppendLiteral(page, "<BR><BR>\n");
    }
}

void WriteSingleValue(HKEY hive, const char* path, const char* name, DWORD type, Page page, bool fileDetails)
{
    char hiveName[kHiveNameSize];
    HiveName(hive, hiveName, sizeof hiveName);
    // Room for the longest binary text (256 bytes of "0x%02X ").
    char text[1281];
    constexpr size_t kStringTextSize = 1024;
    switch (type) {
    case REG_SZ:
        ReadStringValue(hive, path, name, text, kStringTextSize, "", RegistryView32);
        break;
    case REG_BINARY:
        ReadBinaryValueText(hive, path, name, text, sizeof text, RegistryView32);
        break;
    case REG_DWORD:
        ReadDwordValueText(hive, path, name, text, sizeof text, RegistryView32);
        break;
    case REG_MULTI_SZ:
        ReadMultiStringValue(hive, path, name, text, kStringTextSize, "", RegistryView32);
        break;
    default:
        return;
    }
    char escaped[1000];
    escaped[0] = '\0';
    if ((type == REG_SZ || type == REG_MULTI_SZ) && text[0] != '\0') EscapePercent(text, escaped, sizeof escaped);
    AppendToPage(page, "<BR><BR><strong>%s\\%s\\%s = </strong>", hiveName, KeyPathText(path).c_str(),
                 NameText(name).c_str());
    if (text[0] == '\0') {
        AppendFailureText(page, "[not available]");
        AppendLiteral(page, "<br>");
    } else if (type == REG_MULTI_SZ) {
        AppendLiteral(page, text);  // the list reader gives page text: its strings escaped, joined by "<BR>"
    } else {
        WriteHtmlText(page, text);
    }
    if (fileDetails && escaped[0] != '\0') WriteFileDetailsForText(escaped, page);
}
