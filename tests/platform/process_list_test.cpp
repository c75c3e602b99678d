// Process snapshots under Wine: this process and its children, bounds, the
// freeing of every record, and the 16-bit task walk through a fake enumerator.
#include "platform/process_list.h"
#include "platform/process_list_internal.h"
#include "tests/platform/allocation_counter.h"
#include "tests/platform/platform_test_helpers.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using platform_tests::SleeperPath;
using platform_tests::SleepingChild;
using platform_tests::Wide;
using testing_support::ScratchFolder;

std::wstring OwnImagePath()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

bool SameText(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

const ProcessEntry* FindProcess(const ProcessEntry* list, DWORD id)
{
    for (; list != nullptr; list = list->next) {
        if (list->processId == id) return list;
    }
    return nullptr;
}

std::vector<const ModuleEntry*> Modules(const ProcessEntry* process)
{
    std::vector<const ModuleEntry*> modules;
    for (const ModuleEntry* m = process->modules; m != nullptr; m = m->next) modules.push_back(m);
    return modules;
}

// Every text ends inside its field.
void ExpectBounded(const ProcessEntry* list)
{
    for (const ProcessEntry* p = list; p != nullptr; p = p->next) {
        EXPECT_LT(wcsnlen(p->name, 40), 40u) << p->processId;
        EXPECT_LT(wcsnlen(p->path, 260), 260u) << p->processId;
        for (const ModuleEntry* m = p->modules; m != nullptr; m = m->next) {
            EXPECT_LT(wcsnlen(m->name, 40), 40u) << p->processId;
            EXPECT_LT(wcsnlen(m->path, 260), 260u) << p->processId;
        }
    }
}

TEST(ProcessListTest, FindsItselfAndAChildWithTheImageFirst)
{
    SleepingChild child(SleeperPath(), 60000);
    ASSERT_TRUE(child.Started());
    DWORD error = 0xDEADBEEF;
    ProcessEntry* list = EnumerateProcesses(true, &error);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(0u, error);
    ExpectBounded(list);

    const ProcessEntry* self = FindProcess(list, GetCurrentProcessId());
    ASSERT_NE(nullptr, self);
    EXPECT_TRUE(SameText(FileNameOf(OwnImagePath()), self->name)) << self->name;
    EXPECT_STREQ(L"", self->path);  // with modules the image path is the first module's
    std::vector<const ModuleEntry*> own = Modules(self);
    ASSERT_GE(own.size(), 2u);
    EXPECT_TRUE(SameText(OwnImagePath(), own[0]->path)) << own[0]->path;
    EXPECT_TRUE(SameText(FileNameOf(OwnImagePath()), own[0]->name));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)), own[0]->baseAddress);
    EXPECT_EQ(GetCurrentProcessId(), own[0]->processId);
    EXPECT_NE(0u, own[0]->imageSize);
    EXPECT_EQ(0u, own[0]->entryPoint);
    bool hasKernel32 = false;
    for (const ModuleEntry* m : own) hasKernel32 = hasKernel32 || SameText(L"kernel32.dll", m->name);
    EXPECT_TRUE(hasKernel32);

    const ProcessEntry* sleeper = FindProcess(list, child.Id());
    ASSERT_NE(nullptr, sleeper);
    EXPECT_STREQ(L"platform_sleeper.exe", sleeper->name);
    std::vector<const ModuleEntry*> childModules = Modules(sleeper);
    ASSERT_FALSE(childModules.empty());
    EXPECT_TRUE(SameText(SleeperPath(), childModules[0]->path)) << childModules[0]->path;
    EXPECT_EQ(child.Id(), childModules[0]->processId);

    FreeProcessList(list);
    EXPECT_EQ(nullptr, list);
}

TEST(ProcessListTest, WithoutModulesThePathIsTheImagePath)
{
    SleepingChild child(SleeperPath(), 60000);
    ASSERT_TRUE(child.Started());
    DWORD error = 0xDEADBEEF;
    ProcessEntry* list = EnumerateProcesses(false, &error);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(0u, error);
    for (const ProcessEntry* p = list; p != nullptr; p = p->next) EXPECT_EQ(nullptr, p->modules);
    const ProcessEntry* self = FindProcess(list, GetCurrentProcessId());
    ASSERT_NE(nullptr, self);
    EXPECT_TRUE(SameText(OwnImagePath(), self->path)) << self->path;
    const ProcessEntry* sleeper = FindProcess(list, child.Id());
    ASSERT_NE(nullptr, sleeper);
    EXPECT_TRUE(SameText(SleeperPath(), sleeper->path)) << sleeper->path;
    FreeProcessList(list);
    EXPECT_EQ(nullptr, list);
}

TEST(ProcessListTest, LongImageNamesAreCutToTheirFields)
{
    ScratchFolder scratch("platform-procs");
    const std::wstring longName = L"a_process_image_name_that_is_longer_than_its_field.exe";
    const std::wstring path = Wide(scratch.Path()) + L"\\" + longName;
    ASSERT_TRUE(CopyFileW(SleeperPath().c_str(), path.c_str(), FALSE));
    SleepingChild child(path, 60000);
    ASSERT_TRUE(child.Started());

    for (bool withModules : {true, false}) {
        DWORD error = 0;
        ProcessEntry* list = EnumerateProcesses(withModules, &error);
        ASSERT_NE(nullptr, list);
        const ProcessEntry* p = FindProcess(list, child.Id());
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(longName.substr(0, 39), p->name);
        if (withModules) {
            ASSERT_NE(nullptr, p->modules);
            EXPECT_EQ(longName.substr(0, 39), p->modules->name);
            EXPECT_TRUE(SameText(path, p->modules->path));
        } else {
            EXPECT_TRUE(SameText(path, p->path));
        }
        FreeProcessList(list);
    }
}

TEST(ProcessListTest, RepeatedWalksFreeEveryRecordAndHandle)
{
    SleepingChild child(SleeperPath(), 60000);
    for (int i = 0; i < 2; ++i) {  // let the system settle its own caches first
        DWORD error = 0;
        ProcessEntry* list = EnumerateProcesses(true, &error);
        FreeProcessList(list);
    }
    DWORD handlesBefore = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesBefore));
    PROCESS_MEMORY_COUNTERS_EX memoryBefore = {};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memoryBefore),
                                     sizeof(memoryBefore)));
    const long blocksBefore = LiveAllocationCount();

    long largestList = 0;
    int emptyWalks = 0;
    // A walk costs about 0.2 s under Wine; the block count is exact, so a few
    // dozen walks show any leak.
    for (int i = 0; i < 30; ++i) {
        DWORD error = 0;
        ProcessEntry* list = EnumerateProcesses(i % 2 == 0, &error);
        if (list == nullptr) ++emptyWalks;
        const long blocks = LiveAllocationCount() - blocksBefore;
        if (blocks > largestList) largestList = blocks;
        FreeProcessList(list);
    }
    const long blocksAfter = LiveAllocationCount();

    DWORD handlesAfter = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesAfter));
    PROCESS_MEMORY_COUNTERS_EX memoryAfter = {};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memoryAfter),
                                     sizeof(memoryAfter)));
    EXPECT_EQ(0, emptyWalks);
    EXPECT_GT(largestList, 20);  // the walks really built records
    EXPECT_EQ(blocksBefore, blocksAfter);
    EXPECT_EQ(handlesBefore, handlesAfter);
    EXPECT_LT(memoryAfter.PrivateUsage, memoryBefore.PrivateUsage + 1024 * 1024);
}

TEST(ProcessListTest, FreeingNothingDoesNothing)
{
    ProcessEntry* list = nullptr;
    FreeProcessList(list);
    EXPECT_EQ(nullptr, list);
}

TEST(ProcessListTest, MethodByVersion)
{
    EXPECT_EQ(ProcessWalkMethod::Psapi, ChooseProcessWalkMethod(VER_PLATFORM_WIN32_NT, 4));
    EXPECT_EQ(ProcessWalkMethod::Toolhelp, ChooseProcessWalkMethod(VER_PLATFORM_WIN32_NT, 3));
    EXPECT_EQ(ProcessWalkMethod::Toolhelp, ChooseProcessWalkMethod(VER_PLATFORM_WIN32_NT, 5));
    EXPECT_EQ(ProcessWalkMethod::Toolhelp, ChooseProcessWalkMethod(VER_PLATFORM_WIN32_NT, 6));
    EXPECT_EQ(ProcessWalkMethod::Toolhelp, ChooseProcessWalkMethod(VER_PLATFORM_WIN32_WINDOWS, 4));
}

TEST(ProcessListTest, PsapiMethodGivesNamesPathsAndEntryPoints)
{
    SleepingChild child(SleeperPath(), 60000);
    ASSERT_TRUE(child.Started());
    DWORD error = 0xDEADBEEF;
    ProcessEntry* list = EnumerateProcessesUsing(ProcessWalkMethod::Psapi, true, nullptr, &error);
    ASSERT_NE(nullptr, list);
    ExpectBounded(list);
    const ProcessEntry* self = FindProcess(list, GetCurrentProcessId());
    ASSERT_NE(nullptr, self);
    EXPECT_TRUE(SameText(FileNameOf(OwnImagePath()), self->name)) << self->name;
    EXPECT_TRUE(SameText(OwnImagePath(), self->path)) << self->path;
    ASSERT_NE(nullptr, self->modules);
    const ModuleEntry* image = self->modules;
    EXPECT_TRUE(SameText(OwnImagePath(), image->path));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)), image->baseAddress);
    EXPECT_NE(0u, image->entryPoint);
    EXPECT_NE(0u, image->imageSize);
    EXPECT_EQ(GetCurrentProcessId(), image->processId);
    const ProcessEntry* sleeper = FindProcess(list, child.Id());
    ASSERT_NE(nullptr, sleeper);
    EXPECT_STREQ(L"platform_sleeper.exe", sleeper->name);
    EXPECT_TRUE(SameText(SleeperPath(), sleeper->path));
    FreeProcessList(list);

    list = EnumerateProcessesUsing(ProcessWalkMethod::Psapi, false, nullptr, &error);
    ASSERT_NE(nullptr, list);
    for (const ProcessEntry* p = list; p != nullptr; p = p->next) EXPECT_EQ(nullptr, p->modules);
    FreeProcessList(list);
}

TEST(ProcessListTest, AppendKeepsWalkOrder)
{
    ProcessEntry* process = NewProcessEntry();
    ASSERT_NE(nullptr, process);
    for (int i = 0; i < 3; ++i) {
        ModuleEntry* m = NewModuleEntry();
        ASSERT_NE(nullptr, m);
        m->next = reinterpret_cast<ModuleEntry*>(0x1);  // stale link: must be reset
        m->imageSize = static_cast<DWORD>(i);
        AppendModuleEntry(process, m);
    }
    std::vector<const ModuleEntry*> modules = Modules(process);
    ASSERT_EQ(3u, modules.size());
    for (DWORD i = 0; i < 3; ++i) EXPECT_EQ(i, modules[i]->imageSize);
    FreeProcessList(process);
    EXPECT_EQ(nullptr, process);
}

// ---- the 16-bit task walk, through a fake VDMEnumTaskWOWEx ----

struct FakeTask {
    const char* moduleName;
    const char* fileName;
};

std::vector<DWORD> fakeCalls;
std::string longFileName;

INT WINAPI FakeEnumTasks(DWORD processId, VdmTaskCallback callback, LPARAM context)
{
    fakeCalls.push_back(processId);
    longFileName = "C:\\" + std::string(300, 'p') + ".EXE";
    const FakeTask tasks[] = {
        {"KRNL386", "C:\\WINDOWS\\SYSTEM\\KRNL386.EXE"},
        {"A_SIXTEEN_BIT_MODULE_NAME_LONGER_THAN_THE_FIELD", longFileName.c_str()},
        {nullptr, nullptr},
    };
    INT count = 0;
    for (const FakeTask& task : tasks) {
        char moduleName[64] = {};
        char fileName[400] = {};
        if (task.moduleName != nullptr) strcpy(moduleName, task.moduleName);
        if (task.fileName != nullptr) strcpy(fileName, task.fileName);
        ++count;
        if (callback(0x42, 0x1234, 0x5678, task.moduleName ? moduleName : nullptr,
                     task.fileName ? fileName : nullptr, context)) {
            break;
        }
    }
    return count;
}

void ExpectFakeTasksAtEnd(const ProcessEntry* process, size_t ordinaryModules)
{
    std::vector<const ModuleEntry*> modules = Modules(process);
    ASSERT_EQ(ordinaryModules + 3, modules.size());
    const ModuleEntry* const* tasks = &modules[ordinaryModules];
    EXPECT_STREQ(L"KRNL386", tasks[0]->name);
    EXPECT_STREQ(L"C:\\WINDOWS\\SYSTEM\\KRNL386.EXE", tasks[0]->path);
    EXPECT_STREQ(L"A_SIXTEEN_BIT_MODULE_NAME_LONGER_THAN_T", tasks[1]->name);  // 39 characters
    EXPECT_EQ(Wide(longFileName.substr(0, 259)), tasks[1]->path);
    EXPECT_STREQ(L"", tasks[2]->name);
    EXPECT_STREQ(L"", tasks[2]->path);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0u, tasks[i]->processId);
        EXPECT_EQ(0u, tasks[i]->baseAddress);
        EXPECT_EQ(0u, tasks[i]->entryPoint);
        EXPECT_EQ(0u, tasks[i]->imageSize);
    }
}

class VdmTaskTest : public testing::Test {
protected:
    void SetUp() override { fakeCalls.clear(); }
    void TearDown() override { SetVdmEnumeratorForTesting(nullptr); }
};

TEST_F(VdmTaskTest, TasksFollowTheOrdinaryModules)
{
    ProcessEntry* process = NewProcessEntry();
    ASSERT_NE(nullptr, process);
    process->processId = 4242;
    for (int i = 0; i < 2; ++i) {
        ModuleEntry* m = NewModuleEntry();
        ASSERT_NE(nullptr, m);
        m->processId = 4242;
        AppendModuleEntry(process, m);
    }
    EnumerateVdmTasks(process, FakeEnumTasks);
    ASSERT_EQ(1u, fakeCalls.size());
    EXPECT_EQ(4242u, fakeCalls[0]);
    ExpectFakeTasksAtEnd(process, 2);
    FreeProcessList(process);
}

TEST(VdmHostNameTest, AnyLetterCase)
{
    EXPECT_TRUE(IsVdmHostName(L"NTVDM.EXE"));
    EXPECT_TRUE(IsVdmHostName(L"ntvdm.exe"));
    EXPECT_TRUE(IsVdmHostName(L"NtVdm.Exe"));
    EXPECT_FALSE(IsVdmHostName(L"ntvdm"));
    EXPECT_FALSE(IsVdmHostName(L"ntvdm.exe "));
    EXPECT_FALSE(IsVdmHostName(L"xntvdm.exe"));
    EXPECT_FALSE(IsVdmHostName(nullptr));
}

// A real process named like the 16-bit host: both methods hand it, and only
// it, to the enumerator and append the tasks after its own modules.
TEST_F(VdmTaskTest, LiveWalkAsksOnlyTheVdmHost)
{
    ScratchFolder scratch("platform-vdm");
    const std::wstring path = Wide(scratch.Path()) + L"\\NtVdm.Exe";
    ASSERT_TRUE(CopyFileW(SleeperPath().c_str(), path.c_str(), FALSE));
    SleepingChild host(path, 60000);
    ASSERT_TRUE(host.Started());
    SetVdmEnumeratorForTesting(FakeEnumTasks);

    DWORD error = 0;
    ProcessEntry* list = EnumerateProcesses(false, &error);
    ASSERT_NE(nullptr, list);
    EXPECT_TRUE(fakeCalls.empty());
    FreeProcessList(list);

    for (ProcessWalkMethod method : {ProcessWalkMethod::Toolhelp, ProcessWalkMethod::Psapi}) {
        fakeCalls.clear();
        list = method == ProcessWalkMethod::Toolhelp ? EnumerateProcesses(true, &error)
                                                      : EnumerateProcessesUsing(method, true, FakeEnumTasks, &error);
        ASSERT_NE(nullptr, list);
        ASSERT_EQ(1u, fakeCalls.size());
        EXPECT_EQ(host.Id(), fakeCalls[0]);
        const ProcessEntry* p = FindProcess(list, host.Id());
        ASSERT_NE(nullptr, p);
        std::vector<const ModuleEntry*> modules = Modules(p);
        ASSERT_GT(modules.size(), 3u);
        EXPECT_TRUE(SameText(path, modules[0]->path));
        EXPECT_NE(0u, modules[0]->baseAddress);
        ExpectFakeTasksAtEnd(p, modules.size() - 3);
        FreeProcessList(list);
    }
}

}  // namespace
