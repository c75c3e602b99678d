// The drives page (a table of the drive letters in use with type, file
// system, properties, volume name and sizes, the network path behind mapped
// drives, the drives whose type cannot be read, then the storage devices) and
// the environment strings page.
#include "system/windows_stuff.h"

#include "app/app_constants.h"
#include "app/app_state.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"
#include "report/table_writer.h"

#include <winnetwk.h>

#include <cstring>

namespace {

constexpr int kDriveCount = 26;
constexpr size_t kTypeTextSize = 64;
constexpr size_t kFileSystemNameSize = 64;
constexpr size_t kFlagTextSize = 32;
constexpr size_t kSizeTextSize = 40;
constexpr DWORD kNetworkNameBufferSize = 260;
constexpr int kMaxEnvironmentStrings = 150;
// Volume names and network paths go into a row as HTML text with "%"
// doubled (the table writer turns "%%" back into one).
constexpr size_t kRowValueSize = 2 * HtmlTextSize(kPathSize);

const char kDriveHeaderRow[] = "Dv\tDrive Type\tFile System\tProperties\tVolume Name\tSize (Byte)\tFree (Byte)";
const char kHardDiskText[] = "Hard Disk Drive";
const char kNetworkDriveText[] = "Network Drive";

struct FlagText {
    DWORD flag;
    const char* text;
};

// In the order the page lists them; the legend below the table explains them.
const FlagText kFileSystemFlags[] = {
    {FILE_CASE_PRESERVED_NAMES, "PC, "},  {FILE_CASE_SENSITIVE_SEARCH, "CS, "},
    {FILE_UNICODE_ON_DISK, "UC, "},       {FILE_PERSISTENT_ACLS, "PA, "},
    {FILE_FILE_COMPRESSION, "FC, "},      {FILE_VOLUME_IS_COMPRESSED, "VC, "},
};

const char kLegend[] =
    "<BR>PC: Preserve upper-/lower case\n<BR>\nCS: Distinguish upper-/lower case\n<BR>\n"
    "UC: Unicode in file - and directory names is supported\n<BR>\n"
    "PA: ACLs (access control lists) are supported\n<BR>\nFC: Compressed files are supported\n<BR>\n"
    "VC: Volume is completely compressed\n<BR>\n";

using GetDiskFreeSpaceExFunction = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

bool IsInMask(DWORD mask, int drive) { return (mask & (1UL << drive)) != 0; }

char DriveLetter(int drive) { return static_cast<char>('A' + drive); }

// "C:\" for drive 2.
void DriveRoot(int drive, char (&root)[4])
{
    root[0] = DriveLetter(drive);
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
}

void ShowDriveStatus(int drive) { CHarvinDlg::SetStatusTextFromId(IDS_FMT_DRIVE, DriveLetter(drive)); }

// A machine's text (volume name, network path) for a table row.
void RowValue(const char* text, char (&out)[kRowValueSize])
{
    char html[HtmlTextSize(kPathSize)];
    CopyHtmlText(html, text);
    EscapePercent(html, out, sizeof out);
}

// The network path behind a mapped drive letter; false when it has none
// (not connected, not a redirected drive, or a path longer than the buffer).
bool QueryNetworkPath(const char* root, char (&path)[kPathSize])
{
    // The structure comes first in the buffer, its texts after it.
    union {
        REMOTE_NAME_INFOA info;
        char bytes[kNetworkNameBufferSize];
    } buffer;
    memset(&buffer, 0, sizeof buffer);
    DWORD size = sizeof buffer;
    if (WNetGetUniversalNameA(root, REMOTE_NAME_INFO_LEVEL, &buffer, &size) != NO_ERROR) return false;
    const char* universal = buffer.info.lpUniversalName;
    if (universal == nullptr || universal[0] != '\\') return false;
    return CopyText(path, universal);
}

void WriteHardDiskRow(int drive, const char* root, const char* typeText, Page page)
{
    char volumeName[kPathSize] = "";
    char fileSystem[kFileSystemNameSize] = "";
    DWORD serial = 0;
    DWORD maxComponentLength = 0;
    DWORD flags = 0;
    if (!GetVolumeInformationA(root, volumeName, sizeof volumeName, &serial, &maxComponentLength, &flags, fileSystem,
                               sizeof fileSystem)) {
        volumeName[0] = '\0';
        fileSystem[0] = '\0';
        maxComponentLength = 0;
        flags = 0;
    }
    char properties[kFlagTextSize];
    CWindowsStuff::FormatFileSystemFlags(flags, properties, sizeof properties);

    ULONGLONG totalBytes = 0;
    ULONGLONG freeBytes = 0;
    CWindowsStuff::QueryDiskSpace(root, &totalBytes, &freeBytes);
    char totalText[kSizeTextSize];
    char freeText[kSizeTextSize];
    CWindowsStuff::FormatGroupedNumber(totalText, sizeof totalText, 0, totalBytes);
    CWindowsStuff::FormatGroupedNumber(freeText, sizeof freeText, 0, freeBytes);

    char shownVolume[kRowValueSize];
    RowValue(volumeName[0] != '\0' ? volumeName : "-", shownVolume);
    char shownFileSystem[kRowValueSize];
    RowValue(fileSystem, shownFileSystem);

    char row[3 * kRowValueSize];
    FormatText(row, "%c:\t%s\t%s (%d)\t%s\t%s\t%s\t%s", DriveLetter(drive), typeText, shownFileSystem,
               static_cast<int>(maxComponentLength), properties, shownVolume, totalText, freeText);
    WriteTableRow(row, 1, page, nullptr, nullptr, 0);
}

void WriteDriveRow(int drive, const char* root, const char* typeText, Page page)
{
    if (strcmp(typeText, kHardDiskText) == 0 && drive >= 2) {
        WriteHardDiskRow(drive, root, typeText, page);
        return;
    }
    // Network, CD-ROM and removable drives are not asked for volume data, so
    // no empty drive is spun up and no disconnected share waited for.
    char row[kTypeTextSize + 32];
    FormatText(row, "%c:\t%s\t-\t-\t-\t-\t-", DriveLetter(drive), typeText);

    char networkPath[kPathSize];
    if (strcmp(typeText, kNetworkDriveText) == 0 && QueryNetworkPath(root, networkPath)) {
        char shownPath[kRowValueSize];
        RowValue(networkPath, shownPath);
        WriteTableRow(row, 1, page, "Mapped to: ", shownPath, 6);
        return;
    }
    WriteTableRow(row, 1, page, nullptr, nullptr, 0);
}

}  // namespace

void CWindowsStuff::CollectDrives(const char* folder, const char* fileName)
{
    if (System == 0) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_DRIVES, "Drives", "Drive Informations", 1);
    if (page == nullptr) return;
    WriteDriveTable(page);
    EnumerateStorageDevices(WriteStorageText, page);
    FinalizePage(page);
}

void CWindowsStuff::WriteDriveTable(Page page)
{
    const DWORD mask = GetLogicalDrives();
    WriteTableTag(1, 1, 0, 5, page);
    WriteTableRow(kDriveHeaderRow, 1, page, nullptr, nullptr, 0);
    for (int drive = 0; drive < kDriveCount && !IsCancelRequested(); ++drive) {
        if (!IsInMask(mask, drive)) continue;
        ShowDriveStatus(drive);
        char root[4];
        DriveRoot(drive, root);
        char typeText[kTypeTextSize];
        if (!QueryDriveType(root, typeText, sizeof typeText)) continue;
        WriteDriveRow(drive, root, typeText, page);
    }
    WriteTableTag(0, 0, 0, 0, page);
    AppendLiteral(page, kLegend);

    for (int drive = 0; drive < kDriveCount && !IsCancelRequested(); ++drive) {
        if (!IsInMask(mask, drive)) continue;
        char root[4];
        DriveRoot(drive, root);
        char typeText[kTypeTextSize];
        if (QueryDriveType(root, typeText, sizeof typeText)) continue;
        ShowDriveStatus(drive);
        AppendToPage(page, "Drive %c: %s", DriveLetter(drive), typeText);
    }
}

bool CWindowsStuff::QueryDriveType(const char* root, char* text, size_t capacity)
{
    const bool floppyLetter = root[0] == 'A' || root[0] == 'B' || root[0] == 'a' || root[0] == 'b';
    switch (GetDriveTypeA(root)) {
    case DRIVE_NO_ROOT_DIR:
        CopyText(text, capacity, "Root directory not accessable!");
        return false;
    case DRIVE_REMOVABLE:
        CopyText(text, capacity, floppyLetter ? "Floppy Disk Drive" : "Removable Device");
        return true;
    case DRIVE_FIXED: CopyText(text, capacity, kHardDiskText); return true;
    case DRIVE_REMOTE: CopyText(text, capacity, kNetworkDriveText); return true;
    case DRIVE_CDROM: CopyText(text, capacity, "CD-ROM Drive"); return true;
    case DRIVE_RAMDISK: CopyText(text, capacity, "RAMDisk"); return true;
    default:
        CopyText(text, capacity, "unknown drive type!");
        return false;
    }
}

bool CWindowsStuff::QueryDiskSpace(const char* root, ULONGLONG* totalBytes, ULONGLONG* freeBytes)
{
    *totalBytes = 0;
    *freeBytes = 0;
    ScopedLibrary kernel(LoadLibraryA("KERNEL32.DLL"));
    auto getDiskFreeSpaceEx = LookupProc<GetDiskFreeSpaceExFunction>(kernel.Get(), "GetDiskFreeSpaceExA");
    ULARGE_INTEGER callerFree;
    ULARGE_INTEGER total;
    ULARGE_INTEGER totalFree;
    if (getDiskFreeSpaceEx != nullptr && getDiskFreeSpaceEx(root, &callerFree, &total, &totalFree)) {
        *totalBytes = total.QuadPart;
        *freeBytes = callerFree.QuadPart;
        return true;
    }
    return QueryDiskSpaceByClusters(root, totalBytes, freeBytes);
}

bool CWindowsStuff::QueryDiskSpaceByClusters(const char* root, ULONGLONG* totalBytes, ULONGLONG* freeBytes)
{
    *totalBytes = 0;
    *freeBytes = 0;
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) return false;
    // In 64 bits: a cluster count times the cluster size passes 4 GiB on any
    // disk of today.
    const ULONGLONG clusterBytes = static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector;
    *totalBytes = totalClusters * clusterBytes;
    *freeBytes = freeClusters * clusterBytes;
    return true;
}

void CWindowsStuff::FormatFileSystemFlags(DWORD flags, char* text, size_t capacity)
{
    if (text == nullptr || capacity == 0) return;
    text[0] = '\0';
    for (const FlagText& entry : kFileSystemFlags) {
        if (flags & entry.flag) AppendText(text, capacity, entry.text);
    }
    const size_t length = strlen(text);
    if (length >= 2) {
        text[length - 2] = '\0';  // the last ", "
    } else {
        CopyText(text, capacity, "-");
    }
}

void CWindowsStuff::CollectEnvironment(const char* folder, const char* fileName)
{
    if (System == 0) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_ENVIRONMENT, "Environment Strings",
                                 "Environment Strings", 1);
    if (page == nullptr) return;
    WriteEnvironment(page);
    FinalizePage(page);
}

void CWindowsStuff::WriteEnvironment(Page page)
{
    AppendToPage(page, "\n<div style=\"margin-left: 40px;\">\n");
    char* block = GetEnvironmentStringsA();
    if (block == nullptr) {
        AppendFailureText(page, "[not available]");
        AppendLiteral(page, "<br>");
    } else {
        int count = 0;
        for (const char* entry = block; *entry != '\0' && count < kMaxEnvironmentStrings && !IsCancelRequested();
             entry += strlen(entry) + 1, ++count) {
            // A value may hold markup, "&" or "%": it is text in the page.
            WriteHtmlText(page, entry);
            AppendLiteral(page, "\n<BR><br>\n");
        }
        FreeEnvironmentStringsA(block);
    }
    AppendToPage(page, "\n</div>\n");
}
