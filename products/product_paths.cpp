#include "products/product_paths.h"

#include "app/output_tree.h"
#include "platform/bounded_text.h"

#include <cstring>
#include <cwchar>

namespace {

bool IsForbiddenInName(unsigned char c)
{
    return c < 0x20 || strchr("<>:\"/\\|?*%", c) != nullptr;
}

// Windows opens the device, not a file, for these names, with or without an
// extension and whatever blanks and dots end the part before it ("CON .txt",
// "AUX  .log"); COM and LPT take the superscript digits too. Compared as
// Unicode, so the superscripts are found in any ANSI code page.
bool IsDeviceName(const char* name)
{
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    wchar_t stem[kPathSize];
    const int stemBytes = static_cast<int>(strcspn(name, "."));
    if (stemBytes == 0 || stemBytes >= static_cast<int>(kPathSize)) return false;
    int length = MultiByteToWideChar(CP_ACP, 0, name, stemBytes, stem, kPathSize - 1);
    while (length > 0 && (stem[length - 1] == L' ' || stem[length - 1] == L'.')) --length;
    if (length <= 0) return false;
    stem[length] = L'\0';
    for (const wchar_t* device : kDevices) {
        if (_wcsicmp(stem, device) == 0) return true;
    }
    if (length != 4) return false;
    const wchar_t digit = stem[3];
    stem[3] = L'\0';
    const bool port = _wcsicmp(stem, L"COM") == 0 || _wcsicmp(stem, L"LPT") == 0;
    const bool superscript = digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
    return port && ((digit >= L'1' && digit <= L'9') || superscript);
}

void ToUpperAscii(char* text)
{
    for (char* p = text; *p != '\0'; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
}

void ToLowerAscii(char* text)
{
    for (char* p = text; *p != '\0'; ++p) {
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    }
}

}  // namespace

void MakeSafeName(const char* text, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    // Room for the '_' that a device name gets in front.
    const bool prefixRoom = capacity >= 3;
    char* name = prefixRoom ? out + 1 : out;
    const size_t room = prefixRoom ? capacity - 1 : capacity;
    const char* source = text != nullptr ? text : "";
    CopyText(name, room, source);

    // The source is read for the neighbours, so a dot turned '_' still counts.
    const size_t length = strlen(name);
    for (size_t i = 0; i < length; ++i) {
        const bool dotRun = name[i] == '.' && ((i > 0 && source[i - 1] == '.') || source[i + 1] == '.');
        if (IsForbiddenInName(static_cast<unsigned char>(name[i])) || dotRun) name[i] = '_';
    }
    for (size_t i = length; i > 0 && (name[i - 1] == '.' || name[i - 1] == ' '); --i) name[i - 1] = '_';
    if (name[0] == '\0' && room > 1) CopyText(name, room, "_");

    if (prefixRoom) {
        if (IsDeviceName(name)) {
            out[0] = '_';
        } else {
            memmove(out, name, strlen(name) + 1);
        }
    }
}

bool MakeFolderPath(const char* text, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (!IsAbsolutePath(text)) return false;
    const DWORD length = GetFullPathNameA(text, static_cast<DWORD>(capacity), out, nullptr);
    if (length == 0 || length >= capacity || !IsAbsolutePath(out) || !EnsureTrailingBackslash(out, capacity)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool CopyTargetName(const char* name, TargetName convention, char* out, size_t capacity)
{
    if (convention == TargetName::Same || convention == TargetName::TxtAdded) {
        bool fit = CopyText(out, capacity, name);
        if (convention == TargetName::TxtAdded) fit = AppendText(out, capacity, ".TXT") && fit;
        return fit;
    }
    char stem[kPathSize];
    bool fit = CopyText(stem, name);
    char* dot = strrchr(stem, '.');
    const char* extension = "";
    char lowered[kPathSize] = "";
    if (dot != nullptr) {
        *dot = '\0';
        CopyText(lowered, dot + 1);
        extension = lowered;
    }
    if (convention == TargetName::Joined) {
        ToUpperAscii(stem);
        ToLowerAscii(lowered);
        return FormatText(out, capacity, "%s%s.TXT", stem, extension) && fit;
    }
    return FormatText(out, capacity, dot != nullptr ? "%s_%s.TXT" : "%s%s.TXT", stem, extension) && fit;
}

void CutAfterWord(const char* path, const char* word, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    out[0] = '\0';
    if (path == nullptr || word == nullptr || word[0] == '\0') return;
    const char* found = strstr(path, word);
    if (found == nullptr) return;
    size_t length = static_cast<size_t>(found - path) + strlen(word);
    if (path[length] != '\0') ++length;
    if (length >= capacity) return;  // a cut folder would be another folder
    memcpy(out, path, length);
    out[length] = '\0';
}

void CommandFolder(const char* command, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    out[0] = '\0';
    if (command == nullptr) return;
    char program[kPathSize];
    if (command[0] == '"') {
        const char* end = strchr(command + 1, '"');
        if (end == nullptr) return;
        const size_t length = static_cast<size_t>(end - command - 1);
        if (length >= sizeof program) return;
        memcpy(program, command + 1, length);
        program[length] = '\0';
    } else if (!CopyText(program, command)) {
        return;
    }
    if (!CopyPathFolder(out, capacity, program)) out[0] = '\0';
}
