// Copies of files in the output tree, and folder walks that copy or list them.
#pragma once
#include "platform/win.h"
#include "report/page_writer.h"

struct FileCollectionOptions {
    bool recursive = false;
    DWORD maxSize = 0;                   // only files smaller than this; 0 = no limit
    const char* targetBase = nullptr;    // report folder below which copies go
    Page page = nullptr;
    const char* targetOverride = nullptr;
    bool copy = false;
    bool listing = false;
    bool withCrc = false;
    const char* header = nullptr;
    bool withSize = false;
    bool withAttributes = false;
    bool withVersion = false;
    bool withTime = false;
    bool withMd5 = false;
    bool askLarge = false;
};

// sourceFolder ends with a backslash; the copy goes to targetFolder\(targetName
// or name) and is linked in NAVI.html. Silent on failure.
bool CopyNamedFile(const char* sourceFolder, const char* targetFolder, const char* name, const char* targetName);
// Copies name into targetFolder, adding ".txt" unless the extension is one
// that is kept (.evt .evtx .dmp .key .xml .bin .mdb), and links the copy.
// A missing source is reported as a status line.
//
// In a redacted run every copy of the tree is filtered as it is written and
// so are the names of its file and folders; a binary file is left out: a
// page of its own with its "not collected: redacted run" entry is linked in
// its place, and a status line names it.
void CopyFileAsText(const char* sourceFolder, const char* name, const char* targetFolder);
// Copies source to target (a path in the tree) and links the copy as
// caption; false when nothing was copied.
bool CopyFileIntoTree(const char* source, const char* target, const char* caption);
// Copies go below targetBase in the directory part of the folder text; in a
// recursive walk a subfolder's copies go below its whole path. With
// askLarge the user is asked before a file over 128 KiB (an unattended
// extended run takes files of up to 256 MiB unasked and declines larger ones
// with a run log line, any other unattended run declines); a declined file gets
// a "not collected" entry in the page and, when the target folder could be
// made, in a page of its own (name + ".html" in the target folder), which its
// navigation link opens; no further file of that walk is copied until the
// next question.
void CollectFolderFiles(const char* folder, const char* pattern, const FileCollectionOptions& options);
// Told of each file a walk has listed, before anything of it is read; null
// but in tests, which make a file vanish in between.
extern void (*FileListedObserver)(const char* folder, const char* name);
// The large-file question for one file that is copied on its own: true for
// a file of at most 128 KiB, else only when the user answers Yes (false too
// when the question's text cannot be loaded), or as an unattended run decides.
bool ConfirmLargeFileCopy(const char* name, unsigned long long size);
// copyMode 1 copies only; any other value lists standard entries into the page.
void CollectFilesByExtension(const char* folder, const char* subfolder, const char* extension, int copyMode,
                             const char* targetBase, Page page);
