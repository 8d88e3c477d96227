#include "platform/audiofile/file_decoder.h"

#include <algorithm>
#include <cmath>

namespace platform {

FileDecoder::FileDecoder(const std::string& path) {
  file_ = sf_open(path.c_str(), SFM_READ, &info_);
  if (file_ == nullptr || info_.channels < 1 || info_.frames == 0) return;
  if (info_.samplerate != kFileRate) {
    int error = 0;
    resampler_ = src_new(SRC_SINC_FASTEST, 2, &error);
    if (resampler_ == nullptr) return;
  }
  ok_ = true;
}

FileDecoder::~FileDecoder() {
  if (resampler_ != nullptr) src_delete(resampler_);
  if (file_ != nullptr) sf_close(file_);
}

int64_t FileDecoder::frames() const {
  return static_cast<int64_t>(std::llround(static_cast<double>(info_.frames) * kFileRate / info_.samplerate));
}

void FileDecoder::Next(std::vector<float>* out) {
  constexpr sf_count_t kChunk = 1024;
  while (true) {
    raw_.resize(static_cast<size_t>(kChunk * info_.channels));
    sf_count_t got = sf_readf_float(file_, raw_.data(), kChunk);
    if (got <= 0) {
      // The end: start over, without the resampler's memory of the end.
      sf_seek(file_, 0, SEEK_SET);
      if (resampler_ != nullptr) src_reset(resampler_);
      continue;
    }
    stereo_.resize(static_cast<size_t>(got) * 2);
    for (sf_count_t f = 0; f < got; ++f) {
      const float* frame = raw_.data() + f * info_.channels;
      stereo_[2 * f] = frame[0];
      stereo_[2 * f + 1] = info_.channels > 1 ? frame[1] : frame[0];
    }
    if (resampler_ == nullptr) {
      out->insert(out->end(), stereo_.begin(), stereo_.end());
      return;
    }
    // The resampler may keep part of the input back: feed it until all is used.
    const double ratio = static_cast<double>(kFileRate) / info_.samplerate;
    converted_.resize(static_cast<size_t>(got * ratio) * 2 + 128);
    const size_t before = out->size();
    long offset = 0;
    while (offset < got) {
      SRC_DATA data{};
      data.data_in = stereo_.data() + 2 * offset;
      data.input_frames = static_cast<long>(got - offset);
      data.data_out = converted_.data();
      data.output_frames = static_cast<long>(converted_.size() / 2);
      data.src_ratio = ratio;
      if (src_process(resampler_, &data) != 0) return;
      out->insert(out->end(), converted_.begin(), converted_.begin() + data.output_frames_gen * 2);
      offset += data.input_frames_used;
      if (data.input_frames_used == 0 && data.output_frames_gen == 0) break;
    }
    if (out->size() > before) return;
  }
}

uint8_t ToU8(float sample) {
  const long v = std::lrint(static_cast<double>(sample) * 128.0) + 128;
  return static_cast<uint8_t>(std::clamp(v, 0L, 255L));
}

}  // namespace platform
