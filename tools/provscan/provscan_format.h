// Formatting of one Winsock catalog entry as the provider list prints it.
// Kept apart from the catalog reading so the tests can feed crafted records.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>
#include <ws2spi.h>

#include <cstddef>
#include <cstdio>

// Room for the chain entries line, terminator included.
constexpr size_t kChainTextChars = 259;

// "\nProtocolChain.ChainEntries\t" with the chain's catalog ids separated by
// commas, cut to outSize - 1 characters and always terminated. At most the
// MAX_PROTOCOL_CHAIN ids the record can hold are read, whatever ChainLen
// claims. Only meaningful when ChainLen is greater than 1.
void BuildChainEntriesText(const WSAPROTOCOL_INFOW& info, char* out, size_t outSize);

// The GUID as 8-4-4-4-12 lower-case hexadecimal digits without braces.
constexpr size_t kGuidTextChars = 37;
void FormatGuidText(const GUID& id, char (&out)[kGuidTextChars]);

// Wide text in the thread's ANSI code page, at most `maxChars` characters of
// it; characters the code page lacks become '?'. Always terminated.
void ToThreadAnsi(const wchar_t* text, size_t maxChars, char* out, size_t outSize);

// One entry's block, beginning with "\n\nVariable\tValue". libraryPath is the
// provider's DLL path, or NULL when it could not be read (no line then).
void WriteProviderEntry(FILE* out, const WSAPROTOCOL_INFOW& info, const wchar_t* libraryPath);
