// Writes capture-format sound (11025 Hz, stereo, unsigned 8-bit) as a WAV
// file, byte for byte, for tests that feed the file backend.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

inline bool WriteU8Wav(const std::string& path, const std::vector<uint8_t>& bytes) {
  SF_INFO info{};
  info.samplerate = 11025;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return false;
  const bool ok = sf_write_raw(f, bytes.data(), static_cast<sf_count_t>(bytes.size())) ==
                  static_cast<sf_count_t>(bytes.size());
  return sf_close(f) == 0 && ok;
}

}  // namespace testing_support
