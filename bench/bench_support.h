// What the sound benchmarks share: process CPU time and a music-like file.
#pragma once

#include <sndfile.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace bench_support {

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Writes `seconds` of a modulated sine at 44100 Hz, 16-bit stereo (so the
// resampler works too) to a temporary file and returns its path.
inline std::string WriteMusicLikeWav(const std::string& name, int seconds) {
  const std::string path = std::filesystem::temp_directory_path() / name;
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  std::vector<float> frames(static_cast<size_t>(44100) * seconds * 2);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = 0.5f * std::sin(i * 0.013f) * std::sin(i * 0.00021f);
  sf_writef_float(f, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
  sf_close(f);
  return path;
}

}  // namespace bench_support
