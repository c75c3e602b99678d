#include "app/app_state.h"

HMODULE ResourceLibrary = nullptr;
char CommandLineCopy[528] = "";
CommandLineOptions ParsedCommandLine;
HWND MainDialogWindow = nullptr;
CListBox StatusList;
volatile BYTE CancelRequested = 0;
void (*CancelPointObserver)(CancelPoint point) = nullptr;
volatile LONG CollectionRunning = 0;
volatile LONG ClosingGuard = 0;
volatile LONG CollectionFinished = 0;
volatile LONG ExtendedCollection = 0;
char ProgramVersion[kPathSize] = "";
LONG StepCounter = 0;
LONG StepCounterTotal = 0;
LONG FileCounter = 0;
char StepCounterFormat[kPathSize] = "";
char FileCounterFormat[kPathSize] = "";
RepeatingCallback* ProgressTimer = nullptr;
CUserInfoDialog UserInfo;

HANDLE CollectionFinishedEvent = nullptr;
char OutputBase[kPathSize] = "";
char OutputRoot[kPathSize] = "";
char DumpsFolder[kPathSize] = "";
char LogsFolder[kPathSize] = "";
char IniFilesFolder[kPathSize] = "";
char BatFilesFolder[kPathSize] = "";
char SysInfoFolder[kPathSize] = "";
char ProductBaseFolder[kPathSize] = "";
char StartupFolder[kPathSize] = "";

char ProgramFolder[kPathSize] = "";
char HomePathText[kPathSize] = "";
char EntryPagePath[kPathSize] = "";
char ArchivePath[kPathSize] = "";
char NaviFilePath[kPathSize] = "";
bool OutputBaseChosenByUser = false;

int NaviFontSize = -1;

bool UnattendedRun = false;
bool NoDesktopCopy = false;
RunOutcome LastRunOutcome = RunOutcome::NotStarted;
