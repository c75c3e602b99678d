// Process snapshot: method choice, the 16-bit task walk, records and freeing.
//
// Fault containment: the walk runs without a structured exception guard
// (mingw has no __try, and a vectored handler would see faults of every
// thread). Instead no fault can arise on our side: every text taken from the
// system is read within its own record or a length bound and copied with the
// bounded helpers into the fixed fields, every record is our own allocation,
// and each allocation failure just skips its process or module.
#include "platform/process_list_internal.h"

#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace {

VdmEnumTaskWowExFunction testVdmEnumerator = nullptr;

// Longest 16-bit file name the task walk reads from VDMDBG's texts.
constexpr size_t kAnsiNameLimit = 259;

// An ANSI text from outside, read at most kAnsiNameLimit bytes far and cut
// to the destination.
void AnsiToWide(const char* source, wchar_t* destination, size_t capacity)
{
    destination[0] = L'\0';
    if (source == nullptr) return;
    const size_t length = strnlen(source, kAnsiNameLimit);
    wchar_t wide[kAnsiNameLimit + 1];
    const int converted =
        MultiByteToWideChar(CP_ACP, 0, source, static_cast<int>(length), wide, static_cast<int>(kAnsiNameLimit));
    wide[converted > 0 ? converted : 0] = L'\0';
    CopyText(destination, capacity, wide);
}

BOOL WINAPI CollectVdmTask(DWORD, WORD, WORD, char* moduleName, char* fileName, LPARAM context)
{
    auto* process = reinterpret_cast<ProcessEntry*>(context);
    if (process == nullptr) return FALSE;
    ModuleEntry* module = NewModuleEntry();
    if (module == nullptr) return FALSE;
    // A 16-bit task has no owner id, address or size of its own here.
    AnsiToWide(moduleName, module->name, sizeof(module->name) / sizeof(module->name[0]));
    AnsiToWide(fileName, module->path, sizeof(module->path) / sizeof(module->path[0]));
    AppendModuleEntry(process, module);
    return FALSE;  // go on with the next task
}

}  // namespace

ProcessEntry* NewProcessEntry() { return new (std::nothrow) ProcessEntry(); }

ModuleEntry* NewModuleEntry() { return new (std::nothrow) ModuleEntry(); }

void AppendModuleEntry(ProcessEntry* process, ModuleEntry* module)
{
    if (process == nullptr || module == nullptr) return;
    module->next = nullptr;
    ModuleEntry** link = &process->modules;
    while (*link != nullptr) link = &(*link)->next;
    *link = module;
}

bool IsVdmHostName(const wchar_t* name) { return name != nullptr && _wcsicmp(name, L"NTVDM.EXE") == 0; }

void EnumerateVdmTasks(ProcessEntry* process, VdmEnumTaskWowExFunction enumerator)
{
    if (process == nullptr || enumerator == nullptr) return;
    enumerator(process->processId, CollectVdmTask, reinterpret_cast<LPARAM>(process));
}

void SetVdmEnumeratorForTesting(VdmEnumTaskWowExFunction enumerator) { testVdmEnumerator = enumerator; }

ProcessWalkMethod ChooseProcessWalkMethod(DWORD platformId, DWORD majorVersion)
{
    return (platformId == VER_PLATFORM_WIN32_NT && majorVersion == 4) ? ProcessWalkMethod::Psapi
                                                                       : ProcessWalkMethod::Toolhelp;
}

ProcessEntry* EnumerateProcessesUsing(ProcessWalkMethod method, bool withModules,
                                      VdmEnumTaskWowExFunction vdmEnumerator, DWORD* errorCode)
{
    if (method == ProcessWalkMethod::Psapi) return EnumerateProcessesPsapi(withModules, vdmEnumerator, errorCode);
    return EnumerateProcessesToolhelp(withModules, vdmEnumerator, errorCode);
}

ProcessEntry* EnumerateProcesses(bool withModules, DWORD* errorCode)
{
    DWORD ignored = 0;
    if (errorCode == nullptr) errorCode = &ignored;
    *errorCode = 0;

    OSVERSIONINFOW version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(&version)) {
        *errorCode = GetLastError();
        return nullptr;
    }
    const ProcessWalkMethod method = ChooseProcessWalkMethod(version.dwPlatformId, version.dwMajorVersion);

    // 16-bit tasks exist only on NT, inside NTVDM.EXE processes.
    ScopedLibrary vdmLibrary;
    VdmEnumTaskWowExFunction vdmEnumerator = nullptr;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (testVdmEnumerator != nullptr) {
            vdmEnumerator = testVdmEnumerator;
        } else {
            vdmLibrary.Reset(LoadLibraryW(L"VDMDBG.DLL"));
            vdmEnumerator = LookupProc<VdmEnumTaskWowExFunction>(vdmLibrary.Get(), "VDMEnumTaskWOWEx");
            if (vdmEnumerator == nullptr) vdmLibrary.Close();
        }
    }
    // The method frees its own library first; the VDM library goes on return.
    return EnumerateProcessesUsing(method, withModules, vdmEnumerator, errorCode);
}

void FreeProcessList(ProcessEntry*& list)
{
    for (ProcessEntry* process = list; process != nullptr; process = process->next) {
        ModuleEntry* module = process->modules;
        while (module != nullptr) {
            ModuleEntry* next = module->next;
            delete module;
            module = next;
        }
        process->modules = nullptr;
    }
    while (list != nullptr) {
        ProcessEntry* next = list->next;
        delete list;
        list = next;
    }
}
