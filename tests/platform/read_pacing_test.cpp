// When the capture thread may leave a server's pieces waiting, and how long.
#include "platform/read_pacing.h"

#include <gtest/gtest.h>

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
      {"pieces a third of what is missing", {150}, 450, microseconds((450 - 150) * 1000000LL / 22050)},
      {"pieces larger than a third", {151}, 450, microseconds(0)},
      {"pieces of a buffer each", {512}, 512, microseconds(0)},
      {"the owner is behind", {110}, 0, microseconds(0)},
      // The average follows the pieces, an eighth at a time.
      {"pieces grew", {100, 900}, 500, microseconds(0)},
  };
  for (const Case& c : cases) {
    ReadPacer pacer(22050);
    for (size_t piece : c.pieces) pacer.Piece(piece);
    EXPECT_NEAR(pacer.Hold(c.missing).count(), c.hold.count(), 1) << c.what;
  }
}

}  // namespace
}  // namespace platform
