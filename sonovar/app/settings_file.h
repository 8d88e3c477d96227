// The settings file "Sonovar.SET": one binary record, little-endian, 16-bit
// fields in a fixed order, then the animation name. No toolkit here.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sonovar {

inline constexpr const char* kSettingsFileName = "Sonovar.SET";
inline constexpr size_t kSettingsFixedBytes = 32;

// The file keeps the choice of three effects, one Boolean each at offsets 24,
// 26 and 28, and NameLength follows at once, so there is no room for a
// fourth. Its choice would go after the name, behind a marker of its own so
// that the bytes an earlier, longer save left there are not taken for it;
// a program that knows only three effects ignores those bytes and starts
// such a file with no effect chosen. Nothing of that is built yet.
inline constexpr int kStoredEffects = 3;

struct SettingsRecord {
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
  std::string Name;  // the animation file, without ".qra", 8-bit text
};

// Calls visit(name, field) for each 16-bit field of the file's fixed part,
// in file order from offset 0 (NameLength, at offset 30, follows them).
// `field` is the record's int16_t or bool; a bool is stored as -1 or 0. This
// list is the layout: the encoder, the decoder and sonovar-settings read it.
template <class Record, class Visit>
void ForEachSettingsField(Record& r, Visit&& visit) {
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

// The record at the start of `bytes`. Missing fields read as zero; a name
// that the file does not hold in full reads as empty. A Boolean is true only
// when it is -1.
SettingsRecord DecodeSettings(std::span<const uint8_t> bytes);

// 32 bytes and the name (at most 65535 bytes of it).
std::vector<uint8_t> EncodeSettings(const SettingsRecord& record);

// Reads the record from `path`, creating an empty file when there is none. A
// file that cannot be read or created reads as an empty one; something that
// is not a regular file is neither read nor replaced. A symbolic link is
// followed only when the user running the program owns it; another user's
// link, and a link to nothing, read as an unreadable file, and nothing is
// created through them. At most the 32 bytes and the longest name are read.
SettingsRecord LoadSettingsFile(const std::string& path);

// Writes the record at the start of the file, keeping whatever an earlier,
// longer save left behind it (up to the length of the longest record), as one
// atomic replacement. "" on success, else the reason; the old file is then as
// it was. The user's own link leads to the file replaced; another user's link,
// a link to nothing and anything but a regular file are refused.
std::string SaveSettingsFile(const std::string& path, const SettingsRecord& record);

}  // namespace sonovar
