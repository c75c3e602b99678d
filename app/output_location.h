// Where a run writes: the output tree, the archive path, the command-line
// options "/HOMEPATH=" and "/HTMLPATH=".
#pragma once
#include <cstddef>

class CHarvinDlg;

// Chooses the output location, sets up the tree and NAVI.html. False when the
// user abandoned the folder choice (program started from a CD).
bool PrepareOutputLocation(CHarvinDlg* dialog);
// True when `key` (with its "=") occurs in the command line; the value (up to
// the first blank or "/") is copied into `value`, cut to fit.
bool ReadCommandOption(const char* key, char* value, size_t capacity);

// The program file's full path; tests may point it elsewhere.
extern char ProgramPathOverride[260];
