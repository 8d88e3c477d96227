#include "platform/linux/hidraw_sysfs.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_sysfs.h"

namespace platform::linux_hid {
namespace {

struct UeventCase {
  const char* name;
  const char* text;
  bool found;
  uint16_t vendor;
  uint16_t product;
};

class UeventTest : public ::testing::TestWithParam<UeventCase> {};

TEST_P(UeventTest, ReadsHidId) {
  const UeventCase& c = GetParam();
  auto id = ParseUeventHidId(c.text);
  ASSERT_EQ(id.has_value(), c.found);
  if (c.found) {
    EXPECT_EQ(id->vendor_id, c.vendor);
    EXPECT_EQ(id->product_id, c.product);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UeventTest,
    ::testing::Values(
        UeventCase{"Board", "DRIVER=hid-generic\nHID_ID=0003:0000E7A1:000000F0\nHID_NAME=x\n", true, 0xE7A1, 0x00F0},
        UeventCase{"LowerCaseHex", "HID_ID=0003:0000e7a1:000000ff", true, 0xE7A1, 0x00FF},
        UeventCase{"NoTrailingNewline", "HID_ID=0005:0000046D:0000B33D", true, 0x046D, 0xB33D},
        UeventCase{"Missing", "DRIVER=hid-generic\nHID_NAME=x\n", false, 0, 0},
        UeventCase{"KeyNotAtLineStart", "XHID_ID=0003:0000E7A1:000000F0\n", false, 0, 0},
        UeventCase{"OneColon", "HID_ID=0003:0000E7A1\n", false, 0, 0},
        UeventCase{"NotHex", "HID_ID=0003:0000E7G1:000000F0\n", false, 0, 0},
        UeventCase{"VendorTooWide", "HID_ID=0003:0001E7A1:000000F0\n", false, 0, 0},
        UeventCase{"EmptyField", "HID_ID=0003::000000F0\n", false, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct DescriptorCase {
  const char* name;
  std::vector<uint8_t> bytes;
  uint16_t length;
};

class DescriptorTest : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(DescriptorTest, OutputReportLength) {
  EXPECT_EQ(OutputReportLength(GetParam().bytes), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Items, DescriptorTest,
    ::testing::Values(
        DescriptorCase{"Board", testing_support::kBoardDescriptor, 9},
        DescriptorCase{"Empty", {}, 0},
        DescriptorCase{"InputOnly", {0x75, 0x08, 0x95, 0x08, 0x81, 0x02}, 0},
        // 3 bits + 5 bits of padding = 1 byte, + report id byte
        DescriptorCase{"BitsRoundUp", {0x75, 0x01, 0x95, 0x03, 0x91, 0x02, 0x75, 0x05, 0x95, 0x01, 0x91, 0x03}, 2},
        DescriptorCase{"PartialByteRoundsUp", {0x75, 0x01, 0x95, 0x03, 0x91, 0x02}, 2},
        // Report ID 1: 4 bytes, report ID 2: 16 bytes; the longest counts.
        DescriptorCase{"LongestReportId",
                       {0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0x91, 0x02, 0x85, 0x02, 0x95, 0x10, 0x91, 0x02},
                       17},
        // Two-byte Report Count (0x96): 64 bytes.
        DescriptorCase{"TwoByteCount", {0x75, 0x08, 0x96, 0x40, 0x00, 0x91, 0x02}, 65},
        // Push keeps size 8 / count 8, Pop restores it after a change.
        DescriptorCase{"PushPop", {0x75, 0x08, 0x95, 0x08, 0xA4, 0x95, 0x02, 0xB4, 0x91, 0x02}, 9},
        // A long item (0xFE) is stepped over whole, data included.
        DescriptorCase{"LongItemSkipped", {0xFE, 0x02, 0x10, 0x91, 0x02, 0x75, 0x08, 0x95, 0x08, 0x91, 0x02}, 9},
        // A truncated item at the end leaves what was read before.
        DescriptorCase{"Truncated", {0x75, 0x08, 0x95, 0x08, 0x91, 0x02, 0x96, 0x01}, 9},
        DescriptorCase{"TruncatedLongItem", {0xFE, 0x05}, 0},
        // 32-bit size and count (0x77, 0x97): 2^64 - 1 bits in all, which
        // wrapped to a report of the id byte alone; far beyond the cap.
        DescriptorCase{"BitsBeyond64BitsAreCapped",
                       {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x91, 0x02, 0x75, 0x02, 0x91, 0x02},
                       kMaxOutputReportLength},
        // 32768 bytes: more than the cap, though within 16 bits.
        DescriptorCase{"LongReportIsCapped", {0x75, 0x08, 0x96, 0x00, 0x80, 0x91, 0x02}, kMaxOutputReportLength},
        DescriptorCase{"LongestUnderTheCap", {0x75, 0x08, 0x96, 0xFF, 0x3F, 0x91, 0x02}, kMaxOutputReportLength}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform::linux_hid
