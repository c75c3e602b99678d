#include "tests/info/registry_test_support.h"

#include "app/app_state.h"

#include <share.h>

namespace registry_test {

std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

CapturedPage::CapturedPage() : path_(scratch_.Join("page.html"))
{
    page_ = _fsopen(path_.c_str(), "w", _SH_DENYNO);
}

CapturedPage::~CapturedPage()
{
    if (page_ != nullptr) fclose(page_);
}

std::string CapturedPage::Text()
{
    if (page_ != nullptr) {
        fclose(page_);
        page_ = nullptr;
    }
    std::string bytes;
    testing_support::ReadFileBytes(path_, &bytes);
    return bytes;
}

PlantedKey::PlantedKey(HKEY hive, const std::string& path, REGSAM view)
{
    LONG status = RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key_, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << path;
    if (status != ERROR_SUCCESS) key_ = nullptr;
}

PlantedKey::~PlantedKey()
{
    if (key_ != nullptr) RegCloseKey(key_);
}

void PlantedKey::Set(const char* name, DWORD type, const std::string& bytes)
{
    ASSERT_NE(key_, nullptr);
    LONG status = RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size()));
    ASSERT_EQ(status, ERROR_SUCCESS) << name;
}

void PlantedKey::SetString(const char* name, const std::string& text, DWORD type)
{
    Set(name, type, std::string(text.c_str(), text.size() + 1));
}

void PlantedKey::SetDword(const char* name, DWORD value)
{
    Set(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

namespace {

void DeleteTreeInView(HKEY hive, const char* parent, const char* name, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, parent, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeA(key, name);
    RegDeleteKeyExA(key, name, view, 0);
    RegCloseKey(key);
}

}  // namespace

void RegistryTest::RemoveTestKeys()
{
    DeleteTreeInView(HKEY_CURRENT_USER, "Software", "HarvinTest", 0);
    DeleteTreeInView(HKEY_LOCAL_MACHINE, "Software", "HarvinTest", KEY_WOW64_64KEY);
    DeleteTreeInView(HKEY_LOCAL_MACHINE, "Software", "HarvinTest", KEY_WOW64_32KEY);
    DeleteTreeInView(HKEY_LOCAL_MACHINE, "System", "HarvinTest", KEY_WOW64_64KEY);
    DeleteTreeInView(HKEY_CLASSES_ROOT, "CLSID", kTestClsid, KEY_WOW64_64KEY);
    DeleteTreeInView(HKEY_CLASSES_ROOT, "CLSID", kTestClsid, KEY_WOW64_32KEY);
}

void RegistryTest::SetUp()
{
    RemoveTestKeys();
    CancelRequested = 0;
}

void RegistryTest::TearDown()
{
    RemoveTestKeys();
    CancelRequested = 0;
}

StatusListCapture::StatusListCapture()
{
    list_ = CreateWindowExA(0, "LISTBOX", "", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    StatusList.m_hWnd = list_;
}

StatusListCapture::~StatusListCapture()
{
    StatusList.Detach();
    if (list_ != nullptr) DestroyWindow(list_);
}

std::vector<std::string> StatusListCapture::Lines() const
{
    std::vector<std::string> lines;
    int count = StatusList.GetCount();
    for (int i = 0; i < count; ++i) {
        char text[1024];
        if (StatusList.GetText(i, text, sizeof text) >= 0) lines.push_back(text);
    }
    return lines;
}

}  // namespace registry_test
