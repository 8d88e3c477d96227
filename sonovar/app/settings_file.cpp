#include "sonovar/app/settings_file.h"

#include <algorithm>
#include <type_traits>

#include "platform/files.h"

namespace sonovar {

namespace {

constexpr size_t kMarkerBytes = sizeof kEffectTailMarker - 1;

// Nothing beyond the longest record is ever read.
constexpr size_t kMostBytes = kLongestSettingsRecord;

// Fletcher's 16-bit sum: any one changed byte, and most swaps, change it.
uint16_t Check(std::span<const uint8_t> bytes) {
  uint32_t low = 0, high = 0;
  for (uint8_t b : bytes) {
    low = (low + b) % 255;
    high = (high + low) % 255;
  }
  return static_cast<uint16_t>(high << 8 | low);
}

static_assert(sizeof kAutoLevelTailMarker == sizeof kEffectTailMarker &&
                  sizeof kLightOffsetTailMarker == sizeof kEffectTailMarker,
              "the tails' markers are equally long");

// A tail at `at`: `marker`, a length byte, that many bytes and the check of
// all bytes before the check. Where its content starts and the tail's end,
// or nothing when there is no such tail or its check fails.
bool ReadTail(std::span<const uint8_t> bytes, size_t at, const char* marker, size_t most, size_t* content,
              size_t* end) {
  if (at + kMarkerBytes + 1 > bytes.size() ||
      !std::equal(marker, marker + kMarkerBytes, bytes.begin() + static_cast<long>(at)))
    return false;
  const size_t length = bytes[at + kMarkerBytes], from = at + kMarkerBytes + 1;
  if (length > most || from + length + 2 > bytes.size()) return false;
  if (Check(bytes.first(from + length)) != static_cast<uint16_t>(bytes[from + length] | bytes[from + length + 1] << 8))
    return false;
  *content = from;
  *end = from + length + 2;
  return true;
}

// The effect's tail at `at`, then auto level's behind it, then the light
// offset's: each counts only behind the one before it.
void ReadTails(std::span<const uint8_t> bytes, size_t at, SettingsRecord* r) {
  size_t content = 0, end = 0;
  if (!ReadTail(bytes, at, kEffectTailMarker, kEffectIdLength, &content, &end)) return;
  r->EffectId.assign(bytes.begin() + static_cast<long>(content), bytes.begin() + static_cast<long>(end - 2));
  if (!ReadTail(bytes, end, kAutoLevelTailMarker, 1, &content, &end) || end - 2 - content != 1) return;
  r->AutoLevel = bytes[content] != 0;
  if (!ReadTail(bytes, end, kLightOffsetTailMarker, 2, &content, &end) || end - 2 - content != 2) return;
  const auto stored = static_cast<int16_t>(bytes[content] | bytes[content + 1] << 8);
  r->LightOffset = static_cast<int16_t>(std::clamp<int>(stored, kSettingsLightOffsetMin, kSettingsLightOffsetMax));
}

void PutTail(std::vector<uint8_t>& out, const char* marker, std::string_view content) {
  out.insert(out.end(), marker, marker + kMarkerBytes);
  out.push_back(static_cast<uint8_t>(content.size()));
  out.insert(out.end(), content.begin(), content.end());
  const uint16_t check = Check(out);
  out.push_back(static_cast<uint8_t>(check & 0xFF));
  out.push_back(static_cast<uint8_t>(check >> 8));
}

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

// The first kMostBytes of the file that `path` leads to. Another user's link
// and a link to nothing lead nowhere: a planted link must neither show the
// program another file nor have it created.
platform::ReadStatus ReadHead(const platform::LinkTarget& target, std::string* head, std::string* error) {
  if (target.state == platform::LinkTarget::kNone) return platform::ReadStatus::kMissing;
  if (target.state != platform::LinkTarget::kReached) {
    *error = target.state == platform::LinkTarget::kDangling
                 ? "it is a symbolic link to nothing, and no file is made through one"
                 : "it is a symbolic link that is not the user's own, or one of too many in a row";
    return platform::ReadStatus::kRefused;
  }
  return platform::ReadRegularFile(target.path, kMostBytes, platform::Links::kRefuse, head, nullptr, error);
}

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
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
  const size_t length = Word(bytes, kNameLengthOffset);
  if (kSettingsFixedBytes + length <= bytes.size()) {
    r.Name.assign(bytes.begin() + kSettingsFixedBytes, bytes.begin() + static_cast<long>(kSettingsFixedBytes + length));
    ReadTails(bytes, kSettingsFixedBytes + length, &r);
  }
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
  PutWord(out, kNameLengthOffset, static_cast<uint16_t>(length));
  std::copy_n(r.Name.begin(), length, out.begin() + kSettingsFixedBytes);
  // Always written, also without an id: a tail that an earlier save left at
  // the same place must not speak for this record.
  PutTail(out, kEffectTailMarker, std::string_view(r.EffectId).substr(0, kEffectIdLength));
  PutTail(out, kAutoLevelTailMarker, r.AutoLevel ? "\1" : std::string_view("\0", 1));
  const auto offset_bits = static_cast<uint16_t>(r.LightOffset);
  const char light_offset[] = {static_cast<char>(offset_bits & 0xFF), static_cast<char>(offset_bits >> 8)};
  PutTail(out, kLightOffsetTailMarker, std::string_view(light_offset, 2));
  return out;
}

int ChosenEffect(const SettingsRecord& r) {
  if (!r.EffectId.empty()) {
    const int n = EffectById(r.EffectId);
    return n != 0 ? n : kPulse;
  }
  for (int n = 1; n <= kEffectCount; ++n)
    if (const int field = kEffects[n - 1].stored_as; field != 0 && r.EffectSelected[field]) return n;
  return 0;
}

void StoreEffectChoice(SettingsRecord& r, int n) {
  r.EffectSelected.fill(false);
  r.EffectId.clear();
  if (n < 1 || n > kEffectCount) return;
  if (const int field = kEffects[n - 1].stored_as; field != 0) r.EffectSelected[field] = true;
  r.EffectId = kEffects[n - 1].id;
}

SettingsRecord LoadSettingsFile(const std::string& path) {
  const platform::LinkTarget target = platform::FollowOwnLinks(path);
  std::string head, error;
  switch (ReadHead(target, &head, &error)) {
    case platform::ReadStatus::kRead: return DecodeSettings(AsBytes(head));
    case platform::ReadStatus::kMissing:
      if (target.state == platform::LinkTarget::kNone) platform::CreateEmptyFile(path);  // a first start
      return {};
    default: return {};  // as an unreadable file
  }
}

std::string SaveSettingsFile(const std::string& path, const SettingsRecord& record) {
  std::vector<uint8_t> bytes = EncodeSettings(record);
  const platform::LinkTarget target = platform::FollowOwnLinks(path);
  std::string head, error;
  switch (ReadHead(target, &head, &error)) {
    case platform::ReadStatus::kRead:
      // Whatever an earlier, longer save left behind the record stays, as
      // far as a record can reach; nothing beyond is ever read.
      if (head.size() > bytes.size())
        bytes.insert(bytes.end(), head.begin() + static_cast<long>(bytes.size()), head.end());
      break;
    case platform::ReadStatus::kMissing: break;
    case platform::ReadStatus::kRefused: return error.empty() ? "it is not a regular file" : error;
    case platform::ReadStatus::kFailed: return "the old file cannot be read";
  }
  // The user's own link stays, and the file it leads to is replaced.
  return platform::ReplaceFileContents(target.path, bytes);
}

}  // namespace sonovar
