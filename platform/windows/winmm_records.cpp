#include "platform/windows/winmm_records.h"

#include <algorithm>
#include <charconv>

namespace platform::winmm {

std::string_view NameFromCaps(std::span<const char> field) {
  const auto end = std::find(field.begin(), field.end(), '\0');
  return {field.data(), static_cast<size_t>(end - field.begin())};
}

BackendDevice DeviceFromCaps(unsigned number, std::string name, uint32_t formats, bool preferred) {
  BackendDevice device;
  device.name = std::move(name);
  device.format_ok = (formats & kWaveFormat11kStereo8) != 0;
  device.is_default = preferred;
  device.id = std::to_string(number);
  return device;
}

std::optional<unsigned> DeviceNumberOf(const BackendDevice& device) {
  unsigned number = 0;
  const char* end = device.id.data() + device.id.size();
  const auto result = std::from_chars(device.id.data(), end, number);
  if (device.id.empty() || result.ec != std::errc() || result.ptr != end) return std::nullopt;
  return number;
}

std::optional<size_t> RecordedBytes(uint32_t flags, uint32_t bytes_recorded, uint32_t buffer_length) {
  if (!(flags & kHeaderDone) || (flags & kHeaderInQueue)) return std::nullopt;
  return std::min(bytes_recorded, buffer_length) & ~uint32_t{1};
}

}  // namespace platform::winmm
