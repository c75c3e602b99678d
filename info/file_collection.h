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

// sourceFolder ends with a backslash. Silent on failure.
bool CopyNamedFile(const char* sourceFolder, const char* targetFolder, const char* name, const char* targetName);
void CopyFileAsText(const char* sourceFolder, const char* name, const char* targetFolder);
void CollectFolderFiles(const char* folder, const char* pattern, const FileCollectionOptions& options);
// copyMode 1 copies only; any other value lists standard entries into the page.
void CollectFilesByExtension(const char* folder, const char* subfolder, const char* extension, int copyMode,
                             const char* targetBase, Page page);
