// The version resource of one file and lookups of its strings.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>

class FileVersionInfo {
public:
    FileVersionInfo();
    ~FileVersionInfo();
    FileVersionInfo(const FileVersionInfo&) = delete;
    FileVersionInfo& operator=(const FileVersionInfo&) = delete;

    // Reads the resource of `path` (drops what was loaded before). False when
    // the file has no resource or no translation table.
    bool Load(const wchar_t* path);

    // Copies the string `name` ("FileVersion", "CompanyName"...) of the first
    // translation into text, cut to textChars - 1 characters. False, with
    // text untouched, when nothing is loaded or the string is missing or empty.
    bool QueryString(const wchar_t* name, wchar_t* text, size_t textChars) const;
    template <size_t N>
    bool QueryString(const wchar_t* name, wchar_t (&text)[N]) const
    {
        return QueryString(name, text, N);
    }

private:
    bool LoadTranslation();
    void Free();

    wchar_t path_[MAX_PATH];
    BYTE* data_;
    const WORD* translation_;  // language, code page
};
