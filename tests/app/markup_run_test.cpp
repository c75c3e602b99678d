// A whole run whose data holds markup and "&": the user's entries, the
// registered owner, a file in the Startup folder, a Run value, a shell
// extension's description, a service's name and a running program (its path
// and its version texts). The run stays in tests/out/markup-run with the
// texts each page must show; check_markup_pages.py renders every page in a
// browser and finds them there as text, with no element made from them.
#include "app/app_state.h"
#include "app/collection_worker.h"
#include "app/output_location.h"
#include "platform/bounded_text.h"
#include "tests/app/spine_fixture.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing_support::TestOutDir;

namespace {

const char kTitle[] = "Wardex Harvin - Support Information";
const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A text that makes an element wherever a page takes it for markup (its
// handler marks the element; a dialog would stop the browser).
std::string Markup(const std::string& what) { return "<img src=x onerror=this.title='" + what + "'> & " + what; }
const std::string kName = Markup("name") + " J\xFCrgen M\xFCller";  // shown as written in its code page

// A text of the program file's version resource (US English, Windows
// Latin-1), or empty.
std::string VersionText(const std::string& path, const char* key)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return std::string();
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return std::string();
    void* value = nullptr;
    UINT length = 0;
    const std::string subBlock = std::string("\\StringFileInfo\\040904E4\\") + key;
    if (!VerQueryValueA(block.data(), subBlock.c_str(), &value, &length) || value == nullptr) return std::string();
    return static_cast<const char*>(value);
}

// The markup child, copied below a folder whose name holds "&" and running
// until the object goes.
class MarkupChild {
public:
    MarkupChild()
    {
        const std::string base = TestOutDir() + "\\markup-child";
        testing_support::RemoveTree(base);
        CreateDirectoryA(base.c_str(), nullptr);
        CreateDirectoryA((base + "\\R&D Tools").c_str(), nullptr);
        path_ = base + "\\R&D Tools\\Tom&Jerry.exe";
        if (!CopyFileA((testing_support::TestBinDir() + "\\markup_child.exe").c_str(), path_.c_str(), FALSE)) return;

        const std::string eventName = "harvin-markup-child-" + std::to_string(GetCurrentProcessId());
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        std::string command = "\"" + path_ + "\" " + eventName;
        command.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
            HANDLE waits[2] = {ready, info_.hProcess};
            started_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
    }
    ~MarkupChild()
    {
        if (info_.hProcess == nullptr) return;
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, 10000);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    MarkupChild(const MarkupChild&) = delete;
    MarkupChild& operator=(const MarkupChild&) = delete;
    bool Started() const { return started_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    PROCESS_INFORMATION info_ = {};
    bool started_ = false;
};

// A file in the user's Startup folder, removed again when the object goes.
class StartupFile {
public:
    explicit StartupFile(const std::string& name)
    {
        const std::string folder = system_tests::ReadRegistryText(HKEY_CURRENT_USER, kShellFoldersKey, "Startup", 0);
        if (folder.empty()) return;
        path_ = folder + "\\" + name;
        ok_ = testing_support::WriteFileBytes(path_, "started at logon");
    }
    ~StartupFile()
    {
        if (!path_.empty()) DeleteFileA(path_.c_str());
    }
    StartupFile(const StartupFile&) = delete;
    StartupFile& operator=(const StartupFile&) = delete;
    bool Ok() const { return ok_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool ok_ = false;
};

// The texts the host check looks for: one "page<TAB>text" per line, the
// page relative to SupportData.
class ExpectedTexts {
public:
    void Add(const std::string& page, const std::string& text) { lines_ += page + "\t" + text + "\n"; }
    bool Save(const std::string& path) const { return testing_support::WriteFileBytes(path, lines_); }

private:
    std::string lines_;
};

TEST(MarkupRun, DataInEveryPageIsText)
{
    const std::string folder = TestOutDir() + "\\markup-run";
    testing_support::RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    CopyText(ProgramPathOverride, (folder + "\\harvin.exe").c_str());
    CommandLineCopy[0] = '\0';
    CancelRequested = 0;
    ExtendedCollection = 0;
    CopyText(UserInfo.name, kName.c_str());
    CopyText(UserInfo.company, Markup("company").c_str());
    CopyText(UserInfo.third, Markup("third").c_str());

    system_tests::PlantedValue owner(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "RegisteredOwner", KEY_WOW64_32KEY,
                                     REG_SZ, Markup("owner"));
    ASSERT_TRUE(owner.Ok());
    StartupFile startup("Tom & Jerry.txt");
    ASSERT_TRUE(startup.Ok());
    // Autostart entries, a shell extension's description and a service's
    // name as the registry pages show them.
    system_tests::PlantedValue run(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                   "HarvinMarkup", 0, REG_SZ, Markup("run"));
    system_tests::PlantedValue extension(HKEY_CURRENT_USER,
                                         "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                                         "{0B1C4E2A-7D35-4A8E-9C61-3F2E5D7A9B12}", 0, REG_SZ, Markup("extension"));
    system_tests::PlantedValue service(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\HarvinMarkup",
                                       "DisplayName", KEY_WOW64_64KEY, REG_SZ, Markup("service"));
    ASSERT_TRUE(run.Ok() && extension.Ok() && service.Ok());
    MarkupChild child;
    ASSERT_TRUE(child.Started()) << child.Path();
    const std::string description = VersionText(child.Path(), "FileDescription");
    const std::string vendor = VersionText(child.Path(), "CompanyName");
    ASSERT_NE(description.find("<img"), std::string::npos) << "the child's version texts hold no markup";

    {
        testing_support::MessageBoxAnswerer answerer(kTitle, IDOK);
        spine::RunWorker();
        EXPECT_EQ(answerer.Answered(), 1) << "exactly the final message is shown";
    }

    ExpectedTexts expected;
    expected.Add("INDEX.html", kName);
    for (const char* page : {"NAVI.html", "START.html"}) {
        expected.Add(page, kName);
        expected.Add(page, Markup("company"));
    }
    expected.Add("START.html", Markup("third"));
    expected.Add("SYSInfo/SystemInformations.html", Markup("owner"));
    expected.Add("SYSInfo/SystemInformations.html", startup.Path());
    expected.Add("Startup/StartRegistry.html", Markup("run"));
    expected.Add("Startup/StartAutostart.html", "Tom & Jerry.txt");
    expected.Add("SYSInfo/Explorer.html", Markup("extension"));
    expected.Add("SYSInfo/ServicesInfo.html", Markup("service"));
    for (const char* page : {"SYSInfo/ProcessesModules.html", "SYSInfo/ProcessModules64.html"}) {
        expected.Add(page, "R&D Tools\\Tom&Jerry.exe");
        expected.Add(page, "Description: " + description);
        expected.Add(page, "Vendor: " + vendor);
    }
    ASSERT_TRUE(expected.Save(folder + "\\expected-texts.txt"));
}

}  // namespace
