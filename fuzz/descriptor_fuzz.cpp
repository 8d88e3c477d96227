// The report-descriptor parser against a reference that follows the item
// layout plainly and counts bits in 128 bits, which no input of a fuzzer's
// size can overflow: any difference is a fault of the parser.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <vector>

#include "platform/linux/hidraw_sysfs.h"

namespace {

using Wide = unsigned __int128;

uint16_t ReferenceLength(std::span<const uint8_t> d) {
  struct Globals {
    Wide size = 0, count = 0;
    uint32_t id = 0;
  } g;
  std::vector<Globals> stack;
  std::map<uint32_t, Wide> bits;
  size_t i = 0;
  while (i < d.size()) {
    if (d[i] == 0xFE) {  // long item: 0xFE, data size, tag, data
      if (i + 2 >= d.size()) break;
      i += 3 + d[i + 1];
      continue;
    }
    const size_t n = (d[i] & 3) == 3 ? 4 : (d[i] & 3);
    if (i + 1 + n > d.size()) break;
    uint32_t data = 0;
    for (size_t b = 0; b < n; ++b) data |= static_cast<uint32_t>(d[i + 1 + b]) << (8 * b);
    switch (d[i] & 0xFC) {
      case 0x90: bits[g.id] += g.size * g.count; break;  // Output
      case 0x74: g.size = data; break;                   // Report Size
      case 0x94: g.count = data; break;                  // Report Count
      case 0x84: g.id = data; break;                     // Report ID
      case 0xA4: stack.push_back(g); break;              // Push
      case 0xB4:                                         // Pop
        if (!stack.empty()) g = stack.back(), stack.pop_back();
        break;
    }
    i += 1 + n;
  }
  Wide longest = 0;
  for (const auto& [id, b] : bits)
    if (b != 0) longest = std::max<Wide>(longest, (b + 7) / 8 + 1);
  return static_cast<uint16_t>(std::min<Wide>(longest, platform::linux_hid::kMaxOutputReportLength));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> descriptor(data, size);
  if (platform::linux_hid::OutputReportLength(descriptor) != ReferenceLength(descriptor)) std::abort();
  return 0;
}
