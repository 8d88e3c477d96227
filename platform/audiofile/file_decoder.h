// An audio file (anything libsndfile reads) as the capture format: stereo at
// 11025 Hz, then unsigned 8-bit. Shared by the file backend and the checks
// of files made for it.
#pragma once

#include <samplerate.h>
#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

inline constexpr int kFileRate = 11025;

// Reads the file in stereo float at 11025 Hz, over and over.
class FileDecoder {
 public:
  explicit FileDecoder(const std::string& path);
  ~FileDecoder();
  FileDecoder(const FileDecoder&) = delete;
  FileDecoder& operator=(const FileDecoder&) = delete;

  bool ok() const { return ok_; }
  // Length of one pass in frames at 11025 Hz.
  int64_t frames() const;

  // Appends at least one frame of stereo at 11025 Hz to `out`.
  void Next(std::vector<float>* out);

 private:
  SF_INFO info_{};
  SNDFILE* file_ = nullptr;
  SRC_STATE* resampler_ = nullptr;
  bool ok_ = false;
  std::vector<float> raw_, stereo_, converted_;
};

// One sample of -1..1 as unsigned 8-bit, 128 the silence.
uint8_t ToU8(float sample);

}  // namespace platform
