// The built 64-bit process lister run on the live system: one HTML document
// with a row for this test's own process and a module section for it, and a
// process with a name outside Latin-1 listed in full.
#include "tests/support/test_support.h"
#include "tests/tools/companion_runner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

const wchar_t kSleeperSwitch[] = L"--pidwalk64-sleeper";

// A copy of this program started with kSleeperSwitch and an event handle only
// signals the event and waits to be ended: a live process with a chosen name.
struct SleeperMode {
    SleeperMode()
    {
        const wchar_t* commandLine = GetCommandLineW();
        const wchar_t* found = wcsstr(commandLine, kSleeperSwitch);
        if (found == nullptr) return;
        unsigned long long value = wcstoull(found + wcslen(kSleeperSwitch), nullptr, 10);
        SetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)));
        Sleep(60000);
        ExitProcess(0);
    }
} sleeperMode;

std::string NarrowAnsi(const std::wstring& text)
{
    char buffer[1024];
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, buffer, sizeof buffer, "?",
                                nullptr);
    return n > 0 ? std::string(buffer) : std::string();
}

std::wstring OwnPath()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

std::wstring BaseName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A sleeping copy of this program under a name with Cyrillic, the euro sign
// and a CJK character; ended when the object goes.
class Sleeper {
public:
    explicit Sleeper(const std::wstring& folder)
    {
        path_ = folder + L"\\lister_\x0416\x0443\x043A_\x20AC_\x6F22.exe";
        if (!CopyFileW(OwnPath().c_str(), path_.c_str(), FALSE)) return;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE ready = CreateEventW(&inherit, TRUE, FALSE, nullptr);
        std::wstring commandLine = L"\"" + path_ + L"\" " + kSleeperSwitch +
                                   std::to_wstring(reinterpret_cast<uintptr_t>(ready));
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (CreateProcessW(path_.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            processId_ = info.dwProcessId;
            running_ = WaitForSingleObject(ready, 30000) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
    }
    ~Sleeper()
    {
        if (process_ != nullptr) {
            TerminateProcess(process_, 0);
            WaitForSingleObject(process_, 10000);
            CloseHandle(process_);
        }
        DeleteFileW(path_.c_str());
    }
    Sleeper(const Sleeper&) = delete;
    Sleeper& operator=(const Sleeper&) = delete;

    bool Running() const { return running_; }
    DWORD ProcessId() const { return processId_; }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    bool running_ = false;
};

TEST(Pidwalk64Run, ListsTheLiveSystemAsOneDocument)
{
    testing_support::ScratchFolder scratch("pidwalk64-run");
    wchar_t folder[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, scratch.Path().c_str(), -1, folder, MAX_PATH);
    Sleeper sleeper(folder);
    ASSERT_TRUE(sleeper.Running());

    std::string raw;
    DWORD exitCode = 1;
    ASSERT_TRUE(tools_test::RunCompanion(tools_test::CompanionPath("pidwalk64.exe"), &raw, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    std::string page = tools_test::WithoutCarriageReturns(raw);

    // Frame: doctype first, title, closing tags last.
    EXPECT_EQ(page.rfind("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"", 0), 0u);
    EXPECT_NE(page.find("<title>Active Processes And Modules (64Bit)</title>\n"), std::string::npos);
    const std::string tail = "\n</tt>\n</body>\n</html>\n";
    ASSERT_GE(page.size(), tail.size());
    EXPECT_EQ(page.substr(page.size() - tail.size()), tail);

    size_t header = page.find("\t\t<tr><th>PID</th><th>Process</th><th>Path</th></tr>\n");
    size_t tableEnd = page.find("\t</tbody>\n</TABLE>\n");
    ASSERT_NE(header, std::string::npos);
    ASSERT_NE(tableEnd, std::string::npos);
    EXPECT_LT(header, tableEnd);

    // This process: linked name, its image path, and a section with modules.
    std::string ownName = NarrowAnsi(BaseName(OwnPath()));
    std::string ownRow = "\t\t<tr><td>" + std::to_string(GetCurrentProcessId()) + "</td><td><a href=\"#" + ownName +
                         "\">" + ownName + "</a></td><td>" + NarrowAnsi(OwnPath()) + "</td></tr>\n";
    size_t row = page.find(ownRow);
    EXPECT_NE(row, std::string::npos) << ownRow;
    EXPECT_LT(row, tableEnd);

    std::string anchor = "<br><br>\n<strong><a name=\"" + ownName + "\">" + ownName + "  </a>\n</strong>\n";
    size_t section = page.find(anchor);
    ASSERT_NE(section, std::string::npos);
    EXPECT_GT(section, tableEnd);
    size_t nextSection = page.find("<a name=", section + anchor.size());
    std::string ownSection = page.substr(section, nextSection == std::string::npos ? std::string::npos
                                                                                  : nextSection - section);
    size_t kernel = ownSection.find("<strong>kernel32.dll</strong><br>Path: ");
    ASSERT_NE(kernel, std::string::npos);
    // Wine's and Windows' kernel32 both carry a version resource.
    size_t version = ownSection.find("<br>Version: ", kernel);
    ASSERT_NE(version, std::string::npos);
    EXPECT_NE(ownSection.compare(version, 17, "<br>Version: <br>"), 0) << ownSection.substr(kernel, 200);
    const std::string entry = ownSection.substr(kernel, ownSection.find("</div>", kernel) - kernel);
    EXPECT_NE(entry.find("<br>Signature: "), std::string::npos) << entry;

    // The name outside Latin-1 is listed whole: characters the code page
    // lacks are marked, nothing after them is lost.
    std::string sleeperName = NarrowAnsi(BaseName(sleeper.Path()));
    std::string sleeperRow = "\t\t<tr><td>" + std::to_string(sleeper.ProcessId()) + "</td><td><a href=\"#" +
                             sleeperName + "\">" + sleeperName + "</a></td><td>" +
                             NarrowAnsi(sleeper.Path()) + "</td></tr>\n";
    EXPECT_NE(page.find(sleeperRow), std::string::npos) << sleeperRow;
    if (GetACP() == 1252) {
        EXPECT_EQ(sleeperName, "lister_???_\x80_?.exe");
    }

    // Any idle-process row carries no link and the unterminated &nbsp.
    size_t idle = page.find("\t\t<tr><td>0</td>");
    if (idle != std::string::npos) {
        std::string idleRow = page.substr(idle, page.find('\n', idle) - idle);
        EXPECT_EQ(idleRow.find("<a href"), std::string::npos) << idleRow;
        EXPECT_NE(idleRow.find("<td>&nbsp</td></tr>"), std::string::npos) << idleRow;
    }
}

}  // namespace
