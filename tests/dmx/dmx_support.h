// What the tests against a private olad share: its port, the bindings file,
// a control, and the channels read back.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ola_fetch.h"
#include "quorelctl.hpp"

namespace dmx_test {

using Clock = std::chrono::steady_clock;
using Channels = std::vector<uint8_t>;

inline const uint16_t kPort = static_cast<uint16_t>(std::atoi(std::getenv("OLA_PORT") ? std::getenv("OLA_PORT") : "0"));
constexpr int kFirst = 5;  // board 1's first channel: output k on channel 4 + k

inline double Now() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

inline std::string Server(uint16_t port = kPort) { return "server 127.0.0.1:" + std::to_string(port); }

// Writes the bindings file and points the library at it.
inline void Bind(const std::string& text) {
  const std::string path = std::string(std::getenv("OLAD_DIR")) + "/boards.conf";
  std::ofstream(path) << text;
  setenv("QUORELCTL_BOARDS", path.c_str(), 1);
}

struct Control {
  QuorelControl* q = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  ~Control() { quorel_destroy(q); }
  void Send(int board, const std::string& command) {
    ASSERT_EQ(quorel_set_text(q, "DeviceNumber", std::to_string(board).c_str()), 0) << quorel_error_description(q);
    ASSERT_EQ(quorel_set_text(q, "Command", command.c_str()), 0);
  }
  std::string Detected() {
    char text[17] = {};
    quorel_get_text(q, "Detected", text, sizeof text);
    return text;
  }
};

// The 32 outputs of board 1 in universe 1, waiting up to a second for them
// to become `expected`; what was seen last otherwise.
inline Channels Outputs(OlaFetch& ola, const Channels& expected, unsigned universe = 1, int first = kFirst) {
  Channels seen;
  for (const Clock::time_point end = Clock::now() + std::chrono::seconds(1); Clock::now() < end;) {
    auto data = ola.Fetch(universe);
    if (data && data->size() >= static_cast<size_t>(first + 31)) {
      seen.assign(data->begin() + first - 1, data->begin() + first + 31);
      if (seen == expected) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return seen;
}

inline Channels All(uint8_t v) { return Channels(32, v); }
inline Channels With(Channels c, std::initializer_list<std::pair<int, uint8_t>> outputs) {
  for (auto [output, value] : outputs) c[output - 1] = value;
  return c;
}

}  // namespace dmx_test
