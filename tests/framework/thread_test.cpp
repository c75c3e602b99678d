// Stopping a framework thread: bounded however the thread stands, and an
// answer that tells whether the object may go.
#include "framework/framework.h"

#include <gtest/gtest.h>

namespace {

class IdleThread : public CWinThread {
public:
    BOOL InitInstance() override { return TRUE; }  // then waits in its message loop
};

DWORD WaitMs(DWORD startTick) { return GetTickCount() - startTick; }

TEST(CWinThreadStop, SuspendedSeveralTimesStillEnds)
{
    IdleThread thread;
    ASSERT_TRUE(thread.CreateThread(CREATE_SUSPENDED));
    SuspendThread(thread.m_hThread);
    SuspendThread(thread.m_hThread);
    EXPECT_TRUE(thread.StopAndWait(5000));
}

// A handle that cannot resume the thread makes ResumeThread fail with
// (DWORD)-1: the stop must still come back, and say the thread lives.
TEST(CWinThreadStop, FailingResumeEndsTheAttemptsAndReportsTheThreadAlive)
{
    IdleThread thread;
    ASSERT_TRUE(thread.CreateThread(CREATE_SUSPENDED));
    HANDLE full = thread.m_hThread;
    HANDLE waitOnly = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), full, GetCurrentProcess(), &waitOnly, SYNCHRONIZE, FALSE, 0));
    ASSERT_EQ(ResumeThread(waitOnly), static_cast<DWORD>(-1));
    thread.m_hThread = waitOnly;
    DWORD start = GetTickCount();
    EXPECT_FALSE(thread.StopAndWait(300));
    EXPECT_LT(WaitMs(start), 3000u);
    // Let it go properly: it saw the request once it runs.
    thread.m_hThread = full;
    ResumeThread(full);
    EXPECT_EQ(WaitForSingleObject(full, 5000), WAIT_OBJECT_0);
    CloseHandle(waitOnly);
}

}  // namespace
