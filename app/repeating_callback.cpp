#include "app/repeating_callback.h"

#include "app/app_state.h"
#include "lang/resource_ids.h"

#include <commctrl.h>
#include <mmsystem.h>

RepeatingCallback::RepeatingCallback()
    : fired(0), paused(0), timerId(0), callbackArgument(nullptr), callback(nullptr), periodMs(0)
{
}

RepeatingCallback::~RepeatingCallback() { Stop(); }

BOOL RepeatingCallback::InitInstance()
{
    paused = 0;
    Start();
    return TRUE;
}

int RepeatingCallback::ExitInstance()
{
    Stop();
    return CWinThread::ExitInstance();
}

void RepeatingCallback::Configure(UINT period, ProgressCallback function, void* argument)
{
    periodMs = period;
    callback = function;
    callbackArgument = argument;
}

void RepeatingCallback::Start()
{
    if (timerId != 0) return;
    // TIME_KILL_SYNCHRONOUS: once Stop has returned no tick is running any
    // more, so the object can be deleted after it. The callback only posts
    // messages, so Stop never waits long.
    MMRESULT id = timeSetEvent(periodMs, 50, &RepeatingCallback::TimerTick, reinterpret_cast<DWORD_PTR>(this),
                               TIME_PERIODIC | TIME_KILL_SYNCHRONOUS);
    if (id != 0 && InterlockedCompareExchange(&timerId, static_cast<LONG>(id), 0) != 0) {
        timeKillEvent(id);  // another thread started one meanwhile
    }
}

void RepeatingCallback::Stop()
{
    LONG id = InterlockedExchange(&timerId, 0);
    if (id != 0) timeKillEvent(static_cast<UINT>(id));
}

void RepeatingCallback::SetPaused(LONG value) { paused = value; }

void CALLBACK RepeatingCallback::TimerTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto* self = reinterpret_cast<RepeatingCallback*>(user);
    self->fired = 1;
    if (!self->paused && self->callback != nullptr) self->callback(self->callbackArgument);
}

void AdvanceProgress(void*)
{
    RepeatingCallback* timer = ProgressTimer;
    if (timer == nullptr || timer->paused || !timer->fired) return;
    // Posted, not sent: the timer thread must never wait for the dialog
    // thread, which may itself be stopping this timer.
    HWND bar = MainDialogWindow != nullptr ? GetDlgItem(MainDialogWindow, IDC_PROGRESS) : nullptr;
    if (bar != nullptr) {
        PostMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        PostMessageA(bar, PBM_STEPIT, 0, 0);
    }
    timer->fired = 0;
}
