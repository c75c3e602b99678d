#include "info/redaction_run.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "info/registry.h"
#include "info/registry_internal.h"
#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"

#include <winioctl.h>

#include <cstring>
#include <set>
#include <vector>

const char kRedactedRunNotCollected[] = "not collected: redacted run";

namespace {

constexpr DWORD kPieceSize = 64 * 1024;  // read and filtered at a time; also the sample that tells the encoding
constexpr int kPhysicalDrives = 16;
constexpr DWORD kDescriptorSize = 1024;
const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// Types whose copies are never text, whatever their first bytes say.
const char* const kBinaryTypes[] = {".evt", ".evtx", ".dmp", ".mdmp", ".hdmp", ".mdb", ".edb", ".bin", ".dat",
                                    ".hiv", ".db",   ".sdf", ".etl",  ".cab",  ".zip", ".exe", ".dll", ".sys"};

RedactionMap g_map;
bool g_active = false;
std::set<std::string> g_filteredFiles;  // by PathKey

// The key of a path in the set of filtered files: lower case, one backslash between names.
std::string PathKey(const char* path)
{
    std::string key;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' && !key.empty() && key.back() == '\\') continue;
        key += *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p + 32) : *p;
    }
    return key;
}

std::wstring WideOfAnsi(const char* text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

void StatusLineNotCollected(const char* path)
{
    char line[2 * kPathSize];
    FormatText(line, "%s: %s", kRedactedRunNotCollected, path);
    CHarvinDlg::AddStatusLine(line);
}

// ---- the words of this machine ---------------------------------------------------

void AddUserWords()
{
    wchar_t name[257] = L"";
    DWORD size = 257;
    if (GetUserNameW(name, &size)) g_map.AddWord(RedactionKind::User, name);
}

void AddProfileFolderWords()
{
    using GetProfilesDirectoryFunction = BOOL(WINAPI*)(LPWSTR, LPDWORD);
    ScopedLibrary userenv(LoadLibraryA("userenv.dll"));
    auto getFolder = LookupProc<GetProfilesDirectoryFunction>(userenv.Get(), "GetProfilesDirectoryW");
    wchar_t folder[kPathSize] = L"";
    DWORD size = kPathSize;
    if (getFolder == nullptr || !getFolder(folder, &size) || !AppendText(folder, L"\\*")) return;
    WIN32_FIND_DATAW found;
    ScopedFindHandle search(FindFirstFileW(folder, &found));
    if (!search) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || wcscmp(found.cFileName, L".") == 0 ||
            wcscmp(found.cFileName, L"..") == 0) {
            continue;
        }
        g_map.AddWord(RedactionKind::User, found.cFileName);
    } while (FindNextFileW(search.Get(), &found));
}

// A registration value in one view of the registry; empty when there is none.
std::wstring RegistrationValue(const wchar_t* name, DWORD view)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      registry_detail::ViewAccess(KEY_READ, view), &opened) != ERROR_SUCCESS) {
        return std::wstring();
    }
    ScopedRegKey key(opened);
    wchar_t value[kPathSize] = L"";
    DWORD type = 0;
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::wstring();
    }
    value[size / sizeof(wchar_t)] = L'\0';
    return value;
}

// Both views: the 32-bit one is what the pages show, the 64-bit one what
// Windows set up; they may differ.
void AddRegistrationWords()
{
    for (DWORD view : {RegistryView64, RegistryView32}) {
        g_map.AddWord(RedactionKind::Owner, RegistrationValue(L"RegisteredOwner", view));
    }
    for (DWORD view : {RegistryView64, RegistryView32}) {
        g_map.AddWord(RedactionKind::Organization, RegistrationValue(L"RegisteredOrganization", view));
    }
}

void AddComputerName(RedactionKind kind, COMPUTER_NAME_FORMAT format)
{
    wchar_t name[kPathSize] = L"";
    DWORD size = kPathSize;
    if (GetComputerNameExW(format, name, &size)) g_map.AddWord(kind, name);
}

void AddComputerAndDomainWords()
{
    AddComputerName(RedactionKind::Host, ComputerNameNetBIOS);
    AddComputerName(RedactionKind::Host, ComputerNameDnsHostname);
    AddComputerName(RedactionKind::Host, ComputerNamePhysicalDnsHostname);
    AddComputerName(RedactionKind::Domain, ComputerNameDnsDomain);

    // The domain or workgroup the machine belongs to.
    using NetGetJoinInformationFunction = DWORD(WINAPI*)(LPCWSTR, LPWSTR*, int*);
    using NetApiBufferFreeFunction = DWORD(WINAPI*)(void*);
    ScopedLibrary netapi(LoadLibraryA("netapi32.dll"));
    auto getJoin = LookupProc<NetGetJoinInformationFunction>(netapi.Get(), "NetGetJoinInformation");
    auto freeBuffer = LookupProc<NetApiBufferFreeFunction>(netapi.Get(), "NetApiBufferFree");
    LPWSTR joined = nullptr;
    int status = 0;
    if (getJoin != nullptr && freeBuffer != nullptr && getJoin(nullptr, &joined, &status) == 0 && joined != nullptr) {
        g_map.AddWord(RedactionKind::Domain, joined);
        freeBuffer(joined);
    }
    // The logged-on user's domain (the computer's name for a local account).
    char userDomain[kPathSize];
    DWORD length = GetEnvironmentVariableA("USERDOMAIN", userDomain, sizeof userDomain);
    if (length > 0 && length < sizeof userDomain) g_map.AddWord(RedactionKind::Domain, WideOfAnsi(userDomain));
}

// Volume serial numbers as "dir" prints them ("1A2B-3C4D"). Fixed disks
// only: nothing is spun up or waited for.
void AddVolumeSerials()
{
    const DWORD mask = GetLogicalDrives();
    for (int drive = 2; drive < 26; ++drive) {
        if (!(mask & (1u << drive))) continue;
        char root[4] = {static_cast<char>('A' + drive), ':', '\\', '\0'};
        if (GetDriveTypeA(root) != DRIVE_FIXED) continue;
        DWORD serial = 0;
        if (!GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) || serial == 0) continue;
        wchar_t text[16];
        FormatText(text, L"%04X-%04X", static_cast<unsigned>(serial >> 16), static_cast<unsigned>(serial & 0xFFFF));
        g_map.AddWord(RedactionKind::Serial, text);
    }
}

// The serial numbers the disks report, before any page names them (the
// registry's device keys carry them too).
void AddDiskSerials()
{
    for (int disk = 0; disk < kPhysicalDrives; ++disk) {
        char path[32];
        FormatText(path, "\\\\.\\PhysicalDrive%d", disk);
        ScopedKernelHandle device(
            CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!device) continue;
        STORAGE_PROPERTY_QUERY query = {};
        query.PropertyId = StorageDeviceProperty;
        query.QueryType = PropertyStandardQuery;
        alignas(8) BYTE descriptor[kDescriptorSize] = {};
        DWORD returned = 0;
        if (!DeviceIoControl(device.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, descriptor,
                             sizeof descriptor - 1, &returned, nullptr) ||
            returned < sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
            continue;
        }
        STORAGE_DEVICE_DESCRIPTOR header;
        memcpy(&header, descriptor, sizeof header);
        if (header.SerialNumberOffset != 0 && header.SerialNumberOffset < returned) {
            NoteRedactionSerial(reinterpret_cast<const char*>(descriptor + header.SerialNumberOffset));
        }
    }
}

// ---- files -----------------------------------------------------------------------

enum class Encoding { Bytes, Utf16, Utf16Swapped, Binary };

bool HasBinaryType(const char* path)
{
    const char* name = strrchr(path, '\\');
    const char* dot = strrchr(name != nullptr ? name : path, '.');
    if (dot == nullptr) return false;
    for (const char* type : kBinaryTypes) {
        if (lstrcmpiA(dot, type) == 0) return true;
    }
    return false;
}

// What the first bytes of a file tell: UTF-16 by its mark or by the zero
// bytes of ASCII text in it; binary by zero bytes inside the text (zero
// bytes at the end are padding of a log) or by control characters.
Encoding EncodingOf(const unsigned char* sample, size_t size)
{
    if (size >= 2 && sample[0] == 0xFF && sample[1] == 0xFE) return Encoding::Utf16;
    if (size >= 2 && sample[0] == 0xFE && sample[1] == 0xFF) return Encoding::Utf16Swapped;
    size_t zeroEven = 0, zeroOdd = 0, controls = 0, firstZero = size, zeroAfter = 0;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = sample[i];
        if (c == 0) {
            (i % 2 == 0 ? zeroEven : zeroOdd) += 1;
            if (firstZero == size) firstZero = i;
        } else {
            if (firstZero != size) ++zeroAfter;
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1A && c != 0x1B) {
                ++controls;
            }
        }
    }
    const size_t pairs = size / 2;
    if (pairs >= 2 && zeroOdd * 10 >= pairs * 3 && zeroEven * 20 <= pairs) return Encoding::Utf16;
    if (pairs >= 2 && zeroEven * 10 >= pairs * 3 && zeroOdd * 20 <= pairs) return Encoding::Utf16Swapped;
    if (zeroAfter > 0 || controls * 100 > size) return Encoding::Binary;
    return Encoding::Bytes;
}

bool WriteAll(HANDLE file, const void* data, size_t size)
{
    DWORD written = 0;
    return size == 0 || (WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
}

// Filters the rest of `in` (its first `got` bytes are in `piece`) into `out`.
bool FilterBytes(HANDLE in, HANDLE out, std::vector<unsigned char>& piece, DWORD got, RedactedText form)
{
    RedactionStream<char> stream(g_map, form);
    std::string filtered;
    do {
        filtered.clear();
        stream.Write(reinterpret_cast<const char*>(piece.data()), got, filtered);
        if (!WriteAll(out, filtered.data(), filtered.size())) return false;
    } while (ReadFile(in, piece.data(), kPieceSize, &got, nullptr) && got > 0);
    filtered.clear();
    stream.Finish(filtered);
    return WriteAll(out, filtered.data(), filtered.size());
}

bool FilterUtf16(HANDLE in, HANDLE out, std::vector<unsigned char>& piece, DWORD got, bool swapped, RedactedText form)
{
    RedactionStream<wchar_t> stream(g_map, form);
    std::wstring units;
    std::wstring filtered;
    std::string bytes;
    int odd = -1;  // a byte of a unit split between two pieces
    auto flush = [&](bool last) {
        filtered.clear();
        if (last) {
            stream.Finish(filtered);
        } else {
            stream.Write(units.data(), units.size(), filtered);
        }
        bytes.clear();
        for (wchar_t unit : filtered) {
            const unsigned value = static_cast<unsigned>(unit);
            bytes += static_cast<char>(swapped ? value >> 8 : value & 0xFF);
            bytes += static_cast<char>(swapped ? value & 0xFF : value >> 8);
        }
        return WriteAll(out, bytes.data(), bytes.size());
    };
    do {
        units.clear();
        for (DWORD i = 0; i < got; ++i) {
            if (odd < 0) {
                odd = piece[i];
                continue;
            }
            const unsigned first = static_cast<unsigned>(odd), second = piece[i];
            units += static_cast<wchar_t>(swapped ? (first << 8) | second : (second << 8) | first);
            odd = -1;
        }
        if (!flush(false)) return false;
    } while (ReadFile(in, piece.data(), kPieceSize, &got, nullptr) && got > 0);
    if (!flush(true)) return false;
    const char last = static_cast<char>(odd);
    return odd < 0 || WriteAll(out, &last, 1);  // an odd last byte stays as it was
}

// `allowBinary`: a file whose content looks binary is filtered as bytes
// (a program's output), instead of refused.
RedactedCopy FilterFile(const char* source, const char* target, bool allowBinary, RedactedText form)
{
    if (!allowBinary && HasBinaryType(source)) return RedactedCopy::Binary;
    ScopedKernelHandle in(CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return RedactedCopy::Failed;
    std::vector<unsigned char> piece(kPieceSize);
    DWORD got = 0;
    if (!ReadFile(in.Get(), piece.data(), kPieceSize, &got, nullptr)) return RedactedCopy::Failed;
    Encoding encoding = EncodingOf(piece.data(), got);
    if (encoding == Encoding::Binary) {
        if (!allowBinary) return RedactedCopy::Binary;
        encoding = Encoding::Bytes;
    }
    FILETIME written = {};
    const bool haveTime = GetFileTime(in.Get(), nullptr, nullptr, &written) != FALSE;

    ScopedKernelHandle out(
        CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return RedactedCopy::Failed;
    bool ok = encoding == Encoding::Bytes
                  ? FilterBytes(in.Get(), out.Get(), piece, got, form)
                  : FilterUtf16(in.Get(), out.Get(), piece, got, encoding == Encoding::Utf16Swapped, form);
    if (ok && haveTime) SetFileTime(out.Get(), nullptr, nullptr, &written);
    out.Close();
    if (!ok) {
        DeleteFileA(target);
        return RedactedCopy::Failed;
    }
    return RedactedCopy::Copied;
}

bool IsPage(const char* name)
{
    const char* dot = strrchr(name, '.');
    return dot != nullptr && (lstrcmpiA(dot, ".html") == 0 || lstrcmpiA(dot, ".htm") == 0);
}

// Filters a file of the tree through a temporary copy beside it, which then
// takes its place. A file that cannot be filtered, or must not be (a binary
// one, unless `allowBinary`), is deleted rather than left as it was.
void FilterInPlace(const char* path, bool allowBinary)
{
    char temporary[kPathSize];
    if (!CopyText(temporary, path) || !AppendText(temporary, ".redacting")) {
        DeleteFileA(path);
        StatusLineNotCollected(path);
        return;
    }
    const RedactedText form = IsPage(path) ? RedactedText::Html : RedactedText::Plain;
    const RedactedCopy result = FilterFile(path, temporary, allowBinary, form);
    if (result != RedactedCopy::Copied || !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temporary);
        DeleteFileA(path);
        StatusLineNotCollected(path);
        return;
    }
    NoteRedactedFile(path);
}

}  // namespace

void BeginRunRedaction(bool requested)
{
    g_map.Clear();
    g_filteredFiles.clear();
    g_active = requested;
    if (!requested) return;
    AddUserWords();
    AddProfileFolderWords();
    AddComputerAndDomainWords();
    AddRegistrationWords();
    AddVolumeSerials();
    AddDiskSerials();
}

void EndRunRedaction()
{
    g_map.Clear();
    g_filteredFiles.clear();
    g_active = false;
}

RedactionMap* ActiveRedaction() { return g_active ? &g_map : nullptr; }

std::string RedactedAnsi(const char* text, RedactedText form)
{
    if (text == nullptr) return std::string();
    if (!g_active) return text;
    return RedactText(g_map, std::string(text), form);
}

void NoteRedactionSerial(const char* serial)
{
    if (!g_active || serial == nullptr) return;
    g_map.AddWord(RedactionKind::Serial, WideOfAnsi(serial));
}

bool RedactTreePath(char* path, size_t capacity)
{
    if (!g_active || path == nullptr) return true;
    const size_t rootLength = strlen(OutputRoot);
    if (rootLength == 0 || _strnicmp(path, OutputRoot, rootLength) != 0) return true;
    const std::string below = RedactText(g_map, std::string(path + rootLength), RedactedText::Plain);
    if (rootLength + below.size() >= capacity) return false;
    memcpy(path + rootLength, below.c_str(), below.size() + 1);
    return true;
}

void NoteRedactedFile(const char* path)
{
    if (g_active && path != nullptr) g_filteredFiles.insert(PathKey(path));
}

RedactedCopy CopyFileRedacted(const char* source, const char* target)
{
    if (source == nullptr || target == nullptr) return RedactedCopy::Failed;
    const RedactedCopy result = FilterFile(source, target, false, RedactedText::Plain);
    if (result == RedactedCopy::Copied) NoteRedactedFile(target);
    return result;
}

void RedactFileInPlace(const char* path)
{
    if (g_active && path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) FilterInPlace(path, true);
}

void RedactUnfilteredFiles(const char* folder)
{
    if (!g_active || folder == nullptr) return;
    char pattern[kPathSize];
    if (!JoinPath(pattern, folder, "*")) return;
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(pattern, &found));
    if (!search) return;
    std::vector<std::string> names;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) names.push_back(found.cFileName);
    } while (FindNextFileA(search.Get(), &found));
    search.Close();

    for (const std::string& name : names) {
        char path[kPathSize];
        if (!JoinPath(path, folder, name.c_str())) continue;
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RedactUnfilteredFiles(path);
        } else if (g_filteredFiles.count(PathKey(path)) == 0) {
            FilterInPlace(path, false);
            if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) continue;
        }
        // Only the last name: the folder above is renamed after its contents.
        const std::string filtered = RedactText(g_map, name, RedactedText::Plain);
        char renamed[kPathSize];
        if (filtered != name && JoinPath(renamed, folder, filtered.c_str())) MoveFileExA(path, renamed, 0);
    }
}
