// The drives and environment pages: the drive table of a live run against the
// test's own queries (PlantedDrivesTest runs in the prefix that
// check_planted_drives.sh plants drives in), file system flag texts, disk
// space from cluster counts, the storage details of crafted descriptors,
// inquiry data and hardware ids, and the environment page.
#include "app/app_state.h"
#include "platform/bounded_text.h"
#include "system/windows_stuff.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

using system_tests::ReadPage;

const char kPageFoot[] = "\n</font></tt>\n</body>\n</html>\n";
// Other programs write and delete files while the page is made, so free
// bytes move between two queries; a wrong computation is off by multiples
// of 4 GiB or by orders of magnitude.
constexpr ULONGLONG kFreeSpaceSlack = 1ULL << 30;

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string Html(const std::string& text)
{
    std::string html;
    for (char c : text) {
        html += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : std::string(1, c);
    }
    return html;
}

// A row of the drive table (all its cells are header cells).
std::string Row(const std::vector<std::string>& cells)
{
    std::string row = "<TR>\n<TH>";
    for (size_t i = 0; i < cells.size(); ++i) row += (i == 0 ? "" : "</TH>\n<TH>") + cells[i];
    return row + "</TH></TR>\n";
}

std::string DashRow(char letter, const std::string& type)
{
    return Row({std::string(1, letter) + ":", type, "-", "-", "-", "-", "-"});
}

std::string Grouped(ULONGLONG value)
{
    char text[40];
    CWindowsStuff::FormatGroupedNumber(text, sizeof text, 0, value);
    return text;
}

bool Within(ULONGLONG value, ULONGLONG a, ULONGLONG b)
{
    return value + kFreeSpaceSlack >= std::min(a, b) && value <= std::max(a, b) + kFreeSpaceSlack;
}

std::string Root(char letter) { return std::string(1, letter) + ":\\"; }

ULONGLONG FreeBytes(char letter, ULONGLONG* total = nullptr, bool allClusters = false)
{
    ULARGE_INTEGER callerFree = {}, totalBytes = {}, totalFree = {};
    EXPECT_TRUE(GetDiskFreeSpaceExA(Root(letter).c_str(), &callerFree, &totalBytes, &totalFree)) << letter;
    if (total != nullptr) *total = totalBytes.QuadPart;
    return allClusters ? totalFree.QuadPart : callerFree.QuadPart;
}

class DrivesPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        ASSERT_TRUE(CopyText(OutputRoot, root_.c_str()));
        NaviFontSize = -1;
        CancelRequested = 0;
        windows_.SetSwitches(0, 1, 1, 1, 1, 1, 1);
    }
    void TearDown() override
    {
        OutputRoot[0] = '\0';
        CancelRequested = 0;
    }

    // Runs the drives page and compares its table and what follows it: fixed
    // disks from C: on as the test's own queries see them, every other drive
    // as `otherRows` gives it; `unreadable` is the text after the legend.
    void CheckDrivePage(const std::map<char, std::string>& otherRows, const std::string& unreadable)
    {
        struct Disk {
            char label[MAX_PATH] = "", fileSystem[64] = "";
            DWORD maxLength = 0, flags = 0;
            ULONGLONG total = 0, freeBefore = 0;
        };
        std::map<char, Disk> disks;
        for (char letter = 'C'; letter <= 'Z'; ++letter) {
            const bool used = GetLogicalDrives() & (1UL << (letter - 'A'));
            if (!used || GetDriveTypeA(Root(letter).c_str()) != DRIVE_FIXED) continue;
            Disk& disk = disks[letter];
            ASSERT_TRUE(GetVolumeInformationA(Root(letter).c_str(), disk.label, MAX_PATH, nullptr, &disk.maxLength,
                                              &disk.flags, disk.fileSystem, sizeof disk.fileSystem));
            disk.freeBefore = FreeBytes(letter, &disk.total);
        }
        windows_.CollectDrives(root_.c_str(), "DriveInfo.html");
        page_ = ReadPage(root_ + "\\DriveInfo.html");

        const std::string tableStart = "<h2>Drive Informations</h2>\n<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=5>\n";
        const size_t start = page_.find(tableStart);
        const size_t end = page_.find("</TABLE>\n<BR>PC: Preserve upper-/lower case\n");
        ASSERT_TRUE(start != std::string::npos && end != std::string::npos) << page_;
        const std::string table = page_.substr(start + tableStart.size(), end - start - tableStart.size());

        std::string expected =
            Row({"Dv", "Drive Type", "File System", "Properties", "Volume Name", "Size (Byte)", "Free (Byte)"});
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            if (otherRows.count(letter)) expected += otherRows.at(letter);
            if (!disks.count(letter)) continue;
            const Disk& disk = disks[letter];
            char flags[32];
            CWindowsStuff::FormatFileSystemFlags(disk.flags, flags, sizeof flags);
            // The page's free bytes stand when they lie between the test's queries before and after.
            std::string free = Grouped(disk.freeBefore);
            std::smatch shown;
            const std::regex cell(std::string("<TH>") + letter + ":</TH>\n(?:<TH>[^\n]*</TH>\n){5}<TH>([0-9.]+)</TH>");
            if (std::regex_search(table, shown, cell)) {
                std::string digits = shown[1].str();
                digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
                if (Within(std::stoull(digits), disk.freeBefore, FreeBytes(letter))) free = shown[1].str();
            }
            expected += Row({std::string(1, letter) + ":", "Hard Disk Drive",
                             Html(disk.fileSystem) + " (" + std::to_string(disk.maxLength) + ")", flags,
                             disk.label[0] ? Html(disk.label) : "-", Grouped(disk.total), free});
        }
        EXPECT_EQ(expected, table);
        // Wine reports no disk drive to setupapi.
        EXPECT_TRUE(EndsWith(page_, "VC: Volume is completely compressed\n<BR>\n" + unreadable +
                                        "No more devices.<BR><br>\n" + kPageFoot))
            << page_.substr(end);
    }

    testing_support::ScratchFolder scratch_{"harvin-drives"};
    const std::string root_ = scratch_.Join("SupportData");
    CWindowsStuff windows_;
    std::string page_;
};

TEST_F(DrivesPageTest, LiveRunMatchesTheDrivesOwnAnswers)
{
    CheckDrivePage({}, "");
}

// Planted by check_planted_drives.sh: a floppy A:, an empty CD-ROM D:, a
// labelled fixed E:, a network G: with nothing behind it, a RAM disk R: and
// H:, whose root does not exist.
using PlantedDrivesTest = DrivesPageTest;

TEST_F(PlantedDrivesTest, TypesLabelsAndUnreadableDrives)
{
    ASSERT_EQ(static_cast<UINT>(DRIVE_CDROM), GetDriveTypeA("D:\\")) << "drives not planted";
    CheckDrivePage({{'A', DashRow('A', "Floppy Disk Drive")},
                    {'D', DashRow('D', "CD-ROM Drive")},
                    {'G', DashRow('G', "Network Drive")},
                    {'R', DashRow('R', "RAMDisk")}},
                   "Drive H: Root directory not accessable!");
    EXPECT_NE(std::string::npos, page_.find("<TH>Harvin &amp; &lt;Data&gt; 100%</TH>")) << page_;
}

TEST(FileSystemFlagsTest, SixFlagsInTheirOrderOrADash)
{
    const std::pair<DWORD, const char*> cases[] = {
        {0, "-"},
        {0x8000 | 0x10 | 0x8 | 0x4 | 0x2 | 0x1, "PC, CS, UC, PA, FC, VC"},
        {FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS | FILE_FILE_COMPRESSION,
         "PC, UC, PA, FC"},
        {FILE_NAMED_STREAMS | FILE_SUPPORTS_OBJECT_IDS | FILE_READ_ONLY_VOLUME, "-"},
        {FILE_VOLUME_IS_COMPRESSED | FILE_NAMED_STREAMS, "VC"},
    };
    for (const auto& c : cases) {
        char text[32];
        CWindowsStuff::FormatFileSystemFlags(c.first, text, sizeof text);
        EXPECT_STREQ(c.second, text) << std::hex << c.first;
    }
}

// Without GetDiskFreeSpaceExA the bytes come from cluster counts: all of
// them, not what is left modulo 4 GiB.
TEST(DiskSpaceTest, ClusterCountsGiveTheBytesBeyondFourGiB)
{
    ULONGLONG total = 0;
    const ULONGLONG callerFree = FreeBytes('C', &total), allFree = FreeBytes('C', nullptr, true);
    ASSERT_GT(total, 4ULL << 30) << "C: is too small to tell";
    ULONGLONG newer[2] = {}, clusters[2] = {};
    EXPECT_TRUE(CWindowsStuff::QueryDiskSpace("C:\\", &newer[0], &newer[1]));
    EXPECT_TRUE(CWindowsStuff::QueryDiskSpaceByClusters("C:\\", &clusters[0], &clusters[1]));
    EXPECT_EQ(total, newer[0]);
    EXPECT_EQ(total, clusters[0]);
    EXPECT_TRUE(Within(newer[1], callerFree, FreeBytes('C'))) << newer[1];
    EXPECT_TRUE(Within(clusters[1], allFree, FreeBytes('C', nullptr, true))) << clusters[1];

    EXPECT_FALSE(CWindowsStuff::QueryDiskSpace("Y:\\", &newer[0], &newer[1])) << "Y: is no drive";
    EXPECT_EQ(0u, newer[0] + newer[1]);
}

// ---- storage details ----------------------------------------------------------------

std::string captured;

void CaptureText(Page, int level, const char* text)
{
    EXPECT_EQ(1, level);
    captured += text;
}

const StorageTextSink& Capture()
{
    static const StorageTextSink sink{CaptureText, nullptr};
    captured.clear();
    return sink;
}

std::string Adapter(BYTE busType)
{
    STORAGE_ADAPTER_DESCRIPTOR adapter = {};
    adapter.MaximumTransferLength = 0x10000;
    adapter.MaximumPhysicalPages = 0x11;
    adapter.AlignmentMask = 0x1;
    adapter.BusType = busType;
    CWindowsStuff::WriteAdapterDescriptor(Capture(), reinterpret_cast<BYTE*>(&adapter), sizeof adapter);
    return captured;
}

std::string AdapterText(const std::string& bus)
{
    return "\n<BR><strong>Adapter Properties</strong><BR>\n&nbsp;&nbsp;Bus Type       : " + bus +
           "<BR>\n&nbsp;&nbsp;Max. Tr. Length: 0x10000<BR>\n&nbsp;&nbsp;Max. Phy. Pages: 0x11<BR>\n"
           "&nbsp;&nbsp;Alignment Mask : 0x1<BR>\n";
}

// A device descriptor with vendor, product, revision and serial texts
// behind it, written as if the driver returned `returned` bytes (0: all).
std::string Device(BYTE type, BYTE modifier, bool removable, const std::vector<std::string>& texts,
                   size_t returned = 0, std::vector<DWORD> offsets = {})
{
    STORAGE_DEVICE_DESCRIPTOR device = {};
    device.DeviceType = type;
    device.DeviceTypeModifier = modifier;
    device.RemovableMedia = removable;
    std::vector<BYTE> bytes(sizeof device);
    for (size_t i = 0; i < texts.size(); ++i) {
        if (offsets.size() <= i) offsets.push_back(texts[i].empty() ? 0 : static_cast<DWORD>(bytes.size()));
        bytes.insert(bytes.end(), texts[i].begin(), texts[i].end());
        bytes.push_back(0);
    }
    offsets.resize(4);
    memcpy(&device.VendorIdOffset, offsets.data(), 4 * sizeof(DWORD));
    memcpy(bytes.data(), &device, sizeof device);
    const DWORD size = static_cast<DWORD>(returned != 0 ? returned : bytes.size());
    CWindowsStuff::WriteDeviceDescriptor(Capture(), bytes.data(), size);
    return captured;
}

std::string Inquiry(bool succeeded, UCHAR status, UCHAR peripheral, const std::string& fields, ULONG transferred = 96)
{
    ScsiInquiryRequest request = {};
    request.header.ScsiStatus = status;
    request.header.DataTransferLength = transferred;
    request.data[0] = peripheral;
    memcpy(request.data + 8, fields.data(), std::min(fields.size(), sizeof request.data - 8));
    CWindowsStuff::WriteInquiryData(Capture(), succeeded, ERROR_NOT_SUPPORTED, request);
    return captured;
}

const std::string kDeviceHeading = "\n<BR><strong>Device Properties</strong><BR>\n";
const std::string kInquiryHeading = "\n<BR><strong>Inquiry Data from Pass Through</strong><BR>\n";

// A USB stick, a SATA and an NVMe disk: bus types after RAID are shown by
// number, texts as text, a "%" as itself.
TEST(StorageDetailsTest, UsbSataAndNvmeDevices)
{
    EXPECT_EQ(AdapterText("USB"), Adapter(7));
    EXPECT_EQ(AdapterText("not defined (0x0b)"), Adapter(11));
    EXPECT_EQ(AdapterText("not defined (0x11)"), Adapter(17));
    EXPECT_EQ(AdapterText("not defined (0xff)"), Adapter(0xFF));

    EXPECT_EQ(kDeviceHeading + "&nbsp;&nbsp;Device Type     : Direct Access Device (0x0)<BR>\n"
                               "&nbsp;&nbsp;Removable Media : Yes<BR>\n"
                               "&nbsp;&nbsp;Vendor ID       : Generic<BR>\n"
                               "&nbsp;&nbsp;Product ID      : Flash &amp; &lt;Disk&gt;<BR>\n"
                               "&nbsp;&nbsp;Product Revision: 8.07<BR>\n"
                               "&nbsp;&nbsp;Serial Number   : 0123%s%n<BR>\n",
              Device(0, 0, true, {"Generic", "Flash & <Disk>", "8.07", "0123%s%n"}));
    EXPECT_EQ(kInquiryHeading + "&nbsp;&nbsp;Device Type: Direct Access Device (0x0)<BR>\n"
                                "&nbsp;&nbsp;Vendor ID  : ATA     <BR>\n"
                                "&nbsp;&nbsp;Product ID : Samsung &amp; 860   <BR>\n"
                                "&nbsp;&nbsp;Product Rev: 4B6Q<BR>\n"
                                "&nbsp;&nbsp;Vendor Str : S3Z1 &lt;NB0K&gt;<BR><BR>\n",
              Inquiry(true, 0, 0x00, std::string("ATA     ") + "Samsung & 860   " + "4B6Q" + "S3Z1 <NB0K>"));
    EXPECT_EQ(kInquiryHeading + "&nbsp;&nbsp;Device Type: Unknown Device (0x1F)<BR>\n"
                                "&nbsp;&nbsp;Vendor ID  : NVMe    <BR>\n"
                                "&nbsp;&nbsp;Product ID : Disk 1          <BR>\n"
                                "&nbsp;&nbsp;Product Rev: 1.4 <BR>\n"
                                "&nbsp;&nbsp;Vendor Str : <BR><BR>\n",
              Inquiry(true, 0, 0xFF, std::string("NVMe    ") + "Disk 1          " + "1.4 " + "stale bytes", 36));
    EXPECT_EQ(kInquiryHeading, Inquiry(true, 2, 0x00, "ATA"));  // check condition
    EXPECT_EQ(kInquiryHeading + "Error: 50 ", Inquiry(false, 0, 0x00, ""));
}

// Offsets come from the driver: one past the returned bytes, one far beyond,
// one at an empty text; a text running into the end of the bytes stops there.
TEST(StorageDetailsTest, DescriptorOffsetsPastTheEnd)
{
    const std::string lines = kDeviceHeading + "&nbsp;&nbsp;Device Type     : Unknown Device (0x20)<BR>\n"
                                               "&nbsp;&nbsp;Device Modifier : 0x80<BR>\n"
                                               "&nbsp;&nbsp;Removable Media : No<BR>\n";
    const DWORD revision = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    const std::vector<std::string> texts = {"NVMe 1.4"};
    EXPECT_EQ(lines + "&nbsp;&nbsp;Product Revision: NVMe 1.4<BR>\n",
              Device(0x20, 0x80, false, texts, 0, {revision + 9, 0xFFFFFFF0, revision, revision + 8}));
    EXPECT_EQ(lines + "&nbsp;&nbsp;Product Revision: NVMe<BR>\n",
              Device(0x20, 0x80, false, texts, revision + 4, {revision + 4, 0, revision, 0}));
    EXPECT_EQ(lines, Device(0x20, 0x80, false, texts, offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset),
                            {revision, revision, revision, revision}));
}

// setupapi's answers for crafted devices: hardware id lists (empty: none).
std::vector<std::string> hardwareIds;

BOOL WINAPI FakeEnumDeviceInfo(HDEVINFO, DWORD index, PSP_DEVINFO_DATA device)
{
    SetLastError(ERROR_NO_MORE_ITEMS);
    device->DevInst = index;
    return index < hardwareIds.size() && device->cbSize == sizeof *device;
}

BOOL WINAPI FakeGetDeviceRegistryProperty(HDEVINFO, PSP_DEVINFO_DATA device, DWORD property, PDWORD, PBYTE buffer,
                                          DWORD size, PDWORD required)
{
    const std::string& ids = hardwareIds[device->DevInst];
    SetLastError(property != SPDRP_HARDWAREID || ids.empty() ? ERROR_INVALID_DATA : ERROR_INSUFFICIENT_BUFFER);
    if (required != nullptr) *required = static_cast<DWORD>(ids.size());
    if (ids.empty() || buffer == nullptr || size < ids.size()) return FALSE;
    memcpy(buffer, ids.data(), ids.size());
    return TRUE;
}

// A "%" is a character of the id, markup is text, a long id is cut with its
// line kept whole, a device without ids is passed over, the list ends.
TEST(StorageDetailsTest, HardwareIdsAsText)
{
    const char stickIds[] = "USBSTOR\\Disk&Ven_Generic&Prod_100%s_<Flash>\0USBSTOR\\Disk\0";
    hardwareIds = {std::string(stickIds, sizeof stickIds), "", std::string(400, 'A')};  // the last unterminated
    SetupApiFunctions setup = {};
    setup.enumDeviceInfo = FakeEnumDeviceInfo;
    setup.getDeviceRegistryProperty = FakeGetDeviceRegistryProperty;
    const std::string label = "\n\n<BR><BR><strong>Device ID:</strong> ";
    const std::string expected[] = {
        "<BR><strong>Properties for Device 1</strong>\n" + label +
            "USBSTOR\\Disk&amp;Ven_Generic&amp;Prod_100%s_&lt;Flash&gt;<BR>\n",
        "<BR><strong>Properties for Device 2</strong>\n",
        "<BR><strong>Properties for Device 3</strong>\n" + label + std::string(299 - label.size() - 5, 'A') + "<BR>\n",
        "No more devices.<BR><br>\n",
    };
    for (DWORD index = 0; index < 4; ++index) {
        EXPECT_EQ(index < 3, CWindowsStuff::WriteDeviceProperties(setup, Capture(), nullptr, index));
        EXPECT_EQ(expected[index], captured);
    }
}

// A disk that answers as Windows does: SCSI pass-through needs a handle
// opened for writing as well as reading.
DWORD g_openAccess = 0;
std::vector<DWORD> g_controlCodes;

HANDLE WINAPI FakeOpenDevice(LPCSTR, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    g_openAccess = access;
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);  // some handle the caller closes
}

BOOL WINAPI FakeDeviceControl(HANDLE, DWORD code, LPVOID, DWORD, LPVOID output, DWORD, LPDWORD, LPOVERLAPPED)
{
    g_controlCodes.push_back(code);
    auto* request = static_cast<ScsiInquiryRequest*>(output);
    SetLastError(code != IOCTL_SCSI_PASS_THROUGH ? ERROR_NOT_SUPPORTED : ERROR_ACCESS_DENIED);
    if (code != IOCTL_SCSI_PASS_THROUGH || (g_openAccess & GENERIC_WRITE) == 0 || request->header.Cdb[0] != 0x12) {
        return FALSE;
    }
    memcpy(request->data + 8, "ATA     Fake Disk 1     1.00", 28);
    request->header.DataTransferLength = 36;
    return TRUE;
}

TEST(StorageDetailsTest, DeviceIsOpenedForReadingAndWritingThenInquired)
{
    SetupApiFunctions setup = {};
    setup.createFile = FakeOpenDevice;
    setup.deviceIoControl = FakeDeviceControl;
    CWindowsStuff::WriteDevice(setup, Capture(), "\\\\.\\PhysicalDrive0");
    EXPECT_EQ(static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE), g_openAccess);
    EXPECT_EQ((std::vector<DWORD>{IOCTL_STORAGE_QUERY_PROPERTY, IOCTL_SCSI_PASS_THROUGH}), g_controlCodes);
    EXPECT_EQ(kInquiryHeading + "&nbsp;&nbsp;Device Type: Direct Access Device (0x0)<BR>\n"
                                "&nbsp;&nbsp;Vendor ID  : ATA     <BR>\n&nbsp;&nbsp;Product ID : Fake Disk 1     <BR>\n"
                                "&nbsp;&nbsp;Product Rev: 1.00<BR>\n&nbsp;&nbsp;Vendor Str : <BR><BR>\n",
              captured);
}

// ---- environment page ----------------------------------------------------------------

TEST_F(DrivesPageTest, EnvironmentShowsTheFirst150StringsAsText)
{
    const int planted = 200;
    auto name = [](int i) { return "HARVIN_PLANTED_" + std::to_string(1000 + i); };
    ASSERT_TRUE(SetEnvironmentVariableA("HARVIN_MARKUP", "<b>R&D</b> 100%s"));
    for (int i = 0; i < planted; ++i) ASSERT_TRUE(SetEnvironmentVariableA(name(i).c_str(), "planted"));
    windows_.CollectEnvironment(root_.c_str(), "EnvironmentStrings.html");

    std::vector<std::string> strings;
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; *entry != '\0'; entry += strlen(entry) + 1) strings.push_back(entry);
    FreeEnvironmentStringsA(block);
    SetEnvironmentVariableA("HARVIN_MARKUP", nullptr);
    for (int i = 0; i < planted; ++i) SetEnvironmentVariableA(name(i).c_str(), nullptr);
    ASSERT_GT(strings.size(), static_cast<size_t>(planted));

    std::string expected = "<h2>Environment Strings</h2>\n\n<div style=\"margin-left: 40px;\">\n";
    for (size_t i = 0; i < 150; ++i) expected += Html(strings[i]) + "\n<BR><br>\n";
    const std::string page = ReadPage(root_ + "\\EnvironmentStrings.html");
    EXPECT_TRUE(EndsWith(page, expected + "\n</div>\n" + kPageFoot)) << page;
    EXPECT_NE(std::string::npos, page.find("\nHARVIN_MARKUP=&lt;b&gt;R&amp;D&lt;/b&gt; 100%s\n<BR><br>\n"));
    EXPECT_EQ(std::string::npos, page.find(name(planted - 1)));
}

}  // namespace
