// Administrator test, privileges, termination, message pump and folder trees.
#include "platform/system_helpers.h"
#include "tests/platform/platform_test_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform_tests::SleeperPath;
using platform_tests::SleepingChild;
using platform_tests::Wide;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::ScratchFolder;

TEST(AdministratorTest, WineUserIsAnAdministratorAndNothingIsPrinted)
{
    testing::internal::CaptureStdout();
    const bool admin = IsUserAdministrator();
    fflush(stdout);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(admin);
    EXPECT_EQ("", printed);
    // The impersonation ended: the thread has no token of its own again.
    HANDLE token = nullptr;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_TOKEN), GetLastError());
}

TEST(AdministratorTest, HandleCountStaysFlat)
{
    IsUserAdministrator();
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < 50; ++i) IsUserAdministrator();
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(before, after);
}

TEST(PrivilegeTest, UnknownNameFailsKnownOneIsEnabled)
{
    EXPECT_FALSE(EnablePrivilege("SeNoSuchPrivilege"));
    EXPECT_FALSE(EnablePrivilege(nullptr));
    EXPECT_TRUE(EnableDebugPrivilege());

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    LUID debug;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &debug));
    PRIVILEGE_SET set;
    set.PrivilegeCount = 1;
    set.Control = PRIVILEGE_SET_ALL_NECESSARY;
    set.Privilege[0].Luid = debug;
    set.Privilege[0].Attributes = 0;
    BOOL enabled = FALSE;
    EXPECT_TRUE(PrivilegeCheck(token, &set, &enabled));
    EXPECT_TRUE(enabled);
    CloseHandle(token);
}

TEST(TerminateTest, EndsARunningChild)
{
    SleepingChild child(SleeperPath(), 60000);
    ASSERT_TRUE(child.Started());
    DWORD error = 0xDEADBEEF;
    EXPECT_TRUE(TerminateProcessById(child.Id(), &error));
    EXPECT_EQ(0u, error);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.Process(), 5000));
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(child.Process(), &exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST(TerminateTest, EndedProcessGivesTheOpenProcessError)
{
    DWORD id = 0;
    {
        SleepingChild child(SleeperPath(), 0);
        ASSERT_TRUE(child.Started());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.Process(), 5000));
        id = child.Id();
    }  // the last handle goes: the process object goes soon after
    // Wine keeps an ended process openable for a moment; wait until it is gone.
    DWORD openError = 0;
    for (int i = 0; i < 100 && openError == 0; ++i) {
        SetLastError(0);
        HANDLE probe = OpenProcess(PROCESS_TERMINATE, FALSE, id);
        if (probe == nullptr) {
            openError = GetLastError();
        } else {
            CloseHandle(probe);
            Sleep(50);
        }
    }
    ASSERT_NE(0u, openError) << "the ended process stayed openable";
    DWORD error = 0;
    EXPECT_FALSE(TerminateProcessById(id, &error));
    EXPECT_EQ(openError, error);
}

int pumpedMessages = 0;

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) {
        ++pumpedMessages;
        // The first one asks for a follow-up, which the same pump must serve.
        if (wParam == 1) PostMessageW(window, WM_APP, 0, 0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(PumpTest, DispatchesPostedMessagesAndReturnsWhenEmpty)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"HarvinPumpTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"HarvinPumpTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    PumpPendingMessages();  // whatever creation left behind

    pumpedMessages = 0;
    PostMessageW(window, WM_APP, 1, 0);
    PostMessageW(window, WM_APP, 0, 0);
    PostMessageW(window, WM_APP, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 0, 0);
    PumpPendingMessages();
    EXPECT_EQ(4, pumpedMessages);
    MSG left;
    EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));

    // An empty queue: it returns at once instead of waiting.
    const DWORD start = GetTickCount();
    PumpPendingMessages();
    EXPECT_LT(GetTickCount() - start, 500u);
    DestroyWindow(window);
    UnregisterClassW(L"HarvinPumpTest", windowClass.hInstance);
}

TEST(DirectoryTreeTest, CreatesEveryMissingLevel)
{
    ScratchFolder scratch("platform-tree");
    const std::string second = scratch.Join("one\\two");
    EXPECT_TRUE(CreateDirectoryTree(Wide(second + "\\").c_str()));
    EXPECT_TRUE(FolderExists(scratch.Join("one")));
    EXPECT_TRUE(FolderExists(second));

    // Existing folders: nothing to do.
    EXPECT_TRUE(CreateDirectoryTree(Wide(second).c_str()));
    EXPECT_TRUE(CreateDirectoryTree(Wide(scratch.Path() + "\\").c_str()));
    EXPECT_TRUE(CreateDirectoryTree(L""));
    EXPECT_TRUE(CreateDirectoryTree(L"C:\\"));
}

TEST(DirectoryTreeTest, FileInTheWayFails)
{
    ScratchFolder scratch("platform-tree");
    ASSERT_TRUE(testing_support::WriteFileBytes(scratch.Join("file"), "x"));
    EXPECT_FALSE(CreateDirectoryTree(Wide(scratch.Join("file")).c_str()));
    EXPECT_FALSE(CreateDirectoryTree(Wide(scratch.Join("file\\below")).c_str()));
    EXPECT_TRUE(FileExists(scratch.Join("file")));
}

TEST(DirectoryTreeTest, TooLongPathIsNotCut)
{
    ScratchFolder scratch("platform-tree");
    std::string path = scratch.Path() + "\\";
    const std::string level = "level-" + std::string(40, 'x');
    path += level + "\\" + level + "\\" + level + "\\" + level + "\\" + level + "\\" + level;
    ASSERT_GT(path.size(), 259u);
    EXPECT_FALSE(CreateDirectoryTree(Wide(path).c_str()));
    EXPECT_FALSE(FolderExists(scratch.Join(level)));  // nothing was made for a cut path
}

}  // namespace
