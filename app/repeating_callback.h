// The progress animation: a thread object that runs a periodic multimedia
// timer calling a callback, which can be paused.
#pragma once
#include "framework/framework.h"

using ProgressCallback = void (*)(void* argument);

class RepeatingCallback : public CWinThread {
public:
    RepeatingCallback();
    ~RepeatingCallback() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    void Configure(UINT periodMs, ProgressCallback callback, void* argument);
    // Starts the periodic timer unless one is running.
    void Start();
    void Stop();
    void SetPaused(LONG paused);

    volatile LONG fired;
    volatile LONG paused;
    volatile LONG timerId;
    void* callbackArgument;
    ProgressCallback callback;
    UINT periodMs;

private:
    static void CALLBACK TimerTick(UINT id, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
};

// The progress callback: moves the dialog's progress bar one step.
void AdvanceProgress(void* dialog);
