// Registry basics shared by the readers and the page writers: view flags,
// growing value reads, hive names and the value line format.
#include "info/registry.h"

#include "app/app_constants.h"
#include "info/registry_internal.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace registry_detail {

REGSAM ViewAccess(REGSAM access, DWORD view)
{
    if (!IsWindows64Bit()) return access;
    return access | (view == RegistryViewBoth ? RegistryView32 : view);
}

ValueBuffer::ValueBuffer(DWORD nameCapacity, DWORD dataCapacity)
    : name(std::max<DWORD>(nameCapacity, 2), '\0'), data(dataCapacity + kDataSpare, 0)
{
}

namespace {

// Makes the buffers of `value` larger after ERROR_MORE_DATA. `wantedData` is
// what the system asked for (0 when unknown). False when they cannot grow
// (the data not beyond `dataCap`).
bool GrowBuffers(ValueBuffer& value, size_t wantedName, size_t wantedData, size_t dataCap)
{
    size_t oldName = value.name.size();
    size_t oldData = value.data.size() - kDataSpare;
    size_t newName = std::min<size_t>(std::max(oldName * 2, wantedName), kMaxValueName);
    size_t newData = std::min<size_t>(std::max(oldData * 2, wantedData), dataCap);
    if (newName <= oldName && newData <= oldData) return false;
    value.name.resize(std::max(newName, oldName));
    value.data.resize(std::max(newData, oldData) + kDataSpare);
    return true;
}

void TerminateRead(ValueBuffer& value, DWORD nameLength, DWORD dataLength, DWORD type)
{
    size_t dataCapacity = value.data.size() - kDataSpare;
    value.nameLength = std::min<DWORD>(nameLength, static_cast<DWORD>(value.name.size() - 1));
    value.name[value.nameLength] = '\0';
    value.dataLength = std::min<DWORD>(dataLength, static_cast<DWORD>(dataCapacity));
    memset(value.data.data() + value.dataLength, 0, kDataSpare);
    value.type = type;
}

// The name, type and data size of a value too large to be read.
LONG EnumValueNameOnly(HKEY key, DWORD index, size_t nameCapacity, ValueBuffer& value)
{
    value.name.resize(std::max(value.name.size(), std::min<size_t>(nameCapacity, kMaxValueName)));
    DWORD nameLength = static_cast<DWORD>(value.name.size());
    DWORD type = REG_NONE;
    DWORD dataLength = 0;
    LONG status = RegEnumValueA(key, index, value.name.data(), &nameLength, nullptr, &type, nullptr, &dataLength);
    if (status == ERROR_SUCCESS) {
        TerminateRead(value, nameLength, 0, type);
        value.unlistedBytes = dataLength;
    } else {
        TerminateRead(value, 0, 0, REG_NONE);
    }
    return ERROR_MORE_DATA;
}

}  // namespace

LONG EnumValue(HKEY key, DWORD index, ValueBuffer& value)
{
    value.unlistedBytes = 0;
    for (;;) {
        DWORD nameLength = static_cast<DWORD>(value.name.size());
        DWORD dataLength = static_cast<DWORD>(value.data.size() - kDataSpare);
        DWORD type = REG_NONE;
        LONG status = RegEnumValueA(key, index, value.name.data(), &nameLength, nullptr, &type, value.data.data(),
                                    &dataLength);
        if (status == ERROR_SUCCESS) {
            TerminateRead(value, nameLength, dataLength, type);
            return status;
        }
        if (status != ERROR_MORE_DATA) return status;
        // The name length is not reported on ERROR_MORE_DATA: ask the key.
        DWORD maxName = 0;
        DWORD maxData = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                         nullptr, nullptr);
        const size_t wantedName = static_cast<size_t>(maxName) + 1;
        // The data size asked for is this value's: one over the limit is not read at all.
        if (dataLength > kMaxListedValueData ||
            !GrowBuffers(value, wantedName, std::max<size_t>(maxData, dataLength), kMaxListedValueData)) {
            return EnumValueNameOnly(key, index, wantedName, value);
        }
    }
}

LONG QueryValue(HKEY hive, const char* path, const char* name, DWORD view, ValueBuffer& value)
{
    TerminateRead(value, 0, 0, REG_NONE);
    ScopedRegKey key;
    LONG status = RegOpenKeyExA(hive, path, 0, ViewAccess(KEY_READ, view), key.Receive());
    if (status != ERROR_SUCCESS) return status;
    for (;;) {
        DWORD dataLength = static_cast<DWORD>(value.data.size() - kDataSpare);
        DWORD type = REG_NONE;
        status = RegQueryValueExA(key.Get(), name, nullptr, &type, value.data.data(), &dataLength);
        if (status == ERROR_SUCCESS) {
            TerminateRead(value, 0, dataLength, type);
            return status;
        }
        if (status != ERROR_MORE_DATA) break;
        if (!GrowBuffers(value, 0, dataLength, kMaxValueData)) break;
    }
    TerminateRead(value, 0, 0, REG_NONE);
    return status;
}

}  // namespace registry_detail

void HiveName(HKEY hive, char* out, size_t capacity)
{
    static const struct {
        HKEY hive;
        const char* name;
    } kHives[] = {
        {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},   {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
        {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}, {HKEY_USERS, "HKEY_USERS"},
        {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"}, {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
        {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
    };
    CopyText(out, capacity, "");
    for (const auto& entry : kHives) {
        if (entry.hive == hive) {
            CopyText(out, capacity, entry.name);
            return;
        }
    }
}

void EscapePercent(const char* text, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    out[0] = '\0';
    if (text == nullptr) return;
    size_t used = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        size_t need = (*p == '%') ? 2 : 1;
        if (used + need >= capacity) break;  // a doubled sign is never split
        out[used++] = *p;
        if (*p == '%') out[used++] = '%';
    }
    out[used] = '\0';
}

namespace {

// Appends "0x%02X " for `count` bytes, whole groups only.
void AppendHexBytes(char* line, size_t capacity, const BYTE* data, size_t count)
{
    size_t used = strlen(line);
    for (size_t i = 0; i < count; ++i) {
        if (used + 5 >= capacity) break;
        FormatText(line + used, capacity - used, "0x%02X ", static_cast<unsigned>(data[i]));
        used += 5;
    }
}

// The text of string data: up to its first zero byte, never past `length`.
std::string StringData(const BYTE* data, DWORD length)
{
    if (data == nullptr) return std::string();
    const char* text = reinterpret_cast<const char*>(data);
    size_t n = 0;
    while (n < length && text[n] != '\0') ++n;
    return std::string(text, n);
}

}  // namespace

void FormatRegistryValue(DWORD type, char* name, const BYTE* data, DWORD length, char* line, size_t lineCapacity,
                         char* dataText)
{
    if (dataText != nullptr) dataText[0] = '\0';
    if (name[0] == '\0') strcpy(name, "(Default)");
    if (line == nullptr || lineCapacity == 0) return;
    line[0] = '\0';
    if (data == nullptr) length = 0;

    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::string text = StringData(data, length);
        FormatText(line, lineCapacity, "%s = %s", name, text.c_str());
        if (dataText != nullptr) EscapePercent(text.c_str(), dataText, kPathSize);
        break;
    }
    case REG_MULTI_SZ: {
        FormatText(line, lineCapacity, "%s = ", name);
        // Strings follow each other up to an empty one or the end of the data.
        DWORD offset = 0;
        bool first = true;
        while (offset < length) {
            std::string item = StringData(data + offset, length - offset);
            if (item.empty()) break;
            if (!first) AppendText(line, lineCapacity, " ");
            AppendText(line, lineCapacity, item.c_str());
            first = false;
            offset += static_cast<DWORD>(item.size()) + 1;
        }
        break;
    }
    case REG_DWORD: {
        DWORD value = 0;
        if (data != nullptr) memcpy(&value, data, std::min<DWORD>(length, sizeof value));
        FormatText(line, lineCapacity, "%s = 0x%08X", name, static_cast<unsigned>(value));
        break;
    }
    case REG_BINARY: {
        FormatText(line, lineCapacity, "\\%s = ", name);
        // A value too long for the line shows as many bytes as the name leaves room for.
        size_t count = length;
        size_t limit = lineCapacity / 5;
        if (count > limit) {
            size_t nameLength = strlen(name) + 1;
            count = limit > nameLength ? limit - nameLength : 0;
        }
        AppendHexBytes(line, lineCapacity, data, count);
        break;
    }
    default:
        CopyText(line, lineCapacity, "Unknown Registry Value Type");
        break;
    }
}
