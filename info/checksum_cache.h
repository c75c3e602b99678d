// Checksums, version texts and signatures of files already read, handed out
// again while a scope lasts: the processes page names ntdll.dll and the other
// common modules once per process, and each would otherwise be read, summed
// and verified every time. A result is reused only for the same path
// (letters A-Z in either case), size and last-write time, so a file that
// changed in between is read again. Only results of complete
// reads are kept. Used on the collection worker thread only.
#pragma once
#include "info/file_signature.h"
#include "platform/win.h"

// While one lives, FileCrc32, FileMd5Hex and ReadFileVersionStrings consult
// and fill the cache; when the outermost one ends, the cache is emptied.
class ChecksumCacheScope {
public:
    ChecksumCacheScope();
    ~ChecksumCacheScope();
    ChecksumCacheScope(const ChecksumCacheScope&) = delete;
    ChecksumCacheScope& operator=(const ChecksumCacheScope&) = delete;
};

// What tells one state of a file from another.
struct FileStamp {
    unsigned long long size;
    FILETIME lastWrite;
};

// True while a scope lives.
bool IsChecksumCacheActive();
// True when a scope lives and the file's stamp could be read.
bool ReadStampForCache(const char* path, FileStamp* stamp);

// The CRC-32 of the first byteCount bytes, or the MD5 text (33 bytes), kept
// for this path and stamp. False when none is kept.
bool FindCachedCrc(const char* path, const FileStamp& stamp, unsigned long long byteCount, DWORD* crc);
bool FindCachedMd5(const char* path, const FileStamp& stamp, char (&hex)[33]);
void RememberCrc(const char* path, const FileStamp& stamp, unsigned long long byteCount, DWORD crc);
void RememberMd5(const char* path, const FileStamp& stamp, const char* hex);

// The four texts of a version resource (see ReadFileVersionStrings).
struct VersionTexts {
    char version[260];
    char description[260];
    char company[260];
    char copyright[260];
};

// `found`: whether the file has a version resource at all.
bool FindCachedVersionTexts(const char* path, const FileStamp& stamp, VersionTexts* texts, bool* found);
void RememberVersionTexts(const char* path, const FileStamp& stamp, const VersionTexts& texts, bool found);

// A signature check's result (see CheckFileSignature).
bool FindCachedSignature(const char* path, const FileStamp& stamp, FileSignature* signature);
void RememberSignature(const char* path, const FileStamp& stamp, const FileSignature& signature);
