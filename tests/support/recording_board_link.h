// A board link that records every property write as one line of text.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sonovar/effects/board_link.h"

namespace testing_support {

class RecordingBoardLink final : public sonovar::BoardLink {
 public:
  std::string Detected() override { return detected; }
  int SetDeviceNumber(std::string_view number) override {
    writes.push_back("DeviceNumber " + std::string(number));
    return absent.count(std::string(number)) ? 16385 : 0;
  }
  void SetCommand(std::string_view text) override { writes.push_back("Command " + std::string(text)); }
  void SetFastCom(bool on) override { writes.push_back(on ? "FastCom 1" : "FastCom 0"); }
  void SetCompatibilityDelay(int16_t ms) override { writes.push_back("CompatibilityDelay " + std::to_string(ms)); }

  std::string detected = "1111000000000000";
  std::set<std::string> absent;  // board numbers whose selection is refused
  std::vector<std::string> writes;
};

}  // namespace testing_support
