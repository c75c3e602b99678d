// A snapshot of the running processes and, on request, their modules, as
// singly linked records owned by the caller and freed with FreeProcessList.
#pragma once
#include "platform/win.h"

#include <cstdint>

struct ModuleEntry {
    ModuleEntry* next;
    wchar_t name[40];     // at most 39 characters, terminated
    wchar_t path[260];    // at most 259 characters, terminated
    DWORD processId;      // 0 where the source does not give it (16-bit tasks)
    uintptr_t baseAddress;
    uintptr_t entryPoint; // PSAPI only
    DWORD imageSize;
};

struct ProcessEntry {
    ProcessEntry* next;
    ModuleEntry* modules;  // in walk order, the image first; null when none
    DWORD processId;
    wchar_t name[40];      // executable file name, at most 39 characters
    wchar_t path[260];     // may stay empty: with modules from Toolhelp the
                           // image path is the first module's path
};

// Returns the first record (processes in reverse walk order) or null. The
// error code is 0, or the Windows error code when null means a failure (an
// empty snapshot gives null and 0). Uses PSAPI on NT 4 and Toolhelp
// elsewhere; the 16-bit tasks of an NTVDM.EXE process follow its modules.
// Not re-entrant with respect to the test seam of process_list_internal.h.
ProcessEntry* EnumerateProcesses(bool withModules, DWORD* errorCode);
// Frees every module and process record and sets the caller's pointer to
// null; a null list does nothing.
void FreeProcessList(ProcessEntry*& list);
