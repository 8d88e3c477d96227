#include "sonovar/app/settings_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <type_traits>

#include "platform/files.h"

namespace sonovar {

namespace {

// 32 fixed bytes and a name of at most 65535: nothing beyond is ever read.
constexpr size_t kMostBytes = kSettingsFixedBytes + 65535;

// The name's length follows the 16-bit fields; the name follows it.
constexpr size_t kNameLength = kSettingsFixedBytes - 2;

uint16_t Word(std::span<const uint8_t> bytes, size_t offset) {
  if (offset + 2 > bytes.size()) return 0;
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void PutWord(std::vector<uint8_t>& out, size_t offset, uint16_t value) {
  out[offset] = static_cast<uint8_t>(value & 0xFF);
  out[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// Only -1 (all bits set) is true.
bool Boolean(std::span<const uint8_t> bytes, size_t offset) { return Word(bytes, offset) == 0xFFFF; }

std::vector<uint8_t> ReadHead(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(kMostBytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

SettingsRecord DecodeSettings(std::span<const uint8_t> bytes) {
  SettingsRecord r;
  size_t offset = 0;
  ForEachSettingsField(r, [&](std::string_view, auto& field) {
    if constexpr (std::is_same_v<decltype(field), bool&>) field = Boolean(bytes, offset);
    else field = static_cast<int16_t>(Word(bytes, offset));
    offset += 2;
  });
  const size_t length = Word(bytes, kNameLength);
  if (kSettingsFixedBytes + length <= bytes.size())
    r.Name.assign(bytes.begin() + kSettingsFixedBytes, bytes.begin() + static_cast<long>(kSettingsFixedBytes + length));
  return r;
}

std::vector<uint8_t> EncodeSettings(const SettingsRecord& r) {
  const size_t length = std::min<size_t>(r.Name.size(), 65535);
  std::vector<uint8_t> out(kSettingsFixedBytes + length);
  size_t offset = 0;
  ForEachSettingsField(r, [&](std::string_view, const auto& field) {
    if constexpr (std::is_same_v<decltype(field), const bool&>) PutWord(out, offset, field ? 0xFFFF : 0);
    else PutWord(out, offset, static_cast<uint16_t>(field));
    offset += 2;
  });
  PutWord(out, kNameLength, static_cast<uint16_t>(length));
  std::copy_n(r.Name.begin(), length, out.begin() + kSettingsFixedBytes);
  return out;
}

SettingsRecord LoadSettingsFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    std::ofstream create(path, std::ios::binary | std::ios::app);  // a first start leaves an empty file
    return {};
  }
  // A FIFO or a device would hold the start up.
  if (!IsRegularFile(path)) return {};
  return DecodeSettings(ReadHead(path));
}

std::string SaveSettingsFile(const std::string& path, const SettingsRecord& record) {
  std::vector<uint8_t> bytes = EncodeSettings(record);
  // Whatever an earlier, longer save left behind the record stays.
  if (IsRegularFile(path)) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return "the old file cannot be read";
    in.seekg(static_cast<std::streamoff>(bytes.size()));
    if (in) bytes.insert(bytes.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return platform::ReplaceFileContents(path, bytes);
}

}  // namespace sonovar
