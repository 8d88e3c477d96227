// Boards bound to DMX universes, through the C interface, against a private
// olad that dmx_olad_test.sh starts (OLA_PORT, OLAD_DIR, OLAD_SCRIPT).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/levels.h"
#include "dmx_support.h"
#include "ola_fetch.h"
#include "quorelctl.hpp"

namespace {

using namespace dmx_test;

struct Step {
  const char* command;
  Channels expected;
};

TEST(DmxBoardTest, TheUniverseShowsWhatTheTablesShow) {
  Bind("board 1 = universe 1 channel 5 " + Server() + "\n");
  Control control;
  ASSERT_EQ(control.Detected(), "1000000000000000");
  OlaFetch ola(kPort);
  const Step steps[] = {
      {"", All(0)},  // the start-up defaults switch every output off
      {"SBA:255,255,255,255,3", All(255)},
      {"PBA:0,1,24,48,63,8,40,49,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,0",
       With(All(255), {{1, 0}, {2, 5}, {3, 128}, {4, 255}, {5, 255}, {6, 43}, {7, 213}, {8, 255}, {32, 0}})},
      {"S05:0", With(All(255), {{1, 0}, {2, 5}, {3, 128}, {4, 255}, {5, 0}, {6, 43}, {7, 213}, {8, 255}, {32, 0}})},
      {"SBA:0,0,0,0,3", All(0)},
      {"RGB:10,24,48,1", With(All(0), {{10, 128}, {11, 255}, {12, 5}})},
      {"P11:70", With(All(0), {{10, 128}, {11, 32}, {12, 5}})},  // 70 keeps 6: 6 x 255 / 48 = 31.9
      {"SB4:255", With(All(0), {{10, 128}, {11, 32}, {12, 5}, {25, 255}, {26, 255}, {27, 255}, {28, 255},
                                {29, 255}, {30, 255}, {31, 255}, {32, 0}})},
      {"sba:1,0,0,0,3", With(All(0), {{1, 0}})},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.command);
    if (*step.command) control.Send(1, step.command);
    EXPECT_EQ(Outputs(ola, step.expected), step.expected);
  }
}

// A waveform's channel, fetched at two moments, is the level function's
// value at a moment between the fetch and one frame (at 30 a second) before.
TEST(DmxBoardTest, AWaveformMovesWithTheGpsValue) {
  Bind("board 1 = universe 1 channel 5 " + Server() + "\n");
  Control control;
  OlaFetch ola(kPort);
  control.Send(1, "SBA:255,255,255,255,3");
  control.Send(1, "PBA:0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
  control.Send(1, "P01:SAW");
  control.Send(1, "P02:sup");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (int moment = 0; moment < 2; ++moment) {
    const double before = Now();
    auto data = ola.Fetch(1);
    const double after = Now();
    ASSERT_TRUE(data && data->size() >= kFirst + 1u);
    for (int output = 1; output <= 2; ++output) {
      const uint8_t value = (*data)[kFirst - 2 + output];
      const uint8_t wave = output == 1 ? common::kWaveSaw : common::kWaveSawUp;
      bool possible = false;
      for (double t = before - 1.0 / 30 - 0.005; t <= after && !possible; t += 0.0005)
        possible = common::OutputLevel(true, wave, 3, t) == value;
      EXPECT_TRUE(possible) << "output " << output << " shows " << int(value) << " at moment " << moment;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
}

// Every kind of bad line is reported with its line, and the good lines work.
TEST(DmxBoardTest, BadLinesAreReportedAndTheRestCounts) {
  Bind("# boards of the test\n"
       "board 1 = universe 1 channel 5 " + Server() + "\n"
       "board 17 = universe 1 channel 100\n"
       "board 2 = universe 1 channel 482\n"
       "board 1 = universe 2 channel 1\n"
       "board 3 = universe 1 channel 20 " + Server() + "\n"
       "board 4 = universe 1 channel 300 server 10.0.0:9010\n"
       "bored 5 = universe 1 channel 300\n"
       "\n"
       "  BOARD 6=Universe 1   CHANNEL 200 " + Server() + "   # the good one after them\n");
  const std::vector<QuorelBinding> lines = quorel::ListBindings();
  ASSERT_EQ(lines.size(), 8u);
  const int bad_lines[] = {3, 4, 5, 6, 7, 8};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(lines[i + 1].line, bad_lines[i]);
    EXPECT_EQ(lines[i + 1].usable, 0);
    EXPECT_NE(lines[i + 1].reason[0], '\0') << "line " << bad_lines[i];
  }
  EXPECT_EQ(lines[0].usable, 1) << lines[0].reason;
  EXPECT_STREQ(lines[7].description, ("DMX universe 1, channels 200-231, via 127.0.0.1:" + std::to_string(kPort)).c_str());

  Control control;
  EXPECT_EQ(control.Detected(), "1000010000000000");
  OlaFetch ola(kPort);
  control.Send(6, "SBA:129,0,0,0,3");
  EXPECT_EQ(Outputs(ola, With(All(0), {{1, 255}, {8, 255}}), 1, 200), With(All(0), {{1, 255}, {8, 255}}));
}

// A server that is not there, and one that takes the connection but never
// answers: the boards are absent with the reason, and creation waits at most
// about a second for both together.
TEST(DmxBoardTest, ServersThatDoNotAnswerCostOneSecondAtMost) {
  const int stuck = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(stuck, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(stuck, 4), 0);
  socklen_t size = sizeof address;
  getsockname(stuck, reinterpret_cast<sockaddr*>(&address), &size);
  const uint16_t stuck_port = ntohs(address.sin_port);
  Bind("board 2 = universe 1 channel 1 " + Server(stuck_port) + "\nboard 3 = universe 1 channel 1 server 127.0.0.1:1\n");

  const Clock::time_point start = Clock::now();
  {
    Control control;
    EXPECT_EQ(control.Detected(), "0000000000000000");
    EXPECT_EQ(quorel_set_text(control.q, "DeviceNumber", "2"), QUOREL_E_NOT_CONNECTED);
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1200));
  const std::vector<QuorelBinding> lines = quorel::ListBindings();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(std::string(lines[0].reason), "OLA server 127.0.0.1:" + std::to_string(stuck_port) + " does not answer");
  EXPECT_EQ(std::string(lines[1].reason), "OLA server 127.0.0.1:1 does not answer");
  close(stuck);
}

// olad killed and started again during a show: no command waits longer than
// a report may, and the show is back within a second of the server.
TEST(DmxBoardTest, ARestartedServerLightsUpAgain) {
  Bind("board 1 = universe 1 channel 5 " + Server() + "\n");
  Control control;
  OlaFetch ola(kPort);
  control.Send(1, "SBA:255,255,255,255,3");
  const std::string script = std::string("bash ") + std::getenv("OLAD_SCRIPT") + " ";
  const std::string folder = std::getenv("OLAD_DIR");
  std::atomic<double> back{0};
  std::thread server([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(std::system((script + "kill " + folder).c_str()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(std::system((script + "start " + folder).c_str()), 0);
    back = Now();
  });
  double longest = 0, seen_again = 0;
  int level = 0;
  for (const double end = Now() + 7; Now() < end && seen_again == 0;) {
    level = (level + 1) % 49;
    const double before = Now();
    std::string command = "PBA:" + std::to_string(level);
    for (int k = 2; k <= 32; ++k) command += ",0";
    control.Send(1, command);
    longest = std::max(longest, Now() - before);
    std::this_thread::sleep_for(std::chrono::milliseconds(23));
    if (back == 0) continue;
    auto data = ola.Fetch(1, 100);
    if (data && data->size() >= kFirst && (*data)[kFirst - 1] == common::OutputLevel(true, level, 3, 0))
      seen_again = Now();
  }
  server.join();
  EXPECT_LT(longest, 0.25);
  ASSERT_GT(seen_again, 0) << "the show did not come back";
  EXPECT_LT(seen_again - back, 1.0);
  std::printf("longest command %.1f ms; show back %.0f ms after the server\n", longest * 1000,
              (seen_again - back) * 1000);
}

}  // namespace
