// What a board output shows: the profile values a command may store and the
// light each one gives. The library (for outputs carried as DMX channels) and
// the simulator (for its lamps) both take the light from here, so that what
// the simulator shows is what the lights do.
#pragma once

#include <cstdint>

namespace common {

// A profile level lights its output fully from here up; 0 is dark.
inline constexpr int kFullLevel = 48;

// The named profile values: waveforms that move by themselves, with a period
// of 8 / (GPS + 1) seconds.
inline constexpr int kWaveSaw = 129;      // "SAW": rises, then falls again
inline constexpr int kWaveSquare = 130;   // "SQR": on for the first half
inline constexpr int kWaveSawDown = 131;  // "SDN": falls from full to dark
inline constexpr int kWaveSawUp = 132;    // "SUP": rises from dark to full
inline constexpr int kFirstWave = kWaveSaw;
inline constexpr int kLastWave = kWaveSawUp;

// What a single-output command keeps of a value: bits 0-5 and 7 of the low
// byte (bit 7 is what tells a waveform), and of anything but a waveform the
// low seven bits of those, so levels are 0-63.
inline constexpr int kProfileValueBits = 0xBF;
inline constexpr int kProfileLevelBits = 0x7F;

constexpr bool IsWaveform(int value) { return value >= kFirstWave && value <= kLastWave; }

// Seconds of one waveform period at a GPS value.
double WavePeriod(uint8_t gps);

// The brightness 0-255 of one output at `seconds` on any steady clock: 0 when
// it is off; a level 0-48 is level x 255 / 48 rounded half up (24 gives 128),
// above 48 is 255; a waveform is its value at that moment.
uint8_t OutputLevel(bool on, uint8_t profile_value, uint8_t gps, double seconds);

}  // namespace common
