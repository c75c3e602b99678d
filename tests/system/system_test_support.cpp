#include "tests/system/system_test_support.h"

#include "tests/support/test_support.h"

#include <vector>

namespace system_tests {

std::string ReadPage(const std::string& path)
{
    std::string bytes;
    if (!testing_support::ReadFileBytes(path, &bytes)) return std::string();
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    return text;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            if (start < text.size()) lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string LineValue(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    if (at == std::string::npos) return "<missing>";
    at += label.size();
    size_t end = text.find('\n', at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

PlantedValue::PlantedValue(HKEY hive, const std::string& path, const std::string& name, REGSAM view, DWORD type,
                           const std::string& data, bool remove)
    : hive_(hive), path_(path), name_(name), view_(view)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | view, nullptr, &key,
                        &disposition) != ERROR_SUCCESS) {
        return;
    }
    keyCreated_ = disposition == REG_CREATED_NEW_KEY;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<char> old(size + 1);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &oldType_, reinterpret_cast<BYTE*>(old.data()), &size) ==
            ERROR_SUCCESS) {
            existed_ = true;
            oldData_.assign(old.data(), size);
        }
    }
    if (remove) {
        LONG status = RegDeleteValueA(key, name.c_str());
        ok_ = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    } else {
        std::string stored = data;
        if (type == REG_SZ || type == REG_EXPAND_SZ) stored.push_back('\0');
        ok_ = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(stored.data()),
                             static_cast<DWORD>(stored.size())) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
}

PlantedValue::~PlantedValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive_, path_.c_str(), 0, KEY_READ | KEY_WRITE | view_, &key) != ERROR_SUCCESS) return;
    if (existed_) {
        RegSetValueExA(key, name_.c_str(), 0, oldType_, reinterpret_cast<const BYTE*>(oldData_.data()),
                       static_cast<DWORD>(oldData_.size()));
    } else {
        RegDeleteValueA(key, name_.c_str());
    }
    RegCloseKey(key);
    if (keyCreated_) RegDeleteKeyExA(hive_, path_.c_str(), view_, 0);
}

std::string ReadRegistryText(HKEY hive, const std::string& path, const std::string& name, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return std::string();
    char data[1024] = "";
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
    data[size < sizeof data ? size : sizeof data - 1] = '\0';
    return data;
}

int RunAndWait(const std::string& commandLine, DWORD timeoutMs)
{
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info)) {
        return -1;
    }
    CloseHandle(info.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(info.hProcess, &code);
    } else {
        TerminateProcess(info.hProcess, 1);
    }
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}

}  // namespace system_tests
