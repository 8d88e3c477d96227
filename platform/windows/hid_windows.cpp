// Windows backend of the HID service: device interfaces of the HID class
// through SetupAPI, ids and report lengths from the HID class driver, and
// overlapped writes that are given up at the deadline.
#include <windows.h>
// After windows.h, which they need. mingw-w64's HID headers declare C
// functions without saying so to C++.
extern "C" {
#include <hidsdi.h>  // brings hidusage.h and hidpi.h in the order they need
}
#include <setupapi.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "platform/windows/hid_records.h"
#include "platform/windows/system_message.h"

namespace platform {
namespace {

static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == windows_hid::kDetailPathOffset);
static_assert(windows_hid::kErrorGenFailure == ERROR_GEN_FAILURE);
static_assert(windows_hid::kErrorBrokenPipe == ERROR_BROKEN_PIPE);
static_assert(windows_hid::kErrorNoData == ERROR_NO_DATA);
static_assert(windows_hid::kErrorPipeNotConnected == ERROR_PIPE_NOT_CONNECTED);
#ifdef ERROR_NO_SUCH_DEVICE  // not in every SDK
static_assert(windows_hid::kErrorNoSuchDevice == ERROR_NO_SUCH_DEVICE);
#endif
static_assert(windows_hid::kErrorDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED);
static_assert(windows_hid::kErrorDeviceRemoved == ERROR_DEVICE_REMOVED);

constexpr DWORD kWriteTimeoutMs = static_cast<DWORD>(kHidWriteTimeout.count());

// What one interface gives when opened without access rights, which the
// system allows even for devices it holds itself (keyboards, mice).
windows_hid::InterfaceFacts Examine(std::string path) {
  windows_hid::InterfaceFacts facts;
  facts.path = std::move(path);
  HANDLE device = CreateFileA(facts.path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  if (device == INVALID_HANDLE_VALUE) return facts;
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  if (HidD_GetAttributes(device, &attributes)) {
    facts.attributes_read = true;
    facts.vendor_id = attributes.VendorID;
    facts.product_id = attributes.ProductID;
  }
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (HidD_GetPreparsedData(device, &preparsed)) {
    HIDP_CAPS caps{};
    if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
      facts.caps_read = true;
      facts.output_report_byte_length = caps.OutputReportByteLength;
    }
    HidD_FreePreparsedData(preparsed);
  }
  CloseHandle(device);
  return facts;
}

// An open device. The write's OVERLAPPED record and the bytes it reads live
// here, so that they outlive any write the system has not given back yet.
struct OpenDevice {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE write_done = nullptr;  // manual-reset event of the overlapped write
  OVERLAPPED overlapped{};
  std::vector<uint8_t> report;
  // A write that even a cancel did not bring back: the system may still use
  // the record, so it is never freed and the device is treated as gone.
  bool stuck = false;
};

OpenDevice* FromHandle(HidHandle handle) {
  return handle == kInvalidHidHandle || handle == 0 ? nullptr : reinterpret_cast<OpenDevice*>(handle);
}

class WindowsHid final : public HidService {
 public:
  std::vector<HidDeviceInfo> Enumerate() override {
    std::vector<HidDeviceInfo> devices;
    GUID hid_class;
    HidD_GetHidGuid(&hid_class);
    HDEVINFO set = SetupDiGetClassDevsA(&hid_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return devices;
    // Any failure to enumerate ends the list; a member whose path cannot be
    // read is skipped.
    for (DWORD index = 0;; ++index) {
      SP_DEVICE_INTERFACE_DATA member{};
      member.cbSize = sizeof member;
      if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hid_class, index, &member)) break;
      DWORD required = 0;
      SetupDiGetDeviceInterfaceDetailA(set, &member, nullptr, 0, &required, nullptr);
      // No path the system makes comes near 64 KiB.
      if (required <= windows_hid::kDetailPathOffset || required > 65536) continue;
      std::vector<uint8_t> detail(required);
      auto* record = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detail.data());
      record->cbSize = sizeof *record;  // the fixed part: 8 bytes on x64, 5 on x86
      if (!SetupDiGetDeviceInterfaceDetailA(set, &member, record, required, nullptr, nullptr)) continue;
      const std::optional<std::string> path = windows_hid::PathFromDetail(detail);
      if (!path) continue;
      if (auto info = windows_hid::DescribeInterface(Examine(*path))) devices.push_back(std::move(*info));
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
  }

  HidHandle Open(const std::string& path, HidOpenError* error) override {
    // Overlapped, so that a write can be given up at its deadline; not
    // inherited by child processes of the host.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      // Access denied means another program holds the device exclusively:
      // nothing a permission rule could mend, unlike on Linux.
      if (error != nullptr) *error = {SystemMessage(GetLastError()), false};
      return kInvalidHidHandle;
    }
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
      if (error != nullptr) *error = {SystemMessage(GetLastError()), false};
      CloseHandle(file);
      return kInvalidHidHandle;
    }
    auto device = std::make_unique<OpenDevice>();
    device->file = file;
    device->write_done = event;
    return reinterpret_cast<HidHandle>(device.release());
  }

  bool Write(HidHandle handle, std::span<const uint8_t> report, HidWriteFailure* failure) override {
    const HidWriteFailure why = WriteBounded(FromHandle(handle), report);
    if (failure != nullptr) *failure = why;
    return why == HidWriteFailure::kNone;
  }

  void Close(HidHandle handle) override {
    OpenDevice* device = FromHandle(handle);
    if (device == nullptr) return;
    CloseHandle(device->file);
    if (device->stuck) return;  // see OpenDevice::stuck
    CloseHandle(device->write_done);
    delete device;
  }

 private:
  static HidWriteFailure WriteBounded(OpenDevice* device, std::span<const uint8_t> report) {
    if (device == nullptr || device->stuck || report.size() > kMaxHidReportLength) return HidWriteFailure::kOther;
    const DWORD size = static_cast<DWORD>(report.size());
    device->report.assign(report.begin(), report.end());
    device->overlapped = OVERLAPPED{};
    device->overlapped.hEvent = device->write_done;
    ResetEvent(device->write_done);
    DWORD written = 0;
    if (!WriteFile(device->file, device->report.data(), size, nullptr, &device->overlapped)) {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return windows_hid::WriteFailureOf(error);
      if (WaitForSingleObject(device->write_done, kWriteTimeoutMs) != WAIT_OBJECT_0) {
        // Not taken in time: cancel it, and wait (bounded again) for the
        // system to give the write back before its buffer may change.
        CancelIoEx(device->file, &device->overlapped);
        if (WaitForSingleObject(device->write_done, kWriteTimeoutMs) != WAIT_OBJECT_0) {
          device->stuck = true;
          return HidWriteFailure::kDeviceGone;
        }
        // It may have gone through just before the cancel.
        if (GetOverlappedResult(device->file, &device->overlapped, &written, FALSE) && written == size)
          return HidWriteFailure::kNone;
        return HidWriteFailure::kTimedOut;
      }
    }
    if (!GetOverlappedResult(device->file, &device->overlapped, &written, FALSE))
      return windows_hid::WriteFailureOf(GetLastError());
    return written == size ? HidWriteFailure::kNone : HidWriteFailure::kOther;
  }
};

}  // namespace

HidService& SystemHid() {
  static WindowsHid service;
  return service;
}

}  // namespace platform
