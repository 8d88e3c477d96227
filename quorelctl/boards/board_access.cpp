#include "quorelctl/boards/board_access.h"

#include <algorithm>

#include "quorelctl/interpreter/led_module.h"

namespace quorelctl {

namespace {

// The boards take report id 0 and 8 payload bytes; used when a device's
// report length could not be read.
constexpr uint16_t kDefaultReportLength = 9;

}  // namespace

int BoardNumberOf(uint16_t vendor_id, uint16_t product_id) {
  const int n = product_id - kBoardProductIdBase;
  return vendor_id == kBoardVendorId && n >= 1 && n <= kBoards ? n : 0;
}

int16_t BoardAccess::FindBoard() {
  const int n = Module().CurrentBoard;
  if (n < 1 || n > kBoards) return 0;

  // A board probed again gives up its old handle rather than leaking it.
  if (BoardPresent[n] != 0) hid_.Close(BoardHandle[n]);
  BoardPresent[n] = 0;
  BoardHandle[n] = platform::kInvalidHidHandle;

  // Identifiers come with the listing here, so only matching devices are
  // opened; the first one that opens wins and later ones are not looked at.
  for (const platform::HidDeviceInfo& device : hid_.Enumerate()) {
    if (BoardNumberOf(device.vendor_id, device.product_id) != n) continue;
    platform::HidOpenError error;
    platform::HidHandle handle = hid_.Open(device.path, &error);
    if (handle == platform::kInvalidHidHandle) {
      NoteFailure(device.path, error.text);
      continue;
    }
    NoteFailure(device.path, {});
    BoardHandle[n] = handle;
    BoardPresent[n] = -1;
    ReadCapabilities(device);
    return -1;
  }
  return 0;
}

void BoardAccess::ReadCapabilities(const platform::HidDeviceInfo& device) {
  // An unreadable descriptor leaves the previous record in place.
  if (device.descriptor_read) OutputReportByteLength = device.output_report_length;
}

void BoardAccess::DetectAllBoards() {
  LedModule& m = Module();
  m.DetectedFlags.clear();
  for (int n = 1; n <= kBoards; ++n) {
    m.CurrentBoard = static_cast<int16_t>(n);
    FindBoard();
    m.DetectedFlags += BoardPresent[n] != 0 ? '1' : '0';
  }
}

void BoardAccess::SendReport() {
  const int n = Module().CurrentBoard;
  if (n < 1 || n > kBoards) return;
  if (BoardPresent[n] == 0) BoardPresent[n] = FindBoard();
  if (BoardPresent[n] == -1) WriteReport();
}

void BoardAccess::WriteReport() {
  const LedModule& m = Module();
  const size_t length = OutputReportByteLength != 0 ? OutputReportByteLength : kDefaultReportLength;
  // Byte 0 is the report id; a longer report is padded with zeros, a shorter
  // one takes only the first length-1 payload bytes.
  std::array<uint8_t, 64> small{};
  std::vector<uint8_t> large;
  uint8_t* report = small.data();
  if (length > small.size()) {
    large.assign(length, 0);
    report = large.data();
  }
  const size_t payload = std::min(length - 1, m.ReportBytes.size());
  std::copy_n(m.ReportBytes.begin(), payload, report + 1);
  // A failed write is lost without notice: the board may have been unplugged,
  // and the other boards must keep working.
  hid_.Write(BoardHandle[m.CurrentBoard], {report, length});
}

void BoardAccess::CloseAllBoards() {
  for (int n = 1; n <= kBoards; ++n) {
    if (BoardPresent[n] != 0) hid_.Close(BoardHandle[n]);
    BoardPresent[n] = 0;
    BoardHandle[n] = platform::kInvalidHidHandle;
  }
}

void BoardAccess::NoteFailure(const std::string& path, std::string reason) {
  auto it = std::find_if(probe_failures_.begin(), probe_failures_.end(),
                         [&](const ProbeFailure& f) { return f.path == path; });
  if (reason.empty()) {
    if (it != probe_failures_.end()) probe_failures_.erase(it);
  } else if (it != probe_failures_.end()) {
    it->reason = std::move(reason);
  } else {
    probe_failures_.push_back({path, std::move(reason)});
  }
}

}  // namespace quorelctl
