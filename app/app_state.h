// Process-wide state shared by the dialog, the collection run and the
// collectors. Plain variables, no locks: CancelRequested is written by the
// dialog thread and read by the worker; the rest is written before the worker
// starts or only by the worker.
#pragma once
#include "app/app_constants.h"
#include "app/command_line.h"
#include "app/user_info_dialog.h"
#include "framework/framework.h"
#include "platform/win.h"

class RepeatingCallback;

// ---- application state ------------------------------------------------------
extern HMODULE ResourceLibrary;
extern char CommandLineCopy[528];
// The command line as read once at the start; every run takes its options
// from here.
extern CommandLineOptions ParsedCommandLine;
extern HWND MainDialogWindow;
extern CListBox StatusList;
extern volatile BYTE CancelRequested;
extern volatile LONG CollectionRunning;
extern volatile LONG ClosingGuard;
extern volatile LONG CollectionFinished;
extern volatile LONG ExtendedCollection;
extern char ProgramVersion[kPathSize];
extern LONG StepCounter;
extern LONG StepCounterTotal;
extern LONG FileCounter;
extern char StepCounterFormat[kPathSize];
extern char FileCounterFormat[kPathSize];
extern RepeatingCallback* ProgressTimer;
extern CUserInfoDialog UserInfo;

// ---- run state: output tree -------------------------------------------------
extern HANDLE CollectionFinishedEvent;
extern char OutputBase[kPathSize];
extern char OutputRoot[kPathSize];
extern char DumpsFolder[kPathSize];
extern char LogsFolder[kPathSize];
extern char IniFilesFolder[kPathSize];
extern char BatFilesFolder[kPathSize];
extern char SysInfoFolder[kPathSize];
extern char ProductBaseFolder[kPathSize];
extern char StartupFolder[kPathSize];

// ---- run state: output location and archive ----------------------------------
extern char ProgramFolder[kPathSize];
extern char HomePathText[kPathSize];
extern char EntryPagePath[kPathSize];
extern char ArchivePath[kPathSize];
extern char NaviFilePath[kPathSize];
// Set when the folder browser chose OutputBase (program on a CD).
extern bool OutputBaseChosenByUser;

// ---- navigation ---------------------------------------------------------------
// Font size NAVI.html is currently set to: -1 right after it was created.
extern int NaviFontSize;

// ---- unattended collection ------------------------------------------------------
// Set for "/UNATTENDED": no window, no question; where the program would ask
// it takes the answer that loses nothing and blocks nothing.
extern bool UnattendedRun;
// "/NODESKTOP": the archive stays in the output location.
extern bool NoDesktopCopy;

// How the last run ended, for the exit code of an unattended run.
enum class RunOutcome { NotStarted, NoOutputLocation, Cancelled, ArchiveComplete, ArchiveIncomplete, NoArchive };
extern RunOutcome LastRunOutcome;

// True when the user confirmed cancelling.
inline bool IsCancelRequested() { return CancelRequested != 0; }

// The places between pieces of work where a run looks at the cancel flag.
enum class CancelPoint { ChainRow, CatalogEntry, ArchiveEntry, ProgramWait };
// Told of every cancel point a run passes, on the worker thread; null but
// in tests, which cancel at any one of them without suspending the worker.
extern void (*CancelPointObserver)(CancelPoint point);
inline bool IsCancelRequestedAt(CancelPoint point)
{
    if (CancelPointObserver != nullptr) CancelPointObserver(point);
    return IsCancelRequested();
}
