// A collection with no window and no question ("/UNATTENDED"), for
// deployment tools and remote execution.
#pragma once
#include "app/command_line.h"

// Runs one collection on the calling thread with the options' details and
// returns its exit code. Writes GATHINFO.TXT beside a written archive.
int RunUnattendedCollection(const CommandLineOptions& options);
