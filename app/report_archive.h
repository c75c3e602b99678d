// The end of a run: the archive GATHINFO.ZIP with the tree and the run log,
// its copy on the desktop and the final message.
#pragma once
#include "archive/zip_writer.h"

class CHarvinDlg;

void FinishCollection(CHarvinDlg* dialog);
// True when the archive was completed with every file of the tree.
bool BuildReportArchive();
// Adds the folder's entries below `prefix` (null for the root). Keeps the
// result of the last entry handled, as the walk always did; anything left out
// also sets the sticky flag that ArchiveIncomplete() reports.
bool AddTreeToArchive(ZipFile zip, const char* diskFolder, const char* prefix);
bool AddFileToArchive(ZipFile zip, const char* name, const char* prefix);
// 1 when the copy was attempted, 0 when no profile or no COM.
int CopyArchiveToDesktop(const char* archivePath, const char* fileName);

// Set when something of the tree did not make it into the archive.
bool ArchiveIncomplete();
// False after a run whose desktop copy failed: the archive beside the
// program is then the only one and must not be deleted on close.
extern bool ArchiveCopiedToDesktop;
