// Deleting a folder tree that someone else may be changing meanwhile. A user
// who can write beside the tree may swap a folder for a junction between the
// moment it is listed and the moment it is deleted; deleting by path would
// then delete behind the junction with this program's rights. So each entry
// is opened without following links, checked on its handle, and deleted
// through that handle. An open handle (shared for reading and writing, not
// for deletion) also keeps its name from being renamed or replaced, so every
// folder on the way down stays what it was when it was checked.
#include "app/tree_deletion.h"

#include "app/output_tree.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"

#include <cstddef>
#include <string>
#include <vector>

namespace {

constexpr int kFileDirectoryInformation = 1;
constexpr int kFileDispositionInformation = 13;
constexpr int kFileDispositionInfo = 4;  // SetFileInformationByHandle's class
constexpr TreeNtStatus kStatusNoMoreFiles = static_cast<TreeNtStatus>(0x80000006);
// Far deeper than any path the program can create; deeper trees stay (and
// the caller finds the tree not removed).
constexpr int kDeepestLevel = 256;
constexpr ULONG kListingBufferSize = 64 * 1024;

// The fixed part of one FileDirectoryInformation record.
struct DirectoryRecord {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER times[4];
    LARGE_INTEGER endOfFile;
    LARGE_INTEGER allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;  // bytes
    WCHAR fileName[1];
};

struct DispositionRecord {
    BOOLEAN deleteFile;
};

bool IsLinkAttribute(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsFolderAttribute(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsDotName(const wchar_t* name, size_t length)
{
    return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

bool DescribeOpenedEntry(HANDLE entry, const wchar_t* path, OpenedEntryFacts* facts)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(entry, &info)) return false;
    facts->handleAttributes = info.dwFileAttributes;
    facts->nameAttributes = GetFileAttributesW(path);
    return facts->nameAttributes != INVALID_FILE_ATTRIBUTES;
}

// ---- paths ------------------------------------------------------------------------

bool IsDevicePath(const std::wstring& path)
{
    return path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'.' || path[2] == L'?') &&
           path[3] == L'\\';
}

// True when the path names something below a drive or share root.
bool IsBelowRoot(const std::wstring& path)
{
    if (path.size() > 3 && path[1] == L':' && path[2] == L'\\') return true;
    if (path.size() < 3 || path[0] != L'\\' || path[1] != L'\\') return false;
    size_t server = path.find(L'\\', 2);
    size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share != std::wstring::npos && share + 1 < path.size();
}

// `path` (absolute, ANSI) as a full "\\?\" path without a trailing
// backslash, which the wide functions take at any length. False for a root
// (whose deletion would take a whole drive) and for device paths.
bool LongPathOf(const char* path, std::wstring* longPath)
{
    int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 1) return false;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], length) != length) return false;
    DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    std::wstring full(needed, L'\0');
    DWORD written = GetFullPathNameW(wide.c_str(), needed, &full[0], nullptr);
    if (written == 0 || written >= needed) return false;
    full.resize(written);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    if (IsDevicePath(full) || !IsBelowRoot(full)) return false;
    *longPath = full[1] == L':' ? L"\\\\?\\" + full : L"\\\\?\\UNC\\" + full.substr(2);
    return true;
}

// ---- one tree ---------------------------------------------------------------------

class TreeDeletion {
public:
    explicit TreeDeletion(const TreeDeletionFunctions& api) : api_(api) {}
    // Deletes the entry at `path`, listed with `listedAttributes`.
    bool DeleteEntry(const std::wstring& path, DWORD listedAttributes, int level);

private:
    bool DeleteContents(HANDLE folder, const std::wstring& path, int level);
    bool DeleteOpened(ScopedKernelHandle& entry, const std::wstring& path, DWORD attributes);
    // 1: marked for deletion, 0: refused, -1: no function to do it.
    int MarkForDeletion(HANDLE entry);

    const TreeDeletionFunctions& api_;
};

bool TreeDeletion::DeleteEntry(const std::wstring& path, DWORD listedAttributes, int level)
{
    const bool listedFolder = IsFolderAttribute(listedAttributes) && !IsLinkAttribute(listedAttributes);
    DWORD access = DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES | (listedFolder ? FILE_LIST_DIRECTORY : 0);
    ScopedKernelHandle entry(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                         nullptr));
    if (!entry) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;  // gone meanwhile
    }
    OpenedEntryFacts facts;
    if (!api_.describeOpened(entry.Get(), path.c_str(), &facts)) return false;
    const bool handleIsLink = IsLinkAttribute(facts.handleAttributes);
    // The name is a link but the handle is not: the open went through the
    // link, and nothing may be done through this handle.
    if (IsLinkAttribute(facts.nameAttributes) && !handleIsLink) return false;
    const bool isFolder = IsFolderAttribute(facts.handleAttributes);
    bool complete = true;
    if (isFolder && !handleIsLink) {
        // Listed as a file or a link, a folder now: it is not entered.
        if (!listedFolder || level >= kDeepestLevel) return false;
        complete = DeleteContents(entry.Get(), path, level + 1);
    }
    return DeleteOpened(entry, path, facts.handleAttributes) && complete;
}

bool TreeDeletion::DeleteContents(HANDLE folder, const std::wstring& path, int level)
{
    // Without the listing through the handle (ntdll has it on every NT) a
    // folder is not entered: it stays, and the caller finds the tree there.
    if (api_.queryDirectory == nullptr) return false;
    std::vector<ULONGLONG> buffer(kListingBufferSize / sizeof(ULONGLONG));
    bool complete = true;
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        TreeIoStatus io{};
        TreeNtStatus status = api_.queryDirectory(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                                                  kListingBufferSize, kFileDirectoryInformation, FALSE, nullptr,
                                                  restart);
        if (status == kStatusNoMoreFiles) return complete;
        if (status < 0 || io.information > kListingBufferSize) return false;
        const BYTE* bytes = reinterpret_cast<const BYTE*>(buffer.data());
        const size_t filled = io.information;
        for (size_t at = 0; at + offsetof(DirectoryRecord, fileName) <= filled;) {
            const auto* record = reinterpret_cast<const DirectoryRecord*>(bytes + at);
            const size_t nameEnd = at + offsetof(DirectoryRecord, fileName) + record->fileNameLength;
            if (nameEnd > filled) return false;
            const size_t nameLength = record->fileNameLength / sizeof(WCHAR);
            if (!IsDotName(record->fileName, nameLength)) {
                std::wstring child = path + L'\\' + std::wstring(record->fileName, nameLength);
                complete = DeleteEntry(child, record->fileAttributes, level) && complete;
            }
            if (record->nextEntryOffset == 0) break;
            at += record->nextEntryOffset;
        }
    }
}

int TreeDeletion::MarkForDeletion(HANDLE entry)
{
    if (api_.setInformation != nullptr) {
        TreeIoStatus io{};
        DispositionRecord disposition{TRUE};
        return api_.setInformation(entry, &io, &disposition, sizeof disposition, kFileDispositionInformation) >= 0
                   ? 1
                   : 0;
    }
    if (api_.setInformationByHandle != nullptr) {
        DispositionRecord disposition{TRUE};
        return api_.setInformationByHandle(entry, kFileDispositionInfo, &disposition, sizeof disposition) ? 1 : 0;
    }
    return -1;
}

bool TreeDeletion::DeleteOpened(ScopedKernelHandle& entry, const std::wstring& path, DWORD attributes)
{
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    int marked = MarkForDeletion(entry.Get());
    if (marked == 0 && readOnly) {
        // A read-only entry refuses; its name is held by the handle, so the
        // attribute change reaches the same entry.
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        marked = MarkForDeletion(entry.Get());
    }
    if (marked >= 0) {
        entry.Close();  // the entry goes with its last handle
        return marked == 1;
    }
    // Without a function to delete through the handle: by name. Removing a
    // folder or link by name never reaches what a link points to.
    entry.Close();
    if (readOnly) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return IsFolderAttribute(attributes) ? RemoveDirectoryW(path.c_str()) != FALSE : DeleteFileW(path.c_str()) != FALSE;
}

}  // namespace

const TreeDeletionFunctions& SystemTreeDeletionFunctions()
{
    static const TreeDeletionFunctions functions = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        TreeDeletionFunctions found{};
        found.queryDirectory = LookupProc<QueryDirectoryFileFunction>(ntdll, "NtQueryDirectoryFile");
        found.setInformation = LookupProc<SetInformationFileFunction>(ntdll, "NtSetInformationFile");
        found.setInformationByHandle = LookupProc<SetFileInformationByHandleFunction>(
            GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
        found.describeOpened = DescribeOpenedEntry;
        return found;
    }();
    return functions;
}

bool DeleteTreeWith(const char* path, const TreeDeletionFunctions& functions)
{
    // An empty or relative path would be taken from the current folder or
    // the root of the current drive: nothing of ours is there.
    std::wstring longPath;
    if (!IsAbsolutePath(path) || !LongPathOf(path, &longPath)) return false;
    DWORD attributes = GetFileAttributesW(longPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // A file in the tree's place is not ours to delete.
    if (!IsFolderAttribute(attributes)) return false;
    return TreeDeletion(functions).DeleteEntry(longPath, attributes, 0);
}
