// What the autostart pages share: the file a command or a value names, the
// few registry reads they need on an open key, the file entry under each
// entry, and the record of each entry for the run's summary.
#pragma once
#include "platform/win.h"
#include "report/page_writer.h"

#include <cstddef>
#include <string>
#include <vector>

// The marker that opens the 32-bit view's listing of a key on 64-bit
// Windows; "</div>" closes it.
constexpr char kTwinViewBlock[] =
    "<br><div style=\"color:blue;\"><strong><u>*64Bit* -> 32bit regKey view (of Wow6432Node if exists!):</u>"
    "</strong>";

// The program or library `command` names, as Windows would start it:
// environment variables expanded (on 64-bit Windows the program folders are
// the 64-bit ones, as for the system's own 64-bit starters), a quoted path
// or the longest existing path of leading words, a "\??\" prefix dropped, a
// bare program name (".exe" added when it has no extension) looked up on
// the search path. Empty when the text names nothing (an open command's
// "%1") or the path does not fit; the file need not exist.
void ResolveCommandFile(const char* command, char* out, size_t capacity);
// `name` in the system folder (`extension` added when the name has none);
// a name with a folder is only expanded.
void ResolveSystemFile(const char* name, const char* extension, char* out, size_t capacity);
// The module registered for class id `clsid` (its InprocServer32, else its
// LocalServer32 program) in `view`; empty when the class is not registered.
void ResolveClassServer(const char* clsid, DWORD view, char* out, size_t capacity);
// The standard file entry of `file` (version texts and MD5), looked at with
// WOW64 redirection off; "[file not found]<br>" when it does not exist.
void WriteAutostartFile(const char* file, Page page);

// Notes one entry for the run's summary (only the run's own thread is
// heard). `file` may be empty.
void NoteAutostart(const char* kind, const std::string& location, const std::string& name,
                   const std::string& command, const char* file);
// Notes each string value of a key as an entry whose file its data names;
// with `names` (null-ended) only the values named there. The key is read in
// the 64-bit view, where the WOW6432NODE keys are the 32-bit programs' own.
void NoteKeyValues(const char* kind, HKEY hive, const char* path, const char* const* names = nullptr);
// "HKEY_LOCAL_MACHINE\<path>"; in the 32-bit view of a 64-bit Windows the
// path is the one behind it ("SOFTWARE\WOW6432Node\...").
std::string RegistryLocation(HKEY hive, const char* path, DWORD view);

// ---- reads of an open key, each bounded -------------------------------------
// The text of a REG_SZ or REG_EXPAND_SZ value as stored; false when it is
// missing, of another type or empty.
bool ReadKeyText(HKEY key, const char* name, std::string& text);
// The non-empty strings of a REG_MULTI_SZ value (or the one of a REG_SZ).
bool ReadKeyTexts(HKEY key, const char* name, std::vector<std::string>& texts);
// A REG_DWORD value, or a text holding a number ("0x200", "512").
bool ReadKeyNumber(HKEY key, const char* name, DWORD& number);
// The names of the subkeys, in order, at most a few thousand.
void ListSubkeyNames(HKEY key, std::vector<std::string>& names);
// Opens `path` below `hive` (or below an open key) for reading in `view`;
// ERROR_FILE_NOT_FOUND when it is not there.
LONG OpenKeyForReading(HKEY hive, const char* path, DWORD view, HKEY* key);
