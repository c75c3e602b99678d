// The zip writer under Wine. Each archive is left in tests\out\archive with a
// "<name>.json" beside it that lists what a reader must find (names in order,
// dates as readers show them, attributes, method, comment) and the data of
// each entry in "<name>-files\"; check_archives.py reads them with unzip,
// zipinfo and Python's zipfile.
#include "archive/zip_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

std::string OutDir() { return testing_support::TestOutDir() + "\\archive"; }

// Starts every run with an empty output folder, so the host check never reads
// archives of an earlier run.
class OutFolder : public ::testing::Environment {
public:
    void SetUp() override
    {
        testing_support::RemoveTree(OutDir());
        CreateDirectoryA(testing_support::TestOutDir().c_str(), nullptr);
        CreateDirectoryA(OutDir().c_str(), nullptr);
    }
};
::testing::Environment* const g_outFolder = ::testing::AddGlobalTestEnvironment(new OutFolder);

ZipTime Time(unsigned year, unsigned month0, unsigned day, unsigned hour, unsigned minute, unsigned second)
{
    ZipTime t;
    t.tm_year = year;
    t.tm_mon = month0;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// Date and time as a reader shows them: month from 1, seconds even.
struct Shown {
    int year, month, day, hour, minute, second;
};

// DOS date/time word pair straight from the format's bit layout.
uint32_t Dos(unsigned year, unsigned month1, unsigned day, unsigned hour, unsigned minute, unsigned second)
{
    return ((year - 1980) << 9 | month1 << 5 | day) << 16 | (hour << 11 | minute << 5 | second / 2);
}

std::string PseudoRandom(size_t length, uint32_t seed)
{
    std::string bytes(length, '\0');
    uint32_t x = seed;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

std::string JsonText(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// What one archive must hold, written beside it for the host check.
class Expectation {
public:
    explicit Expectation(std::string base) : base_(std::move(base)) {}

    std::string ArchivePath() const { return OutDir() + "\\" + base_ + ".zip"; }

    void Add(const std::string& name, const Shown& shown, int method, const std::string& data)
    {
        entries_.push_back(Entry{name, shown, method, data, 0});
    }

    // An entry of `count` zero bytes, too large to keep here.
    void AddZeros(const std::string& name, const Shown& shown, uint64_t count)
    {
        entries_.push_back(Entry{name, shown, 8, "", count});
    }

    // Entries "<prefix>00000", "<prefix>00001"... (stored, empty) that the
    // check lists itself after the others instead of reading them here.
    void Repeat(const std::string& prefix, unsigned count, const Shown& shown)
    {
        repeatPrefix_ = prefix;
        repeatCount_ = count;
        repeatShown_ = shown;
    }

    // `result`: the name of the code ZipClose returned.
    bool Save(const std::string& comment, const char* result)
    {
        std::string files = OutDir() + "\\" + base_ + "-files";
        CreateDirectoryA(files.c_str(), nullptr);
        std::string json = "{\n  \"archive\": " + JsonText(base_ + ".zip") + ",\n  \"result\": " +
                           JsonText(result) + ",\n  \"comment\": " + JsonText(comment) + ",\n";
        if (repeatCount_) {
            json += "  \"repeat\": {\"prefix\": " + JsonText(repeatPrefix_) +
                    ", \"count\": " + std::to_string(repeatCount_) + ", \"date_time\": " + When(repeatShown_) +
                    ", \"method\": 0},\n";
        }
        json += "  \"entries\": [";
        for (size_t i = 0; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            std::string dataName = std::to_string(i) + ".bin";
            if (!WriteFileBytes(files + "\\" + dataName, e.data)) return false;
            bool folder = !e.name.empty() && e.name.back() == '/';
            json += std::string(i ? ",\n" : "\n") + "    {\"name\": " + JsonText(e.name) +
                    ", \"date_time\": " + When(e.shown) + ", \"method\": " + std::to_string(e.method) +
                    ", \"internal\": " + (folder ? "16" : "0") + ", \"external\": " + (folder ? "16" : "0") +
                    (e.zeros ? ", \"zeros\": " + std::to_string(e.zeros)
                             : ", \"data\": " + JsonText(base_ + "-files/" + dataName)) + "}";
        }
        json += "\n  ]\n}\n";
        return WriteFileBytes(OutDir() + "\\" + base_ + ".json", json);
    }

private:
    static std::string When(const Shown& shown)
    {
        char text[64];
        snprintf(text, sizeof text, "[%d, %d, %d, %d, %d, %d]", shown.year, shown.month, shown.day, shown.hour,
                 shown.minute, shown.second);
        return text;
    }

    struct Entry {
        std::string name;
        Shown shown;
        int method;
        std::string data;
        uint64_t zeros;
    };
    std::string base_;
    std::vector<Entry> entries_;
    std::string repeatPrefix_;
    unsigned repeatCount_ = 0;
    Shown repeatShown_{};
};

ZipEntryInfo InfoFor(const std::string& name, const ZipTime& time)
{
    bool folder = !name.empty() && name.back() == '/';
    ZipEntryInfo info{};
    info.tmz_date = time;
    info.dosDate = 0;
    info.internal_fa = folder ? 16 : 0;
    info.external_fa = folder ? 16 : 0;
    return info;
}

// Adds one entry the way the program does (open, blocks, close) and notes it
// in the expectation. `blocks` are the write sizes used in turn. With
// compressor threads a failure may be reported by a later call.
int AddEntry(ZipFile zip, Expectation* expect, const std::string& name, const ZipTime& time,
             const Shown& shown, const std::string& data, const std::vector<size_t>& blocks = {8192},
             int method = 8, bool announce = false)
{
    ZipEntryInfo info = InfoFor(name, time);
    int rc = ZipOpenNewFileInZip(zip, name.c_str(), &info, method, 9, announce ? data.size() : 0);
    if (rc != ZIP_OK) return rc;
    size_t done = 0;
    for (size_t turn = 0; done < data.size(); ++turn) {
        size_t part = blocks[turn % blocks.size()];
        if (part > data.size() - done) part = data.size() - done;
        rc = ZipWriteInFileInZip(zip, data.data() + done, static_cast<unsigned>(part));
        if (rc != ZIP_OK) return rc;
        done += part;
    }
    rc = ZipCloseFileInZip(zip);
    if (rc == ZIP_OK && expect) expect->Add(name, shown, method, data);
    return rc;
}

struct SizeLimit {
    explicit SizeLimit(uint64_t largest) { ZipSetSizeLimitForTesting(largest); }
    ~SizeLimit() { ZipSetSizeLimitForTesting(0); }
};

// Past the classic fields of a lowered limit: an announced entry (Zip64
// sizes, its header patched on disk), then offsets and a directory in Zip64
// records. Returns what ZipClose returned.
int WriteZip64Archive(const std::string& base)
{
    SizeLimit limit(100000);
    Expectation expect(base);
    ZipFile zip = ZipOpen(expect.ArchivePath().c_str());
    if (zip == nullptr) return ZIP_PARAMERROR;
    const ZipTime when = Time(2024, 8, 1, 8, 0, 0);
    const Shown shown = {2024, 9, 1, 8, 0, 0};
    AddEntry(zip, &expect, "a.bin", when, shown, PseudoRandom(60000, 1));
    AddEntry(zip, &expect, "b.dmp", when, shown, PseudoRandom(3 * kZipPieceSize, 2), {8192}, 8, true);
    AddEntry(zip, &expect, "c.txt", when, shown, "after");
    int rc = ZipClose(zip, "zip64");
    EXPECT_TRUE(expect.Save("zip64", rc == ZIP_OK ? "ZIP_OK" : "ZIP_ERRNO"));
    return rc;
}

TEST(ZipDosDateTime, PacksFieldsAndClampsOutOfRange)
{
    // 2024-03-15 10:20:30 (month counted from 0).
    EXPECT_EQ(0x586F528Fu, ZipDosDateTime(Time(2024, 2, 15, 10, 20, 30)));
    EXPECT_EQ(0x586F528Fu, ZipDosDateTime(Time(2024, 2, 15, 10, 20, 31)));  // two-second steps
    // Before the DOS epoch: the first DOS time; after its end: the last.
    EXPECT_EQ(0x00210000u, ZipDosDateTime(Time(1970, 5, 15, 12, 0, 0)));
    EXPECT_EQ(Dos(1980, 1, 1, 0, 0, 0), ZipDosDateTime(Time(0, 0, 0, 0, 0, 0)));
    EXPECT_EQ(0xFF9FBF7Du, ZipDosDateTime(Time(2200, 0, 1, 0, 0, 0)));
    EXPECT_EQ(Dos(2107, 12, 31, 23, 59, 58), ZipDosDateTime(Time(2107, 11, 31, 23, 59, 59)));
    // Fields out of range.
    EXPECT_EQ(Dos(2000, 12, 1, 0, 0, 0), ZipDosDateTime(Time(2000, 12, 0, 0, 0, 0)));
    EXPECT_EQ(Dos(2023, 2, 28, 0, 0, 0), ZipDosDateTime(Time(2023, 1, 30, 0, 0, 0)));
    EXPECT_EQ(Dos(2024, 2, 29, 0, 0, 0), ZipDosDateTime(Time(2024, 1, 30, 0, 0, 0)));
    EXPECT_EQ(Dos(2100, 2, 28, 0, 0, 0), ZipDosDateTime(Time(2100, 1, 29, 0, 0, 0)));
    EXPECT_EQ(Dos(2000, 2, 29, 0, 0, 0), ZipDosDateTime(Time(2000, 1, 29, 0, 0, 0)));
    EXPECT_EQ(Dos(2023, 4, 30, 0, 0, 0), ZipDosDateTime(Time(2023, 3, 31, 0, 0, 0)));
    EXPECT_EQ(Dos(2023, 6, 7, 23, 59, 58), ZipDosDateTime(Time(2023, 5, 7, 24, 60, 61)));
    EXPECT_EQ(Dos(2023, 12, 31, 0, 0, 0), ZipDosDateTime(Time(2023, 4000000000u, 99, 0, 0, 0)));
}

// The shape of GATHINFO.ZIP: folder entries before their contents, an empty
// folder, nested folders, files larger than the buffer, an empty file, the
// run log last and the archive comment.
TEST(ZipWriter, WritesReportLikeArchive)
{
    Expectation expect("report");
    ZipFile zip = ZipOpen(expect.ArchivePath().c_str());
    ASSERT_NE(nullptr, zip);

    std::string netstat;
    for (int i = 0; netstat.size() < 100 * 1024; ++i) {
        netstat += "  TCP    192.168.0." + std::to_string(i % 250) + ":" + std::to_string(49152 + i) +
                   "     93.184.216.34:443      ESTABLISHED\r\n";
    }
    std::string dump = PseudoRandom(300 * 1024 + 123, 0x2545F491u);
    std::string log = "Report of Harvin:\n\nCollecting system information\nDrives\nProcesses and modules\n";
    // Irregular write sizes cross the 8,192-byte buffer in every way.
    std::vector<size_t> ragged = {1, 7, 8191, 8192, 8193, 30000, 65536, 3};

    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "BATFiles/", Time(2024, 6, 1, 9, 5, 0), {2024, 7, 1, 9, 5, 0}, ""));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "BATFiles/autoexec.bat", Time(2023, 10, 30, 23, 59, 58),
                               {2023, 11, 30, 23, 59, 58}, "@echo off\r\nset PATH=C:\\Tools;%PATH%\r\n"));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "Dumps/", Time(2024, 6, 1, 9, 5, 2), {2024, 7, 1, 9, 5, 2}, ""));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "INDEX.html", Time(2024, 2, 15, 10, 20, 31), {2024, 3, 15, 10, 20, 30},
                               "<HTML><FRAMESET COLS=\"250,*\"></FRAMESET></HTML>\n"));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "LOGs/", Time(2024, 6, 1, 9, 5, 4), {2024, 7, 1, 9, 5, 4}, ""));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "LOGs/netstat.txt", Time(2024, 0, 31, 0, 0, 0),
                               {2024, 1, 31, 0, 0, 0}, netstat));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "LOGs/empty.log", Time(2024, 1, 29, 12, 0, 0), {2024, 2, 29, 12, 0, 0},
                               ""));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "Wardex/", Time(2024, 6, 1, 9, 5, 6), {2024, 7, 1, 9, 5, 6}, ""));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "Wardex/Endpoint/", Time(2024, 6, 1, 9, 5, 6), {2024, 7, 1, 9, 5, 6},
                               ""));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "Wardex/Endpoint/crash.dmp", Time(2024, 11, 31, 18, 30, 12),
                               {2024, 12, 31, 18, 30, 12}, dump, ragged));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "HVREPORT.LOG", Time(2024, 6, 1, 9, 6, 0), {2024, 7, 1, 9, 6, 0}, log));
    EXPECT_EQ(ZIP_OK, ZipClose(zip, "Norvane Support Information File"));
    EXPECT_TRUE(expect.Save("Norvane Support Information File", "ZIP_OK"));
}

// Time records as readers show them, stored entries beside deflated ones,
// and a DOS date given directly.
TEST(ZipWriter, TimeRecordsAndMethodsAsReadersSeeThem)
{
    Expectation expect("mixed");
    ZipFile zip = ZipOpen(expect.ArchivePath().c_str());
    ASSERT_NE(nullptr, zip);
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "before-1980.txt", Time(1970, 5, 15, 12, 0, 0), {1980, 1, 1, 0, 0, 0},
                               "old"));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "month-12.txt", Time(2021, 12, 0, 25, 61, 70), {2021, 12, 1, 23, 59, 58},
                               "clamped"));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "april-31.txt", Time(2022, 3, 31, 8, 0, 1), {2022, 4, 30, 8, 0, 0},
                               "april"));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "stored/", Time(2022, 8, 9, 10, 11, 12), {2022, 9, 9, 10, 11, 12}, "",
                               {8192}, 0));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "stored/noise.bin", Time(2022, 8, 9, 10, 11, 12),
                               {2022, 9, 9, 10, 11, 12}, PseudoRandom(20000, 7), {5000, 8192}, 0));
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "stored/empty.txt", Time(2022, 8, 9, 10, 11, 12),
                               {2022, 9, 9, 10, 11, 12}, "", {8192}, 0));

    ZipEntryInfo info = InfoFor("dosdate.txt", Time(2000, 0, 1, 0, 0, 0));
    info.dosDate = Dos(2019, 7, 4, 16, 45, 22);
    ASSERT_EQ(ZIP_OK, ZipOpenNewFileInZip(zip, "dosdate.txt", &info, 8, 9));
    EXPECT_EQ(ZIP_OK, ZipWriteInFileInZip(zip, "given", 5));
    EXPECT_EQ(ZIP_OK, ZipCloseFileInZip(zip));
    expect.Add("dosdate.txt", {2019, 7, 4, 16, 45, 22}, 8, "given");

    EXPECT_EQ(ZIP_OK, ZipClose(zip, nullptr));
    EXPECT_TRUE(expect.Save("", "ZIP_OK"));
}

TEST(ZipWriter, RefusesCallsOutOfOrderAndBadArguments)
{
    EXPECT_EQ(nullptr, ZipOpen(nullptr));
    EXPECT_EQ(nullptr, ZipOpen(""));
    EXPECT_EQ(nullptr, ZipOpen((OutDir() + "\\no-such-folder\\x.zip").c_str()));
    EXPECT_EQ(ZIP_PARAMERROR, ZipClose(nullptr, "comment"));
    EXPECT_EQ(ZIP_PARAMERROR, ZipWriteInFileInZip(nullptr, "x", 1));
    EXPECT_EQ(ZIP_PARAMERROR, ZipCloseFileInZip(nullptr));

    Expectation expect("order");
    ZipFile zip = ZipOpen(expect.ArchivePath().c_str());
    ASSERT_NE(nullptr, zip);
    ZipEntryInfo info = InfoFor("a.txt", Time(2024, 4, 5, 6, 7, 8));
    const Shown shown = {2024, 5, 5, 6, 7, 8};

    EXPECT_EQ(ZIP_PARAMERROR, ZipWriteInFileInZip(zip, "x", 1));
    EXPECT_EQ(ZIP_PARAMERROR, ZipCloseFileInZip(zip));
    EXPECT_EQ(ZIP_PARAMERROR, ZipOpenNewFileInZip(nullptr, "a.txt", &info, 8, 9));
    EXPECT_EQ(ZIP_PARAMERROR, ZipOpenNewFileInZip(zip, nullptr, &info, 8, 9));
    EXPECT_EQ(ZIP_PARAMERROR, ZipOpenNewFileInZip(zip, "", &info, 8, 9));
    EXPECT_EQ(ZIP_PARAMERROR, ZipOpenNewFileInZip(zip, "a.txt", nullptr, 8, 9));
    EXPECT_EQ(ZIP_PARAMERROR, ZipOpenNewFileInZip(zip, "a.txt", &info, 12, 9));
    EXPECT_EQ(ZIP_PARAMERROR, ZipOpenNewFileInZip(zip, "a.txt", &info, 8, 10));
    EXPECT_EQ(ZIP_PARAMERROR, ZipOpenNewFileInZip(zip, "a.txt", &info, 8, -2));
    ZipEntryInfo wide = info;
    wide.internal_fa = 0x10000;
    EXPECT_EQ(ZIP_PARAMERROR, ZipOpenNewFileInZip(zip, "a.txt", &wide, 8, 9));

    // Refused calls leave the archive usable.
    ASSERT_EQ(ZIP_OK, ZipOpenNewFileInZip(zip, "first.txt", &info, 8, 9));
    EXPECT_EQ(ZIP_PARAMERROR, ZipWriteInFileInZip(zip, nullptr, 5));
    EXPECT_EQ(ZIP_OK, ZipWriteInFileInZip(zip, nullptr, 0));
    EXPECT_EQ(ZIP_OK, ZipWriteInFileInZip(zip, "one", 3));
    // Opening the next entry closes the open one first.
    ASSERT_EQ(ZIP_OK, ZipOpenNewFileInZip(zip, "second.txt", &info, 8, 9));
    EXPECT_EQ(ZIP_OK, ZipWriteInFileInZip(zip, "two", 3));
    EXPECT_EQ(ZIP_OK, ZipCloseFileInZip(zip));
    EXPECT_EQ(ZIP_PARAMERROR, ZipCloseFileInZip(zip));
    EXPECT_EQ(ZIP_PARAMERROR, ZipWriteInFileInZip(zip, "x", 1));

    ZipEntryInfo folder = InfoFor("folder/", Time(2024, 4, 5, 6, 7, 8));
    ASSERT_EQ(ZIP_OK, ZipOpenNewFileInZip(zip, "folder/", &folder, 8, 9));
    EXPECT_EQ(ZIP_PARAMERROR, ZipWriteInFileInZip(zip, "x", 1));
    EXPECT_EQ(ZIP_OK, ZipWriteInFileInZip(zip, "", 0));
    EXPECT_EQ(ZIP_OK, ZipCloseFileInZip(zip));

    // ZipClose closes an entry still open.
    ASSERT_EQ(ZIP_OK, ZipOpenNewFileInZip(zip, "third.txt", &info, 8, 9));
    EXPECT_EQ(ZIP_OK, ZipWriteInFileInZip(zip, "three", 5));
    EXPECT_EQ(ZIP_OK, ZipClose(zip, "order"));

    expect.Add("first.txt", shown, 8, "one");
    expect.Add("second.txt", shown, 8, "two");
    expect.Add("folder/", shown, 8, "");
    expect.Add("third.txt", shown, 8, "three");
    EXPECT_TRUE(expect.Save("order", "ZIP_OK"));

    // A comment too long for its 16-bit length: the directory is written
    // without it and the caller told.
    Expectation uncommented("long-comment");
    zip = ZipOpen(uncommented.ArchivePath().c_str());
    ASSERT_NE(nullptr, zip);
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &uncommented, "a.txt", Time(2024, 4, 5, 6, 7, 8), shown, "a"));
    EXPECT_EQ(ZIP_PARAMERROR, ZipClose(zip, std::string(70000, 'c').c_str()));
    EXPECT_TRUE(uncommented.Save("", "ZIP_PARAMERROR"));
}

TEST(ZipWriter, ReplacesAnExistingFile)
{
    Expectation expect("replaced");
    std::string path = expect.ArchivePath();
    ASSERT_TRUE(WriteFileBytes(path, PseudoRandom(100000, 99)));

    ZipFile zip = ZipOpen(path.c_str());
    ASSERT_NE(nullptr, zip);
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "new.txt", Time(2024, 0, 1, 0, 0, 0), {2024, 1, 1, 0, 0, 0}, "fresh",
                               {8192}, 0));
    EXPECT_EQ(ZIP_OK, ZipClose(zip, nullptr));

    // Local header + name + data, central record + name, end record.
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, &bytes));
    EXPECT_EQ(30u + 7 + 5 + 46 + 7 + 22, bytes.size());
    EXPECT_EQ(std::string("PK\x03\x04", 4), bytes.substr(0, 4));
    EXPECT_TRUE(expect.Save("", "ZIP_OK"));
}

// An entry not announced as large that passes the classic fields fails, later
// calls keep failing, and the entries completed before remain a readable
// archive.
TEST(ZipWriter, RefusesWhatWouldPassTheLimits)
{
    SizeLimit limit(100000);
    const Shown shown = {2024, 9, 1, 8, 0, 0};
    const ZipTime when = Time(2024, 8, 1, 8, 0, 0);

    {
        SCOPED_TRACE("data of one entry too large");
        Expectation expect("toobig-data");
        ZipFile zip = ZipOpen(expect.ArchivePath().c_str());
        ASSERT_NE(nullptr, zip);
        EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "kept.txt", when, shown, "kept"));
        ZipEntryInfo info = InfoFor("big.bin", when);
        std::string noise = PseudoRandom(60000, 5);
        ASSERT_EQ(ZIP_OK, ZipOpenNewFileInZip(zip, "big.bin", &info, 8, 9));
        EXPECT_EQ(ZIP_OK, ZipWriteInFileInZip(zip, noise.data(), 60000));
        EXPECT_EQ(ZIP_TOOBIG, ZipWriteInFileInZip(zip, noise.data(), 60000));
        EXPECT_EQ(ZIP_TOOBIG, ZipWriteInFileInZip(zip, "x", 1));
        EXPECT_EQ(ZIP_TOOBIG, ZipCloseFileInZip(zip));
        EXPECT_EQ(ZIP_TOOBIG, ZipOpenNewFileInZip(zip, "after.txt", &info, 8, 9));
        EXPECT_EQ(ZIP_PARAMERROR, ZipCloseFileInZip(zip));
        EXPECT_EQ(ZIP_TOOBIG, ZipClose(zip, "partial"));
        EXPECT_TRUE(expect.Save("partial", "ZIP_TOOBIG"));
    }
    {
        SCOPED_TRACE("deflated data grows past the limit although the plain data fits");
        Expectation expect("toobig-packed");
        ZipFile zip = ZipOpen(expect.ArchivePath().c_str());
        ASSERT_NE(nullptr, zip);
        EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "kept.txt", when, shown, "kept"));
        ZipEntryInfo info = InfoFor("noise.bin", when);
        std::string noise = PseudoRandom(100000, 6);  // random data grows a little when deflated
        ASSERT_EQ(ZIP_OK, ZipOpenNewFileInZip(zip, "noise.bin", &info, 8, 9));
        int rc = ZipWriteInFileInZip(zip, noise.data(), static_cast<unsigned>(noise.size()));
        if (rc == ZIP_OK) rc = ZipCloseFileInZip(zip);
        EXPECT_EQ(ZIP_TOOBIG, rc);
        EXPECT_EQ(ZIP_TOOBIG, ZipClose(zip, nullptr));
        EXPECT_TRUE(expect.Save("", "ZIP_TOOBIG"));
    }
    {
        SCOPED_TRACE("central directory past the limit");
        SizeLimit small(1000);
        Expectation expect("zip64-directory");
        ZipFile zip = ZipOpen(expect.ArchivePath().c_str());
        ASSERT_NE(nullptr, zip);
        // Stored empty entries named by one letter: 31 bytes each in the
        // data, 47 in the directory, so the 22nd record would pass 1000.
        int rc = ZIP_OK;
        char name[2] = "a";
        for (; name[0] <= 'z' && rc == ZIP_OK; ++name[0]) {
            rc = AddEntry(zip, &expect, name, when, shown, "", {8192}, 0);
        }
        EXPECT_EQ(ZIP_OK, rc);
        EXPECT_EQ(ZIP_OK, ZipClose(zip, nullptr));
        EXPECT_TRUE(expect.Save("", "ZIP_OK"));
    }
}

// Long (about N s with its check): a sparse file above 4 GiB, read and
// announced as the program does, then 70,000 entries.
TEST(ZipWriterLong, EntryAbove4GiBAndMoreThan65535Entries)
{
    const uint64_t size = (uint64_t{1} << 32) + 300007;
    HANDLE file = CreateFileA((OutDir() + "\\sparse.dmp").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    LARGE_INTEGER at{}, start{};
    at.QuadPart = static_cast<LONGLONG>(size);
    ASSERT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    Expectation expect("large");
    ZipFile zip = ZipOpen(expect.ArchivePath().c_str(), ZipCompressorsForThisMachine());
    ASSERT_NE(nullptr, zip);
    ZipEntryInfo info = InfoFor("e", Time(2024, 0, 2, 3, 4, 6));
    ASSERT_EQ(ZIP_OK, ZipOpenNewFileInZip(zip, "memory.dmp", &info, 8, 9, size));
    std::string buffer(1 << 20, '\0');
    uint64_t done = 0;
    for (DWORD got = 0; ReadFile(file, &buffer[0], 1 << 20, &got, nullptr) && got; done += got) {
        ASSERT_EQ(ZIP_OK, ZipWriteInFileInZip(zip, buffer.data(), got));
    }
    CloseHandle(file);
    EXPECT_EQ(size, done);
    expect.AddZeros("memory.dmp", {2024, 1, 2, 3, 4, 6}, size);
    char name[16];
    int rc = ZIP_OK;
    unsigned added = 0;
    for (; added < 70000; ++added) {
        snprintf(name, sizeof name, "e%05u", added);
        rc = ZipOpenNewFileInZip(zip, name, &info, 0, 0);
        if (rc != ZIP_OK) break;
    }
    EXPECT_EQ(ZIP_OK, rc);
    EXPECT_EQ(ZIP_OK, ZipClose(zip, nullptr));
    expect.Repeat("e", added, {2024, 1, 2, 3, 4, 6});
    EXPECT_TRUE(expect.Save("", "ZIP_OK"));
}

// WriteFile, but the write numbered g_failAt writes half its bytes and fails.
unsigned g_writes = 0, g_failAt = 0;
int ShortWrite(void* file, const void* data, unsigned long length, unsigned long* written)
{
    const bool fail = ++g_writes == g_failAt;
    return WriteFile(file, data, fail ? length / 2 : length, written, nullptr) && !fail;
}

// Whichever write fails that way, the archive holds the entries whose calls
// succeeded and stays readable.
TEST(ZipWriter, ShortWriteAnywhereLeavesAReadableArchive)
{
    g_writes = g_failAt = 0;
    ZipSetFileWriteForTesting(&ShortWrite);
    ASSERT_EQ(ZIP_OK, WriteZip64Archive("zip64"));
    for (unsigned n = 1, writes = g_writes; n <= writes; ++n) {
        g_writes = 0;
        g_failAt = n;
        EXPECT_EQ(ZIP_ERRNO, WriteZip64Archive("short-write-" + std::to_string(n)));
    }
    ZipSetFileWriteForTesting(nullptr);
}

// Text that deflates well but not to nothing, as logs and pages do.
std::string LogLines(size_t length, unsigned seed)
{
    std::string text;
    for (unsigned i = 0; text.size() < length; ++i) {
        text += "2024-07-01 09:05:" + std::to_string((i * 7 + seed) % 60) + " service " +
                std::to_string((i * 2654435761u + seed) % 9973) + " state " + (i % 3 ? "RUNNING" : "STOPPED") + "\r\n";
    }
    text.resize(length);
    return text;
}

// A report tree with folders, empty files, files of exactly one and two
// pieces, files above the piece size (text, noise, stored) and enough small
// files to go round the writer's slots many times. Written with `compressors`
// threads; returns the archive's bytes.
std::string WriteTreeArchive(const std::string& base, unsigned compressors, Expectation* expect)
{
    const std::string path = OutDir() + "\\" + base + ".zip";
    ZipFile zip = ZipOpen(path.c_str(), compressors);
    EXPECT_NE(nullptr, zip);
    if (zip == nullptr) return "";
    const ZipTime when = Time(2024, 6, 1, 9, 5, 0);
    const Shown shown = {2024, 7, 1, 9, 5, 0};
    const std::vector<size_t> ragged = {1, 8191, 8192, 100000, 3, kZipPieceSize + 1};
    struct File {
        std::string name;
        std::string data;
        int method;
    } files[] = {
        {"Dumps/", "", 8},
        {"Dumps/empty.dmp", "", 8},
        {"Dumps/crash.dmp", PseudoRandom(2 * kZipPieceSize + 777, 11), 8},
        {"LOGs/", "", 8},
        {"LOGs/one-piece.log", LogLines(kZipPieceSize, 1), 8},
        {"LOGs/two-pieces.log", LogLines(2 * kZipPieceSize, 2), 8},
        {"LOGs/service.log", LogLines(3 * kZipPieceSize + 12345, 3), 8},
        {"LOGs/stored.bin", PseudoRandom(kZipPieceSize + 99, 12), 0},
        {"LOGs/empty.txt", "", 8},
        {"Wardex/", "", 8},
    };
    for (const File& file : files) {
        EXPECT_EQ(ZIP_OK, AddEntry(zip, expect, file.name, when, shown, file.data, ragged, file.method)) << file.name;
    }
    for (int i = 0; i < 120; ++i) {
        std::string name = "SYSInfo/page" + std::to_string(i) + ".html";
        EXPECT_EQ(ZIP_OK, AddEntry(zip, expect, name, when, shown, LogLines(100 + 397 * i, i))) << name;
    }
    EXPECT_EQ(ZIP_OK, AddEntry(zip, expect, "HVREPORT.LOG", when, shown, "Report of Harvin:\n\n"));
    EXPECT_EQ(ZIP_OK, ZipClose(zip, "Norvane Support Information File"));
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, &bytes));
    return bytes;
}

// Threads change when pieces are deflated, never what is written.
TEST(ZipWriter, ParallelArchiveIsByteIdenticalToTheSingleThreadedOne)
{
    Expectation expect("pieces");
    const std::string single = WriteTreeArchive("pieces-single", 0, nullptr);
    const std::string parallel = WriteTreeArchive("pieces", 4, &expect);
    ASSERT_FALSE(single.empty());
    EXPECT_EQ(single.size(), parallel.size());
    EXPECT_TRUE(single == parallel) << "the archives differ";
    EXPECT_EQ(parallel, WriteTreeArchive("pieces-one-thread", 1, nullptr));
    EXPECT_TRUE(expect.Save("Norvane Support Information File", "ZIP_OK"));
}

// With threads, an entry that passes the limits only when deflated fails
// after its close has returned: ZipFlush and ZipClose report it, and neither
// it nor an entry handed over after it is in the archive.
TEST(ZipWriter, FailureFoundByACompressorIsReportedAndDropsWhatFollows)
{
    SizeLimit limit(100000);
    const Shown shown = {2024, 9, 1, 8, 0, 0};
    const ZipTime when = Time(2024, 8, 1, 8, 0, 0);
    Expectation expect("late-failure");
    ZipFile zip = ZipOpen(expect.ArchivePath().c_str(), 2);
    ASSERT_NE(nullptr, zip);
    EXPECT_EQ(ZIP_OK, AddEntry(zip, &expect, "kept.txt", when, shown, "kept"));
    int rc = AddEntry(zip, nullptr, "noise.bin", when, shown, PseudoRandom(100000, 6));
    EXPECT_TRUE(rc == ZIP_OK || rc == ZIP_TOOBIG) << rc;
    rc = AddEntry(zip, nullptr, "after.txt", when, shown, "after");
    EXPECT_TRUE(rc == ZIP_OK || rc == ZIP_TOOBIG) << rc;
    EXPECT_EQ(ZIP_TOOBIG, ZipFlush(zip));
    EXPECT_EQ(ZIP_TOOBIG, ZipClose(zip, nullptr));
    EXPECT_TRUE(expect.Save("", "ZIP_TOOBIG"));
}

}  // namespace
