#include "platform/windows/hid_records.h"

#include <algorithm>
#include <cctype>

namespace platform::windows_hid {

std::optional<std::string> PathFromDetail(std::span<const uint8_t> detail) {
  if (detail.size() <= kDetailPathOffset) return std::nullopt;
  const auto text = detail.subspan(kDetailPathOffset);
  const auto end = std::find(text.begin(), text.end(), uint8_t{0});
  if (end == text.begin()) return std::nullopt;
  return std::string(text.begin(), end);
}

namespace {

// "vid_e7a1" -> 0xE7A1: the prefix, then exactly four hex digits.
std::optional<uint16_t> HexField(std::string_view token, std::string_view prefix) {
  if (token.size() != prefix.size() + 4) return std::nullopt;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(token[i])) != prefix[i]) return std::nullopt;
  uint16_t value = 0;
  for (char c : token.substr(prefix.size())) {
    const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : std::isxdigit(static_cast<unsigned char>(c))
                          ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                          : -1;
    if (digit < 0) return std::nullopt;
    value = static_cast<uint16_t>(value * 16 + digit);
  }
  return value;
}

}  // namespace

std::optional<UsbIds> IdsFromPath(std::string_view path) {
  // The hardware id is the part between the first and the second '#', its
  // fields separated by '&': vid_XXXX&pid_XXXX[&mi_XX...].
  const size_t first = path.find('#');
  if (first == std::string_view::npos) return std::nullopt;
  std::string_view id = path.substr(first + 1);
  id = id.substr(0, id.find('#'));
  std::optional<uint16_t> vendor, product;
  while (!id.empty()) {
    const size_t amp = id.find('&');
    const std::string_view token = id.substr(0, amp);
    if (!vendor) vendor = HexField(token, "vid_");
    if (!product) product = HexField(token, "pid_");
    id = amp == std::string_view::npos ? std::string_view() : id.substr(amp + 1);
  }
  if (!vendor || !product) return std::nullopt;
  return UsbIds{*vendor, *product};
}

std::optional<HidDeviceInfo> DescribeInterface(const InterfaceFacts& facts) {
  if (facts.path.empty()) return std::nullopt;
  HidDeviceInfo info;
  info.path = facts.path;
  if (facts.attributes_read) {
    info.vendor_id = facts.vendor_id;
    info.product_id = facts.product_id;
  } else if (const auto ids = IdsFromPath(facts.path)) {
    info.vendor_id = ids->vendor_id;
    info.product_id = ids->product_id;
  } else {
    return std::nullopt;
  }
  info.descriptor_read = facts.caps_read;
  if (facts.caps_read) info.output_report_length = std::min(facts.output_report_byte_length, kMaxHidReportLength);
  return info;
}

HidWriteFailure WriteFailureOf(uint32_t error) {
  switch (error) {
    case kErrorGenFailure:
    case kErrorBrokenPipe:
    case kErrorNoData:
    case kErrorPipeNotConnected:
    case kErrorNoSuchDevice:
    case kErrorDeviceNotConnected:
    case kErrorDeviceRemoved:
      return HidWriteFailure::kDeviceGone;
    default:
      return HidWriteFailure::kOther;
  }
}

}  // namespace platform::windows_hid
