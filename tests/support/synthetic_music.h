// Synthetic sound of known level, as the capture delivers it (11025 Hz,
// stereo, unsigned 8-bit), and a show that plays it to one board: the share
// of buffers in which the lamps change and the share in which they are dark.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "sonovar/show/show_core.h"
#include "support/recording_board_link.h"

namespace testing_support::synthetic {

inline constexpr int kRate = 11025;
inline constexpr size_t kFrames = sonovar::kCaptureBufferBytes / 2;

inline double FromDb(double db) { return std::pow(10.0, db / 20); }

// A bar of music at 120 beats a minute, as floats of full scale 1: a kick
// on each beat, a hat on each half beat and a bass line under them, whose
// notes fit whole periods into a beat, so that every beat peaks alike, as
// in mastered music. Its loudness varies within each beat (crest about 17 dB).
inline std::vector<float> Beat(double seconds, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::normal_distribution<float> hiss(0.0f, 1.0f);
  std::vector<float> out(static_cast<size_t>(seconds * kRate));
  const double two_pi = 2 * 3.14159265358979;
  for (size_t n = 0; n < out.size(); ++n) {
    const double t = static_cast<double>(n) / kRate;
    const double in_beat = std::fmod(t, 0.5), in_half = std::fmod(t, 0.25);
    const double kick = std::exp(-in_beat / 0.06) * std::sin(two_pi * (55 + 60 * std::exp(-in_beat / 0.02)) * in_beat);
    const double hat = std::exp(-in_half / 0.015) * hiss(random) * 0.1;
    const double bass = 0.25 * std::sin(two_pi * (std::fmod(t, 2.0) < 1 ? 82.0 : 98.0) * t);
    out[n] = static_cast<float>(kick + hat + bass);
  }
  return out;
}

inline double Rms(std::span<const float> s) {
  double sum = 0;
  for (float x : s) sum += double{x} * x;
  return std::sqrt(sum / static_cast<double>(std::max<size_t>(s.size(), 1)));
}

// `s` brought to an RMS of `dbfs`.
inline std::vector<float> AtRms(std::vector<float> s, double dbfs) {
  const double factor = FromDb(dbfs) / Rms(s);
  for (float& x : s) x = static_cast<float>(x * factor);
  return s;
}

// `s` brought to a peak of `dbfs`.
inline std::vector<float> AtPeak(std::vector<float> s, double dbfs) {
  float peak = 0;
  for (float x : s) peak = std::max(peak, std::abs(x));
  const double factor = FromDb(dbfs) / peak;
  for (float& x : s) x = static_cast<float>(x * factor);
  return s;
}

inline std::vector<float> Noise(double seconds, double rms_dbfs) {
  std::mt19937 random(7);
  std::normal_distribution<float> hiss(0.0f, static_cast<float>(FromDb(rms_dbfs)));
  std::vector<float> out(static_cast<size_t>(seconds * kRate));
  for (float& x : out) x = hiss(random);
  return out;
}

// As the capture delivers it: both channels alike, rounded to 8 bits.
inline std::vector<std::vector<uint8_t>> Buffers(std::span<const float> s) {
  std::vector<std::vector<uint8_t>> buffers;
  for (size_t at = 0; at + kFrames <= s.size(); at += kFrames) {
    std::vector<uint8_t>& b = buffers.emplace_back(sonovar::kCaptureBufferBytes);
    for (size_t k = 0; k < kFrames; ++k)
      b[2 * k] = b[2 * k + 1] = static_cast<uint8_t>(std::clamp(std::lrint(s[at + k] * 128.0) + 128, 0L, 255L));
  }
  return buffers;
}

inline int64_t BufferEndMicros(size_t i) { return static_cast<int64_t>(i + 1) * kFrames * 1000000 / kRate; }

// How the lamps of board 1 behaved, from buffer `from` on.
struct Lamps {
  double changing = 0;  // share of buffers whose reports differ from the buffer before
  double dark = 0;      // share of buffers whose last report lights nothing
};

// Plays `buffers` to board 1 with Pulse/Sweep and the peak tick, as the show does.
inline Lamps Play(const std::vector<std::vector<uint8_t>>& buffers, bool auto_level, size_t from,
                  std::vector<double>* gains = nullptr) {
  auto owned = std::make_unique<RecordingBoardLink>();
  RecordingBoardLink* link = owned.get();
  sonovar::ShowCore core(std::move(owned));
  core.SetAutoLevel(auto_level);
  core.ClickBoard(1, true);
  core.StartTicks(0);
  std::string last;
  int changing = 0, dark = 0, counted = 0;
  for (size_t i = 0; i < buffers.size(); ++i) {
    link->writes.clear();
    core.ProcessBuffer(std::span<const uint8_t, sonovar::kCaptureBufferBytes>(buffers[i].data(), buffers[i].size()));
    core.RunDueTicks(BufferEndMicros(i), true);
    if (gains != nullptr) gains->push_back(core.auto_level.GainDb());
    std::string reports;
    for (const std::string& w : link->writes)
      if (w.rfind("Command PBA:", 0) == 0) reports = w;
    const bool changed = !reports.empty() && reports != last;
    if (!reports.empty()) last = reports;
    if (i < from) continue;
    ++counted;
    changing += changed;
    dark += last.empty() || last.find_first_not_of("0,", 12) == std::string::npos;
  }
  return {static_cast<double>(changing) / std::max(counted, 1), static_cast<double>(dark) / std::max(counted, 1)};
}

}  // namespace testing_support::synthetic
