// When the capture thread may leave a server's pieces waiting, and how long.
#include "platform/read_pacing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace platform {
namespace {

using std::chrono::microseconds;

struct Case {
  const char* what;
  std::vector<size_t> pieces;
  size_t missing;
  microseconds hold;
};

TEST(ReadPacerTest, HoldsOnlyWhenItSparesWakeUps) {
  const Case cases[] = {
      {"no piece seen yet", {}, 512, microseconds(0)},
      // 5 ms pieces: sleep until one piece before the buffer can be full.
      {"small pieces", {110, 110, 110}, 440, microseconds((440 - 110) * 1000000LL / 22050)},
      // A large piece and a tiny one arrive together: the large one counts.
      {"large and tiny pieces", {2, 136, 2, 136}, 400, microseconds((400 - 136) * 1000000LL / 22050)},
      {"missing exactly two pieces", {150}, 300, microseconds((300 - 150) * 1000000LL / 22050)},
      {"missing less than two pieces", {151}, 300, microseconds(0)},
      {"pieces of a buffer each", {512}, 512, microseconds(0)},
      {"the owner is behind", {110}, 0, microseconds(0)},
  };
  for (const Case& c : cases) {
    ReadPacer pacer(22050);
    for (size_t piece : c.pieces) pacer.Piece(piece);
    EXPECT_NEAR(pacer.Hold(c.missing).count(), c.hold.count(), 1) << c.what;
  }
  // A large piece fades a sixty-fourth a piece: after 64 small ones it
  // counts for about a third of itself.
  ReadPacer pacer(22050);
  pacer.Piece(1000);
  for (int i = 0; i < 64; ++i) pacer.Piece(100);
  const double largest = 1000 * std::pow(63.0 / 64, 64);
  EXPECT_NEAR(pacer.Hold(800).count(), (800 - largest) * 1e6 / 22050, 1);
}

}  // namespace
}  // namespace platform
