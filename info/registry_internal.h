// Shared pieces of the registry readers and writers (not for collectors).
#pragma once
#include "platform/win.h"

#include <cstddef>
#include <vector>

namespace registry_detail {

// Zero bytes kept after the data of every read: registry data need not end in
// a terminator (nor a multi-string in two), so readers terminate it themselves.
constexpr DWORD kDataSpare = 2;
// Largest value data read at all; bigger values are skipped.
constexpr DWORD kMaxValueData = 4 * 1024 * 1024;
// Largest value data a listing reads; a bigger value is named with its size.
constexpr DWORD kMaxListedValueData = 1024 * 1024;
// Value names have at most 16,383 characters.
constexpr DWORD kMaxValueName = 16384;
// A key never lists more entries than this, so a key that keeps changing
// cannot keep a walk going forever.
constexpr DWORD kMaxEnumeratedItems = 200000;

// The access mask for opening a key in `view`. The flag is added only on a
// 64-bit system. View 0 opens what a 32-bit process sees by default, the
// 32-bit view, so the 64-bit build behaves like the 32-bit program.
REGSAM ViewAccess(REGSAM access, DWORD view);

// One value read by RegEnumValueA or RegQueryValueExA into buffers that grow
// on ERROR_MORE_DATA. The data is followed by kDataSpare zero bytes.
struct ValueBuffer {
    std::vector<char> name;
    std::vector<BYTE> data;
    DWORD nameLength = 0;
    DWORD dataLength = 0;
    DWORD type = REG_NONE;
    DWORD unlistedBytes = 0;  // size of a value EnumValue did not read (0: none, or unknown)

    ValueBuffer(DWORD nameCapacity, DWORD dataCapacity);
};

// Value `index` of an open key. Returns ERROR_SUCCESS, ERROR_NO_MORE_ITEMS at
// the end, ERROR_MORE_DATA when its data is over kMaxListedValueData (then
// only its name and type are read, and unlistedBytes holds the data's size;
// 0 when even the name could not be had), or another error.
LONG EnumValue(HKEY key, DWORD index, ValueBuffer& value);

// Named value of `path` below `hive`, opened with KEY_READ in `view`; the name
// part of `value` is not used.
LONG QueryValue(HKEY hive, const char* path, const char* name, DWORD view, ValueBuffer& value);

}  // namespace registry_detail
