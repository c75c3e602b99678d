// Helpers shared by the test programs.
#pragma once
#include "platform/win.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace testing_support {

// Folders of this build, as Windows paths (Z: is the Linux root under Wine).
std::string DistDir();        // harvin.exe, en-us\, de-de\ (no trailing backslash)
std::string SourceDir();
std::string TestBinDir();
std::string TestOutDir();     // results that Linux-side checks read afterwards

std::string ToWindowsSlashes(std::string path);

// A fresh folder below the Windows temporary folder, deleted with everything
// in it when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* tag = "harvin-test");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }        // no trailing backslash
    std::string Join(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// The page heads' line naming this system's ANSI code page (empty: no name).
std::string CharsetMeta();

bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool ReadFileBytes(const std::string& path, std::string* bytes);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Deletes a folder tree (test cleanup; never follows links).
void RemoveTree(const std::string& path);

// Answers message boxes of this process: while alive, a thread looks for
// dialog windows of the process whose caption contains `captionPart` and
// presses `button` (IDOK, IDYES, IDNO...). Counts the boxes answered and keeps
// the text of the last one.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer(std::string captionPart, int button);
    ~MessageBoxAnswerer();
    int Answered() const { return answered_.load(); }
    std::string LastText() const;

private:
    void Loop();
    std::string captionPart_;
    int button_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::string lastText_;
    mutable std::mutex textMutex_;
    std::thread thread_;
};

// Pumps this thread's messages until `handle` is signalled or the time is up.
bool WaitPumping(HANDLE handle, DWORD timeoutMs);

}  // namespace testing_support
