#include "info/file_collection.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "info/file_info.h"
#include "info/redaction_run.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/system_helpers.h"

#include <share.h>

#include <cstring>

namespace {

constexpr unsigned long long kLargeFileLimit = 131072;  // 128 KiB; the question shows it in MiB
constexpr double kLargeFileLimitMiB = 0.125;
constexpr size_t kTextSize = 260;
// Navigation texts with every "%" doubled (AddNaviLine collapses them again).
constexpr size_t kEscapedSize = 2 * kPathSize;

// Copies whose extension is one of these keep their name; all others get
// ".txt" added so a browser shows them as text.
const char* const kKeptExtensions[] = {".evt", ".evtx", ".dmp", ".key", ".xml", ".bin", ".mdb"};

bool IsKeptExtension(const char* name)
{
    const char* dot = strrchr(name, '.');
    if (dot == nullptr) return false;
    for (const char* kept : kKeptExtensions) {
        if (lstrcmpiA(dot, kept) == 0) return true;
    }
    return false;
}

// Adds a navigation link; caption and path are data, so their "%" are
// doubled for the navigation line, which collapses them.
void AddEscapedNaviLink(const char* caption, const char* pagePath, const char* suffix)
{
    char escapedCaption[kEscapedSize];
    char escapedPath[kEscapedSize];
    EscapePercent(caption, escapedCaption, sizeof escapedCaption);
    EscapePercent(pagePath, escapedPath, sizeof escapedPath);
    AddNaviLink(escapedCaption, escapedPath, suffix);
}

unsigned long long FileSizeOf(const WIN32_FIND_DATAA& found)
{
    return (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

int64_t UnixTimeOf(const FILETIME& fileTime)
{
    ULARGE_INTEGER ticks;
    ticks.LowPart = fileTime.dwLowDateTime;
    ticks.HighPart = fileTime.dwHighDateTime;
    return static_cast<int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
}

// The part of a folder text below its drive that copies are stored under:
// "C:\Windows\Minidump" -> "\Windows\", "C:\Windows\Minidump\" -> "\Windows\Minidump\".
void DirectoryPartOf(const char* folder, char* out, size_t capacity)
{
    out[0] = '\0';
    const char* rest = folder;
    if (rest[0] != '\0' && rest[1] == ':') rest += 2;
    const char* lastBackslash = strrchr(rest, '\\');
    if (lastBackslash == nullptr) return;
    size_t length = static_cast<size_t>(lastBackslash - rest) + 1;
    if (length >= capacity) return;  // a cut part would name another folder
    memcpy(out, rest, length);
    out[length] = '\0';
}

// Works out (once per walk) and creates the folder that copies of this walk
// go to. False when there is none.
bool PrepareTargetFolder(const char* folder, const FileCollectionOptions& options, char* target, size_t capacity)
{
    char directoryPart[kPathSize];
    DirectoryPartOf(folder, directoryPart, sizeof directoryPart);
    target[0] = '\0';
    if (directoryPart[0] != '\0') {
        if (options.targetBase == nullptr) return false;
        if (!CopyText(target, capacity, options.targetBase) || !AppendText(target, capacity, directoryPart)) {
            target[0] = '\0';
            return false;
        }
    } else if (options.targetOverride != nullptr) {
        CopyText(target, capacity, options.targetOverride);
    } else if (options.targetBase != nullptr) {
        // No directory part and no override: the copies go to the base itself.
        CopyText(target, capacity, options.targetBase);
    }
    if (target[0] == '\0') return false;
    // A redacted run names no profile or user in the tree either.
    if (!RedactTreePath(target, capacity)) {
        target[0] = '\0';
        return false;
    }

    wchar_t wideTarget[kPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, target, -1, wideTarget, kPathSize) == 0) return false;
    return CreateDirectoryTree(wideTarget);
}

// NoToThisFile: declined without a question; unlike a person's No it says
// nothing about the files after it.
enum class LargeFileAnswer { Yes, No, NoToThisFile, Unasked };

// With no one to ask, an extended run (the one asked for crash dumps) takes
// files up to this size; a larger one is declined and the run log says so.
constexpr unsigned long long kUnattendedLimitMiB = 256;

LargeFileAnswer DecideUnattended(const char* name, unsigned long long size)
{
    // Declining loses nothing the page does not name.
    if (ExtendedCollection == 0) return LargeFileAnswer::NoToThisFile;
    if (size <= kUnattendedLimitMiB * 1048576) return LargeFileAnswer::Yes;
    char format[520];
    char line[1024];
    LoadResourceText(IDS_FMT_UNATTENDED_LARGE_FILE, format);
    FormatText(line, format, name, static_cast<double>(size) / 1048576.0, static_cast<int>(kUnattendedLimitMiB));
    CHarvinDlg::AddStatusLine(line);
    return LargeFileAnswer::NoToThisFile;
}

LargeFileAnswer AskAboutLargeFile(const char* name, unsigned long long size)
{
    if (UnattendedRun) return DecideUnattended(name, size);
    char format[520];
    if (LoadResourceText(IDS_FMT_LARGE_FILE, format) == 0) return LargeFileAnswer::Unasked;
    char question[1024];
    FormatText(question, format, name, kLargeFileLimitMiB, static_cast<double>(size) / 1048576.0);
    char caption[kPathSize];
    LoadResourceText(IDS_APP_TITLE, caption);
    // Task-modal on the collecting thread, which owns no window: the main
    // dialog stays enabled, so the run can still be cancelled meanwhile.
    int answer = MessageBoxA(nullptr, question, caption,
                             MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TASKMODAL | MB_TOPMOST);
    return answer == IDYES ? LargeFileAnswer::Yes : LargeFileAnswer::No;
}

// The entry that tells a file left out (a declined large file, a binary
// file of a redacted run): into the collection page (when there is one) and,
// when the target folder is there (`targetFolder` not empty), into a small
// page of its own in it, which is what the file's navigation link opens.
void RecordLeftOutFile(const char* folder, const char* name, unsigned long long size, const char* timeText,
                       Page page, const char* targetFolder, const char* reason)
{
    FileEntryRequest request;
    request.path = folder;
    request.name = name;
    request.size = size;
    request.withSize = true;
    request.withText2 = true;
    request.text2 = timeText;
    request.extraText = reason;
    if (page != nullptr) {
        request.page = page;
        WriteFileEntry(request);
    }
    if (targetFolder[0] == '\0') return;  // nowhere to put its page, nothing to link to

    char linkFolder[kPathSize];
    CopyText(linkFolder, targetFolder);
    EnsureTrailingBackslash(linkFolder);
    char placeholderPath[kPathSize];
    if (CopyText(placeholderPath, linkFolder) && AppendText(placeholderPath, name) &&
        AppendText(placeholderPath, ".html") && RedactTreePath(placeholderPath)) {
        if (Page placeholder = _fsopen(placeholderPath, "w", _SH_DENYNO)) {
            NoteRedactedFile(placeholderPath);
            WritePageHeader(placeholder, HtmlText<kPathSize>(name).c_str());  // the title is a file name: text
            request.page = placeholder;
            WriteFileEntry(request);
            FinalizePage(placeholder);
        }
    }
    AddEscapedNaviLink(name, linkFolder, ".html");
}

void RecordDeclinedFile(const char* folder, const char* name, unsigned long long size, const char* timeText,
                        const FileCollectionOptions& options, const char* targetFolder)
{
    RecordLeftOutFile(folder, name, size, timeText, options.page, targetFolder, "The file was not collected !!!");
}

// A binary file a redacted run cannot filter: its entry, and a status line.
void RecordRedactedBinary(const char* folder, const char* name, unsigned long long size, const char* timeText,
                          Page page, const char* targetFolder)
{
    RecordLeftOutFile(folder, name, size, timeText, page, targetFolder, kRedactedRunNotCollected);
    char source[kPathSize];
    JoinPath(source, folder, name);
    char line[2 * kPathSize];
    FormatText(line, "%s: %s", kRedactedRunNotCollected, source);
    CHarvinDlg::AddStatusLine(line);
}

enum class CopyResult { Copied, Failed, Binary };

// The copy itself: in a redacted run filtered, or refused for a binary file.
CopyResult CopyIntoTree(const char* source, const char* target)
{
    if (ActiveRedaction() == nullptr) {
        return CopyFileA(source, target, FALSE) && GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES
                   ? CopyResult::Copied
                   : CopyResult::Failed;
    }
    switch (CopyFileRedacted(source, target)) {
    case RedactedCopy::Copied: return CopyResult::Copied;
    case RedactedCopy::Binary: return CopyResult::Binary;
    case RedactedCopy::Failed: break;
    }
    return CopyResult::Failed;
}

// The size and write time of a file about to be left out, for its entry.
void DescribeFile(const char* path, unsigned long long* size, char* timeText, size_t capacity)
{
    *size = 0;
    timeText[0] = '\0';
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(path, &found));
    if (!search) return;
    *size = FileSizeOf(found);
    FormatGmtTime(UnixTimeOf(found.ftLastWriteTime), timeText, capacity);
}

// Left out of a redacted run: its entry in the target folder and a status line.
void RecordRedactedBinaryCopy(const char* source, const char* target, Page page)
{
    unsigned long long size = 0;
    char timeText[kTextSize];
    DescribeFile(source, &size, timeText, sizeof timeText);
    char folder[kPathSize];
    char targetFolder[kPathSize];
    CopyPathFolder(folder, sizeof folder, source);
    CopyPathFolder(targetFolder, sizeof targetFolder, target);
    const char* name = source + strlen(folder);
    RecordRedactedBinary(folder, name, size, timeText, page, targetFolder);
}

// A copy in the tree, linked as `caption`; the caller records a binary file
// that a redacted run leaves out.
CopyResult CopyLinkedFile(const char* source, char (&target)[kPathSize], const char* caption)
{
    if (!RedactTreePath(target)) return CopyResult::Failed;
    const CopyResult result = CopyIntoTree(source, target);
    if (result == CopyResult::Copied) AddEscapedNaviLink(caption, target, nullptr);
    return result;
}

// The source's copy as text below targetFolder (see CopyFileAsText).
CopyResult CopyAsText(const char* sourceFolder, const char* name, const char* targetFolder, char (&source)[kPathSize],
                      char (&target)[kPathSize])
{
    bool fit = JoinPath(source, sourceFolder, name);
    fit = JoinPath(target, targetFolder, name) && fit;
    if (!IsKeptExtension(name)) fit = AppendText(target, ".txt") && fit;

    if (!fit || GetFileAttributesA(source) == INVALID_FILE_ATTRIBUTES) {
        CHarvinDlg::AddStatusLine("couldn't copy the file", source);
        return CopyResult::Failed;
    }
    return CopyLinkedFile(source, target, name);
}

// One file of a walk; a binary one that a redacted run leaves out gets its
// entry in the walk's page too.
void CopyWalkedFile(const char* folder, const char* name, unsigned long long size, const char* timeText,
                    const FileCollectionOptions& options, const char* targetFolder)
{
    char source[kPathSize];
    char target[kPathSize];
    if (CopyAsText(folder, name, targetFolder, source, target) == CopyResult::Binary) {
        RecordRedactedBinary(folder, name, size, timeText, options.page, targetFolder);
    }
}

// The files of one folder that match the pattern. Copies go below the
// directory part of copyFolder, which is the folder text itself except for
// the subfolders of a recursive walk.
}  // namespace

void (*FileListedObserver)(const char* folder, const char* name) = nullptr;

namespace {

void WalkFolder(const char* folder, const char* copyFolder, const char* pattern, const FileCollectionOptions& options)
{
    char searchPath[kPathSize];
    if (!JoinPath(searchPath, folder, pattern)) return;
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(searchPath, &found));
    if (!search) return;

    char targetFolder[kPathSize] = "";
    bool targetReady = false;
    bool targetPrepared = false;
    bool declined = false;  // the last large-file question of this walk was answered No
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (FileListedObserver != nullptr) FileListedObserver(folder, found.cFileName);
        // Sizes are compared in full: a dump over 4 GiB must not wrap below a limit.
        const unsigned long long size = FileSizeOf(found);
        if (options.maxSize != 0 && size >= options.maxSize) continue;

        char attributes[kTextSize];
        char timeText[kTextSize];
        FormatFileAttributes(found.dwFileAttributes, attributes, sizeof attributes);
        FormatGmtTime(UnixTimeOf(found.ftLastWriteTime), timeText, sizeof timeText);

        bool dropped = false;
        if (size != 0) {
            CHarvinDlg::AdvanceStepCounter();
            if (options.copy) {
                if (!targetPrepared) {
                    targetReady = PrepareTargetFolder(copyFolder, options, targetFolder, sizeof targetFolder);
                    targetPrepared = true;
                }
                if (options.askLarge && size > kLargeFileLimit) {
                    LargeFileAnswer answer = AskAboutLargeFile(found.cFileName, size);
                    switch (answer) {
                    case LargeFileAnswer::Unasked:
                        dropped = true;
                        break;
                    case LargeFileAnswer::No:
                    case LargeFileAnswer::NoToThisFile:
                        declined = answer == LargeFileAnswer::No;
                        // Its entry tells the file was left out even where
                        // no copy could have been made.
                        RecordDeclinedFile(folder, found.cFileName, size, timeText, options,
                                           targetReady ? targetFolder : "");
                        break;
                    case LargeFileAnswer::Yes:
                        declined = false;
                        if (targetReady) CopyWalkedFile(folder, found.cFileName, size, timeText, options, targetFolder);
                        break;
                    }
                } else if (!declined && targetReady) {
                    CopyWalkedFile(folder, found.cFileName, size, timeText, options, targetFolder);
                }
            }
        }
        if (dropped) continue;

        if (options.listing) {
            FileEntryRequest request;
            request.path = folder;
            request.name = found.cFileName;
            request.page = options.page;
            request.withCrc = options.withCrc;
            request.size = size;
            request.header = options.header;
            request.withSize = options.withSize;
            request.withText1 = options.withAttributes;
            request.text1 = attributes;
            request.withVersion = options.withVersion;
            request.withText2 = options.withTime;
            request.text2 = timeText;
            request.withMd5 = options.withMd5;
            WriteFileEntry(request);
        }
    } while (!IsCancelRequested() && FindNextFileA(search.Get(), &found));
}

}  // namespace

bool ConfirmLargeFileCopy(const char* name, unsigned long long size)
{
    if (size <= kLargeFileLimit) return true;
    return AskAboutLargeFile(name != nullptr ? name : "", size) == LargeFileAnswer::Yes;
}

bool CopyNamedFile(const char* sourceFolder, const char* targetFolder, const char* name, const char* targetName)
{
    if (sourceFolder == nullptr || targetFolder == nullptr || name == nullptr) return false;
    char source[kPathSize];
    char target[kPathSize];
    // A cut path would name another file: such a copy is not made.
    if (!CopyText(source, sourceFolder) || !AppendText(source, name)) return false;
    if (!FormatText(target, "%s\\%s", targetFolder, targetName != nullptr ? targetName : name)) return false;
    const CopyResult result = CopyLinkedFile(source, target, name);
    if (result == CopyResult::Binary) RecordRedactedBinaryCopy(source, target, nullptr);
    return result == CopyResult::Copied;
}

void CopyFileAsText(const char* sourceFolder, const char* name, const char* targetFolder)
{
    if (sourceFolder == nullptr || name == nullptr || targetFolder == nullptr) return;
    char source[kPathSize];
    char target[kPathSize];
    if (CopyAsText(sourceFolder, name, targetFolder, source, target) == CopyResult::Binary) {
        RecordRedactedBinaryCopy(source, target, nullptr);
    }
}

bool CopyFileIntoTree(const char* source, const char* target, const char* caption)
{
    if (source == nullptr || target == nullptr || caption == nullptr) return false;
    char copy[kPathSize];
    if (!CopyText(copy, target)) return false;
    const CopyResult result = CopyLinkedFile(source, copy, caption);
    if (result == CopyResult::Binary) RecordRedactedBinaryCopy(source, copy, nullptr);
    return result == CopyResult::Copied;
}

namespace {

// A subfolder's copies keep its whole path (its folder text ends in a
// backslash), so same-named files of sibling folders cannot overwrite
// each other or the top folder's own.
void WalkTree(const char* folder, const char* copyFolder, const char* pattern, const FileCollectionOptions& options)
{
    char searchPath[kPathSize];
    if (!JoinPath(searchPath, folder, "*.*")) return;
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(searchPath, &found));
    if (!search) return;
    do {
        if (strcmp(found.cFileName, ".") == 0) {
            // A drive root has no "." entry and so gives only its subfolders.
            WalkFolder(folder, copyFolder, pattern, options);
        } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && strcmp(found.cFileName, "..") != 0 &&
                   !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            // Junctions are not followed: several of them point back up the
            // tree ("Application Data" in a profile) and would loop.
            char subfolder[kPathSize];
            char subfolderCopies[kPathSize];
            if (JoinPath(subfolder, folder, found.cFileName) && CopyText(subfolderCopies, subfolder) &&
                EnsureTrailingBackslash(subfolderCopies)) {
                WalkTree(subfolder, subfolderCopies, pattern, options);
            }
        }
    } while (!IsCancelRequested() && FindNextFileA(search.Get(), &found));
}

}  // namespace

void CollectFolderFiles(const char* folder, const char* pattern, const FileCollectionOptions& options)
{
    if (folder == nullptr || pattern == nullptr) return;
    if (options.recursive) {
        WalkTree(folder, folder, pattern, options);
    } else {
        WalkFolder(folder, folder, pattern, options);
    }
}

void CollectFilesByExtension(const char* folder, const char* subfolder, const char* extension, int copyMode,
                             const char* targetBase, Page page)
{
    if (folder == nullptr || extension == nullptr) return;
    char source[kPathSize];
    // The folder text ends in a backslash so that its last component is
    // part of the copies' target folder.
    bool fit = CopyText(source, folder) && EnsureTrailingBackslash(source);
    if (subfolder != nullptr) {
        fit = AppendText(source, subfolder) && fit;
        fit = EnsureTrailingBackslash(source) && fit;
    }
    char pattern[kPathSize];
    fit = FormatText(pattern, "*.%s", extension) && fit;
    if (!fit) return;

    FileCollectionOptions options;
    options.targetBase = targetBase;
    options.page = page;
    if (copyMode == 1) {
        options.copy = true;
    } else {
        options.listing = true;
        options.withVersion = true;
        options.withMd5 = true;
    }
    CollectFolderFiles(source, pattern, options);
}
