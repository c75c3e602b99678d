#include "tests/app/spine_fixture.h"

#include "app/app_state.h"
#include "app/collection_worker.h"
#include "framework/framework.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <utility>

namespace spine {
namespace {

CDialog* g_statusDialog = nullptr;

std::function<void()> g_lineAction;
WNDPROC g_listProcedure = nullptr;

// The status list's procedure: the next line runs the action first.
LRESULT CALLBACK WatchStatusLines(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LB_ADDSTRING && g_lineAction) std::exchange(g_lineAction, nullptr)();
    return CallWindowProcA(g_listProcedure, window, message, wParam, lParam);
}

class SpineEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnsureEnvironment(); }
};

const bool kRegistered = [] {
    ::testing::AddGlobalTestEnvironment(new SpineEnvironment);
    return true;
}();

}  // namespace

void EnsureEnvironment()
{
    (void)kRegistered;
    if (g_statusDialog != nullptr) return;
    std::string library = testing_support::DistDir() + "\\en-us\\harvinr.dll";
    HMODULE module = LoadLibraryA(library.c_str());
    ASSERT_NE(module, nullptr) << library;
    SetResourceModule(module);
    ResourceLibrary = module;
    g_statusDialog = new CDialog(IDD_HARVIN_MAIN);
    ASSERT_TRUE(g_statusDialog->CreateModeless());
    MainDialogWindow = g_statusDialog->GetSafeHwnd();
    StatusList.SubclassDlgItem(IDC_STATUS_LIST, MainDialogWindow);
    LoadResourceText(IDS_FMT_STEP_COUNTER, StepCounterFormat);
    LoadResourceText(IDS_FMT_FILE_COUNTER, FileCounterFormat);
}

std::vector<std::string> StatusLines()
{
    std::vector<std::string> lines;
    int count = StatusList.GetCount();
    for (int i = 0; i < count; ++i) {
        std::string line(static_cast<size_t>(StatusList.GetTextLen(i)) + 1, '\0');
        StatusList.GetText(i, &line[0], line.size());
        line.resize(line.size() - 1);
        lines.push_back(line);
    }
    return lines;
}

std::string StatusLineText()
{
    char text[1024] = "";
    GetDlgItemTextA(MainDialogWindow, IDC_STATUS_LINE, text, sizeof text);
    return text;
}

void ClearStatusLines() { StatusList.ResetContent(); }

std::string ReadText(const std::string& path)
{
    std::string bytes;
    if (!testing_support::ReadFileBytes(path, &bytes)) return "<missing " + path + ">";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    return text;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void RunWorker()
{
    CollectionFinishedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(CollectionFinishedEvent, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, &CollectionWorker, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(testing_support::WaitPumping(CollectionFinishedEvent, 120000)) << "finish event never set";
    EXPECT_TRUE(testing_support::WaitPumping(thread, 60000)) << "worker did not end";
    CloseHandle(thread);
    CloseHandle(CollectionFinishedEvent);
    CollectionFinishedEvent = nullptr;
}

void OnNextStatusLine(std::function<void()> action)
{
    g_lineAction = std::move(action);
    if (g_listProcedure != nullptr) return;
    g_listProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(StatusList.GetSafeHwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchStatusLines)));
}

void UseOutputRoot(const std::string& root)
{
    CopyText(OutputRoot, root.c_str());
    struct Sub {
        const char* name;
        char* path;
    } subs[] = {{"\\Dumps", DumpsFolder}, {"\\LOGs", LogsFolder},   {"\\INIFiles", IniFilesFolder},
                {"\\BATFiles", BatFilesFolder}, {"\\SYSInfo", SysInfoFolder}, {"\\Wardex", ProductBaseFolder},
                {"\\Startup", StartupFolder}};
    for (const Sub& sub : subs) {
        CopyText(sub.path, kPathSize, OutputRoot);
        AppendText(sub.path, kPathSize, sub.name);
    }
}

}  // namespace spine
