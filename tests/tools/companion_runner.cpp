#include "tests/tools/companion_runner.h"

#include "tests/support/test_support.h"

namespace tools_test {

std::string CompanionPath(const char* fileName)
{
    return testing_support::ToWindowsSlashes(HARVIN_COMPANIONS_DIR) + "\\" + fileName;
}

bool RunCompanion(const std::string& exePath, std::string* output, DWORD* exitCode, DWORD timeoutMs)
{
    output->clear();
    *exitCode = STILL_ACTIVE;
    testing_support::ScratchFolder scratch("tools-run");
    std::string outPath = scratch.Join("stdout.txt");

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION info = {};
    std::string commandLine = "\"" + exePath + "\"";
    BOOL started = CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    CloseHandle(file);
    if (!started) return false;
    CloseHandle(info.hThread);

    bool ended = WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 5000);
    }
    GetExitCodeProcess(info.hProcess, exitCode);
    CloseHandle(info.hProcess);
    return testing_support::ReadFileBytes(outPath, output) && ended;
}

std::string WithoutCarriageReturns(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        result += text[i];
    }
    return result;
}

}  // namespace tools_test
