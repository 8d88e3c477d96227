// HID access: the one service the board library needs from the system.
// Core code talks to this header only; each backend lives in its own folder.
#pragma once

#include <chrono>
#include <cstddef>
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

// Why a write failed.
enum class HidWriteFailure {
  kNone,
  kTimedOut,    // the device did not take the report within kHidWriteTimeout
  kDeviceGone,  // unplugged: the handle is of no more use
  kOther,
};

// The longest a write may wait for a device to take one report. A stalled
// device (or a node whose reader stopped) costs the caller at most this much
// per report, never more.
inline constexpr std::chrono::milliseconds kHidWriteTimeout{250};

// Longest output report length a backend hands on. No real device comes near
// it; a device that declares more is broken or hostile, and its length is
// capped here.
inline constexpr uint16_t kMaxHidReportLength = 16384;

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
  // Writes one output report, waiting at most kHidWriteTimeout for the device
  // to take it (Linux: a non-blocking node polled for room until the
  // deadline; Windows: an overlapped write waited for until the deadline and
  // cancelled after it). True when every byte was taken. On false, *failure
  // (when not null) says why: kDeviceGone means the device was unplugged, so
  // the caller closes the handle and looks for the device again; after
  // kTimedOut or kOther the handle stays usable and the next report may pass.
  virtual bool Write(HidHandle handle, std::span<const uint8_t> report, HidWriteFailure* failure) = 0;

  // Writes `reports`, whole reports of `length` bytes each, in order, each
  // one reaching the device as a report of its own with Write's bound, in as
  // few system calls as the backend can. A report that fails is lost and the
  // next one is tried, as with Write; after kDeviceGone the rest are not
  // written. Returns how many reports were taken; *failure (when not null)
  // says why the last failed one failed, kNone when all were taken.
  virtual size_t WriteReports(HidHandle handle, std::span<const uint8_t> reports, size_t length,
                              HidWriteFailure* failure) {
    return WriteEach(handle, reports, length, failure);
  }

  virtual void Close(HidHandle handle) = 0;

 protected:
  // WriteReports one Write at a time.
  size_t WriteEach(HidHandle handle, std::span<const uint8_t> reports, size_t length, HidWriteFailure* failure) {
    size_t taken = 0;
    HidWriteFailure last = HidWriteFailure::kNone;
    for (size_t at = 0; length != 0 && reports.size() - at >= length; at += length) {
      HidWriteFailure why = HidWriteFailure::kNone;
      if (Write(handle, reports.subspan(at, length), &why)) {
        ++taken;
        continue;
      }
      last = why;
      if (why == HidWriteFailure::kDeviceGone) break;
    }
    if (failure != nullptr) *failure = last;
    return taken;
  }
};

// The backend of this build. Lives for the whole process.
HidService& SystemHid();

}  // namespace platform
