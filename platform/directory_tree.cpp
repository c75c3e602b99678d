// CreateDirectoryTree: a folder with all its missing parents.
#include "platform/system_helpers.h"

#include "platform/bounded_text.h"

#include <cwchar>

namespace {

constexpr size_t kPathCapacity = 260;

bool IsExistingFolder(const wchar_t* path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool CreateDirectoryTree(const wchar_t* path)
{
    if (path == nullptr || path[0] == L'\0') return true;
    wchar_t folder[kPathCapacity];
    // A path that does not fit is not cut: the cut one would name another folder.
    if (!CopyText(folder, path)) return false;

    size_t length = wcslen(folder);
    if (folder[length - 1] == L'\\') folder[--length] = L'\0';
    if (length == 0) return true;
    if (IsExistingFolder(folder)) return true;

    wchar_t* lastBackslash = wcsrchr(folder, L'\\');
    if (lastBackslash == nullptr) return true;  // a drive ("C:") or a bare name: nothing above to make
    *lastBackslash = L'\0';
    const bool parentReady = CreateDirectoryTree(folder);
    *lastBackslash = L'\\';
    if (!parentReady) return false;
    return CreateDirectoryW(folder, nullptr) != FALSE;
}
