// Discovery of boards 1-16 among the HID devices, and the write of one report.
// One BoardAccess belongs to one control instance; CurrentBoard and
// ReportBytes come from the thread's LedModule.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/hid.h"

namespace quorelctl {

inline constexpr uint16_t kBoardVendorId = 0xE7A1;
inline constexpr uint16_t kBoardProductIdBase = 0x00EF;  // board n has product id base + n

// The board number 1-16 that a device's ids stand for, 0 when not a board.
int BoardNumberOf(uint16_t vendor_id, uint16_t product_id);

// Why a device that carried a board's identifiers could not be used.
struct ProbeFailure {
  std::string path;
  std::string reason;
};

class BoardAccess {
 public:
  explicit BoardAccess(platform::HidService& hid) : hid_(hid) { BoardHandle.fill(platform::kInvalidHidHandle); }
  ~BoardAccess() { CloseAllBoards(); }
  BoardAccess(const BoardAccess&) = delete;
  BoardAccess& operator=(const BoardAccess&) = delete;

  // Probes board CurrentBoard; -1 found (and open), 0 not found.
  int16_t FindBoard();
  // Probes boards 1-16, rebuilds DetectedFlags, leaves CurrentBoard at 16.
  void DetectAllBoards();
  // Sends ReportBytes to CurrentBoard, probing it first when not present.
  void SendReport();
  // Closes the handle of every board found.
  void CloseAllBoards();

  std::array<int16_t, 17> BoardPresent{};  // 0 not found, -1 found and open
  std::array<platform::HidHandle, 17> BoardHandle;
  // Output report length (report id included) of the board found last; one
  // record for the whole instance. 0 until a board's length is read.
  uint16_t OutputReportByteLength = 0;

  // Boards with the right identifiers that could not be opened, latest probe
  // of each path only; for diagnostics.
  const std::vector<ProbeFailure>& probe_failures() const { return probe_failures_; }

 private:
  void ReadCapabilities(const platform::HidDeviceInfo& device);
  void WriteReport();
  void NoteFailure(const std::string& path, std::string reason);

  platform::HidService& hid_;
  std::vector<ProbeFailure> probe_failures_;
};

}  // namespace quorelctl
