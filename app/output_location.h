// Where a run writes: the output tree, the archive path, the command-line
// options "/HOMEPATH=" and "/HTMLPATH=" (as ParsedCommandLine holds them).
#pragma once
#include <cstddef>

class CHarvinDlg;

// Chooses the output location, sets up the tree and NAVI.html. False when the
// user abandoned the folder choice (program started from a CD).
bool PrepareOutputLocation(CHarvinDlg* dialog);

// The program file's full path; tests may point it elsewhere.
extern char ProgramPathOverride[260];
