// The light offset in the settings file, in a tail of its own after auto
// level's: 0 for every file an earlier version wrote or saved over, and the
// bytes an earlier version reads stay exactly what it wrote.
#include <gtest/gtest.h>

#include "sonovar/app/settings_file.h"

namespace sonovar {
namespace {

SettingsRecord SavedRecord(int16_t offset) {
  SettingsRecord r;
  r.Delay = 5;
  r.BoardActive[2] = true;
  r.Name = "chase";
  r.AutoLevel = false;
  r.LightOffset = offset;
  StoreEffectChoice(r, kQraLink);
  return r;
}

std::vector<uint8_t> WithoutLastTail(std::vector<uint8_t> bytes) {
  bytes.resize(bytes.size() - kLightOffsetTailBytes);
  return bytes;
}

// Stored values come back as they were within the range and clamped to it
// outside, as little-endian int16 after the marker and the length 2. Before
// that tail lie the bytes an earlier version writes, whatever the offset.
TEST(SettingsLightOffsetTest, ComesBackClampedAndLeavesEarlierBytesAlone) {
  const std::vector<uint8_t> earlier = WithoutLastTail(EncodeSettings(SavedRecord(0)));
  ASSERT_EQ(earlier.size(), kSettingsFixedBytes + 5 + kEffectTailBytes + 8 + kAutoLevelTailBytes);
  const struct {
    int16_t stored;
    int read;
  } rows[] = {{13, 13},     {-13, -13},   {-500, -500},  {2000, 2000},  {0x0102, 0x0102},
              {-501, -500}, {2001, 2000}, {32767, 2000}, {-32768, -500}};
  for (const auto& row : rows) {
    const std::vector<uint8_t> bytes = EncodeSettings(SavedRecord(row.stored));
    EXPECT_EQ(WithoutLastTail(bytes), earlier) << row.stored;
    const size_t tail = earlier.size();
    EXPECT_EQ(std::string(bytes.begin() + static_cast<long>(tail), bytes.begin() + static_cast<long>(tail) + 4),
              std::string("DLY\x02", 4));
    EXPECT_EQ(static_cast<int16_t>(bytes[tail + 4] | bytes[tail + 5] << 8), row.stored);
    const SettingsRecord r = DecodeSettings(bytes);
    EXPECT_EQ(r.LightOffset, row.read) << row.stored;
    EXPECT_FALSE(r.AutoLevel) << row.stored;
    EXPECT_EQ(ChosenEffect(r), kQraLink) << row.stored;
  }
}

// Without a tail that holds behind auto level's, the offset is 0.
TEST(SettingsLightOffsetTest, ZeroWithoutItsTail) {
  const std::vector<uint8_t> stored = EncodeSettings(SavedRecord(250));
  const size_t tail = stored.size() - kLightOffsetTailBytes;
  auto changed = [&stored](size_t at, uint8_t value) {
    std::vector<uint8_t> b = stored;
    b[at] = value;
    return b;
  };
  // An earlier version saved another record over it, keeping the bytes behind.
  std::vector<uint8_t> saved_over = stored;
  SettingsRecord other = SavedRecord(0);
  other.Delay = 6;
  const std::vector<uint8_t> other_bytes = WithoutLastTail(EncodeSettings(other));
  std::copy(other_bytes.begin(), other_bytes.end(), saved_over.begin());
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    int read;
  } rows[] = {
      {"stored", stored, 250},
      {"an earlier version's file", WithoutLastTail(stored), 0},
      {"an earlier version saved another record over it", saved_over, 0},
      {"another marker", changed(tail, 'X'), 0},
      {"length 1", changed(tail + 3, 1), 0},
      {"a broken check", changed(tail + 6, static_cast<uint8_t>(stored[tail + 6] + 1)), 0},
      {"cut short", std::vector<uint8_t>(stored.begin(), stored.end() - 1), 0},
  };
  for (const auto& row : rows) EXPECT_EQ(DecodeSettings(row.bytes).LightOffset, row.read) << row.name;
}

}  // namespace
}  // namespace sonovar
