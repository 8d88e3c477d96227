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

// Reads the file in stereo float at 11025 Hz, over and over, without ever
// looping unbounded: every call reads at most a chunk's worth of frames and
// says when the file gives no sound at all. Only a regular file is opened: a
// FIFO would block the open until a writer came, a device might never end.
class FileDecoder {
 public:
  enum class Step { kSound, kNothingYet, kNoSound };

  explicit FileDecoder(const std::string& path);
  ~FileDecoder();
  FileDecoder(const FileDecoder&) = delete;
  FileDecoder& operator=(const FileDecoder&) = delete;

  bool ok() const { return ok_; }
  // Why the file cannot be opened, or why it gives no (more) sound.
  const std::string& problem() const { return problem_; }
  // Length of one pass in frames at 11025 Hz.
  int64_t frames() const;

  // Reads about a chunk of frames, from the start again at the end, and
  // appends what they convert to. kNothingYet while the converter holds
  // them back; kNoSound when a whole pass over the file read nothing, or
  // when a long stretch of frames converted to nothing.
  Step Next(std::vector<float>* out);

 private:
  static constexpr sf_count_t kChunk = 1024;
  static constexpr size_t kMostHeldBack = 1 << 20;

  Step NoSound(std::string why);

  int fd_ = -1;
  SF_INFO info_{};
  SNDFILE* file_ = nullptr;
  SRC_STATE* resampler_ = nullptr;
  double ratio_ = 1.0;
  bool ok_ = false;
  std::string problem_;
  sf_count_t read_this_pass_ = 0;
  size_t held_back_ = 0;
  std::vector<float> raw_, gathered_, converted_;
};

// One sample of -1..1 as unsigned 8-bit, 128 the silence.
uint8_t ToU8(float sample);

}  // namespace platform
