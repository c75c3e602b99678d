// The pure half of the 64-bit process lister: path clean-up, system message
// clean-up and the HTML pieces it prints. Nothing here walks the system, so
// the tests compile this file on its own.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "info/file_signature.h"
#include "platform/bounded_text.h"

#include <cstddef>
#include <cstdio>

// Paths and names are held in 260 wide characters; longer ones are cut.
constexpr size_t kNameChars = 260;
// FormatMessageW is given room for this many characters.
constexpr size_t kMessageChars = 256;

// One module of a process as the page shows it. Texts are empty when the
// module's version resource has nothing for them.
struct ModuleRecord {
    wchar_t name[kNameChars];
    wchar_t version[kNameChars];
    wchar_t description[kNameChars];
    wchar_t company[kNameChars];
    wchar_t copyright[kNameChars];
    FileSignature signature;
    bool withoutSignature;  // no signature line (the checks are off)
};

// Turns an image path as the system reports it (drive path, "\??\" form,
// "\SystemRoot\..." form) into a path for display, using `windowsFolder`
// (no trailing backslash) for the SystemRoot marker. The result holds at most
// outChars - 1 characters and is always terminated.
void NormalizeImagePath(const wchar_t* path, const wchar_t* windowsFolder,
                        wchar_t* out, size_t outChars);
template <size_t N>
void NormalizeImagePath(const wchar_t* path, const wchar_t* windowsFolder, wchar_t (&out)[N])
{
    NormalizeImagePath(path, windowsFolder, out, N);
}

// Cuts a system message at its first control character other than a tab,
// then strips trailing periods, blanks and control characters, in place.
void CleanSystemMessage(wchar_t* text);

// The system's message text for an error code, cleaned as above; empty when
// the system has none.
void GetSystemMessageText(DWORD code, wchar_t (&text)[kMessageChars]);

// Converts wide text to page text: the ANSI code page the report pages are
// written in (WideToAnsiText: characters the code page lacks become '?' one
// by one, so the rest of the text survives, and no look-alike turns into
// markup), as HTML text (CopyHtmlText): names, paths and version texts are
// data, never markup. At most kNameChars characters are converted. `out` is
// always terminated; a cut never falls inside an entity.
void ToPageText(const wchar_t* text, char* out, size_t outSize);
// kNameChars characters in any code page (3 bytes each in UTF-8).
constexpr size_t kAnsiTextBytes = 3 * kNameChars + 1;
// Large enough for the page text of kNameChars characters.
constexpr size_t kPageTextBytes = HtmlTextSize(kAnsiTextBytes);

// The document pieces, in the order they are written.
void WriteDocumentHead(FILE* out);
void WriteTableHead(FILE* out);
void WriteIdleRow(FILE* out, const wchar_t* exeName);
void WriteProcessRow(FILE* out, unsigned processId, const wchar_t* exeName,
                     const wchar_t* path, bool isProtected);
// The warning that stands in for a process that cannot be opened; no line
// feed of its own.
void WriteWarningLine(FILE* out, const char* functionName, DWORD code, const wchar_t* messageText);
void WriteTableTail(FILE* out);
void WriteModuleSectionHead(FILE* out, const wchar_t* processName);
void WriteModuleEntry(FILE* out, const ModuleRecord& module, const wchar_t* displayPath);
void WriteDocumentTail(FILE* out);
