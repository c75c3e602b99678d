// The storage devices at the end of the drives page: for every present disk
// drive its hardware id, the adapter and device properties its storage driver
// reports, and the standard inquiry data of a SCSI pass-through request.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/redaction_run.h"
#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"
#include "platform/scoped_handle.h"

#include <winioctl.h>

#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

// {4D36E967-E325-11CE-BFC1-08002BE10318}: the disk drive setup class.
const GUID kDiskDriveClass = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}: the disk device interface class.
const GUID kDiskInterfaceClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

constexpr DWORD kPresent = 0x2;
constexpr DWORD kDeviceInterface = 0x10;
constexpr DWORD kHardwareIdProperty = 1;
constexpr DWORD kStorageQueryProperty = 0x2D1400;
constexpr DWORD kScsiPassThrough = 0x4D004;
constexpr DWORD kDeviceProperty = 0;
constexpr DWORD kAdapterProperty = 1;
constexpr DWORD kStandardQuery = 0;

// Each text is formatted into this many bytes; longer ones are cut.
constexpr size_t kTextSize = 300;
// Every text of the storage details is of this level.
constexpr int kDetailLevel = 1;
constexpr DWORD kDescriptorBufferSize = 512;
// A walk over a changing device list ends after this many devices.
constexpr DWORD kMaxDevices = 1024;
// Larger property or detail sizes are not believed.
constexpr DWORD kMaxPropertySize = 64 * 1024;

constexpr UCHAR kInquiryOperation = 0x12;
constexpr UCHAR kInquiryCommandLength = 6;
constexpr UCHAR kTargetId = 1;
constexpr ULONG kInquiryTimeoutSeconds = 2;
// Fixed-format sense data; the sense buffer has room for more.
constexpr UCHAR kSenseLength = 24;

// Windows takes only the size of its own structure for the caller's
// architecture; the path that follows is not counted.
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 8 ? 8 : 5),
              "the interface detail size field of this architecture");
#ifndef _WIN64
static_assert(sizeof(SCSI_PASS_THROUGH) == 44, "the 32-bit request header is 44 bytes");
static_assert(offsetof(ScsiInquiryRequest, sense) == 48 && offsetof(ScsiInquiryRequest, data) == 80 &&
                  sizeof(ScsiInquiryRequest) == 272,
              "the 32-bit request layout");
#endif

const char* const kBusTypeNames[] = {"UNKNOWN", "SCSI", "ATAPI", "ATA", "IEEE 1394", "SSA", "FIBRE", "USB", "RAID"};

// SCSI peripheral device types; a larger type is shown with the last name.
const char* const kDeviceTypeNames[] = {
    "Direct Access Device", "Tape Device",  "Printer Device", "Processor Device", "WORM Device",
    "CDROM Device",         "Scanner Device", "Optical Disk", "Media Changer",    "Comm. Device",
    "ASCIT8",               "ASCIT8",       "Array Device",   "Enclosure Device", "RBC Device",
    "Unknown Device",
};
constexpr size_t kDeviceTypeCount = sizeof kDeviceTypeNames / sizeof kDeviceTypeNames[0];

void Print(const StorageTextSink& sink, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

void Print(const StorageTextSink& sink, const char* format, ...)
{
    char text[kTextSize];
    va_list args;
    va_start(args, format);
    FormatTextV(text, sizeof text, format, args);
    va_end(args);
    sink.write(sink.page, kDetailLevel, text);
}

// A text exactly as it is (no format).
void PrintText(const StorageTextSink& sink, const char* text) { sink.write(sink.page, kDetailLevel, text); }

// `prefix`, a machine's text as HTML, `suffix`: the value is cut so that the
// whole line, its markup included, stays inside one text.
void PrintValueLine(const StorageTextSink& sink, const char* prefix, const char* value, const char* suffix)
{
    char html[kTextSize];
    const size_t markup = strlen(prefix) + strlen(suffix);
    CopyHtmlText(html, markup < sizeof html ? sizeof html - markup : 1, value);
    char text[kTextSize];
    CopyText(text, prefix);
    AppendText(text, html);
    AppendText(text, suffix);
    PrintText(sink, text);
}

// One character of a device's text, as HTML; a zero byte writes nothing.
void PrintCharacter(const StorageTextSink& sink, char c)
{
    if (c == '\0') return;
    if (const char* entity = HtmlEntityFor(c)) {
        PrintText(sink, entity);
        return;
    }
    const char text[2] = {c, '\0'};
    PrintText(sink, text);
}

// A text field of the standard inquiry data: its first byte and length.
struct InquiryField {
    size_t first;
    size_t count;
};
constexpr InquiryField kVendorField = {8, 8};
constexpr InquiryField kProductField = {16, 16};
constexpr InquiryField kRevisionField = {32, 4};
constexpr InquiryField kVendorSpecificField = {36, 20};

void PrintField(const StorageTextSink& sink, const UCHAR* data, InquiryField field)
{
    for (size_t i = 0; i < field.count; ++i) PrintCharacter(sink, static_cast<char>(data[field.first + i]));
}

// Names for the bus types up to RAID; every later type (SAS, SATA, SD, MMC,
// virtual, NVMe and whatever comes) is shown by its number.
void BusTypeName(unsigned busType, char (&name)[32])
{
    if (busType < sizeof kBusTypeNames / sizeof kBusTypeNames[0]) {
        CopyText(name, kBusTypeNames[busType]);
    } else {
        FormatText(name, "not defined (0x%02x)", busType);
    }
}

const char* DeviceTypeName(unsigned deviceType)
{
    return kDeviceTypeNames[deviceType < kDeviceTypeCount ? deviceType : kDeviceTypeCount - 1];
}

// The fixed part of a descriptor, zero where the driver returned fewer bytes.
template <typename Descriptor>
Descriptor CopyDescriptor(const BYTE* bytes, DWORD size)
{
    Descriptor descriptor;
    memset(&descriptor, 0, sizeof descriptor);
    memcpy(&descriptor, bytes, size < sizeof descriptor ? size : sizeof descriptor);
    return descriptor;
}

// One text of a device descriptor: only when its offset lies inside the
// returned bytes and it is not empty; it ends at its zero byte or at the
// end of those bytes.
void PrintDescriptorText(const StorageTextSink& sink, const char* label, const BYTE* descriptor, DWORD bytes,
                         DWORD offset)
{
    if (offset == 0 || offset >= bytes || descriptor[offset] == 0) return;
    PrintText(sink, label);
    for (DWORD at = offset; at < bytes && descriptor[at] != 0; ++at) {
        PrintCharacter(sink, static_cast<char>(descriptor[at]));
    }
    PrintText(sink, "<BR>\n");
}

// A device list of setupapi, destroyed with the function of the same table.
class DeviceInfoList {
public:
    DeviceInfoList(const SetupApiFunctions& setup, HDEVINFO list) : setup_(setup), list_(list) {}
    ~DeviceInfoList()
    {
        if (IsValid()) setup_.destroyDeviceInfoList(list_);
    }
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;
    bool IsValid() const { return list_ != nullptr && list_ != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return list_; }

private:
    const SetupApiFunctions& setup_;
    HDEVINFO list_;
};

bool LoadSetupApi(HMODULE library, SetupApiFunctions* setup)
{
    setup->destroyDeviceInfoList =
        LookupProc<decltype(setup->destroyDeviceInfoList)>(library, "SetupDiDestroyDeviceInfoList");
    setup->getDeviceRegistryProperty =
        LookupProc<decltype(setup->getDeviceRegistryProperty)>(library, "SetupDiGetDeviceRegistryPropertyA");
    setup->enumDeviceInfo = LookupProc<decltype(setup->enumDeviceInfo)>(library, "SetupDiEnumDeviceInfo");
    setup->enumDeviceInterfaces =
        LookupProc<decltype(setup->enumDeviceInterfaces)>(library, "SetupDiEnumDeviceInterfaces");
    setup->getDeviceInterfaceDetail =
        LookupProc<decltype(setup->getDeviceInterfaceDetail)>(library, "SetupDiGetDeviceInterfaceDetailA");
    setup->getClassDevs = LookupProc<decltype(setup->getClassDevs)>(library, "SetupDiGetClassDevsA");
    setup->createFile = CreateFileA;
    setup->deviceIoControl = DeviceIoControl;
    return setup->destroyDeviceInfoList != nullptr && setup->getDeviceRegistryProperty != nullptr &&
           setup->enumDeviceInfo != nullptr && setup->enumDeviceInterfaces != nullptr &&
           setup->getDeviceInterfaceDetail != nullptr && setup->getClassDevs != nullptr;
}

// The storage driver's descriptor for `propertyId` into `buffer`; the
// number of bytes it returned, or 0 when the query failed.
DWORD QueryStorageDescriptor(const SetupApiFunctions& setup, HANDLE device, DWORD propertyId,
                             BYTE (&buffer)[kDescriptorBufferSize])
{
    STORAGE_PROPERTY_QUERY query;
    memset(&query, 0, sizeof query);
    query.PropertyId = static_cast<STORAGE_PROPERTY_ID>(propertyId);
    query.QueryType = static_cast<STORAGE_QUERY_TYPE>(kStandardQuery);
    memset(buffer, 0, sizeof buffer);
    DWORD returned = 0;
    if (!setup.deviceIoControl(device, kStorageQueryProperty, &query, sizeof query, buffer, sizeof buffer, &returned,
                               nullptr)) {
        return 0;
    }
    return returned <= sizeof buffer ? returned : 0;
}

void PrepareInquiry(ScsiInquiryRequest& request)
{
    memset(&request, 0, sizeof request);
    request.header.Length = sizeof request.header;
    request.header.PathId = 0;
    request.header.TargetId = kTargetId;
    request.header.Lun = 0;
    request.header.CdbLength = kInquiryCommandLength;
    request.header.SenseInfoLength = kSenseLength;
    request.header.DataIn = SCSI_IOCTL_DATA_IN;
    request.header.DataTransferLength = sizeof request.data;
    request.header.TimeOutValue = kInquiryTimeoutSeconds;
    request.header.DataBufferOffset = offsetof(ScsiInquiryRequest, data);
    request.header.SenseInfoOffset = offsetof(ScsiInquiryRequest, sense);
    request.header.Cdb[0] = kInquiryOperation;
    request.header.Cdb[4] = sizeof request.data;  // allocation length
}

// The device path of interface `index`, or false when the list ends or the
// detail cannot be read.
bool QueryInterfacePath(const SetupApiFunctions& setup, HDEVINFO interfaces, DWORD index, std::vector<BYTE>& detail)
{
    SP_DEVICE_INTERFACE_DATA data;
    memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    if (!setup.enumDeviceInterfaces(interfaces, nullptr, &kDiskInterfaceClass, index, &data)) return false;

    DWORD required = 0;
    if (setup.getDeviceInterfaceDetail(interfaces, &data, nullptr, 0, &required, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) || required > kMaxPropertySize) return false;
    // One zero byte more ends the path whatever the function wrote.
    detail.assign(required + 1, 0);
    auto* header = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail.data());
    // 5 bytes in 32-bit code, 8 in 64-bit code (see the assertion above).
    header->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    return setup.getDeviceInterfaceDetail(interfaces, &data, header, required, nullptr, nullptr) != FALSE;
}

}  // namespace

void CWindowsStuff::WriteStorageText(Page page, int level, const char* text)
{
    if (level > 1) return;
    AppendLiteral(page, text);
}

void CWindowsStuff::EnumerateStorageDevices(StorageTextWriter write, Page page)
{
    ScopedLibrary library(LoadLibraryA("setupapi.dll"));
    if (!library) return;
    SetupApiFunctions setup;
    if (!LoadSetupApi(library.Get(), &setup)) return;

    DeviceInfoList devices(setup, setup.getClassDevs(&kDiskDriveClass, nullptr, nullptr, kPresent));
    DeviceInfoList interfaces(setup,
                              setup.getClassDevs(&kDiskInterfaceClass, nullptr, nullptr, kPresent | kDeviceInterface));
    if (!devices.IsValid() || !interfaces.IsValid()) return;

    const StorageTextSink sink{write, page};
    for (DWORD index = 0; index < kMaxDevices && !IsCancelRequested(); ++index) {
        if (!WriteDeviceProperties(setup, sink, devices.Get(), index)) break;
        if (!WriteDeviceInterface(setup, sink, interfaces.Get(), index)) break;
    }
}

bool CWindowsStuff::WriteDeviceProperties(const SetupApiFunctions& setup, const StorageTextSink& sink,
                                          HDEVINFO devices, DWORD index)
{
    SP_DEVINFO_DATA device;
    memset(&device, 0, sizeof device);
    device.cbSize = sizeof device;
    if (!setup.enumDeviceInfo(devices, index, &device)) {
        if (GetLastError() == ERROR_NO_MORE_ITEMS) Print(sink, "No more devices.<BR><br>\n");
        return false;
    }
    Print(sink, "<BR><strong>Properties for Device %lu</strong>\n", static_cast<unsigned long>(index) + 1);

    // A device without the property (error 13) is passed over, not the end.
    DWORD type = 0;
    DWORD size = 0;
    if (!setup.getDeviceRegistryProperty(devices, &device, kHardwareIdProperty, &type, nullptr, 0, &size)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) return error == ERROR_INVALID_DATA;
    }
    if (size > kMaxPropertySize) return true;
    // Zero-filled, with room for the zero bytes an unterminated list lacks.
    std::vector<char> hardwareIds(size + 2, '\0');
    if (!setup.getDeviceRegistryProperty(devices, &device, kHardwareIdProperty, &type,
                                         reinterpret_cast<PBYTE>(hardwareIds.data()), size, nullptr)) {
        return GetLastError() == ERROR_INVALID_DATA;
    }
    // The first id of the list; a "%" in it is text like any other character.
    PrintValueLine(sink, "\n\n<BR><BR><strong>Device ID:</strong> ", hardwareIds.data(), "<BR>\n");
    return true;
}

bool CWindowsStuff::WriteDeviceInterface(const SetupApiFunctions& setup, const StorageTextSink& sink,
                                         HDEVINFO interfaces, DWORD index)
{
    std::vector<BYTE> detail;
    if (!QueryInterfacePath(setup, interfaces, index, detail)) return false;
    WriteDevice(setup, sink, reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail.data())->DevicePath);
    return true;
}

void CWindowsStuff::WriteDevice(const SetupApiFunctions& setup, const StorageTextSink& sink, const char* path)
{
    // SCSI pass-through needs write access as well as read access.
    ScopedKernelHandle device(setup.createFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
    // Without the rights to open it (no administrator) the next device follows.
    if (!device) return;

    alignas(8) BYTE descriptor[kDescriptorBufferSize];
    DWORD returned = QueryStorageDescriptor(setup, device.Get(), kAdapterProperty, descriptor);
    if (returned != 0) {
        WriteAdapterDescriptor(sink, descriptor, returned);
        returned = QueryStorageDescriptor(setup, device.Get(), kDeviceProperty, descriptor);
        if (returned != 0) WriteDeviceDescriptor(sink, descriptor, returned);
    }

    ScsiInquiryRequest request;
    PrepareInquiry(request);
    returned = 0;
    const BOOL inquired = setup.deviceIoControl(device.Get(), kScsiPassThrough, &request, sizeof request.header,
                                                &request, sizeof request, &returned, nullptr);
    const DWORD error = inquired ? ERROR_SUCCESS : GetLastError();
    WriteInquiryData(sink, inquired != FALSE, error, request);
}

void CWindowsStuff::WriteAdapterDescriptor(const StorageTextSink& sink, const BYTE* descriptor, DWORD bytes)
{
    const auto adapter = CopyDescriptor<STORAGE_ADAPTER_DESCRIPTOR>(descriptor, bytes);
    char busType[32];
    BusTypeName(adapter.BusType, busType);
    Print(sink, "\n<BR><strong>Adapter Properties</strong><BR>\n");
    Print(sink, "&nbsp;&nbsp;Bus Type       : %s<BR>\n", busType);
    Print(sink, "&nbsp;&nbsp;Max. Tr. Length: 0x%lx<BR>\n", static_cast<unsigned long>(adapter.MaximumTransferLength));
    Print(sink, "&nbsp;&nbsp;Max. Phy. Pages: 0x%lx<BR>\n", static_cast<unsigned long>(adapter.MaximumPhysicalPages));
    Print(sink, "&nbsp;&nbsp;Alignment Mask : 0x%lx<BR>\n", static_cast<unsigned long>(adapter.AlignmentMask));
}

void CWindowsStuff::WriteDeviceDescriptor(const StorageTextSink& sink, const BYTE* descriptor, DWORD bytes)
{
    const auto device = CopyDescriptor<STORAGE_DEVICE_DESCRIPTOR>(descriptor, bytes);
    Print(sink, "\n<BR><strong>Device Properties</strong><BR>\n");
    Print(sink, "&nbsp;&nbsp;Device Type     : %s (0x%X)<BR>\n", DeviceTypeName(device.DeviceType),
          static_cast<unsigned>(device.DeviceType));
    if (device.DeviceTypeModifier != 0) {
        Print(sink, "&nbsp;&nbsp;Device Modifier : 0x%x<BR>\n", static_cast<unsigned>(device.DeviceTypeModifier));
    }
    Print(sink, "&nbsp;&nbsp;Removable Media : %s<BR>\n", device.RemovableMedia ? "Yes" : "No");
    PrintDescriptorText(sink, "&nbsp;&nbsp;Vendor ID       : ", descriptor, bytes, device.VendorIdOffset);
    PrintDescriptorText(sink, "&nbsp;&nbsp;Product ID      : ", descriptor, bytes, device.ProductIdOffset);
    PrintDescriptorText(sink, "&nbsp;&nbsp;Product Revision: ", descriptor, bytes, device.ProductRevisionOffset);
    // A redacted run replaces the serial number from here on, this page included.
    if (device.SerialNumberOffset != 0 && device.SerialNumberOffset < bytes) {
        std::string serial;
        for (DWORD at = device.SerialNumberOffset; at < bytes && descriptor[at] != 0; ++at) {
            serial += static_cast<char>(descriptor[at]);
        }
        NoteRedactionSerial(serial.c_str());
    }
    PrintDescriptorText(sink, "&nbsp;&nbsp;Serial Number   : ", descriptor, bytes, device.SerialNumberOffset);
}

void CWindowsStuff::WriteInquiryData(const StorageTextSink& sink, bool succeeded, DWORD error,
                                     const ScsiInquiryRequest& request)
{
    Print(sink, "\n<BR><strong>Inquiry Data from Pass Through</strong><BR>\n");
    if (!succeeded) {
        Print(sink, "Error: %lu ", static_cast<unsigned long>(error));
        return;
    }
    if (request.header.ScsiStatus != 0) return;

    // The driver says how many data bytes came back; the rest was never written.
    const size_t length = request.header.DataTransferLength < sizeof request.data
                              ? request.header.DataTransferLength
                              : sizeof request.data;
    UCHAR data[sizeof request.data];
    memset(data, 0, sizeof data);
    memcpy(data, request.data, length);

    const unsigned peripheralType = data[0] & 0x1F;
    Print(sink, "&nbsp;&nbsp;Device Type: %s (0x%X)<BR>\n", DeviceTypeName(peripheralType), peripheralType);
    PrintText(sink, "&nbsp;&nbsp;Vendor ID  : ");
    PrintField(sink, data, kVendorField);
    PrintText(sink, "<BR>\n&nbsp;&nbsp;Product ID : ");
    PrintField(sink, data, kProductField);
    PrintText(sink, "<BR>\n&nbsp;&nbsp;Product Rev: ");
    PrintField(sink, data, kRevisionField);
    PrintText(sink, "<BR>\n&nbsp;&nbsp;Vendor Str : ");
    PrintField(sink, data, kVendorSpecificField);
    PrintText(sink, "<BR><BR>\n");
}
