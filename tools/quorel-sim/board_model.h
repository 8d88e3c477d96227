// What a virtual board makes of the reports written to it, and how its lamps
// look: no terminal or file access here, so it is tested on its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace quorel_sim {

inline constexpr size_t kReportLength = 9;  // report id 0 + 8 payload bytes

// Reports that follow one another closer than this belong to one burst: the
// reports of one command come back to back, or 0-5 ms apart with the
// compatibility delay, while a host's next command for the same board comes
// one capture buffer (23 ms) later.
inline constexpr double kBurstGap = 0.010;  // seconds
// A burst held back longer than this is decided as far as it has come.
inline constexpr size_t kMaxHeldReports = 64;

using Report = std::array<uint8_t, kReportLength>;

// Reports carry no kind: a state report begins with 64, but so may a profile
// report. A report that could be either (at the start of a group) is held
// back with the rest of its burst, and the burst is then read as whole
// groups of four profile reports and single state reports, groups first.
struct BoardModel {
  std::array<uint8_t, 4> banks{};     // on/off bits, output k = bit (k-1)%8 of bank (k-1)/8
  uint8_t gps = 0;                    // speed of the named waveforms
  std::array<uint8_t, 32> profile{};  // profile value of each output
  int next_profile = 0;               // which of the four profile reports comes next
  uint64_t reports = 0;               // received, including those held back

  // Takes one report that arrived at `seconds` (any steady clock).
  // True when the board changed (false while the report is held back).
  bool Receive(std::span<const uint8_t, kReportLength> report, double seconds);
  // Decides the held reports once their burst is over at `seconds`; true
  // when that changed the board.
  bool Settle(double seconds);
  bool holding() const { return !held_.empty(); }
  // When the held reports are decided, if nothing else arrives.
  double settle_time() const { return last_arrival_ + kBurstGap; }
  bool OutputOn(int output) const;

 private:
  void ApplyState(const Report& report);
  void ApplyProfile(const Report& report);
  void Decide();

  std::vector<Report> held_;
  double last_arrival_ = 0;
};

// Payload byte 0 is the marker 64 and bytes 6 and 7, which the library
// always sends as 0, are 0.
bool StateShaped(std::span<const uint8_t, kReportLength> report);

// Cuts the byte stream of a node into reports. A report id other than 0 can
// only be a stray write: bytes are dropped until a 0 starts a report again.
class ReportFramer {
 public:
  void Feed(std::span<const uint8_t> bytes, const std::function<void(std::span<const uint8_t, kReportLength>)>& report);
  // Forgets an incomplete report (a writer that wrote too few bytes).
  void DropPartial();
  bool has_partial() const { return !pending_.empty(); }
  uint64_t dropped_bytes() const { return dropped_; }

 private:
  std::vector<uint8_t> pending_;
  uint64_t dropped_ = 0;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// Brightness 0..255 of one output at `seconds` since start: the library's
// own level function (common/levels.h), so a lamp shows what a DMX channel
// carries.
uint8_t ChannelLevel(const BoardModel& board, int output, double seconds);

// Lamp 1..10 is outputs 3L-2 (red), 3L-1 (green), 3L (blue).
Rgb LampColour(const BoardModel& board, int lamp, double seconds);
// The spare outputs 31 and 32, shown white.
Rgb SpareColour(const BoardModel& board, int output, double seconds);

// True when something on the board moves by itself (a waveform that is on).
bool Animating(const BoardModel& board);

}  // namespace quorel_sim
