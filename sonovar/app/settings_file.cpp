#include "sonovar/app/settings_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/files.h"

namespace sonovar {

namespace {

// 32 fixed bytes and a name of at most 65535: nothing beyond is ever read.
constexpr size_t kMostBytes = kSettingsFixedBytes + 65535;

// Offsets of the fields: ten 16-bit words, four Booleans, ...
enum Offset : size_t {
  kDelay = 0, kDecay = 2, kCyanBias = 4, kYellowBias = 6, kRedBias = 8, kBoard1Active = 10,
  kTurbo = 18, kNonTurboDelay = 20, kInputDevice = 22, kEffect1Selected = 24, kNameLength = 30,
};

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
  r.Delay = static_cast<int16_t>(Word(bytes, kDelay));
  r.Decay = static_cast<int16_t>(Word(bytes, kDecay));
  r.CyanBias = static_cast<int16_t>(Word(bytes, kCyanBias));
  r.YellowBias = static_cast<int16_t>(Word(bytes, kYellowBias));
  r.RedBias = static_cast<int16_t>(Word(bytes, kRedBias));
  for (int n = 1; n <= 4; ++n) r.BoardActive[n] = Boolean(bytes, kBoard1Active + 2 * (n - 1));
  r.Turbo = Boolean(bytes, kTurbo);
  r.NonTurboDelay = static_cast<int16_t>(Word(bytes, kNonTurboDelay));
  r.InputDevice = static_cast<int16_t>(Word(bytes, kInputDevice));
  for (int n = 1; n <= kStoredEffects; ++n) r.EffectSelected[n] = Boolean(bytes, kEffect1Selected + 2 * (n - 1));
  const size_t length = Word(bytes, kNameLength);
  if (kSettingsFixedBytes + length <= bytes.size())
    r.Name.assign(bytes.begin() + kSettingsFixedBytes, bytes.begin() + static_cast<long>(kSettingsFixedBytes + length));
  return r;
}

std::vector<uint8_t> EncodeSettings(const SettingsRecord& r) {
  const size_t length = std::min<size_t>(r.Name.size(), 65535);
  std::vector<uint8_t> out(kSettingsFixedBytes + length);
  auto boolean = [](bool b) -> uint16_t { return b ? 0xFFFF : 0; };
  PutWord(out, kDelay, static_cast<uint16_t>(r.Delay));
  PutWord(out, kDecay, static_cast<uint16_t>(r.Decay));
  PutWord(out, kCyanBias, static_cast<uint16_t>(r.CyanBias));
  PutWord(out, kYellowBias, static_cast<uint16_t>(r.YellowBias));
  PutWord(out, kRedBias, static_cast<uint16_t>(r.RedBias));
  for (int n = 1; n <= 4; ++n) PutWord(out, kBoard1Active + 2 * (n - 1), boolean(r.BoardActive[n]));
  PutWord(out, kTurbo, boolean(r.Turbo));
  PutWord(out, kNonTurboDelay, static_cast<uint16_t>(r.NonTurboDelay));
  PutWord(out, kInputDevice, static_cast<uint16_t>(r.InputDevice));
  for (int n = 1; n <= kStoredEffects; ++n) PutWord(out, kEffect1Selected + 2 * (n - 1), boolean(r.EffectSelected[n]));
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
