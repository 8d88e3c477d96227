// The uevent parser against a reference built on a regular expression: the
// first line that begins with "HID_ID=" decides, and it must be three hex
// fields, the bus within 32 bits and the ids within 16.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

#include "platform/linux/hidraw_sysfs.h"

namespace {

// A hex field's value, or nothing when it has more significant digits than `digits`.
std::optional<uint32_t> Hex(const std::string& field, size_t digits) {
  const size_t first = field.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  if (field.size() - first > digits) return std::nullopt;
  return static_cast<uint32_t>(std::stoul(field.substr(first), nullptr, 16));
}

std::optional<platform::linux_hid::HidId> Reference(const std::string& uevent) {
  static const std::regex kLine("HID_ID=([0-9A-Fa-f]+):([0-9A-Fa-f]+):([0-9A-Fa-f]+)");
  size_t start = 0;
  while (start < uevent.size()) {
    const size_t end = std::min(uevent.find('\n', start), uevent.size());
    const std::string line = uevent.substr(start, end - start);
    start = end + 1;
    if (line.rfind("HID_ID=", 0) != 0) continue;
    std::smatch m;
    if (!std::regex_match(line, m, kLine)) return std::nullopt;
    auto bus = Hex(m[1], 8), vendor = Hex(m[2], 4), product = Hex(m[3], 4);
    if (!bus || !vendor || !product) return std::nullopt;
    return platform::linux_hid::HidId{*bus, static_cast<uint16_t>(*vendor), static_cast<uint16_t>(*product)};
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto got = platform::linux_hid::ParseUeventHidId(text);
  const auto want = Reference(text);
  if (got.has_value() != want.has_value()) std::abort();
  if (got && (got->bus != want->bus || got->vendor_id != want->vendor_id || got->product_id != want->product_id))
    std::abort();
  return 0;
}
