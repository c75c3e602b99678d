// The process walk through kernel32's Toolhelp snapshots (every system but NT 4).
#include "platform/process_list_internal.h"

#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"

#include <tlhelp32.h>

#include <cstring>
#include <cwchar>

namespace {

struct ToolhelpApi {
    HANDLE(WINAPI* createSnapshot)(DWORD flags, DWORD processId);
    BOOL(WINAPI* processFirst)(HANDLE snapshot, PROCESSENTRY32W* entry);
    BOOL(WINAPI* processNext)(HANDLE snapshot, PROCESSENTRY32W* entry);
    BOOL(WINAPI* moduleFirst)(HANDLE snapshot, MODULEENTRY32W* entry);
    BOOL(WINAPI* moduleNext)(HANDLE snapshot, MODULEENTRY32W* entry);
};

bool LookupToolhelp(HMODULE kernel, ToolhelpApi* api)
{
    api->createSnapshot = LookupProc<decltype(api->createSnapshot)>(kernel, "CreateToolhelp32Snapshot");
    api->processFirst = LookupProc<decltype(api->processFirst)>(kernel, "Process32FirstW");
    api->processNext = LookupProc<decltype(api->processNext)>(kernel, "Process32NextW");
    api->moduleFirst = LookupProc<decltype(api->moduleFirst)>(kernel, "Module32FirstW");
    api->moduleNext = LookupProc<decltype(api->moduleNext)>(kernel, "Module32NextW");
    return api->createSnapshot && api->processFirst && api->processNext && api->moduleFirst && api->moduleNext;
}

template <size_t N>
void CopyField(wchar_t (&destination)[N], const wchar_t* source, size_t sourceCapacity)
{
    // The source field is read within its own array even when it lacks a terminator.
    size_t length = 0;
    while (length < sourceCapacity && source[length] != L'\0') ++length;
    if (length >= N) length = N - 1;
    wmemcpy(destination, source, length);
    destination[length] = L'\0';
}

// The file name with its extension; any folder part is dropped.
const wchar_t* FileNamePart(const wchar_t* path, size_t capacity)
{
    const wchar_t* name = path;
    for (size_t i = 0; i < capacity && path[i] != L'\0'; ++i) {
        if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':') name = path + i + 1;
    }
    return name;
}

// Walks the module snapshot of one process; `visit` returns false to stop.
template <typename Visit>
void WalkModules(const ToolhelpApi& api, DWORD processId, Visit visit)
{
    ScopedKernelHandle snapshot(api.createSnapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot) return;
    MODULEENTRY32W entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = api.moduleFirst(snapshot.Get(), &entry); more; more = api.moduleNext(snapshot.Get(), &entry)) {
        if (!visit(entry)) break;
    }
}

void ReadProcessPathToolhelp(const ToolhelpApi& api, ProcessEntry* process)
{
    WalkModules(api, process->processId, [process](const MODULEENTRY32W& module) {
        CopyField(process->path, module.szExePath, MAX_PATH);
        return false;  // the first module is the executable
    });
}

void EnumerateModulesToolhelp(const ToolhelpApi& api, ProcessEntry* process)
{
    const DWORD processId = process->processId;
    WalkModules(api, processId, [process, processId](const MODULEENTRY32W& module) {
        ModuleEntry* record = NewModuleEntry();
        if (record == nullptr) return true;  // skip it, go on
        CopyField(record->name, module.szModule, MAX_MODULE_NAME32 + 1);
        CopyField(record->path, module.szExePath, MAX_PATH);
        record->baseAddress = reinterpret_cast<uintptr_t>(module.modBaseAddr);
        record->imageSize = module.modBaseSize;
        record->processId = processId;
        AppendModuleEntry(process, record);
        return true;
    });
}

}  // namespace

ProcessEntry* EnumerateProcessesToolhelp(bool withModules, VdmEnumTaskWowExFunction vdmEnumerator, DWORD* errorCode)
{
    HMODULE kernel = LoadLibraryW(L"KERNEL32.DLL");
    if (kernel == nullptr) {
        *errorCode = GetLastError();
        return nullptr;
    }
    ScopedLibrary kernelLibrary(kernel);
    ToolhelpApi api;
    if (!LookupToolhelp(kernel, &api)) {
        *errorCode = GetLastError();
        return nullptr;
    }
    ScopedKernelHandle snapshot(api.createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        *errorCode = GetLastError();
        return nullptr;
    }

    ProcessEntry* list = nullptr;
    PROCESSENTRY32W entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = api.processFirst(snapshot.Get(), &entry); more;
         more = api.processNext(snapshot.Get(), &entry)) {
        ProcessEntry* process = NewProcessEntry();
        if (process == nullptr) continue;
        process->processId = entry.th32ProcessID;
        const wchar_t* fileName = FileNamePart(entry.szExeFile, MAX_PATH);
        CopyField(process->name, fileName, static_cast<size_t>(MAX_PATH - (fileName - entry.szExeFile)));
        if (withModules) {
            EnumerateModulesToolhelp(api, process);  // the path stays empty: see the first module
            if (vdmEnumerator != nullptr && IsVdmHostName(process->name)) EnumerateVdmTasks(process, vdmEnumerator);
        } else {
            ReadProcessPathToolhelp(api, process);
        }
        process->next = list;
        list = process;
    }
    return list;
}
