// The scheduled tasks page: every task of every folder of the Task
// Scheduler, hidden ones too, with its state, run times, author, triggers
// and actions, and the file each action starts. The scheduler is asked on a
// thread of its own, so a scheduler that does not answer costs a bounded
// wait; where it cannot list its tasks, the task folder's definitions are
// read instead, and where Task Scheduler 2.0 is missing, the old .job files
// are named.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/registry.h"
#include "info/signature_lines.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_com.h"
#include "platform/scoped_handle.h"
#include "system/autostart_entries.h"
#include "system/task_definition.h"

#include <taskschd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kSchedulerWaitMs = 60000;
constexpr DWORD kWaitStepMs = 200;
constexpr int kMaxFolderDepth = 16;
constexpr size_t kMaxTasks = 5000;
const char kTaskKind[] = "scheduled-task";

// One task as the scheduler or the task folder gives it.
struct ScheduledTask {
    std::string path;       // "\Folder\Name"
    int enabled = -1;       // 1 or 0 as the scheduler says; -1: as the definition says
    std::string lastRun;    // empty: not known
    std::string nextRun;
    std::wstring xml;       // the definition
    std::string readError;  // why there is no definition
};

struct TaskListing {
    std::vector<ScheduledTask> tasks;
    std::vector<std::string> remarks;  // folders that could not be read, written before the tasks
};

std::string Ansi(const wchar_t* text)
{
    if (text == nullptr) return std::string();
    std::vector<char> out(2 * wcslen(text) + 1);
    WideToAnsiText(text, out.data(), out.size());
    return out.data();
}

// "[Error 0x... <what>]"
std::string ErrorText(unsigned long code, const std::string& what)
{
    char text[32];
    FormatText(text, "[Error 0x%08lX ", code);
    return text + what + "]";
}

bool TaskListFull(const TaskListing& listing) { return listing.tasks.size() >= kMaxTasks; }

// ---- the Task Scheduler, on its own thread ------------------------------------------

enum class SchedulerResult { Listed, ClassMissing, Failed };

// What the scheduler thread and the page share. Whoever lets go last frees it:
// a thread still waiting for the scheduler outlives the page.
struct SchedulerQuery {
    volatile LONG references = 2;
    SchedulerResult result = SchedulerResult::Failed;
    HRESULT error = E_FAIL;
    TaskListing listing;
};

void ReleaseQuery(SchedulerQuery* query)
{
    if (InterlockedDecrement(&query->references) == 0) delete query;
}

std::string DateText(DATE date)
{
    SYSTEMTIME time;
    if (!VariantTimeToSystemTime(date, &time)) return std::string();
    char text[32];
    FormatText(text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
               time.wSecond);
    return text;
}

VARIANT IndexVariant(LONG index)
{
    VARIANT variant;
    memset(&variant, 0, sizeof variant);
    variant.vt = VT_I4;
    variant.lVal = index;
    return variant;
}

void ReadRegisteredTask(IRegisteredTask* task, TaskListing& listing)
{
    ScheduledTask entry;
    ScopedBstr path;
    if (FAILED(task->get_Path(path.Receive()))) return;
    entry.path = Ansi(path.Get());
    VARIANT_BOOL enabled = VARIANT_FALSE;
    if (SUCCEEDED(task->get_Enabled(&enabled))) entry.enabled = enabled != VARIANT_FALSE ? 1 : 0;
    DATE date = 0;
    HRESULT result = task->get_LastRunTime(&date);
    if (result == SCHED_S_TASK_HAS_NOT_RUN || (SUCCEEDED(result) && date == 0)) {
        entry.lastRun = "never";
    } else if (SUCCEEDED(result)) {
        entry.lastRun = DateText(date);
    }
    if (SUCCEEDED(task->get_NextRunTime(&date))) entry.nextRun = date == 0 ? "none" : DateText(date);
    ScopedBstr xml;
    result = task->get_Xml(xml.Receive());
    if (FAILED(result)) {
        entry.readError = ErrorText(result, "reading the task definition");
    } else if (xml.Length() > kMaxTaskDefinitionChars) {
        entry.readError = "[Error: the task definition is too large to be read]";
    } else {
        entry.xml.assign(xml.Get(), xml.Length());
    }
    listing.tasks.push_back(std::move(entry));
}

// The tasks of `folder`, then its subfolders'. Only a failure to list the
// top folder's tasks is returned; the others become remarks.
HRESULT ReadSchedulerFolder(ITaskFolder* folder, int depth, TaskListing& listing)
{
    ScopedBstr folderPath;
    folder->get_Path(folderPath.Receive());
    ComPtr<IRegisteredTaskCollection> tasks;
    LONG count = 0;
    HRESULT result = folder->GetTasks(TASK_ENUM_HIDDEN, tasks.Receive());
    if (SUCCEEDED(result)) result = tasks->get_Count(&count);
    if (FAILED(result)) {
        if (depth == 0) return result;
        listing.remarks.push_back(ErrorText(result, "reading the tasks of " + Ansi(folderPath.Get())));
    }
    for (LONG index = 1; index <= count && !TaskListFull(listing); ++index) {
        ComPtr<IRegisteredTask> task;
        if (SUCCEEDED(tasks->get_Item(IndexVariant(index), task.Receive()))) ReadRegisteredTask(task.Get(), listing);
    }

    ComPtr<ITaskFolderCollection> folders;
    count = 0;
    if (FAILED(folder->GetFolders(0, folders.Receive())) || FAILED(folders->get_Count(&count))) return S_OK;
    for (LONG index = 1; index <= count && !TaskListFull(listing); ++index) {
        ComPtr<ITaskFolder> child;
        if (FAILED(folders->get_Item(IndexVariant(index), child.Receive()))) continue;
        if (depth + 1 > kMaxFolderDepth) {
            ScopedBstr childPath;
            child->get_Path(childPath.Receive());
            listing.remarks.push_back("[" + Ansi(childPath.Get()) + ": nested too deeply, not listed]");
            continue;
        }
        ReadSchedulerFolder(child.Get(), depth + 1, listing);
    }
    return S_OK;
}

void ReadThroughScheduler(SchedulerQuery& query)
{
    ScopedComInit com;
    if (!com.Ok()) {
        query.error = com.Result();
        return;
    }
    ComPtr<ITaskService> service;
    query.error = CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                   service.ReceiveVoid());
    if (query.error == REGDB_E_CLASSNOTREG) query.result = SchedulerResult::ClassMissing;
    if (FAILED(query.error)) return;
    VARIANT none;
    memset(&none, 0, sizeof none);  // VT_EMPTY: this machine, this user
    query.error = service->Connect(none, none, none, none);
    if (FAILED(query.error)) return;
    ComPtr<ITaskFolder> root;
    ScopedBstr rootPath(L"\\");
    query.error = service->GetFolder(rootPath.Get(), root.Receive());
    if (SUCCEEDED(query.error)) query.error = ReadSchedulerFolder(root.Get(), 0, query.listing);
    if (SUCCEEDED(query.error)) query.result = SchedulerResult::Listed;
}

DWORD WINAPI SchedulerThread(void* parameter)
{
    auto* query = static_cast<SchedulerQuery*>(parameter);
    ReadThroughScheduler(*query);
    ReleaseQuery(query);
    return 0;
}

enum class SchedulerOutcome { Listed, ClassMissing, Failed, Cancelled };

// Asks the scheduler on its own thread and waits at most kSchedulerWaitMs,
// or until the run is cancelled. `failure` holds the bracketed reason of a
// failure.
SchedulerOutcome QueryScheduler(TaskListing& listing, std::string& failure)
{
    auto* query = new SchedulerQuery;
    ScopedKernelHandle thread(CreateThread(nullptr, 0, &SchedulerThread, query, 0, nullptr));
    if (!thread) {
        failure = ErrorText(GetLastError(), "starting the Task Scheduler query");
        delete query;
        return SchedulerOutcome::Failed;
    }
    DWORD waited = 0;
    while (WaitForSingleObject(thread.Get(), kWaitStepMs) == WAIT_TIMEOUT) {
        waited += kWaitStepMs;
        if (IsCancelRequested() || waited >= kSchedulerWaitMs) {
            failure = "[Error: the Task Scheduler did not answer within 60 seconds]";
            ReleaseQuery(query);
            return IsCancelRequested() ? SchedulerOutcome::Cancelled : SchedulerOutcome::Failed;
        }
    }
    SchedulerOutcome outcome = SchedulerOutcome::Failed;
    if (query->result == SchedulerResult::Listed) {
        listing = std::move(query->listing);
        outcome = SchedulerOutcome::Listed;
    } else if (query->result == SchedulerResult::ClassMissing) {
        outcome = SchedulerOutcome::ClassMissing;
    } else {
        failure = ErrorText(query->error, "listing the tasks through the Task Scheduler");
    }
    ReleaseQuery(query);
    return outcome;
}

// ---- the task folder ---------------------------------------------------------------

bool ReadTaskFile(const std::wstring& path, std::vector<char>& bytes)
{
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size)) return false;
    if (size.QuadPart > static_cast<LONGLONG>(2 * kMaxTaskDefinitionChars + 4)) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() ||
           (ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
}

void ReadStoreFolder(const std::wstring& folder, const std::string& taskPath, int depth, TaskListing& listing)
{
    WIN32_FIND_DATAW found;
    ScopedFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        const std::string entryPath = taskPath + "\\" + Ansi(name.c_str());
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction may lead back up; a tree this deep is no task folder.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && depth + 1 <= kMaxFolderDepth) {
                ReadStoreFolder(path, entryPath, depth + 1, listing);
            }
            continue;
        }
        ScheduledTask task;
        task.path = entryPath;
        std::vector<char> bytes;
        if (!ReadTaskFile(path, bytes) || !DecodeTaskFile(bytes, task.xml)) {
            task.xml.clear();
            task.readError = "[Error: the task definition cannot be read]";
        }
        listing.tasks.push_back(std::move(task));
    } while (!TaskListFull(listing) && FindNextFileW(search.Get(), &found));
}

// The task folder's path, for the page.
bool TaskStoreFolder(std::wstring& folder)
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    folder = std::wstring(system) + L"\\Tasks";
    return true;
}

// ---- the page ---------------------------------------------------------------------

void WriteLine(Page page, const char* label, const std::string& text)
{
    AppendLiteral(page, label);
    WriteHtmlText(page, text.c_str());
    AppendLiteral(page, "<br>\n");
}

void SplitTaskPath(const std::string& path, std::string& location, std::string& name)
{
    const size_t slash = path.rfind('\\');
    location = slash == std::string::npos || slash == 0 ? "\\" : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

void WriteAction(Page page, const TaskAction& action, const std::string& location, const std::string& name)
{
    char file[kPathSize] = "";
    if (action.kind == TaskAction::Kind::Exec) {
        const std::string command = action.arguments.empty() ? action.command : action.command + " " + action.arguments;
        WriteLine(page, "Action: ", command);
        ResolveCommandFile(action.command.c_str(), file, sizeof file);
        WriteAutostartFile(file, page);
        NoteAutostart(kTaskKind, location, name, command, file);
    } else if (action.kind == TaskAction::Kind::ComHandler) {
        WriteLine(page, "Action: COM handler ",
                  action.arguments.empty() ? action.command : action.command + ", data: " + action.arguments);
        // The scheduler's handlers are 64-bit classes on 64-bit Windows.
        ResolveClassServer(action.command.c_str(), RegistryView64, file, sizeof file);
        if (file[0] == '\0') {
            AppendLiteral(page, "[class not registered]<br>\n");
        } else {
            WriteAutostartFile(file, page);
        }
        NoteAutostart(kTaskKind, location, name, action.command, file);
    } else {
        WriteLine(page, "Action: ", action.command);
    }
}

void WriteTask(Page page, const ScheduledTask& task)
{
    TaskDefinition definition;
    const bool readable = task.readError.empty() && ParseTaskDefinition(task.xml, &definition);
    // The scheduler's own word, else the definition's; neither without both.
    std::string state = "unknown";
    if (task.enabled >= 0 || readable) {
        state = (task.enabled >= 0 ? task.enabled == 1 : definition.enabled) ? "enabled" : "disabled";
    }
    if (definition.hidden) state += ", hidden";
    AppendLiteral(page, "<strong>");
    WriteHtmlText(page, task.path.c_str());
    AppendLiteral(page, "</strong><br>\n<div style=\"margin-left: 40px;\">\n");
    WriteLine(page, "State: ", state);
    WriteLine(page, "Last run: ", task.lastRun.empty() ? "unknown" : task.lastRun);
    WriteLine(page, "Next run: ", task.nextRun.empty() ? "unknown" : task.nextRun);
    if (!readable) {
        WriteLine(page, "", task.readError.empty() ? "[Error: the task definition cannot be read]" : task.readError);
    } else {
        if (!definition.author.empty()) WriteLine(page, "Author: ", definition.author);
        if (!definition.description.empty()) WriteLine(page, "Description: ", definition.description);
        WriteLine(page, "Triggers: ", definition.triggers);
        std::string location, name;
        SplitTaskPath(task.path, location, name);
        for (const TaskAction& action : definition.actions) {
            if (IsCancelRequested()) break;
            WriteAction(page, action, location, name);
        }
    }
    AppendLiteral(page, "</div><br>\n");
}

void WriteListing(Page page, const TaskListing& listing)
{
    for (const std::string& remark : listing.remarks) {
        WriteHtmlText(page, remark.c_str());
        AppendLiteral(page, "<br>\n");
    }
    for (const ScheduledTask& task : listing.tasks) {
        if (IsCancelRequested()) return;
        WriteTask(page, task);
    }
    if (listing.tasks.empty()) AppendLiteral(page, "[none]<br>\n");
    if (TaskListFull(listing)) AppendToPage(page, "[only the first %u tasks are listed]<br>\n", unsigned(kMaxTasks));
}

}  // namespace

void CWindowsStuff::CollectScheduledTasks(const char* folder, const char* fileName)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_SCHEDULED_TASKS, "Scheduled Tasks", "Scheduled Tasks", 1);
    if (page == nullptr) return;
    SignatureLinesScope signatures;
    TaskListing listing;
    std::string failure;
    switch (QueryScheduler(listing, failure)) {
    case SchedulerOutcome::Listed:
        WriteListing(page, listing);
        break;
    case SchedulerOutcome::ClassMissing: {
        char tasksFolder[kPathSize];
        const UINT length = GetWindowsDirectoryA(tasksFolder, sizeof tasksFolder);
        if (length > 0 && length < sizeof tasksFolder && AppendText(tasksFolder, "\\Tasks")) {
            WriteJobFiles(page, tasksFolder);
        }
        break;
    }
    case SchedulerOutcome::Failed: {
        WriteHtmlText(page, failure.c_str());
        AppendLiteral(page, "<br>\n");
        std::wstring store;
        if (!TaskStoreFolder(store)) break;
        WriteLine(page, "The tasks below are read from the task folder ", Ansi(store.c_str()) + ".");
        {
            FsRedirectionOff redirectionOff;  // the 64-bit system's task folder
            ReadStoreFolder(store, "", 0, listing);
        }
        WriteListing(page, listing);
        break;
    }
    case SchedulerOutcome::Cancelled:
        break;
    }
    FinalizePage(page);
}

void CWindowsStuff::WriteJobFiles(Page page, const char* tasksFolder)
{
    WriteLine(page, "Task Scheduler 2.0 is not available; the tasks of ", std::string(tasksFolder) + ":");
    char pattern[kPathSize];
    WIN32_FIND_DATAA found;
    ScopedFindHandle search;
    if (JoinPath(pattern, tasksFolder, "*.job")) search.Reset(FindFirstFileA(pattern, &found));
    if (!search) {
        AppendLiteral(page, "[none]<br>\n");
        return;
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        AppendLiteral(page, "<strong>");
        WriteHtmlText(page, found.cFileName);
        AppendLiteral(page, "</strong><br>\n");
        char path[kPathSize];
        if (JoinPath(path, tasksFolder, found.cFileName)) NoteAutostart(kTaskKind, tasksFolder, found.cFileName, "", path);
    } while (!IsCancelRequested() && FindNextFileA(search.Get(), &found));
}
