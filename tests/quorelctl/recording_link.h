// A ReportLink that records the waits and the payload of every report.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "quorelctl/interpreter/led_module.h"

namespace quorelctl {

class RecordingLink final : public ReportLink {
 public:
  bool FastCom() const override { return fast_com; }
  int16_t CompatibilityDelay() const override { return delay; }
  void Suspend(int milliseconds) override { events.push_back("wait " + std::to_string(milliseconds)); }
  void SendReport(int board, std::span<const uint8_t, 8> payload) override {
    std::array<uint8_t, 8> bytes;
    std::copy(payload.begin(), payload.end(), bytes.begin());
    reports.push_back(bytes);
    std::string e = "report " + std::to_string(board) + ":";
    for (uint8_t b : payload) {
      e += ' ';  // not " " + ...: g++ 12 for Windows warns falsely (-Wrestrict) on that
      e += std::to_string(b);
    }
    events.push_back(e);
  }

  bool fast_com = true;
  int16_t delay = 1;
  std::vector<std::array<uint8_t, 8>> reports;
  std::vector<std::string> events;
};

// Fresh tables on this thread, with `board` selected.
inline void ResetModule(int16_t board = 1) {
  Tables() = BoardTables{};
  Tables().selected_board = board;
}

}  // namespace quorelctl
