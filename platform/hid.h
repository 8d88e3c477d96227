// HID access: the one service the board library needs from the system.
// Core code talks to this header only; each backend lives in its own folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

struct HidDeviceInfo {
  std::string path;                 // what Open() takes
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
  // Output report length in bytes, the report-id byte included (0 when the
  // device declares no output report).
  uint16_t output_report_length = 0;
  // False when the report descriptor could not be read at all; the length is
  // then unknown rather than 0.
  bool descriptor_read = false;
};

// Why an open failed: the system's text, and whether it was for lack of
// permission (the case a user can mend with a udev rule).
struct HidOpenError {
  std::string text;
  bool permission_denied = false;
};

// Opaque device handle; kInvalidHidHandle after a failed open.
using HidHandle = std::intptr_t;
inline constexpr HidHandle kInvalidHidHandle = -1;

class HidService {
 public:
  virtual ~HidService() = default;
  // Every HID device present, in the system's enumeration order.
  virtual std::vector<HidDeviceInfo> Enumerate() = 0;
  // Opens a device for writing; on failure returns kInvalidHidHandle and puts
  // the reason in *error (for example "Permission denied").
  virtual HidHandle Open(const std::string& path, HidOpenError* error) = 0;
  // One blocking write of one output report; true when all bytes were taken.
  virtual bool Write(HidHandle handle, std::span<const uint8_t> report) = 0;
  virtual void Close(HidHandle handle) = 0;
};

// The backend of this build. Lives for the whole process.
HidService& SystemHid();

}  // namespace platform
