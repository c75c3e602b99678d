#include "file_version_info.h"

#include <cwchar>
#include <new>

FileVersionInfo::FileVersionInfo() : data_(nullptr), translation_(nullptr)
{
    path_[0] = L'\0';
}

FileVersionInfo::~FileVersionInfo() { Free(); }

void FileVersionInfo::Free()
{
    delete[] data_;
    data_ = nullptr;
    translation_ = nullptr;
}

bool FileVersionInfo::Load(const wchar_t* path)
{
    Free();
    wcsncpy(path_, path, MAX_PATH - 1);
    path_[MAX_PATH - 1] = L'\0';

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path_, &ignored);
    if (size == 0) return false;
    data_ = new (std::nothrow) BYTE[size];
    if (data_ == nullptr) return false;
    if (!GetFileVersionInfoW(path_, 0, size, data_)) {
        Free();
        return false;
    }
    return LoadTranslation();
}

bool FileVersionInfo::LoadTranslation()
{
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_, L"\\VarFileInfo\\Translation", &value, &length) ||
        length < 2 * sizeof(WORD)) {
        return false;
    }
    translation_ = static_cast<const WORD*>(value);
    return true;
}

bool FileVersionInfo::QueryString(const wchar_t* name, wchar_t* text, size_t textChars) const
{
    if (data_ == nullptr || translation_ == nullptr || textChars == 0) return false;
    wchar_t subBlock[128];
    int n = swprintf(subBlock, sizeof subBlock / sizeof subBlock[0], L"\\StringFileInfo\\%04X%04X\\%ls",
                     static_cast<unsigned>(translation_[0]), static_cast<unsigned>(translation_[1]), name);
    if (n < 0) return false;  // name too long for any real string entry

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_, subBlock, &value, &length) || length == 0) return false;
    const wchar_t* found = static_cast<const wchar_t*>(value);
    size_t count = 0;
    while (count < length && count + 1 < textChars && found[count] != L'\0') {
        text[count] = found[count];
        ++count;
    }
    text[count] = L'\0';
    return true;
}
