#include "common/levels.h"

#include <algorithm>
#include <cmath>

namespace common {

double WavePeriod(uint8_t gps) { return 8.0 / (gps + 1.0); }

uint8_t OutputLevel(bool on, uint8_t value, uint8_t gps, double seconds) {
  if (!on) return 0;
  // Whole numbers, so that a half (8 gives 42.5) rounds up on every system.
  if (!IsWaveform(value)) return static_cast<uint8_t>((std::min<int>(value, kFullLevel) * 255 + kFullLevel / 2) / kFullLevel);
  double phase = std::fmod(seconds / WavePeriod(gps), 1.0);
  if (phase < 0) phase += 1.0;
  double level = 0;
  switch (value) {
    case kWaveSaw: level = phase < 0.5 ? phase * 2 : 2 - phase * 2; break;
    case kWaveSquare: level = phase < 0.5 ? 1.0 : 0.0; break;
    case kWaveSawDown: level = 1.0 - phase; break;
    default: level = phase; break;  // kWaveSawUp
  }
  return static_cast<uint8_t>(std::lround(std::clamp(level, 0.0, 1.0) * 255));
}

}  // namespace common
