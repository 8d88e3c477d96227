// The settings file "Sonovar.SET": one binary record, little-endian, 16-bit
// fields in a fixed order, then the animation name. No toolkit here.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sonovar/effects/effect_engine.h"

namespace sonovar {

inline constexpr const char* kSettingsFileName = "Sonovar.SET";
inline constexpr size_t kSettingsFixedBytes = 32;

// The name's length follows the 16-bit fields at once, and the name follows
// it: the fixed part is full, and a new field goes after the name (as the
// effect's id does) where a program that does not know it keeps it.
inline constexpr size_t kNameLengthOffset = kSettingsFixedBytes - 2;

// The file keeps whether each of the first three effects is chosen, one
// Boolean each at offsets 24, 26 and 28, which is what programs that know
// only those read. Every choice is also kept by the effect's fixed id in a
// tail after the name: a marker, the id's length, the id, and a check over
// all bytes before it, so that a tail that another save left behind a
// different record, or stray bytes, are not taken for it.
inline constexpr int kStoredEffects = 3;
inline constexpr char kEffectTailMarker[] = "EFX";
// The marker, the id's length, the id and the check.
inline constexpr size_t kEffectTailBytes = sizeof kEffectTailMarker - 1 + 1 + 2;
// Auto level's choice follows the effect's tail in the same way: a marker,
// one byte (0 off, anything else on) and a check over all bytes before it.
// A file without it (an earlier version's, or one an earlier version saved
// over, whose bytes before it then differ) reads as auto level on.
inline constexpr char kAutoLevelTailMarker[] = "LVL";
// The marker, the length (1), the byte and the check.
inline constexpr size_t kAutoLevelTailBytes = sizeof kAutoLevelTailMarker - 1 + 1 + 1 + 2;
// The light offset follows auto level's tail in the same way: a marker, the
// length (2), the milliseconds as a little-endian int16 and a check. Without
// it (or behind a tail that does not hold) it reads as 0, and a value outside
// kSettingsLightOffsetMin..kSettingsLightOffsetMax is brought into that range.
inline constexpr char kLightOffsetTailMarker[] = "DLY";
inline constexpr size_t kLightOffsetTailBytes = sizeof kLightOffsetTailMarker - 1 + 1 + 2 + 2;
inline constexpr int kSettingsLightOffsetMin = -500;
inline constexpr int kSettingsLightOffsetMax = 2000;
inline constexpr size_t kLongestSettingsRecord =
    kSettingsFixedBytes + 65535 + kEffectTailBytes + kEffectIdLength + kAutoLevelTailBytes + kLightOffsetTailBytes;

// The 16-bit fields of the fixed part.
struct SettingsFields {
  int16_t Delay = 0;
  int16_t Decay = 0;
  int16_t CyanBias = 0;
  int16_t YellowBias = 0;
  int16_t RedBias = 0;
  std::array<bool, 5> BoardActive{};  // 1..4
  bool Turbo = false;
  int16_t NonTurboDelay = 0;
  int16_t InputDevice = 0;  // list position, -1 none
  std::array<bool, kStoredEffects + 1> EffectSelected{};  // 1..3
};

struct SettingsRecord : SettingsFields {
  std::string Name;  // the animation file, without ".qra", 8-bit text
  // The chosen effect's fixed id, kept in the tail after the name; "" lets
  // the Booleans tell (a file without a sound tail, or no effect chosen).
  std::string EffectId;
  bool AutoLevel = true;  // kept in its own tail after the effect's
  // Milliseconds the lights wait beyond the speaker's own delay, in the tail
  // after auto level's; written as it is, read clamped to the range.
  int16_t LightOffset = 0;
};

// Calls visit(name, field) for each 16-bit field of the file's fixed part,
// in file order from offset 0 (NameLength, at offset 30, follows them).
// `field` is the record's int16_t or bool; a bool is stored as -1 or 0. This
// list is the layout: the encoder, the decoder and sonovar-settings read it.
template <class Record, class Visit>
constexpr void ForEachSettingsField(Record& r, Visit&& visit) {
  visit("Delay", r.Delay);
  visit("Decay", r.Decay);
  visit("CyanBias", r.CyanBias);
  visit("YellowBias", r.YellowBias);
  visit("RedBias", r.RedBias);
  visit("Board1Active", r.BoardActive[1]);
  visit("Board2Active", r.BoardActive[2]);
  visit("Board3Active", r.BoardActive[3]);
  visit("Board4Active", r.BoardActive[4]);
  visit("Turbo", r.Turbo);
  visit("NonTurboDelay", r.NonTurboDelay);
  visit("InputDevice", r.InputDevice);
  visit("Effect1Selected", r.EffectSelected[1]);
  visit("Effect2Selected", r.EffectSelected[2]);
  visit("Effect3Selected", r.EffectSelected[3]);
}

constexpr int CountSettingsFields() {
  SettingsFields r;
  int count = 0;
  ForEachSettingsField(r, [&](std::string_view, auto&) { ++count; });
  return count;
}
// A field added to the list above would be written where the name's length
// lies and read back as something else.
static_assert(CountSettingsFields() * 2 == kNameLengthOffset, "the fixed part is full: put a new field after the name");

static_assert(std::ranges::all_of(kEffects, [](const Effect& e) { return e.stored_as <= kStoredEffects; }),
              "an effect's Boolean is one the settings file has");

// The effect the record chooses, as a number of kEffects (1-based), 0 for
// none. An id decides: a known one chooses its effect, one this program does
// not know (a newer program's effect) chooses Pulse. Without an id, the
// first of the three Booleans that is set.
int ChosenEffect(const SettingsRecord& record);

// Stores the choice of effect `n` (0 for none): its Boolean when it has one
// (the others cleared), and its id for the tail.
void StoreEffectChoice(SettingsRecord& record, int n);

// The record at the start of `bytes`. Missing fields read as zero; a name
// that the file does not hold in full reads as empty. A Boolean is true only
// when it is -1.
SettingsRecord DecodeSettings(std::span<const uint8_t> bytes);

// 32 bytes, the name (at most 65535 bytes of it), the effect's tail, auto
// level's and the light offset's.
std::vector<uint8_t> EncodeSettings(const SettingsRecord& record);

// Reads the record from `path`, creating an empty file when there is none. A
// file that cannot be read or created reads as an empty one; something that
// is not a regular file is neither read nor replaced. A symbolic link is
// followed only when the user running the program owns it; another user's
// link, and a link to nothing, read as an unreadable file, and nothing is
// created through them. At most the longest record is read.
SettingsRecord LoadSettingsFile(const std::string& path);

// Writes the record at the start of the file, keeping whatever an earlier,
// longer save left behind it (up to the length of the longest record), as one
// atomic replacement. "" on success, else the reason; the old file is then as
// it was. The user's own link leads to the file replaced; another user's link,
// a link to nothing and anything but a regular file are refused.
std::string SaveSettingsFile(const std::string& path, const SettingsRecord& record);

}  // namespace sonovar
