// What the Windows HID backend makes of the records that SetupAPI and the HID
// class driver fill. Free of Windows types, so that tests can feed it bytes
// and numbers on any system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/hid.h"

namespace platform::windows_hid {

// SP_DEVICE_INTERFACE_DETAIL_DATA_A: a 4-byte size field, then the device
// path as NUL-terminated ANSI text.
inline constexpr size_t kDetailPathOffset = 4;

// The device path of a detail record: up to its first NUL, or to the end of
// the record when it holds none. Nothing when the record has no path.
std::optional<std::string> PathFromDetail(std::span<const uint8_t> detail);

struct UsbIds {
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
};

// The ids in the hardware-id part of a USB HID interface path, for example
// \\?\hid#vid_e7a1&pid_00f0#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}
// (any letter case). Nothing for paths of other buses.
std::optional<UsbIds> IdsFromPath(std::string_view path);

// What one device interface gave.
struct InterfaceFacts {
  std::string path;
  bool attributes_read = false;  // HidD_GetAttributes succeeded
  uint16_t vendor_id = 0;        // HIDD_ATTRIBUTES.VendorID
  uint16_t product_id = 0;       // HIDD_ATTRIBUTES.ProductID
  bool caps_read = false;        // HidD_GetPreparsedData and HidP_GetCaps succeeded
  uint16_t output_report_byte_length = 0;  // HIDP_CAPS, the report-id byte included
};

// The device as the service lists it. Its ids come from its attributes, or
// from its path when it could not be opened to read them (the write open then
// says why it cannot be used); nothing when neither gives them.
std::optional<HidDeviceInfo> DescribeInterface(const InterfaceFacts& facts);

// Win32 error codes of a failed write that mean the device is gone
// (winerror.h values): unplugged, or, for a pipe standing in for a device,
// its other end closed.
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorBrokenPipe = 109;
inline constexpr uint32_t kErrorNoData = 232;
inline constexpr uint32_t kErrorPipeNotConnected = 233;
inline constexpr uint32_t kErrorNoSuchDevice = 433;
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;
inline constexpr uint32_t kErrorDeviceRemoved = 1617;

// Why a write failed with the given error code.
HidWriteFailure WriteFailureOf(uint32_t error);

}  // namespace platform::windows_hid
