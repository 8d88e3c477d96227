// Auto level's choice in the settings file, in a tail of its own after the
// effect's: on for every file an earlier version wrote or saved over.
#include <gtest/gtest.h>

#include <algorithm>

#include "sonovar/app/settings_file.h"

namespace sonovar {
namespace {

SettingsRecord SavedRecord() {
  SettingsRecord r;
  r.Delay = 5;
  r.BoardActive[1] = true;
  r.Name = "Select File";
  StoreEffectChoice(r, kPulseSweep);
  return r;
}

// What follows auto level's tail in this version's file.
constexpr long kLaterTails = kLightOffsetTailBytes;

// The record as an earlier version wrote it: the fixed part, the name and
// the effect's tail, 60 bytes.
const std::vector<uint8_t> kSaved = [] {
  const std::vector<uint8_t> b = EncodeSettings(SavedRecord());
  return std::vector<uint8_t>(b.begin(), b.end() - static_cast<long>(kAutoLevelTailBytes) - kLaterTails);
}();
const std::vector<uint8_t> kSavedNow = EncodeSettings(SavedRecord());

// Auto level's choice: on unless this version stored it off and nothing
// since changed the bytes before it. Whatever it is, an earlier version
// reads the same record: the bytes before auto level's tail are its own.
TEST(SettingsAutoLevelTest, OnUnlessStoredOffHere) {
  ASSERT_EQ(kSaved.size(), 60u);
  SettingsRecord off = SavedRecord();
  off.AutoLevel = false;
  const std::vector<uint8_t> off_bytes = EncodeSettings(off);
  EXPECT_EQ(std::vector<uint8_t>(off_bytes.begin(), off_bytes.begin() + 60), kSaved);
  auto changed = [&off_bytes](size_t at, uint8_t value) {
    std::vector<uint8_t> b = off_bytes;
    b[at] = value;
    return b;
  };
  std::vector<uint8_t> renamed = off_bytes;  // an earlier version saved a shorter name over it
  const std::vector<uint8_t> shorter = [] {
    SettingsRecord r = SavedRecord();
    r.Name = "Select";
    std::vector<uint8_t> b = EncodeSettings(r);
    return std::vector<uint8_t>(b.begin(), b.end() - static_cast<long>(kAutoLevelTailBytes) - kLaterTails);
  }();
  std::copy(shorter.begin(), shorter.end(), renamed.begin());
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    bool on;
  } rows[] = {
      {"an empty file", {}, true},
      {"the fixed part alone", std::vector<uint8_t>(kSaved.begin(), kSaved.begin() + 43), true},
      {"an earlier version's effect tail", kSaved, true},
      {"stored on", kSavedNow, true},
      {"stored off", off_bytes, false},
      {"any byte but 0 is on", changed(64, 2), true},
      {"a Delay saved over it by an earlier version", changed(0, 9), true},
      {"a shorter name saved over it by an earlier version", renamed, true},
      {"a broken check", changed(66, 0), true},
      {"cut short", std::vector<uint8_t>(off_bytes.begin(), off_bytes.end() - kLaterTails - 1), true},
      {"another marker", changed(60, 'X'), true},
  };
  for (const auto& row : rows) {
    const SettingsRecord r = DecodeSettings(row.bytes);
    EXPECT_EQ(r.AutoLevel, row.on) << row.name;
    if (row.bytes.size() >= 60) { EXPECT_EQ(r.Name.substr(0, 6), "Select") << row.name; }
  }
  EXPECT_EQ(ChosenEffect(DecodeSettings(off_bytes)), kPulseSweep);
}

}  // namespace
}  // namespace sonovar
