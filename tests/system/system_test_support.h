// What the system page tests share: page text, registry values planted for
// a test and put back afterwards, and running a helper program.
#pragma once
#include "platform/win.h"

#include <string>
#include <vector>

namespace system_tests {

// A page's text with CR LF turned into LF (pages are text-mode streams).
std::string ReadPage(const std::string& path);
// The lines of a text (LF separated, without the LF).
std::vector<std::string> Lines(const std::string& text);
// The text after `label` up to the end of its line, or "<missing>".
std::string LineValue(const std::string& text, const std::string& label);

// A registry value set (or deleted, with `remove`) for the life of the
// object; the value found before, or its absence, is restored afterwards.
// `view` is KEY_WOW64_64KEY or KEY_WOW64_32KEY.
class PlantedValue {
public:
    PlantedValue(HKEY hive, const std::string& path, const std::string& name, REGSAM view, DWORD type,
                 const std::string& data, bool remove = false);
    ~PlantedValue();
    PlantedValue(const PlantedValue&) = delete;
    PlantedValue& operator=(const PlantedValue&) = delete;
    bool Ok() const { return ok_; }

private:
    HKEY hive_;
    std::string path_;
    std::string name_;
    REGSAM view_;
    bool existed_ = false;
    bool keyCreated_ = false;
    DWORD oldType_ = 0;
    std::string oldData_;
    bool ok_ = false;
};

// A REG_SZ value as a string (the 64-bit or 32-bit view); empty when absent.
std::string ReadRegistryText(HKEY hive, const std::string& path, const std::string& name, REGSAM view);

// Runs `commandLine` and waits at most `timeoutMs`; the exit code, or -1.
int RunAndWait(const std::string& commandLine, DWORD timeoutMs);

}  // namespace system_tests
