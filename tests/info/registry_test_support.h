// Shared pieces of the registry tests: planted keys that are removed again,
// a page captured through a real file, and the dialog's status list.
#pragma once
#include "platform/win.h"
#include "report/page_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace registry_test {

// Test keys live below these paths (one tree per hive and view).
constexpr const char kUserRoot[] = "Software\\HarvinTest";     // HKCU
constexpr const char kMachineRoot[] = "Software\\HarvinTest";  // HKLM, both views
constexpr const char kSystemRoot[] = "System\\HarvinTest";     // HKLM, not redirected
constexpr const char kTestClsid[] = "{6A1E0C39-2F0B-4C59-9E1D-0D5D7C4B1A77}";

// "\n" as the text-mode page stream writes it.
std::string Crlf(const std::string& text);

// A page opened on a file in a scratch folder; Text() closes it and returns
// the bytes on disk.
class CapturedPage {
public:
    CapturedPage();
    ~CapturedPage();
    Page Get() const { return page_; }
    std::string Text();

private:
    testing_support::ScratchFolder scratch_{"registry-page"};
    std::string path_;
    Page page_ = nullptr;
};

// Creates (or opens) `path` below `hive` in `view` (0, KEY_WOW64_64KEY or
// KEY_WOW64_32KEY) and sets values on it. The key closes with the object.
class PlantedKey {
public:
    PlantedKey(HKEY hive, const std::string& path, REGSAM view = 0);
    ~PlantedKey();
    PlantedKey(const PlantedKey&) = delete;
    PlantedKey& operator=(const PlantedKey&) = delete;
    void Set(const char* name, DWORD type, const std::string& bytes);
    void SetString(const char* name, const std::string& text, DWORD type = REG_SZ);  // with its terminator
    void SetDword(const char* name, DWORD value);

private:
    HKEY key_ = nullptr;
};

// Every test starts and ends without the test trees and without a cancel.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static void RemoveTestKeys();
    static std::string UserPath(const std::string& rest) { return std::string(kUserRoot) + "\\" + rest; }
    static std::string MachinePath(const std::string& rest) { return std::string(kMachineRoot) + "\\" + rest; }
};

// While alive, the status functions write into a hidden list box.
class StatusListCapture {
public:
    StatusListCapture();
    ~StatusListCapture();
    // False without a display (no window can be made then).
    bool Ready() const { return list_ != nullptr; }
    std::vector<std::string> Lines() const;

private:
    HWND list_ = nullptr;
};

}  // namespace registry_test
