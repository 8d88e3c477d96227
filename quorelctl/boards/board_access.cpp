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

OpenedBoard OpenBoard(platform::HidService& hid, const std::vector<platform::HidDeviceInfo>& devices, int n,
                      const std::function<void(const platform::HidDeviceInfo&, const platform::HidOpenError&)>& failed) {
  // Identifiers come with the listing here, so only matching devices are
  // opened; the first one that opens wins and later ones are not looked at.
  for (const platform::HidDeviceInfo& device : devices) {
    if (BoardNumberOf(device.vendor_id, device.product_id) != n) continue;
    platform::HidOpenError error;
    const platform::HidHandle handle = hid.Open(device.path, &error);
    if (handle != platform::kInvalidHidHandle) return {handle, &device};
    if (failed) failed(device, error);
  }
  return {};
}

BoardAccess::BoardAccess(platform::HidService& hid, std::function<Clock::time_point()> now)
    : hid_(hid), now_(std::move(now)) {
  BoardHandle.fill(platform::kInvalidHidHandle);
}

int16_t BoardAccess::FindBoard() { return Probe(Tables().selected_board); }

int16_t BoardAccess::Probe(int n) {
  if (n < 1 || n > kBoards) return 0;
  if (Bound(n)) return BoardPresent[n] = dmx_->Present(n) ? -1 : 0;

  // A board probed again gives up its old handle rather than leaking it.
  if (BoardPresent[n] != 0 && !unplugged_[n]) hid_.Close(BoardHandle[n]);
  BoardPresent[n] = 0;
  BoardHandle[n] = platform::kInvalidHidHandle;
  unplugged_[n] = false;
  if (!Open(n)) return 0;
  BoardPresent[n] = -1;
  return -1;
}

bool BoardAccess::Open(int n) {
  const std::vector<platform::HidDeviceInfo> devices = hid_.Enumerate();
  const OpenedBoard opened = OpenBoard(hid_, devices, n, [this](const auto& device, const auto& error) {
    NoteFailure(device.path, error.text);
  });
  if (opened.device == nullptr) return false;
  NoteFailure(opened.device->path, {});
  BoardHandle[n] = opened.handle;
  // ReadCapabilities: an unreadable descriptor leaves the board's previous
  // length in place.
  if (opened.device->descriptor_read) OutputReportByteLength[n] = opened.device->output_report_length;
  return true;
}

void BoardAccess::DetectAllBoards() {
  BoardTables& m = Tables();
  dmx_ = std::make_unique<DmxBoards>(LoadBindings());
  m.detected.clear();
  for (int n = 1; n <= kBoards; ++n) {
    m.selected_board = static_cast<int16_t>(n);
    FindBoard();
    m.detected += BoardPresent[n] != 0 ? '1' : '0';
  }
}

void BoardAccess::SendReport(int n, std::span<const uint8_t, 8> payload) {
  std::array<uint8_t, 8> report;
  std::copy(payload.begin(), payload.end(), report.begin());
  SendReports(n, {&report, 1});
}

void BoardAccess::SendReports(int n, std::span<const std::array<uint8_t, 8>> payloads) {
  if (n < 1 || n > kBoards || Bound(n)) return;
  if (BoardPresent[n] == 0) BoardPresent[n] = Probe(n);
  if (BoardPresent[n] == -1 && !unplugged_[n]) WriteReports(n, payloads);
}

bool BoardAccess::LookAgain(int n) {
  if (n < 1 || n > kBoards || !unplugged_[n]) return false;
  // Enumerating and opening do not block, so a look costs far less than the
  // bound of one write; once a second keeps a missing board cheap.
  const Clock::time_point now = now_();
  if (now - last_look_[n] < kReprobeInterval) return false;
  last_look_[n] = now;
  if (!Open(n)) return false;
  unplugged_[n] = false;
  return true;
}

void BoardAccess::WriteReports(int n, std::span<const std::array<uint8_t, 8>> payloads) {
  const size_t length = OutputReportByteLength[n] != 0 ? OutputReportByteLength[n] : kDefaultReportLength;
  // Byte 0 of each report is the report id; a longer report is padded with
  // zeros, a shorter one takes only the first length-1 payload bytes.
  std::array<uint8_t, 4 * 64> small{};
  std::vector<uint8_t> large;
  uint8_t* reports = small.data();
  if (length * payloads.size() > small.size()) {
    large.assign(length * payloads.size(), 0);
    reports = large.data();
  }
  const size_t bytes = std::min<size_t>(length - 1, 8);
  for (size_t i = 0; i < payloads.size(); ++i) std::copy_n(payloads[i].begin(), bytes, reports + i * length + 1);
  // A failed write is lost without notice and the next report is tried; the
  // other boards must keep working. Only an unplugged device is let go.
  platform::HidWriteFailure failure = platform::HidWriteFailure::kNone;
  hid_.WriteReports(BoardHandle[n], {reports, length * payloads.size()}, length, &failure);
  if (failure != platform::HidWriteFailure::kDeviceGone) return;
  hid_.Close(BoardHandle[n]);
  BoardHandle[n] = platform::kInvalidHidHandle;
  unplugged_[n] = true;
  last_look_[n] = now_();
}

void BoardAccess::CommandDone(int n) {
  if (Bound(n) && BoardPresent[n] != 0) dmx_->Show(n, Tables());
}

void BoardAccess::CloseAllBoards() {
  for (int n = 1; n <= kBoards; ++n) {
    if (BoardPresent[n] != 0 && !unplugged_[n] && !Bound(n)) hid_.Close(BoardHandle[n]);
    BoardPresent[n] = 0;
    BoardHandle[n] = platform::kInvalidHidHandle;
    unplugged_[n] = false;
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
