// The command line of harvin.exe: the options of an unattended collection.
// "/HOMEPATH=" and "/HTMLPATH=" are only checked here; they are read where
// they are used (ReadCommandOption).
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
};

// Reads every word of the command line (the arguments after the program
// name). A word is an option: a flag, or "KEY=value" where the value may
// be in double quotes and then hold blanks. False, with the offending word
// in `problem` (cut to fit), for an unknown option, a word that is no
// option, or an empty value where a path is needed; the options read until
// then stay set.
bool ParseCommandLine(const char* commandLine, CommandLineOptions* options, char* problem, size_t problemCapacity);

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
