// The command line of harvin.exe, read once at the start: the options of an
// unattended collection and the two paths every run honours.
#pragma once
#include "app/app_constants.h"

#include <cstddef>

struct CommandLineOptions {
    bool unattended = false;  // "/UNATTENDED"
    bool extended = false;    // "/EXTENDED"
    bool noDesktop = false;   // "/NODESKTOP"
    bool redact = false;      // "/REDACT": personal data replaced by placeholders
    bool help = false;        // "/?"
    bool nameGiven = false, companyGiven = false, ticketGiven = false;
    char name[kPathSize] = "";     // "/NAME="
    char company[kPathSize] = "";  // "/COMPANY="
    char ticket[kPathSize] = "";   // "/TICKET="
    bool htmlPathGiven = false, homePathGiven = false;
    char htmlPath[kPathSize] = "";  // "/HTMLPATH=": an absolute path
    char homePath[kPathSize] = "";  // "/HOMEPATH=": an absolute path
    // The first path option that named no absolute path, as written; it is
    // not used (an interactive run says so in a status line).
    char refusedPath[kPathSize] = "";
};

// Reads every word of the command line (the arguments after the program
// name). A word is an option: a flag, or "KEY=value" where the value may
// be in double quotes and then hold blanks. False, with the first offending
// word in `problem` (cut to fit), for an unknown option, a word that is no
// option, or a path option whose value is no absolute path; every valid
// option is read all the same.
bool ParseCommandLine(const char* commandLine, CommandLineOptions* options, char* problem, size_t problemCapacity);
// True for a path that names one place whatever the current folder and
// drive: a drive letter, a colon and a backslash ("C:\Out"), or a UNC path
// ("\\server\share"); not a device path ("\\.\x" or "\\?\x"), and no "/".
bool IsAbsolutePathOption(const char* value);

// What an unattended run ends with; documented in the README and in "/?".
enum UnattendedExitCode : int {
    kExitArchiveComplete = 0,
    kExitPagesNotCreated = 1,
    kExitArchiveIncomplete = 2,
    kExitNoArchive = 3,
    kExitNoOutputLocation = 4,
    kExitSecondInstance = 5,
    kExitBadCommandLine = 6,
};
