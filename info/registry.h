// Registry reading and value formatting, with explicit 64-bit and 32-bit
// views. All text is 8-bit ANSI. Every reader clears its output first and
// never writes more than `capacity` bytes (terminator included); values are
// read whole into growing buffers and cut to the caller's buffer.
#pragma once
#include "platform/win.h"
#include "report/page_writer.h"

#include <cstddef>

// View flags OR-ed into every open on a 64-bit system (ignored on a 32-bit
// one). View 0 opens the 32-bit view, what the 32-bit program sees by default;
// only WriteKeyValues gives it the meaning "both views".
constexpr DWORD RegistryViewBoth = 0;      // WriteKeyValues: both views
constexpr DWORD RegistryView64 = 0x100;    // KEY_WOW64_64KEY
constexpr DWORD RegistryView32 = 0x200;    // KEY_WOW64_32KEY

// "HKEY_LOCAL_MACHINE" and friends; empty for any other handle. Cut to capacity.
void HiveName(HKEY hive, char* out, size_t capacity);

// True when the key opens for reading.
bool KeyExists(HKEY hive, const char* path, DWORD view);
// False (out empty) when the value cannot be read or is empty. Otherwise the
// text up to its first zero byte, trailing blanks removed; when only blanks
// were there, `defaultText` instead. A longer text is cut to capacity.
bool ReadStringValue(HKEY hive, const char* path, const char* name, char* out, size_t capacity,
                     const char* defaultText, DWORD view);
// ReadStringValue with an empty default: true when the text is not empty.
bool StringValueIsSet(HKEY hive, const char* path, const char* name, DWORD view);
// Page text: every string of the list as HTML text (HtmlEntityFor) followed
// by "<BR>", trailing blanks removed; a list that does not fit is cut between
// characters, entities or breaks, never inside one. An empty list gives `defaultText`; out is empty when the
// value cannot be read.
void ReadMultiStringValue(HKEY hive, const char* path, const char* name, char* out, size_t capacity,
                          const char* defaultText, DWORD view);
// "0x%08X (%d)"; out holds at least 32 characters. Empty unless the value
// has exactly four bytes.
void ReadDwordValueText(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view);
// "0x%02X " per byte for at most 256 bytes: up to 1,280 characters, so a
// capacity of 1,281 shows them all; a smaller one shows fewer whole bytes.
void ReadBinaryValueText(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view);
// Name of the value at enumeration index 0 (cut to capacity).
bool ReadFirstValueName(HKEY hive, const char* path, char* out, size_t capacity, DWORD view);
// Raw bytes of a value (the key opened directly under `hive`), zero-filled
// behind the data and always terminated: data that fills the whole buffer
// loses its last byte. When the key opens but the query fails, the status
// line "Error on Registry Read" is written. Returns the Win32 status.
LONG ReadValueOrWarn(HKEY hive, const char* path, const char* name, char* out, size_t capacity, DWORD view);
// Module of HKEY_CLASSES_ROOT\CLSID\<clsid>\InprocServer32, resolved with
// ResolveModulePath. False and out empty when it is unknown or does not fit.
bool ResolveClsidServer(const char* clsid, char* out, size_t capacity, DWORD view);
// In place: "%SystemRoot%" (any case) replaced by the Windows folder, a bare
// file name looked up on the search path (empty when not found), a text with
// a backslash left alone. A result that does not fit leaves the text empty.
void ResolveModulePath(char* text, size_t capacity);

// On a 64-bit system the 32-bit view of a key is listed after its 64-bit
// view, inside this blue block (the same marker on every page).
void BeginViewBlock(Page page);
void EndViewBlock(Page page);

// One value line; `name` (writable, at least 10 bytes) becomes "(Default)"
// when empty. `data` need not be terminated: only `length` bytes are read.
// `dataText` (260 bytes, may be null) receives the escaped string of REG_SZ
// and REG_EXPAND_SZ values and is empty for every other type. The line is
// text for AppendLiteral, never a format.
void FormatRegistryValue(DWORD type, char* name, const BYTE* data, DWORD length, char* line,
                         size_t lineCapacity, char* dataText);
// Copy with every "%" doubled; a doubled sign that does not fit is left out whole.
void EscapePercent(const char* text, char* out, size_t capacity);

// The values of one key. View 0 on a 64-bit system lists the 64-bit view and
// then the 32-bit view (inside a blue block). False when no view could be
// opened; nothing is written then.
bool WriteKeyValues(HKEY hive, const char* path, Page page, bool fileDetails, DWORD view);
// The key's values, then its subkeys depth first. Stops after the current
// subkey when a cancel is requested. Always true.
bool WriteKeyTree(HKEY hive, const char* path, bool fileDetails, Page page, DWORD view);
// Older dump: subkeys (always in the 32-bit view) before the key's own values.
void WriteKeyTreeFlat(HKEY hive, const char* path, Page page, DWORD view);
// One named value, read in the 32-bit view as `type` (1, 3, 4 or 7; others
// write nothing); "[not available]<br>" when it cannot be read. The page
// writers show key paths, names and data as HTML text.
void WriteSingleValue(HKEY hive, const char* path, const char* name, DWORD type, Page page, bool fileDetails);

// Text utilities (texts of at most 259 characters; blanks are spaces only).
void TrimTrailingBlanks(char* text);
void TrimLeadingBlanks(char* text);
bool ContainsNoCase(const char* text, const char* token);
// Result: text before the token, the replacement, text after it (first
// occurrence only); the unchanged text when the token is absent. `out` may be
// `text` itself; the result is cut to capacity.
void ReplaceFirstNoCase(const char* text, const char* token, const char* replacement, char* out, size_t capacity);
void ReplaceFirst(const char* text, const char* token, const char* replacement, char* out, size_t capacity);
