// The process walk through the process status library (NT 4, whose kernel32
// has no Toolhelp functions).
#include "platform/process_list_internal.h"

#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"

#include <psapi.h>

#include <cstring>

namespace {

constexpr DWORD kMaxProcesses = 1000;
constexpr DWORD kMaxModules = 500;

struct PsapiApi {
    BOOL(WINAPI* enumProcesses)(DWORD* ids, DWORD bytes, DWORD* bytesReturned);
    BOOL(WINAPI* enumProcessModules)(HANDLE process, HMODULE* modules, DWORD bytes, DWORD* bytesNeeded);
    DWORD(WINAPI* getModuleBaseName)(HANDLE process, HMODULE module, wchar_t* name, DWORD size);
    DWORD(WINAPI* getModuleFileNameEx)(HANDLE process, HMODULE module, wchar_t* name, DWORD size);
    BOOL(WINAPI* getModuleInformation)(HANDLE process, HMODULE module, MODULEINFO* info, DWORD bytes);
};

bool LookupPsapi(HMODULE library, PsapiApi* api)
{
    api->enumProcesses = LookupProc<decltype(api->enumProcesses)>(library, "EnumProcesses");
    api->enumProcessModules = LookupProc<decltype(api->enumProcessModules)>(library, "EnumProcessModules");
    api->getModuleBaseName = LookupProc<decltype(api->getModuleBaseName)>(library, "GetModuleBaseNameW");
    api->getModuleFileNameEx = LookupProc<decltype(api->getModuleFileNameEx)>(library, "GetModuleFileNameExW");
    api->getModuleInformation = LookupProc<decltype(api->getModuleInformation)>(library, "GetModuleInformation");
    return api->enumProcesses && api->enumProcessModules && api->getModuleBaseName && api->getModuleFileNameEx &&
           api->getModuleInformation;
}

// Both name calls may leave a cut text unterminated on older systems.
template <size_t N>
void ReadModuleTexts(const PsapiApi& api, HANDLE process, HMODULE module, wchar_t (&name)[N], wchar_t (&path)[260])
{
    if (api.getModuleBaseName(process, module, name, N) == 0) name[0] = L'\0';
    name[N - 1] = L'\0';
    if (api.getModuleFileNameEx(process, module, path, 260) == 0) path[0] = L'\0';
    path[259] = L'\0';
}

void ReadProcessNamePsapi(const PsapiApi& api, HANDLE process, ProcessEntry* entry)
{
    HMODULE image = nullptr;
    DWORD needed = 0;
    if (!api.enumProcessModules(process, &image, sizeof(image), &needed) || needed < sizeof(image)) return;
    ReadModuleTexts(api, process, image, entry->name, entry->path);
}

void EnumerateModulesPsapi(const PsapiApi& api, HANDLE process, DWORD processId, ProcessEntry* entry)
{
    HMODULE modules[kMaxModules];
    DWORD needed = 0;
    if (!api.enumProcessModules(process, modules, sizeof(modules), &needed)) return;
    DWORD count = needed / sizeof(HMODULE);
    if (count > kMaxModules) count = kMaxModules;
    for (DWORD i = 0; i < count; ++i) {
        ModuleEntry* record = NewModuleEntry();
        if (record == nullptr) continue;
        ReadModuleTexts(api, process, modules[i], record->name, record->path);
        MODULEINFO info;
        memset(&info, 0, sizeof(info));
        if (api.getModuleInformation(process, modules[i], &info, sizeof(info))) {
            record->baseAddress = reinterpret_cast<uintptr_t>(info.lpBaseOfDll);
            record->imageSize = info.SizeOfImage;
            record->entryPoint = reinterpret_cast<uintptr_t>(info.EntryPoint);
            record->processId = processId;
        }
        AppendModuleEntry(entry, record);
    }
}

}  // namespace

ProcessEntry* EnumerateProcessesPsapi(bool withModules, VdmEnumTaskWowExFunction vdmEnumerator, DWORD* errorCode)
{
    HMODULE library = LoadLibraryW(L"PSAPI.DLL");
    if (library == nullptr) {
        *errorCode = GetLastError();
        return nullptr;
    }
    ScopedLibrary psapiLibrary(library);
    PsapiApi api;
    if (!LookupPsapi(library, &api)) {
        *errorCode = GetLastError();
        return nullptr;
    }
    DWORD ids[kMaxProcesses];
    DWORD returned = 0;
    if (!api.enumProcesses(ids, sizeof(ids), &returned)) {
        *errorCode = GetLastError();
        return nullptr;
    }
    DWORD count = returned / sizeof(DWORD);
    if (count > kMaxProcesses) count = kMaxProcesses;

    ProcessEntry* list = nullptr;
    for (DWORD i = 0; i < count; ++i) {
        // A process that refuses to open is left out altogether.
        ScopedKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        if (!process) continue;
        ProcessEntry* entry = NewProcessEntry();
        if (entry == nullptr) continue;
        entry->processId = ids[i];
        ReadProcessNamePsapi(api, process.Get(), entry);
        if (withModules) {
            EnumerateModulesPsapi(api, process.Get(), ids[i], entry);
            if (vdmEnumerator != nullptr && IsVdmHostName(entry->name)) EnumerateVdmTasks(entry, vdmEnumerator);
        }
        entry->next = list;
        list = entry;
    }
    return list;
}
