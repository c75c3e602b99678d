// How DeleteTree reaches the file system. Every entry is opened without
// following links and deleted through its handle; the functions that do this
// come from ntdll (and kernel32 of Windows Vista and later), looked up at run
// time. Tests pass their own table where Wine answers otherwise than Windows.
#pragma once
#include "platform/win.h"

using TreeNtStatus = LONG;

struct TreeIoStatus {
    union {
        TreeNtStatus status;
        void* pointer;
    };
    ULONG_PTR information;
};

using QueryDirectoryFileFunction = TreeNtStatus(NTAPI*)(HANDLE folder, HANDLE event, void* apcRoutine,
                                                        void* apcContext, TreeIoStatus* io, void* buffer,
                                                        ULONG length, int informationClass, BOOLEAN singleEntry,
                                                        void* fileName, BOOLEAN restartScan);
using SetInformationFileFunction = TreeNtStatus(NTAPI*)(HANDLE file, TreeIoStatus* io, void* information,
                                                        ULONG length, int informationClass);
using SetFileInformationByHandleFunction = BOOL(WINAPI*)(HANDLE file, int informationClass, void* information,
                                                         DWORD size);

// What an opened entry is: the attributes its handle reports, and those its
// name has now that the open keeps the name from being changed.
struct OpenedEntryFacts {
    DWORD handleAttributes;
    DWORD nameAttributes;
};

struct TreeDeletionFunctions {
    // Lists a folder through its handle (ntdll has it on every NT); null:
    // no folder is entered.
    QueryDirectoryFileFunction queryDirectory;
    // Marks an opened entry for deletion; the second is used when the first
    // is missing, and with neither the entry is deleted by its name.
    SetInformationFileFunction setInformation;
    SetFileInformationByHandleFunction setInformationByHandle;
    // The facts of an opened entry (`path` is its full "\\?\" path).
    bool (*describeOpened)(HANDLE entry, const wchar_t* path, OpenedEntryFacts* facts);
};

// The functions of the running Windows, looked up once.
const TreeDeletionFunctions& SystemTreeDeletionFunctions();

// Deletes the folder `path` with everything in it through `functions`. A
// link (junction, symbolic link) is removed itself, never entered, and so is
// an entry that became a link after its folder was listed. True when nothing
// of the path is left.
bool DeleteTreeWith(const char* path, const TreeDeletionFunctions& functions);
