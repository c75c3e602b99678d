// Registry reading and value formatting, with explicit 64-bit and 32-bit
// views. All text is 8-bit ANSI. Every reader clears its output first.
#pragma once
#include "platform/win.h"
#include "report/page_writer.h"

#include <cstddef>

// View flags OR-ed into every open on a 64-bit system.
constexpr DWORD RegistryViewBoth = 0;      // WriteKeyValues: both views
constexpr DWORD RegistryView64 = 0x100;    // KEY_WOW64_64KEY
constexpr DWORD RegistryView32 = 0x200;    // KEY_WOW64_32KEY

// "HKEY_LOCAL_MACHINE" and friends; empty for any other handle.
void HiveName(HKEY hive, char* out, size_t capacity);

bool KeyExists(HKEY hive, const char* path, DWORD view);
bool ReadStringValue(HKEY hive, const char* path, const char* name, char* out, size_t capacity,
                     const char* defaultText, DWORD view);
bool StringValueIsSet(HKEY hive, const char* path, const char* name, DWORD view);
void ReadMultiStringValue(HKEY hive, const char* path, const char* name, char* out, size_t capacity,
                          const char* defaultText, DWORD view);
// "0x%08X (%d)"; out holds at least 32 characters.
void ReadDwordValueText(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view);
// "0x%02X " per byte for at most 256 bytes: up to 1,280 characters.
void ReadBinaryValueText(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view);
bool ReadFirstValueName(HKEY hive, const char* path, char* out, size_t capacity, DWORD view);
// Raw bytes of a value; a failed query is reported as a status line.
LONG ReadValueOrWarn(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view);
bool ResolveClsidServer(const char* clsid, char* out, size_t capacity, DWORD view);
// In place: "%SystemRoot%" replaced by the Windows folder, a bare file name
// looked up on the search path (empty when not found).
void ResolveModulePath(char* text, size_t capacity);

// One value line; `name` (writable, at least 10 bytes) becomes "(Default)"
// when empty. `dataText` (260 bytes, may be null) receives the escaped string
// of REG_SZ and REG_EXPAND_SZ values.
void FormatRegistryValue(DWORD type, char* name, const BYTE* data, DWORD length, char* line,
                         size_t lineCapacity, char* dataText);
void EscapePercent(const char* text, char* out, size_t capacity);

bool WriteKeyValues(HKEY hive, const char* path, Page page, bool fileDetails, DWORD view);
bool WriteKeyTree(HKEY hive, const char* path, bool fileDetails, Page page, DWORD view);
void WriteKeyTreeFlat(HKEY hive, const char* path, Page page, DWORD view);
void WriteSingleValue(HKEY hive, const char* path, const char* name, DWORD type, Page page, bool fileDetails);

// Text utilities (texts of at most 259 characters).
void TrimTrailingBlanks(char* text);
void TrimLeadingBlanks(char* text);
bool ContainsNoCase(const char* text, const char* token);
// Result: text before the token, the replacement, text after it (first
// occurrence only); the unchanged text when the token is absent.
void ReplaceFirstNoCase(const char* text, const char* token, const char* replacement, char* out, size_t capacity);
void ReplaceFirst(const char* text, const char* token, const char* replacement, char* out, size_t capacity);
