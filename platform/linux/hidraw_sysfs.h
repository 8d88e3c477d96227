// Pure parsers for what the Linux hidraw backend reads from sysfs, kept apart
// from the file access so that tests and the fuzzer can feed them bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/hid.h"

namespace platform::linux_hid {

struct HidId {
  uint32_t bus = 0;
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
};

// Finds the "HID_ID=bus:vendor:product" line of a device's uevent file.
std::optional<HidId> ParseUeventHidId(std::string_view uevent);

// Longest output report length taken from a descriptor.
inline constexpr uint16_t kMaxOutputReportLength = kMaxHidReportLength;

// Length in bytes of the longest output report a report descriptor declares,
// with one byte for the report id counted as the HID capabilities of other
// systems count it (so 8 payload bytes give 9), at most kMaxOutputReportLength.
// 0 when there is no output item.
uint16_t OutputReportLength(std::span<const uint8_t> descriptor);

}  // namespace platform::linux_hid
