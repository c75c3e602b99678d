#include "info/checksum_cache.h"

#include "platform/bounded_text.h"

#include <cstring>
#include <string>
#include <unordered_map>

namespace {

// Far more files than any machine has modules; beyond it nothing new is kept.
constexpr size_t kMostFiles = 8192;

struct CachedSums {
    FileStamp stamp;
    bool haveCrc;
    unsigned long long crcByteCount;
    DWORD crc;
    bool haveMd5;
    char md5[33];
    bool haveVersion;
    bool versionFound;
    std::string versionTexts[4];  // version, description, company, copyright
    bool haveSignature;
    FileSignature signature;
};

int g_scopes = 0;
std::unordered_map<std::string, CachedSums>* g_cache = nullptr;

bool SameStamp(const FileStamp& a, const FileStamp& b)
{
    return a.size == b.size && a.lastWrite.dwLowDateTime == b.lastWrite.dwLowDateTime &&
           a.lastWrite.dwHighDateTime == b.lastWrite.dwHighDateTime;
}

// File names compare without case: "SHELL32.dll" in one import list and
// "shell32.dll" in another name one file.
std::string KeyOf(const char* path)
{
    std::string key = path;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

const CachedSums* Find(const char* path, const FileStamp& stamp)
{
    if (g_cache == nullptr || path == nullptr) return nullptr;
    auto found = g_cache->find(KeyOf(path));
    if (found == g_cache->end() || !SameStamp(found->second.stamp, stamp)) return nullptr;
    return &found->second;
}

// The record for this path and stamp; a record of another stamp starts anew.
CachedSums* Record(const char* path, const FileStamp& stamp)
{
    if (g_cache == nullptr || path == nullptr) return nullptr;
    const std::string key = KeyOf(path);
    auto found = g_cache->find(key);
    if (found == g_cache->end()) {
        if (g_cache->size() >= kMostFiles) return nullptr;
        found = g_cache->emplace(key, CachedSums{}).first;
        found->second.stamp = stamp;
    }
    if (!SameStamp(found->second.stamp, stamp)) {
        found->second = CachedSums{};
        found->second.stamp = stamp;
    }
    return &found->second;
}

}  // namespace

ChecksumCacheScope::ChecksumCacheScope()
{
    if (g_scopes++ == 0) g_cache = new std::unordered_map<std::string, CachedSums>();
}

ChecksumCacheScope::~ChecksumCacheScope()
{
    if (--g_scopes == 0) {
        delete g_cache;
        g_cache = nullptr;
    }
}

bool IsChecksumCacheActive() { return g_cache != nullptr; }

bool ReadStampForCache(const char* path, FileStamp* stamp)
{
    if (g_cache == nullptr || path == nullptr) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    stamp->size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp->lastWrite = data.ftLastWriteTime;
    return true;
}

bool FindCachedCrc(const char* path, const FileStamp& stamp, unsigned long long byteCount, DWORD* crc)
{
    const CachedSums* sums = Find(path, stamp);
    if (sums == nullptr || !sums->haveCrc || sums->crcByteCount != byteCount) return false;
    *crc = sums->crc;
    return true;
}

bool FindCachedMd5(const char* path, const FileStamp& stamp, char (&hex)[33])
{
    const CachedSums* sums = Find(path, stamp);
    if (sums == nullptr || !sums->haveMd5) return false;
    return CopyText(hex, sums->md5);
}

void RememberCrc(const char* path, const FileStamp& stamp, unsigned long long byteCount, DWORD crc)
{
    CachedSums* sums = Record(path, stamp);
    if (sums == nullptr) return;
    sums->haveCrc = true;
    sums->crcByteCount = byteCount;
    sums->crc = crc;
}

void RememberMd5(const char* path, const FileStamp& stamp, const char* hex)
{
    CachedSums* sums = Record(path, stamp);
    if (sums == nullptr || hex == nullptr) return;
    sums->haveMd5 = CopyText(sums->md5, hex);
}

bool FindCachedVersionTexts(const char* path, const FileStamp& stamp, VersionTexts* texts, bool* found)
{
    const CachedSums* sums = Find(path, stamp);
    if (sums == nullptr || !sums->haveVersion) return false;
    CopyText(texts->version, sums->versionTexts[0].c_str());
    CopyText(texts->description, sums->versionTexts[1].c_str());
    CopyText(texts->company, sums->versionTexts[2].c_str());
    CopyText(texts->copyright, sums->versionTexts[3].c_str());
    *found = sums->versionFound;
    return true;
}

void RememberVersionTexts(const char* path, const FileStamp& stamp, const VersionTexts& texts, bool found)
{
    CachedSums* sums = Record(path, stamp);
    if (sums == nullptr) return;
    sums->haveVersion = true;
    sums->versionFound = found;
    sums->versionTexts[0] = texts.version;
    sums->versionTexts[1] = texts.description;
    sums->versionTexts[2] = texts.company;
    sums->versionTexts[3] = texts.copyright;
}

bool FindCachedSignature(const char* path, const FileStamp& stamp, FileSignature* signature)
{
    const CachedSums* sums = Find(path, stamp);
    if (sums == nullptr || !sums->haveSignature) return false;
    *signature = sums->signature;
    return true;
}

void RememberSignature(const char* path, const FileStamp& stamp, const FileSignature& signature)
{
    CachedSums* sums = Record(path, stamp);
    if (sums == nullptr) return;
    sums->haveSignature = true;
    sums->signature = signature;
}
