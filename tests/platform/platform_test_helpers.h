// Helpers of the platform tests: wide paths and the sleeping child program.
#pragma once
#include "platform/win.h"
#include "tests/support/test_support.h"

#include <string>

namespace platform_tests {

inline std::wstring Wide(const std::string& text)
{
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

inline std::wstring TestBinFile(const char* name) { return Wide(testing_support::TestBinDir() + "\\" + name); }

inline std::wstring SleeperPath() { return TestBinFile("platform_sleeper.exe"); }

// A child that sleeps `sleepMs` and exits 0. Returns once the child runs its
// main function (all its static imports are loaded by then).
class SleepingChild {
public:
    SleepingChild(const std::wstring& exePath, DWORD sleepMs)
    {
        static LONG serial = 0;
        wchar_t eventName[64];
        swprintf(eventName, 64, L"harvin-platform-child-%lu-%ld", GetCurrentProcessId(),
                 InterlockedIncrement(&serial));
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName);
        std::wstring commandLine = L"\"" + exePath + L"\" " + std::to_wstring(sleepMs) + L" " + eventName;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (CreateProcessW(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &info_)) {
            HANDLE handles[2] = {ready, info_.hProcess};
            WaitForMultipleObjects(2, handles, FALSE, 10000);
        }
        if (ready != nullptr) CloseHandle(ready);
    }
    ~SleepingChild()
    {
        if (info_.hProcess != nullptr) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, 5000);
            CloseHandle(info_.hProcess);
        }
        if (info_.hThread != nullptr) CloseHandle(info_.hThread);
    }
    SleepingChild(const SleepingChild&) = delete;
    SleepingChild& operator=(const SleepingChild&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Process() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_ = {};
};

}  // namespace platform_tests
