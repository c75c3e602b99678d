// File information records: checksums, version strings, PE test, texts,
// path normalisation, shortcuts and the file-entry block.
#include "info/file_info.h"

#include "app/app_state.h"
#include "info/checksum_cache.h"
#include "info/md5.h"
#include "info/signature_lines.h"
#include "platform/scoped_handle.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using testing_support::ScratchFolder;
using testing_support::TestBinDir;
using testing_support::TestOutDir;
using testing_support::WriteFileBytes;

namespace {

std::string Md5Of(const std::string& bytes)
{
    Md5Digest digest;
    digest.Update(bytes.data(), bytes.size());
    digest.Finish();
    return digest.HexText();
}

uint32_t ZlibCrc(const std::string& bytes)
{
    return static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string PseudoRandomBytes(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 23);
    }
    return bytes;
}

std::string ReadAll(const std::string& path)
{
    std::string bytes;
    testing_support::ReadFileBytes(path, &bytes);
    return bytes;
}

std::string WindowsFolder()
{
    char folder[MAX_PATH];
    UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder, n);
}

std::string OneTranslationDll() { return TestBinDir() + "\\version_one_translation.dll"; }
std::string TwoTranslationsDll() { return TestBinDir() + "\\version_two_translations.dll"; }

}  // namespace

// ---- checksums ------------------------------------------------------------

TEST(Md5Digest, Rfc1321TestSuite)
{
    EXPECT_EQ(Md5Of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Of("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Files of the sizes around MD5's 64-byte blocks (where the padding takes one
// block or two) and around the read pieces. The CRCs are compared with
// zlib's here, the digests by the host check with md5sum's.
TEST(FileChecksums, MatchZlibCrcAndLeaveDigestsForMd5sum)
{
    const std::string folder = TestOutDir() + "\\info\\checksums";
    CreateDirectoryA((TestOutDir() + "\\info").c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    const size_t sizes[] = {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 8192, 262144, 262145, 3 * 1048576 + 17};
    std::string digests;
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        const std::string name = std::to_string(size) + ".bin";
        const std::string path = folder + "\\" + name;
        const std::string bytes = PseudoRandomBytes(size, static_cast<uint32_t>(size));
        ASSERT_TRUE(WriteFileBytes(path, bytes));

        DWORD crc = 0xDEADBEEF;
        ASSERT_TRUE(FileCrc32(path.c_str(), size, &crc));
        EXPECT_EQ(crc, ZlibCrc(bytes));

        char md5[40];
        memset(md5, 0xBD, sizeof md5);
        ASSERT_TRUE(FileMd5Hex(path.c_str(), md5, sizeof md5));
        EXPECT_EQ(strlen(md5), 32u);
        EXPECT_EQ(static_cast<unsigned char>(md5[33]), 0xBD);
        digests += std::string(md5) + "  " + name + "\n";
    }
    ASSERT_TRUE(WriteFileBytes(folder + "\\digests.md5", digests));
}

TEST(FileChecksums, CrcCoversOnlyTheFirstBytesAsked)
{
    ScratchFolder scratch;
    const std::string path = scratch.Join("data.bin");
    const std::string bytes = PseudoRandomBytes(20000, 3);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    DWORD crc = 0;
    ASSERT_TRUE(FileCrc32(path.c_str(), 9000, &crc));
    EXPECT_EQ(crc, ZlibCrc(bytes.substr(0, 9000)));
    ASSERT_TRUE(FileCrc32(path.c_str(), 0, &crc));
    EXPECT_EQ(crc, 0u);
}

// A file that shrank since its size was taken: the read ends early and the
// CRC reports failure instead of waiting for bytes that never come.
TEST(FileChecksums, ShortFileAndMissingFileAreReadErrors)
{
    ScratchFolder scratch;
    const std::string path = scratch.Join("short.bin");
    ASSERT_TRUE(WriteFileBytes(path, std::string(100, 'x')));
    DWORD crc = 0;
    EXPECT_FALSE(FileCrc32(path.c_str(), 20000, &crc));
    EXPECT_FALSE(FileCrc32(scratch.Join("missing.bin").c_str(), 10, &crc));

    char md5[40] = "sentinel";
    EXPECT_FALSE(FileMd5Hex(scratch.Join("missing.bin").c_str(), md5, sizeof md5));
    EXPECT_STREQ(md5, "");
    EXPECT_FALSE(FileMd5Hex(path.c_str(), md5, 32));  // no room for 32 digits and the end
}

// ---- checksum cache ---------------------------------------------------------

namespace {

FILETIME WriteTimeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    return data.ftLastWriteTime;
}

// New bytes, then the given write time: what a file replaced in place looks like.
void Rewrite(const std::string& path, const std::string& bytes, FILETIME written)
{
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
}

FILETIME SecondLater(FILETIME time)
{
    ULARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = time.dwHighDateTime;
    ticks.QuadPart += 10000000;
    return FILETIME{ticks.LowPart, ticks.HighPart};
}

struct Sums {
    DWORD crc = 0;
    std::string md5;
};

Sums SumsOf(const std::string& path, unsigned long long crcBytes)
{
    Sums sums;
    char md5[33] = "";
    EXPECT_TRUE(FileCrc32(path.c_str(), crcBytes, &sums.crc));
    EXPECT_TRUE(FileMd5Hex(path.c_str(), md5, sizeof md5));
    sums.md5 = md5;
    return sums;
}

}  // namespace

// The stamp (path, size, last-write time) decides: bytes changed under an
// unchanged stamp give the first results back, a new size or write time is
// read again, and without a scope every call reads the file.
TEST(ChecksumCache, ReusesTheFirstResultUntilSizeOrWriteTimeChanges)
{
    ScratchFolder scratch;
    const std::string path = scratch.Join("module.dll");
    const std::string first = PseudoRandomBytes(5000, 1);
    const std::string second = PseudoRandomBytes(5000, 2);
    ASSERT_TRUE(WriteFileBytes(path, first));
    const FILETIME written = WriteTimeOf(path);
    {
        ChecksumCacheScope cache;
        const Sums firstSums = SumsOf(path, first.size());
        EXPECT_EQ(firstSums.crc, ZlibCrc(first));

        Rewrite(path, second, written);
        Sums again = SumsOf(path, second.size());
        EXPECT_EQ(again.crc, firstSums.crc);
        EXPECT_EQ(again.md5, firstSums.md5);
        DWORD part = 0;
        ASSERT_TRUE(FileCrc32(path.c_str(), 100, &part));
        EXPECT_EQ(part, ZlibCrc(second.substr(0, 100))) << "a CRC of fewer bytes is a result of its own";

        Rewrite(path, second, SecondLater(written));
        again = SumsOf(path, second.size());
        EXPECT_EQ(again.crc, ZlibCrc(second)) << "a new write time reads the file again";
        EXPECT_NE(again.md5, firstSums.md5);

        const std::string longer = second + "x";
        Rewrite(path, longer, SecondLater(written));
        EXPECT_EQ(SumsOf(path, longer.size()).crc, ZlibCrc(longer)) << "a new size reads the file again";
    }
    Rewrite(path, first, written);
    const Sums firstAgain = SumsOf(path, first.size());
    Rewrite(path, second, written);
    EXPECT_EQ(SumsOf(path, second.size()).crc, ZlibCrc(second)) << "nothing is kept outside a scope";
    EXPECT_NE(SumsOf(path, second.size()).md5, firstAgain.md5);
}

// A second look at the same file gives back each version text in its place.
TEST(ChecksumCache, VersionTextsComeBackAsFirstRead)
{
    ChecksumCacheScope cache;
    char first[4][260], again[4][260];
    ASSERT_TRUE(ReadFileVersionStrings(OneTranslationDll().c_str(), first[0], first[1], first[2], first[3]));
    ASSERT_TRUE(ReadFileVersionStrings(OneTranslationDll().c_str(), again[0], again[1], again[2], again[3]));
    for (int i = 0; i < 4; ++i) EXPECT_STREQ(first[i], again[i]) << i;
}

// ---- version strings ------------------------------------------------------

TEST(ReadFileVersionStrings, OneTranslationReadsItsOwnBlockThenTheFallbacks)
{
    char version[260], description[260], company[260], copyright[260];
    ASSERT_TRUE(ReadFileVersionStrings(OneTranslationDll().c_str(), version, description, company, copyright));
    EXPECT_STREQ(version, "7.65535.300.4");
    EXPECT_STREQ(description, "Beschreibung 100% eins");
    EXPECT_STREQ(company, "Vendor from 04091252");
    EXPECT_STREQ(copyright, "Copyright (C) Test Eins");
}

TEST(ReadFileVersionStrings, TwoTranslationsReadUnder040904E4Then04091252)
{
    char version[260], description[260], company[260], copyright[260];
    ASSERT_TRUE(ReadFileVersionStrings(TwoTranslationsDll().c_str(), version, description, company, copyright));
    EXPECT_STREQ(version, "2.10.0.31");
    EXPECT_STREQ(company, "Vendor from 040904E4");
    EXPECT_STREQ(description, "Description from 04091252");
    EXPECT_STREQ(copyright, "");  // only in the German block, which two translations never reach
}

TEST(ReadFileVersionStrings, OutputsMayBeOmittedAndAreClearedOnFailure)
{
    char version[260];
    ASSERT_TRUE(ReadFileVersionStrings(OneTranslationDll().c_str(), version, nullptr, nullptr, nullptr));
    EXPECT_STREQ(version, "7.65535.300.4");

    ScratchFolder scratch;
    const std::string text = scratch.Join("notes.txt");
    ASSERT_TRUE(WriteFileBytes(text, "just some text that is long enough to look at\r\n"));
    char description[260] = "stale";
    strcpy(version, "stale");
    EXPECT_FALSE(ReadFileVersionStrings(text.c_str(), version, description, nullptr, nullptr));
    EXPECT_STREQ(version, "");
    EXPECT_STREQ(description, "");
    EXPECT_FALSE(ReadFileVersionStrings("", version, nullptr, nullptr, nullptr));

    // A program without a version resource.
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    EXPECT_FALSE(ReadFileVersionStrings(self, version, description, nullptr, nullptr));
    EXPECT_STREQ(version, "");
}

// ---- PE test ----------------------------------------------------------------

TEST(IsPeImage, TellsProgramsFromOtherFiles)
{
    EXPECT_TRUE(IsPeImage(OneTranslationDll().c_str()));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    EXPECT_TRUE(IsPeImage(self));

    ScratchFolder scratch;
    const std::string text = scratch.Join("text.txt");
    ASSERT_TRUE(WriteFileBytes(text, std::string(200, 'T')));
    EXPECT_FALSE(IsPeImage(text.c_str()));
    const std::string tenBytes = scratch.Join("ten.bin");
    ASSERT_TRUE(WriteFileBytes(tenBytes, "MZ12345678"));
    EXPECT_FALSE(IsPeImage(tenBytes.c_str()));

    // "MZ" whose header offset points past the end, and one that points at "PE\0\0".
    std::string header(64, '\0');
    header[0] = 'M';
    header[1] = 'Z';
    header[60] = static_cast<char>(0xF0);
    const std::string dangling = scratch.Join("dangling.bin");
    ASSERT_TRUE(WriteFileBytes(dangling, header));
    EXPECT_FALSE(IsPeImage(dangling.c_str()));
    header[60] = 64;
    const std::string minimal = scratch.Join("minimal.bin");
    ASSERT_TRUE(WriteFileBytes(minimal, header + std::string("PE\0\0", 4)));
    EXPECT_TRUE(IsPeImage(minimal.c_str()));
    EXPECT_FALSE(IsPeImage(scratch.Join("missing.bin").c_str()));
}

// ---- attribute and time texts ---------------------------------------------------

TEST(FileTexts, AttributesInTheOrderArchiveReadOnlyHiddenSystem)
{
    char text[64];
    FormatFileAttributes(0x21, text, sizeof text);
    EXPECT_STREQ(text, "File attributes: [AR--]");
    FormatFileAttributes(0, text, sizeof text);
    EXPECT_STREQ(text, "File attributes: [----]");
    FormatFileAttributes(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_DIRECTORY,
                         text, sizeof text);
    EXPECT_STREQ(text, "File attributes: [ARHS]");

    memset(text, 0xBD, sizeof text);
    FormatFileAttributes(0x21, text, 10);
    EXPECT_STREQ(text, "File attr");
    EXPECT_EQ(static_cast<unsigned char>(text[10]), 0xBD);
    FormatFileAttributes(0x21, nullptr, 0);  // the text may be omitted
}

TEST(FileTexts, TimeIsUtcWithTheMonthFirst)
{
    char text[64];
    FormatGmtTime(1262303998, text, sizeof text);  // 31 Dec 2009 23:59:58 UTC
    EXPECT_STREQ(text, "GMT: 12.31.2009, 23:59:58");
    FormatGmtTime(0, text, sizeof text);
    EXPECT_STREQ(text, "GMT: 01.01.1970, 00:00:00");
    FormatGmtTime(-20000000000LL, text, sizeof text);  // before 1601: no text rather than garbage
    EXPECT_STREQ(text, "");

    LONG before = StepCounter;
    FormatGmtTime(0, nullptr, 0);
    FormatFileAttributes(0, nullptr, 0);
    EXPECT_EQ(StepCounter, before + 2);
}

// ---- path normalisation -------------------------------------------------------

class NormalizeFilePathTest : public ::testing::Test {
protected:
    std::string Normalize(const std::string& text)
    {
        char out[260];
        memset(out, 0xBD, sizeof out);
        strcpy(out, "untouched");
        NormalizeFilePath(text.c_str(), out, sizeof out);
        return out;
    }
    ScratchFolder scratch_{"harvin-normalize"};
};

TEST_F(NormalizeFilePathTest, TextWithoutDotLeavesTheOutputAlone)
{
    EXPECT_EQ(Normalize("C:\\Windows\\system32\\drivers"), "untouched");
    EXPECT_EQ(Normalize(""), "untouched");
}

TEST_F(NormalizeFilePathTest, DriverPathLosesItsObjectPrefix)
{
    const std::string file = scratch_.Join("driver.sys");
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    EXPECT_EQ(Normalize("\\??\\" + file), file);
    // Missing files too: the prefix goes, the rest stays.
    EXPECT_EQ(Normalize("\\??\\C:\\nowhere\\gone.sys"), "C:\\nowhere\\gone.sys");
}

TEST_F(NormalizeFilePathTest, SystemRootTokensBecomeTheWindowsFolder)
{
    const std::string cmd = WindowsFolder() + "\\system32\\cmd.exe";
    EXPECT_EQ(Normalize("%SystemRoot%\\system32\\cmd.exe /k netsvcs -x"), cmd);
    EXPECT_EQ(Normalize("%systemroot%\\system32\\cmd.exe -x"), cmd);
    EXPECT_EQ(Normalize("%%SystemRoot%%\\system32\\cmd.exe -x"), cmd);
    EXPECT_EQ(Normalize("%SystemRoot%\\system32\\cmd.exe\" quoted"), cmd);
}

TEST_F(NormalizeFilePathTest, QuotedProgramWithBlanksAndArguments)
{
    const std::string folder = scratch_.Join("dir with blanks");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string program = folder + "\\prog file.exe";
    ASSERT_TRUE(WriteFileBytes(program, "MZ"));
    EXPECT_EQ(Normalize("\"" + program + "\" -arg value"), program);
    EXPECT_EQ(Normalize("\"" + program + "\""), program);
}

TEST_F(NormalizeFilePathTest, ArgumentsAfterAnUnquotedPathAreCut)
{
    const std::string program = scratch_.Join("service.exe");
    ASSERT_TRUE(WriteFileBytes(program, "MZ"));
    EXPECT_EQ(Normalize(program + " -k netsvcs"), program);
    EXPECT_EQ(Normalize(program), program);
    // Nothing to find: the words are cut as far as they go.
    EXPECT_EQ(Normalize("C:\\nowhere\\gone.exe -a -b"), "C:\\nowhere\\gone.exe");
}

TEST_F(NormalizeFilePathTest, LongTextIsCutToTheCapacity)
{
    std::string text = "C:\\" + std::string(400, 'a') + ".exe";
    char out[40];
    memset(out, 0xBD, sizeof out);
    NormalizeFilePath(text.c_str(), out, 30);
    EXPECT_EQ(strlen(out), 29u);
    EXPECT_EQ(static_cast<unsigned char>(out[30]), 0xBD);
}

// ---- shortcuts ----------------------------------------------------------------

TEST(ResolveShortcut, ReadsTargetAndDescriptionOfALink)
{
    ScratchFolder scratch;
    const std::string target = scratch.Join("target.txt");
    ASSERT_TRUE(WriteFileBytes(target, "target"));
    const std::string linkPath = scratch.Join("link.lnk");

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        IShellLinkA* link = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)),
                  S_OK);
        ASSERT_EQ(link->SetPath(target.c_str()), S_OK);
        ASSERT_EQ(link->SetDescription("Harvin test link"), S_OK);
        IPersistFile* persist = nullptr;
        ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)), S_OK);
        wchar_t wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
        EXPECT_EQ(persist->Save(wide, TRUE), S_OK);
        persist->Release();
        link->Release();
    }
    CoUninitialize();

    char resolved[260];
    char description[260];
    memset(resolved, 0xBD, sizeof resolved);
    EXPECT_TRUE(SUCCEEDED(ResolveShortcut(nullptr, linkPath.c_str(), resolved, description)));
    EXPECT_STREQ(resolved, target.c_str());
    EXPECT_STREQ(description, "Harvin test link");

    strcpy(resolved, "stale");
    strcpy(description, "stale");
    EXPECT_TRUE(FAILED(ResolveShortcut(nullptr, scratch.Join("missing.lnk").c_str(), resolved, description)));
    EXPECT_STREQ(resolved, "");
    EXPECT_STREQ(description, "");

    // The thread's COM state is balanced: a further initialisation is the first again.
    HRESULT again = CoInitialize(nullptr);
    EXPECT_EQ(again, S_OK);
    if (SUCCEEDED(again)) CoUninitialize();
}

// ---- the file-entry block --------------------------------------------------------

class FileEntryTest : public ::testing::Test {
protected:
    void SetUp() override { ExtendedCollection = 0; }
    void TearDown() override { ExtendedCollection = 0; }

    // Writes one entry into a fresh page and returns what the page holds.
    std::string Entry(const FileEntryRequest& base)
    {
        const std::string pagePath = scratch_.Join("page.html");
        Page page = fopen(pagePath.c_str(), "wb");
        EXPECT_NE(page, nullptr);
        FileEntryRequest request = base;
        request.page = page;
        WriteFileEntry(request);
        fclose(page);
        return ReadAll(pagePath);
    }
    std::string EntryForText(const std::string& text)
    {
        const std::string pagePath = scratch_.Join("details.html");
        Page page = fopen(pagePath.c_str(), "wb");
        EXPECT_NE(page, nullptr);
        WriteFileDetailsForText(text.c_str(), page);
        fclose(page);
        return ReadAll(pagePath);
    }
    ScratchFolder scratch_{"harvin-entry"};
};

TEST_F(FileEntryTest, BlockOrderWithName)
{
    const std::string dll = ReadAll(OneTranslationDll());
    ASSERT_FALSE(dll.empty());
    const std::string folder = scratch_.Path();
    ASSERT_TRUE(CopyFileA(OneTranslationDll().c_str(), scratch_.Join("mod.dll").c_str(), FALSE));

    FileEntryRequest request;
    request.path = folder.c_str();
    request.name = "mod.dll";
    request.withCrc = true;
    request.size = static_cast<DWORD>(dll.size());
    request.withSize = true;
    request.withText1 = true;
    request.text1 = "File attributes: [A---]";
    request.withVersion = true;
    request.withText2 = true;
    request.text2 = "GMT: 12.31.2009, 23:59:58";
    request.withMd5 = true;
    request.extraText = "extra words";

    char crcLine[64];
    snprintf(crcLine, sizeof crcLine, "CRC32: 0x%08X<BR>\n", static_cast<unsigned>(ZlibCrc(dll)));
    const std::string expected = std::string("<strong>mod.dll</strong>\n<div style=\"margin-left: 40px;\">\n") +
                                 "Version: 7.65535.300.4<BR>\n" + crcLine + "MD5: " + Md5Of(dll) + "\n<BR>\n" +
                                 "Description: Beschreibung 100% eins<BR>\n" + "Vendor: Vendor from 04091252<BR>\n" +
                                 "Copyright: Copyright (C) Test Eins<BR>\n" + "Filesize: " + std::to_string(dll.size()) +
                                 "<BR>\n" + "GMT: 12.31.2009, 23:59:58<br>\n" + "File attributes: [A---]<br>\n" +
                                 "Path: " + folder + "<br>\n" + "extra words<br>\n" + "\n</div><BR>\n";
    EXPECT_EQ(Entry(request), expected);
}

TEST_F(FileEntryTest, BlockOrderWithoutName)
{
    const std::string path = scratch_.Join("mod.dll");
    ASSERT_TRUE(CopyFileA(OneTranslationDll().c_str(), path.c_str(), FALSE));
    const std::string dll = ReadAll(path);

    FileEntryRequest request;
    request.path = path.c_str();
    request.withVersion = true;
    request.withMd5 = true;
    request.withSize = true;  // size 0: taken from the file
    request.extraText = "extra";
    const std::string expected = "<strong>" + path + "</strong>\n<div style=\"margin-left: 40px;\">\n" +
                                 "Version: 7.65535.300.4<BR>\n" + "MD5: " + Md5Of(dll) + "\n<BR>\n" +
                                 "Description: Beschreibung 100% eins<BR>\n" + "Vendor: Vendor from 04091252<BR>\n" +
                                 "Copyright: Copyright (C) Test Eins<BR>\n" + "Filesize: " + std::to_string(dll.size()) +
                                 "<BR>\n" + "extra<br>\n" + "</div><BR>\n";
    EXPECT_EQ(Entry(request), expected);
}

TEST_F(FileEntryTest, FileWithoutVersionResourceHasOnlyItsMd5Line)
{
    const std::string path = scratch_.Join("plain.txt");
    ASSERT_TRUE(WriteFileBytes(path, "abc"));
    FileEntryRequest request;
    request.path = scratch_.Path().c_str();
    request.name = "plain.txt";
    request.withVersion = true;
    request.withMd5 = true;
    EXPECT_EQ(Entry(request), "<strong>plain.txt</strong>\n<div style=\"margin-left: 40px;\">\n"
                              "MD5: 900150983cd24fb0d6963f7d28e17f72\n<BR>\n"
                              "Path: " + scratch_.Path() + "<br>\n\n</div><BR>\n");
}

TEST_F(FileEntryTest, EmptyFileHasZeroCrcAndNoSizeLine)
{
    const std::string path = scratch_.Join("empty.log");
    ASSERT_TRUE(WriteFileBytes(path, ""));
    FileEntryRequest request;
    request.path = path.c_str();
    request.withCrc = true;
    request.withSize = true;
    request.withMd5 = true;
    EXPECT_EQ(Entry(request), "<strong>" + path + "</strong>\n<div style=\"margin-left: 40px;\">\n"
                              "CRC32: 0x00000000<BR>\n"
                              "MD5: d41d8cd98f00b204e9800998ecf8427e\n<BR>\n"
                              "</div><BR>\n");
}

TEST_F(FileEntryTest, MissingFileKeepsItsPathReportsTheReadErrorAndSaysSo)
{
    const std::string path = "C:\\nowhere at all\\gone file.dll";
    FileEntryRequest request;
    request.path = path.c_str();
    request.withCrc = true;
    request.size = 100;
    request.withVersion = true;
    request.withMd5 = true;
    request.withSize = true;
    EXPECT_EQ(Entry(request), "<strong>" + path + "</strong>\n<div style=\"margin-left: 40px;\">\n"
                              "CRC32: [Read Error]<br>\n"
                              "Filesize: 100<BR>\n"
                              "[file not found]<br>\n"
                              "</div><BR>\n");
}

// Names and texts are data: a "%" is written as it is, never taken as a format.
TEST_F(FileEntryTest, PercentSignsAreWrittenAsTheyAre)
{
    const std::string name = "50%%off %d %s %n.txt";
    ASSERT_TRUE(WriteFileBytes(scratch_.Join(name), "x"));
    FileEntryRequest request;
    request.path = scratch_.Path().c_str();
    request.name = name.c_str();
    request.withText1 = true;
    request.text1 = "100% %s";
    EXPECT_EQ(Entry(request), "<strong>" + name + "</strong>\n<div style=\"margin-left: 40px;\">\n" +
                              "100% %s<br>\n" + "Path: " + scratch_.Path() + "<br>\n\n</div><BR>\n");
}

// Names and paths are text in the page; the caller's own texts stay markup.
TEST_F(FileEntryTest, NamesAndPathsAreHtmlText)
{
    const std::string folder = scratch_.Join("R&D");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder + "\\Tom & Jerry.txt", "x"));
    FileEntryRequest request;
    request.path = folder.c_str();
    request.name = "Tom & Jerry.txt";
    request.extraText = "<b>not collected</b>";
    EXPECT_EQ(Entry(request), "<strong>Tom &amp; Jerry.txt</strong>\n<div style=\"margin-left: 40px;\">\n"
                              "Path: " + scratch_.Join("R&amp;D") + "<br>\n<b>not collected</b><br>\n\n</div><BR>\n");
    const std::string fullPath = folder + "\\Tom & Jerry.txt";
    request.path = fullPath.c_str();
    request.name = nullptr;
    request.extraText = nullptr;
    EXPECT_EQ(Entry(request), "<strong>" + scratch_.Join("R&amp;D\\Tom &amp; Jerry.txt") +
                                  "</strong>\n<div style=\"margin-left: 40px;\">\n</div><BR>\n");
}

TEST_F(FileEntryTest, ExtendedCollectionAddsTheMd5LineAndHeaderIsTheCallers)
{
    const std::string path = scratch_.Join("a.txt");
    ASSERT_TRUE(WriteFileBytes(path, "a"));
    ExtendedCollection = 1;
    FileEntryRequest request;
    request.path = path.c_str();
    request.header = "<p>own header %d</p>\n";
    EXPECT_EQ(Entry(request), "<p>own header %d</p>\nMD5: 0cc175b9c0f1b6a831c399e269772661\n<BR>\n</div><BR>\n");
}

TEST_F(FileEntryTest, UnnormalisedTextFindsTheFile)
{
    const std::string cmd = WindowsFolder() + "\\system32\\cmd.exe";
    const std::string text = "%SystemRoot%\\system32\\cmd.exe /c";
    FileEntryRequest request;
    request.path = text.c_str();
    EXPECT_EQ(Entry(request), "<strong>" + cmd + "</strong>\n<div style=\"margin-left: 40px;\">\n</div><BR>\n");
}

TEST_F(FileEntryTest, DetailsForARegistryText)
{
    const std::string folder = scratch_.Join("Program Files");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string program = folder + "\\tool.exe";
    const std::string bytes = "0123456789";
    ASSERT_TRUE(WriteFileBytes(program, bytes));
    ASSERT_TRUE(SetFileAttributesA(program.c_str(), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));

    char crcLine[64];
    snprintf(crcLine, sizeof crcLine, "CRC32: 0x%08X<BR>\n", static_cast<unsigned>(ZlibCrc(bytes)));
    EXPECT_EQ(EntryForText("\"" + program + "\" /background"),
              std::string("<div style=\"margin-left: 40px;\">\n") + crcLine + "Filesize: 10<BR>\n" +
                  "File attributes: [AR--]<br>\n" + "</div><BR>\n");
    SetFileAttributesA(program.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(EntryForText("C:\\nowhere\\gone.exe /x"), "");
    EXPECT_EQ(EntryForText("no dot here"), "");
}

// ---- the signature line ------------------------------------------------------

// The fixture's copies of one program, verified by the system: the line after
// the version lines says what Windows says, the signer as HTML text.
TEST_F(FileEntryTest, SignatureLineTellsTheSystemsVerdict)
{
    SignatureLinesScope signatures;
    const std::string folder = "C:\\harvin-signatures";
    const struct {
        const char* name;
        const char* verdict;
    } files[] = {{"signed.exe", "Valid (Harvin &amp; Test &lt;Signer&gt;)"},
                 {"unsigned.exe", "Not signed"},
                 {"tampered.exe", "Invalid (0x80096010)"},
                 {"untrusted.exe", "Not trusted (0x800B0109)"},
                 {"missing.exe", nullptr}};  // no verdict: the entry says the file is not there
    // Wine's verification does not ask where the chain ends (a signer under
    // any root verifies): the unplanted root is checked where the system does.
    const bool chainUnchecked = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    // Verified here, and on the pool's threads ahead of the entries: the same lines.
    for (const unsigned poolThreads : {0u, 2u}) {
        SignaturesAheadScope ahead(nullptr, poolThreads);
        for (const auto& file : files) VerifySignatureAhead((folder + "\\" + file.name).c_str());
        for (const auto& file : files) {
            if (chainUnchecked && strcmp(file.name, "untrusted.exe") == 0) continue;
            FileEntryRequest request;
            request.path = folder.c_str();
            request.name = file.name;
            const std::string verdict =
                file.verdict != nullptr ? std::string("Signature: ") + file.verdict + "<BR>\n" : "";
            const std::string missing = file.verdict == nullptr ? "[file not found]<br>\n" : "";
            EXPECT_EQ(Entry(request), std::string("<strong>") + file.name +
                                          "</strong>\n<div style=\"margin-left: 40px;\">\n" + verdict + "Path: " +
                                          folder + "<br>\n" + missing + "\n</div><BR>\n")
                << poolThreads << " pool threads";
        }
    }
}

namespace catalog_standin {

// Counts what the check opens and closes. Only the SHA-1 catalogs list the
// file, under the member tag of its hash.
struct Calls {
    int verified, closed, admins, adminsReleased, catalogs, catalogsReleased;
    LONG catalogVerdict;
    bool catalogFileUnknown;
    std::wstring memberTag;
    DWORD thread;  // of the last verification
} calls;
HANDLE verifying = nullptr;  // set when a verification starts, while not null

LONG WINAPI VerifyTrust(HWND, GUID*, LPVOID request)
{
    auto* data = static_cast<WINTRUST_DATA*>(request);
    if (data->dwStateAction == WTD_STATEACTION_CLOSE) return ++calls.closed, ERROR_SUCCESS;
    if (verifying != nullptr) SetEvent(verifying);
    calls.thread = GetCurrentThreadId();
    ++calls.verified;
    data->hWVTStateData = reinterpret_cast<HANDLE>(1);
    if (data->dwUnionChoice == WTD_CHOICE_FILE) return TRUST_E_NOSIGNATURE;
    calls.memberTag = data->pCatalog->pcwszMemberTag;
    return calls.catalogVerdict;
}
CRYPT_PROVIDER_DATA* WINAPI ProviderData(HANDLE)
{
    static CRYPT_PROVIDER_DATA data;
    return &data;
}
CRYPT_PROVIDER_SGNR* WINAPI ProviderSigner(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD)
{
    static CERT_CONTEXT leaf;
    static CRYPT_PROVIDER_CERT chain[1];
    static CRYPT_PROVIDER_SGNR signer;
    chain[0].pCert = &leaf;
    signer.csCertChain = 1;
    signer.pasCertChain = chain;
    return &signer;
}
DWORD WINAPI CertificateName(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR name, DWORD chars)
{
    return lstrlenW(lstrcpynW(name, L"Windows <Publisher>", static_cast<int>(chars))) + 1;
}
BOOL WINAPI Acquire(HCATADMIN* admin, const GUID*, DWORD) { return *admin = &calls, ++calls.admins; }
BOOL WINAPI Acquire2(HCATADMIN* admin, const GUID*, const WCHAR*, const void*, DWORD) { return Acquire(admin, 0, 0); }
BOOL WINAPI Hash(HANDLE, DWORD* size, BYTE* hash, DWORD) { return memset(hash, 0xA5, *size = 20) != nullptr; }
BOOL WINAPI Hash2(HCATADMIN, HANDLE, DWORD* size, BYTE* hash, DWORD) { return memset(hash, 0, *size = 32) != nullptr; }
HCATINFO WINAPI CatalogFromHash(HCATADMIN, BYTE*, DWORD size, DWORD, HCATINFO*)
{
    return size == 20 ? (++calls.catalogs, &calls) : nullptr;
}
BOOL WINAPI CatalogInfo(HCATINFO, CATALOG_INFO* info, DWORD)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    return !calls.catalogFileUnknown && lstrcpyW(info->wszCatalogFile, L"C:\\windows\\system32\\catroot\\nt5.cat");
}
BOOL WINAPI ReleaseCatalog(HCATADMIN, HCATINFO, DWORD) { return ++calls.catalogsReleased; }
BOOL WINAPI ReleaseAdmin(HCATADMIN, DWORD) { return ++calls.adminsReleased; }

const TrustFunctions kFunctions = {VerifyTrust, ProviderData, ProviderSigner, CertificateName, Acquire,  Hash, Acquire2,
                                   Hash2,       CatalogFromHash, CatalogInfo, ReleaseCatalog, ReleaseAdmin};

}  // namespace catalog_standin

// Wine keeps no catalogs: stand-ins answer as Windows does for a file its
// catalogs list. Whatever the verdict, every verification is closed and every
// catalog context released; within the checksum cache a file is verified once.
TEST_F(FileEntryTest, SignatureFromTheCatalogsClosesWhatItOpened)
{
    using catalog_standin::calls;
    const std::string path = scratch_.Join("kernel.dll");
    ASSERT_TRUE(WriteFileBytes(path, "MZ"));
    UseTrustFunctions(&catalog_standin::kFunctions);
    SignatureLinesScope signatures;
    FileEntryRequest request;
    request.path = path.c_str();
    const struct {
        LONG catalogVerdict;
        bool catalogFileUnknown;
        const char* line;
        int verified;
    } cases[] = {{ERROR_SUCCESS, false, "Valid, catalog (Windows &lt;Publisher&gt;)", 2},
                 {CERT_E_UNTRUSTEDROOT, false, "Not trusted (0x800B0109)", 2},
                 {ERROR_SUCCESS, true, "[not available] (0x80070002)", 1}};
    for (const auto& c : cases) {
        calls = {0, 0, 0, 0, 0, 0, c.catalogVerdict, c.catalogFileUnknown, L"", 0};
        ChecksumCacheScope cache;
        const std::string entry = "<strong>" + path + "</strong>\n<div style=\"margin-left: 40px;\">\nSignature: " +
                                  c.line + "<BR>\n</div><BR>\n";
        EXPECT_EQ(Entry(request), entry);
        EXPECT_EQ(Entry(request), entry);
        EXPECT_EQ(calls.verified, c.verified) << c.line;
        EXPECT_EQ(calls.closed, calls.verified) << c.line;
        EXPECT_EQ(calls.admins, 2) << "SHA-256 catalogs first, then SHA-1: " << c.line;
        EXPECT_EQ(calls.adminsReleased, calls.admins) << c.line;
        EXPECT_EQ(calls.catalogs, 1) << c.line;
        EXPECT_EQ(calls.catalogsReleased, calls.catalogs) << c.line;
        EXPECT_EQ(calls.memberTag, c.verified == 2 ? L"A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5" : L"") << c.line;
    }
    UseTrustFunctions(nullptr);
}

// The headers of a program image and nothing else, its certificate table
// entry filled in or empty.
template <typename OptionalHeader>
std::string ImageHeaders(WORD magic, bool withCertificates)
{
    struct {
        IMAGE_DOS_HEADER dos;
        DWORD signature;
        IMAGE_FILE_HEADER file;
        OptionalHeader optional;
    } image = {};
    image.dos.e_magic = IMAGE_DOS_SIGNATURE;
    image.dos.e_lfanew = offsetof(decltype(image), signature);
    image.signature = IMAGE_NT_SIGNATURE;
    image.file.SizeOfOptionalHeader = sizeof(OptionalHeader);
    image.optional.Magic = magic;
    image.optional.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    if (withCertificates) image.optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY] = {sizeof image, 8};
    return std::string(reinterpret_cast<const char*>(&image), sizeof image);
}

// An image with an empty certificate table carries no embedded signature
// and goes to the catalogs directly; one with certificates is verified
// first, in either image format.
TEST_F(FileEntryTest, OnlyImagesWithCertificatesGetTheEmbeddedCheck)
{
    using catalog_standin::calls;
    UseTrustFunctions(&catalog_standin::kFunctions);
    SignatureLinesScope signatures;
    const std::string path = scratch_.Join("image.dll");
    FileEntryRequest request;
    request.path = path.c_str();
    for (const bool withCertificates : {false, true}) {
        for (const std::string& image : {ImageHeaders<IMAGE_OPTIONAL_HEADER32>(IMAGE_NT_OPTIONAL_HDR32_MAGIC, withCertificates),
                                         ImageHeaders<IMAGE_OPTIONAL_HEADER64>(IMAGE_NT_OPTIONAL_HDR64_MAGIC, withCertificates)}) {
            ASSERT_TRUE(WriteFileBytes(path, image));
            calls = {0, 0, 0, 0, 0, 0, ERROR_SUCCESS, false, L"", 0};
            EXPECT_NE(Entry(request).find("Signature: Valid, catalog (Windows &lt;Publisher&gt;)<BR>"), std::string::npos);
            EXPECT_EQ(calls.verified, withCertificates ? 2 : 1) << "with certificates: " << withCertificates;
        }
    }
    UseTrustFunctions(nullptr);
}

// A file verified ahead on the pool's thread is taken from there, once; a
// file that changed since is verified again by the page.
TEST_F(FileEntryTest, SignatureVerifiedAheadIsTakenForTheSameFileOnly)
{
    using catalog_standin::calls;
    const std::string path = scratch_.Join("ahead.dll");
    ASSERT_TRUE(WriteFileBytes(path, "MZ"));
    UseTrustFunctions(&catalog_standin::kFunctions);
    ScopedKernelHandle started(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    catalog_standin::verifying = started.Get();
    calls = {0, 0, 0, 0, 0, 0, ERROR_SUCCESS, false, L"", 0};
    SignatureLinesScope signatures;
    FileEntryRequest request;
    request.path = path.c_str();
    {
        SignaturesAheadScope ahead(nullptr, 2);
        VerifySignatureAhead(path.c_str());
        // Under way on the pool's thread: the page waits for it.
        ASSERT_EQ(WaitForSingleObject(started.Get(), 10000), WAIT_OBJECT_0);
        const std::string entry = Entry(request);
        EXPECT_NE(entry.find("Signature: Valid, catalog"), std::string::npos) << entry;
        EXPECT_EQ(calls.verified, 2);
        EXPECT_NE(calls.thread, GetCurrentThreadId());

        ASSERT_TRUE(WriteFileBytes(path, "MZ, written again"));
        EXPECT_EQ(Entry(request), entry);
        EXPECT_EQ(calls.verified, 4);
        EXPECT_EQ(calls.thread, GetCurrentThreadId());
    }
    catalog_standin::verifying = nullptr;
    UseTrustFunctions(nullptr);
}

namespace blocking_standin {

// Every verification waits until `release` is set.
HANDLE release = nullptr;
volatile LONG started = 0;
volatile LONG cancelled = 0;

LONG WINAPI VerifyTrust(HWND, GUID*, LPVOID request)
{
    if (static_cast<WINTRUST_DATA*>(request)->dwStateAction == WTD_STATEACTION_CLOSE) return ERROR_SUCCESS;
    InterlockedIncrement(&started);
    WaitForSingleObject(release, 10000);
    return TRUST_E_NOSIGNATURE;
}
bool Cancelled() { return cancelled != 0; }
const TrustFunctions kFunctions = {VerifyTrust, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr,     nullptr, nullptr, nullptr, nullptr};

}  // namespace blocking_standin

// After a cancel the pool starts no further file, a page stops waiting for
// one under way, and the pool ends as soon as those under way are done.
TEST_F(FileEntryTest, CancelledSignaturePoolStartsNothingMoreAndEndsPromptly)
{
    using namespace blocking_standin;
    std::vector<std::wstring> files;
    for (int i = 0; i < 8; ++i) {
        const std::string path = scratch_.Join("queued" + std::to_string(i) + ".dll");
        ASSERT_TRUE(WriteFileBytes(path, "MZ"));
        files.emplace_back(path.begin(), path.end());
    }
    ScopedKernelHandle releaseEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    release = releaseEvent.Get();
    started = 0;
    cancelled = 0;
    DWORD ending = 0;
    {
        SignaturePool pool(kFunctions, 2, &Cancelled);
        for (const std::wstring& file : files) pool.Submit(file.c_str());
        for (int waited = 0; started < 2 && waited < 10000; waited += 10) Sleep(10);
        ASSERT_EQ(started, 2);
        cancelled = 1;
        ScopedKernelHandle first(CreateFileW(files[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                             nullptr));
        FileSignature signature;
        const DWORD asked = GetTickCount();
        EXPECT_FALSE(pool.Take(files[0].c_str(), first.Get(), &signature));
        EXPECT_LT(GetTickCount() - asked, 1000u);
        SetEvent(release);
        ending = GetTickCount();
    }
    EXPECT_LT(GetTickCount() - ending, 5000u);
    EXPECT_EQ(started, 2);
    release = nullptr;
}
