// Discovery of boards 1-16 among the HID devices, and the write of one report.
// One BoardAccess belongs to one control instance; discovery addresses the
// thread's selected_board, the send path the board it is given.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "quorelctl/dmx/dmx_boards.h"

namespace quorelctl {

inline constexpr uint16_t kBoardVendorId = 0xE7A1;
inline constexpr uint16_t kBoardProductIdBase = 0x00EF;  // board n has product id base + n

// A board unplugged during a show is looked for again at most this often.
inline constexpr std::chrono::seconds kReprobeInterval{1};

// The board number 1-16 that a device's ids stand for, 0 when not a board.
int BoardNumberOf(uint16_t vendor_id, uint16_t product_id);

// The device that stands for board n: the first one of `devices` with the
// board's ids that opens; the ones after it are never opened. Each device
// that fails to open is passed to `failed` with the reason.
struct OpenedBoard {
  platform::HidHandle handle = platform::kInvalidHidHandle;
  const platform::HidDeviceInfo* device = nullptr;  // null: no device opened
};
OpenedBoard OpenBoard(platform::HidService& hid, const std::vector<platform::HidDeviceInfo>& devices, int n,
                      const std::function<void(const platform::HidDeviceInfo&, const platform::HidOpenError&)>& failed);

// Why a device that carried a board's identifiers could not be used.
struct ProbeFailure {
  std::string path;
  std::string reason;
};

class BoardAccess {
 public:
  using Clock = std::chrono::steady_clock;

  // `now` is the clock of the re-probe interval (tests pass their own).
  explicit BoardAccess(platform::HidService& hid, std::function<Clock::time_point()> now = Clock::now);
  ~BoardAccess() { CloseAllBoards(); }
  BoardAccess(const BoardAccess&) = delete;
  BoardAccess& operator=(const BoardAccess&) = delete;

  // Probes board selected_board; -1 found (and open), 0 not found.
  int16_t FindBoard();
  // Reads the bindings file, probes boards 1-16, rebuilds detected,
  // leaves selected_board at 16. A bound board number is its DMX universe, and
  // present when its OLA server answered; no Quorel board stands for it.
  void DetectAllBoards();
  // After each command for board n: a DMX board's universe takes its tables
  // (the reports of the command were not written anywhere).
  void CommandDone(int n);
  // Null until DetectAllBoards has run.
  const DmxBoards* dmx() const { return dmx_.get(); }
  // Sends one report to board n, probing it first when not present. The
  // reports of a board whose device went away are dropped until LookAgain
  // finds it.
  void SendReport(int n, std::span<const uint8_t, 8> payload);
  // The same for several reports in a row, handed to the device in one go.
  void SendReports(int n, std::span<const std::array<uint8_t, 8>> payloads);
  // For a board whose device went away: looks for it again, at most once a
  // kReprobeInterval, and reopens it. True when it is back (the board then
  // knows nothing of what it was sent before); false otherwise, at once.
  bool LookAgain(int n);
  // Closes the handle of every board found.
  void CloseAllBoards();

  std::array<int16_t, 17> BoardPresent{};  // 0 not found, -1 found (and open unless unplugged)
  std::array<platform::HidHandle, 17> BoardHandle;
  // Output report length (report id included) of each board, as its device
  // declares it; 0 while unknown.
  std::array<uint16_t, 17> OutputReportByteLength{};

  // True while board n is marked present but its device has gone away.
  bool unplugged(int n) const { return unplugged_[n]; }

  // Boards with the right identifiers that could not be opened, latest probe
  // of each path only; for diagnostics.
  const std::vector<ProbeFailure>& probe_failures() const { return probe_failures_; }

 private:
  // FindBoard for board n.
  int16_t Probe(int n);
  // Opens board n into BoardHandle and its length; false when not found.
  bool Open(int n);
  void WriteReports(int n, std::span<const std::array<uint8_t, 8>> payloads);
  void NoteFailure(const std::string& path, std::string reason);
  bool Bound(int n) const { return dmx_ && dmx_->Bound(n); }

  platform::HidService& hid_;
  std::function<Clock::time_point()> now_;
  std::vector<ProbeFailure> probe_failures_;
  // A board whose device went away: its handle is closed, BoardPresent stays
  // -1 (no beep, no error for the host), and it is looked for again.
  std::array<bool, 17> unplugged_{};
  std::array<Clock::time_point, 17> last_look_{};
  std::unique_ptr<DmxBoards> dmx_;
};

}  // namespace quorelctl
