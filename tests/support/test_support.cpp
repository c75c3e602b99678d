#include "tests/support/test_support.h"

#include "platform/bounded_text.h"

#include <cstdio>
#include <vector>

namespace testing_support {

std::string ToWindowsSlashes(std::string path)
{
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string DistDir() { return ToWindowsSlashes(HARVIN_DIST_DIR); }
std::string SourceDir() { return ToWindowsSlashes(HARVIN_SOURCE_DIR); }
std::string TestBinDir() { return ToWindowsSlashes(HARVIN_TEST_BIN_DIR); }
std::string TestOutDir() { return ToWindowsSlashes(HARVIN_TEST_OUT_DIR); }

ScratchFolder::ScratchFolder(const char* tag)
{
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) lstrcpyA(temp, "C:\\");
    static std::atomic<unsigned> serial{0};
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%s%s-%lu-%u", temp, tag, GetCurrentProcessId(), serial.fetch_add(1));
    path_ = name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, std::string* bytes)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    bytes->clear();
    char buffer[8192];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, n);
    fclose(f);
    return true;
}

std::string CharsetMeta()
{
    char meta[100];
    FormatCharsetMeta(meta, GetACP());
    return meta;
}

bool FileExists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(child);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryA(child.c_str());
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

MessageBoxAnswerer::MessageBoxAnswerer(std::string captionPart, int button)
    : captionPart_(std::move(captionPart)), button_(button)
{
    thread_ = std::thread([this] { Loop(); });
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::string MessageBoxAnswerer::LastText() const
{
    std::lock_guard<std::mutex> lock(textMutex_);
    return lastText_;
}

namespace {

struct FindContext {
    const std::string* captionPart;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    auto* ctx = reinterpret_cast<FindContext*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0) return TRUE;
    char caption[512] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (std::string(caption).find(*ctx->captionPart) == std::string::npos) return TRUE;
    ctx->found = window;
    return FALSE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param)
{
    char cls[64] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0) {
        char text[2048] = "";
        GetWindowTextA(child, text, sizeof text);
        auto* out = reinterpret_cast<std::string*>(param);
        if (text[0] != '\0') *out += text;
    }
    return TRUE;
}

}  // namespace

void MessageBoxAnswerer::Loop()
{
    while (!stop_) {
        FindContext ctx{&captionPart_, nullptr};
        EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&ctx));
        if (ctx.found != nullptr) {
            std::string text;
            EnumChildWindows(ctx.found, &CollectStaticText, reinterpret_cast<LPARAM>(&text));
            {
                std::lock_guard<std::mutex> lock(textMutex_);
                lastText_ = text;
            }
            // Counted before the click: the box's thread may go on and read
            // the count the moment the click has closed the box.
            ++answered_;
            HWND button = GetDlgItem(ctx.found, button_);
            if (button != nullptr) {
                SendMessageA(button, BM_CLICK, 0, 0);
            } else {
                PostMessageA(ctx.found, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), 0);
            }
            Sleep(100);
        }
        Sleep(20);
    }
}

bool WaitPumping(HANDLE handle, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

}  // namespace testing_support
