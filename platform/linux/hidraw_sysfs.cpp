#include "platform/linux/hidraw_sysfs.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <map>
#include <vector>

namespace platform::linux_hid {

namespace {

bool ParseHex(std::string_view text, uint32_t* out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out, 16);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<HidId> ParseUeventHidId(std::string_view uevent) {
  constexpr std::string_view kKey = "HID_ID=";
  while (!uevent.empty()) {
    size_t eol = uevent.find('\n');
    std::string_view line = uevent.substr(0, eol);
    uevent = eol == std::string_view::npos ? std::string_view() : uevent.substr(eol + 1);
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    // HID_ID=0003:0000E7A1:000000F0 (bus, vendor, product; hex, zero-padded)
    size_t c1 = line.find(':');
    size_t c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
    if (c2 == std::string_view::npos) return std::nullopt;
    uint32_t bus = 0, vendor = 0, product = 0;
    if (!ParseHex(line.substr(0, c1), &bus) || !ParseHex(line.substr(c1 + 1, c2 - c1 - 1), &vendor) ||
        !ParseHex(line.substr(c2 + 1), &product) || vendor > 0xFFFF || product > 0xFFFF)
      return std::nullopt;
    return HidId{bus, static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)};
  }
  return std::nullopt;
}

uint16_t OutputReportLength(std::span<const uint8_t> descriptor) {
  struct Globals {
    uint32_t report_size = 0;
    uint32_t report_count = 0;
    uint32_t report_id = 0;
  };
  Globals globals;
  std::vector<Globals> stack;
  std::map<uint32_t, uint64_t> output_bits;  // report id -> bits of its Output items

  size_t i = 0;
  while (i < descriptor.size()) {
    const uint8_t prefix = descriptor[i];
    if (prefix == 0xFE) {
      // Long item: 0xFE, bDataSize, bLongItemTag, data. Never an Output item.
      if (i + 2 >= descriptor.size()) break;
      i += 3 + descriptor[i + 1];
      continue;
    }
    // Short item prefix: bTag (7-4), bType (3-2), bSize (1-0; 3 means 4 bytes).
    static constexpr std::array<size_t, 4> kSizes = {0, 1, 2, 4};
    const size_t size = kSizes[prefix & 0x03];
    if (i + 1 + size > descriptor.size()) break;  // truncated item: stop, keep what was read
    uint32_t data = 0;
    for (size_t b = 0; b < size; ++b) data |= static_cast<uint32_t>(descriptor[i + 1 + b]) << (8 * b);
    switch (prefix & 0xFC) {
      case 0x90: {  // Main item Output
        // Size and count are 32-bit, so their product fits; the sum over
        // many items may not, and saturates instead of wrapping to a small
        // length.
        uint64_t& bits = output_bits[globals.report_id];
        const uint64_t add = static_cast<uint64_t>(globals.report_size) * globals.report_count;
        bits = add > UINT64_MAX - bits ? UINT64_MAX : bits + add;
        break;
      }
      case 0x74: globals.report_size = data; break;   // Global Report Size
      case 0x94: globals.report_count = data; break;  // Global Report Count
      case 0x84: globals.report_id = data; break;     // Global Report ID
      case 0xA4: stack.push_back(globals); break;     // Global Push
      case 0xB4:                                      // Global Pop
        if (!stack.empty()) {
          globals = stack.back();
          stack.pop_back();
        }
        break;
      default: break;
    }
    i += 1 + size;
  }

  uint64_t longest = 0;
  for (const auto& [id, bits] : output_bits) {
    if (bits == 0) continue;
    longest = std::max<uint64_t>(longest, bits / 8 + (bits % 8 != 0) + 1);
  }
  return static_cast<uint16_t>(std::min<uint64_t>(longest, kMaxOutputReportLength));
}

}  // namespace platform::linux_hid
