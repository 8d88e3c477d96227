// The frame check between an OLA server and libola: which headers let a body
// follow, and that a body is counted out to its end.
#include "quorelctl/dmx/ola/frame_check.h"

#include <gtest/gtest.h>

namespace quorelctl {
namespace {

struct HeaderCase {
  uint32_t word;
  bool accepted;
};

TEST(OlaFrameCheckTest, OnlyThisVersionAndSizesOlaAnswersWith) {
  const HeaderCase cases[] = {
      {(1u << 28) | 6, true},
      {(1u << 28) | kLargestOlaFrame, true},
      {(1u << 28) | (kLargestOlaFrame + 1), false},
      {(1u << 28) | 0x0FFFFFFF, false},  // past libola's own limit: it would close the channel itself
      {(2u << 28) | 0x10000, false},     // libola keeps the size of a version it does not know
      {(0u << 28) | 6, false},
      {(15u << 28) | 6, false},
      {(1u << 28) | 0, false},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.word);
    uint8_t header[kOlaHeaderBytes];
    std::memcpy(header, &c.word, sizeof header);
    OlaFrameCheck check;
    EXPECT_EQ(check.TakeHeader(header), c.accepted);
    EXPECT_EQ(check.AtHeader(), !c.accepted);
    EXPECT_EQ(check.BodyLeft(), c.accepted ? c.word & 0x0FFFFFFF : 0u);
  }
}

TEST(OlaFrameCheckTest, ABodyInPartsEndsAtItsSize) {
  const uint32_t word = (1u << 28) | 10;
  uint8_t header[kOlaHeaderBytes];
  std::memcpy(header, &word, sizeof header);
  OlaFrameCheck check;
  ASSERT_TRUE(check.TakeHeader(header));
  check.TookBody(4);
  EXPECT_EQ(check.BodyLeft(), 6u);
  EXPECT_FALSE(check.AtHeader());
  check.TookBody(6);
  EXPECT_TRUE(check.AtHeader());
  check.TookBody(3);  // more than is left never wraps round
  EXPECT_EQ(check.BodyLeft(), 0u);
}

}  // namespace
}  // namespace quorelctl
