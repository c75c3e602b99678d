// Entry points of newer or optional libraries are looked up by name at run
// time, so one program file runs on every supported Windows.
#pragma once
#include "platform/win.h"

// GetProcAddress typed for the caller; null when the library or the name is
// missing. The detour through a plain function pointer keeps the cast from
// FARPROC free of the function-type warning.
template <typename Function>
Function LookupProc(HMODULE module, const char* name)
{
    if (module == nullptr) return nullptr;
    FARPROC found = GetProcAddress(module, name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}
