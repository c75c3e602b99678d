// Pieces of the process walk shared by its source files and reachable from
// the tests: the walking methods, the 16-bit task walk and its seam.
#pragma once
#include "platform/process_list.h"

// VDMDBG.DLL's task enumeration: the callback gets the 16-bit module and file
// names as ANSI texts and returns FALSE to go on.
using VdmTaskCallback = BOOL(WINAPI*)(DWORD threadId, WORD module16, WORD task16, char* moduleName, char* fileName,
                                      LPARAM context);
using VdmEnumTaskWowExFunction = INT(WINAPI*)(DWORD processId, VdmTaskCallback callback, LPARAM context);

enum class ProcessWalkMethod { Toolhelp, Psapi };

// PSAPI on NT 4 (no Toolhelp in its kernel32), Toolhelp everywhere else.
ProcessWalkMethod ChooseProcessWalkMethod(DWORD platformId, DWORD majorVersion);

// EnumerateProcesses with the method chosen by the caller. vdmEnumerator is
// the 16-bit task enumeration for this call, null when there is none.
ProcessEntry* EnumerateProcessesUsing(ProcessWalkMethod method, bool withModules,
                                      VdmEnumTaskWowExFunction vdmEnumerator, DWORD* errorCode);
ProcessEntry* EnumerateProcessesToolhelp(bool withModules, VdmEnumTaskWowExFunction vdmEnumerator,
                                         DWORD* errorCode);
ProcessEntry* EnumerateProcessesPsapi(bool withModules, VdmEnumTaskWowExFunction vdmEnumerator, DWORD* errorCode);

// Replaces VDMDBG.DLL's enumerator while set (null restores the real one).
// Wine exports VDMEnumTaskWOWEx but crashes in it, so tests use a fake.
void SetVdmEnumeratorForTesting(VdmEnumTaskWowExFunction enumerator);

// True for "NTVDM.EXE" in any letter case: the host of the 16-bit tasks.
bool IsVdmHostName(const wchar_t* name);

// Adds the process's 16-bit tasks as module entries after its own modules.
void EnumerateVdmTasks(ProcessEntry* process, VdmEnumTaskWowExFunction enumerator);

// Links a module record after the last one of the process.
void AppendModuleEntry(ProcessEntry* process, ModuleEntry* module);

// A zero-filled record from the heap, null when memory is short.
ProcessEntry* NewProcessEntry();
ModuleEntry* NewModuleEntry();
