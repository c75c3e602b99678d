// summary.json in OutputRoot: what the run found and did, readable by a
// script without parsing the report's HTML, with a SHA-256 of every file.
#pragma once

// Writes the summary of the finished run (before the archive is made). A
// summary that cannot be written leaves a status line; the run goes on.
void WriteRunSummary();
