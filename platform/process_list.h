// A snapshot of the running processes and, on request, their modules, as
// singly linked records owned by the caller and freed with FreeProcessList.
#pragma once
#include "platform/win.h"

#include <cstdint>

struct ModuleEntry {
    ModuleEntry* next;
    wchar_t name[40];     // at most 39 characters, terminated
    wchar_t path[260];    // at most 259 characters, terminated
    DWORD processId;      // 0 where the source does not give it
    uintptr_t baseAddress;
    uintptr_t entryPoint; // PSAPI only
    DWORD imageSize;
};

struct ProcessEntry {
    ProcessEntry* next;
    ModuleEntry* modules;  // first is the image; null when none
    DWORD processId;
    wchar_t name[40];
    wchar_t path[260];     // may stay empty
};

// Returns the first record (processes in reverse walk order) or null. The
// error code is 0, or the Windows error code when null means a failure.
ProcessEntry* EnumerateProcesses(bool withModules, DWORD* errorCode);
// Frees every module and process record and sets the caller's pointer to null.
void FreeProcessList(ProcessEntry*& list);
