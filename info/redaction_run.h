// The redaction of a collection run: the words of this machine gathered
// before anything is written, and the filters every writer of the tree goes
// through (pages, copies, captured output, run log, summary). The map of
// words to placeholders lives only in memory and is forgotten at the run's
// end. Used by the collecting thread only.
#pragma once
#include "info/redaction.h"

#include <cstddef>
#include <string>

// Starts the run's redaction when `requested`: gathers the user's and the
// profile folders' names, the computer, domain and workgroup names, the
// registered owner and organization and the volume and disk serial numbers.
void BeginRunRedaction(bool requested);
// Forgets the map; the run writes unfiltered again.
void EndRunRedaction();
// The run's map; null when the run is not redacted.
RedactionMap* ActiveRedaction();

// `text` with the machine's words replaced (unchanged when not redacting).
std::string RedactedAnsi(const char* text, RedactedText form = RedactedText::Plain);
// A disk's serial number met while a page is written: replaced from now on.
void NoteRedactionSerial(const char* serial);
// The part of `path` below OutputRoot filtered in place: the names of the
// copies and folders of the tree. False (path unchanged) when it does not fit.
bool RedactTreePath(char* path, size_t capacity);
template <size_t N> bool RedactTreePath(char (&path)[N]) { return RedactTreePath(path, N); }

// A file of the tree whose writer filtered it: the last sweep leaves it.
void NoteRedactedFile(const char* path);

enum class RedactedCopy { Copied, Failed, Binary };
// Copies a text file (ANSI, OEM, UTF-8 or UTF-16, told by its first bytes)
// filtered as it is written, keeping the source's write time. A binary file
// (by its type or content) is not copied: Binary. Failed leaves no target.
RedactedCopy CopyFileRedacted(const char* source, const char* target);
// Filters a file of the tree in place (a program's captured output). A file
// that cannot be filtered is deleted, with a status line.
void RedactFileInPlace(const char* path);
// Filters every file of the tree that no writer filtered (reports programs
// write themselves) and its name; a binary one is deleted with a status line.
void RedactUnfilteredFiles(const char* folder);

// "not collected: redacted run": the entry and run-log line of a binary copy left out.
extern const char kRedactedRunNotCollected[];
