#include "platform/audiofile/file_decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

// Opens `path` only when it is a regular file; -1 and the reason otherwise.
// Non-blocking while it is looked at, so that a FIFO cannot hold the open.
int OpenRegularFile(const std::string& path, std::string* problem) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *problem = std::strerror(errno);
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *problem = "it is not a regular file";
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

FileDecoder::FileDecoder(const std::string& path) {
  fd_ = OpenRegularFile(path, &problem_);
  if (fd_ < 0) return;
  file_ = sf_open_fd(fd_, SFM_READ, &info_, SF_FALSE);
  if (file_ == nullptr) {
    problem_ = sf_strerror(nullptr);
    return;
  }
  if (info_.channels < 1 || info_.frames <= 0) {
    problem_ = "it holds no sound";
    return;
  }
  ratio_ = static_cast<double>(kFileRate) / info_.samplerate;
  if (info_.samplerate <= 0 || !src_is_valid_ratio(ratio_)) {
    problem_ = "its sample rate of " + std::to_string(info_.samplerate) + " Hz cannot be converted to " +
               std::to_string(kFileRate) + " Hz";
    return;
  }
  if (info_.samplerate != kFileRate) {
    int error = 0;
    resampler_ = src_new(SRC_SINC_FASTEST, 2, &error);
    if (resampler_ == nullptr) {
      problem_ = src_strerror(error);
      return;
    }
  }
  ok_ = true;
}

FileDecoder::~FileDecoder() {
  if (resampler_ != nullptr) src_delete(resampler_);
  if (file_ != nullptr) sf_close(file_);
  if (fd_ >= 0) ::close(fd_);
}

int64_t FileDecoder::frames() const {
  return static_cast<int64_t>(std::llround(static_cast<double>(info_.frames) * kFileRate / info_.samplerate));
}

FileDecoder::Step FileDecoder::Next(std::vector<float>* out) {
  gathered_.clear();
  while (gathered_.size() < kChunk * 2) {
    raw_.resize(kChunk * static_cast<size_t>(info_.channels));
    const sf_count_t got = sf_readf_float(file_, raw_.data(), kChunk);
    if (got <= 0) {
      // The end (or a fault): start over, unless this pass read nothing.
      if (read_this_pass_ == 0) return NoSound("no sound can be decoded from it");
      if (sf_seek(file_, 0, SEEK_SET) < 0) return NoSound("it cannot be read from its start again");
      read_this_pass_ = 0;
      continue;
    }
    read_this_pass_ += got;
    for (sf_count_t f = 0; f < got; ++f) {
      const float* frame = raw_.data() + f * info_.channels;
      gathered_.push_back(frame[0]);
      gathered_.push_back(info_.channels > 1 ? frame[1] : frame[0]);
    }
  }
  const size_t frames = gathered_.size() / 2;
  if (resampler_ == nullptr) {
    out->insert(out->end(), gathered_.begin(), gathered_.end());
    return Step::kSound;
  }
  // The converter may keep part of the input back: feed it until all is used.
  converted_.resize(static_cast<size_t>(static_cast<double>(frames) * ratio_) * 2 + 256);
  const size_t before = out->size();
  size_t offset = 0;
  while (offset < frames) {
    SRC_DATA data{};
    data.data_in = gathered_.data() + 2 * offset;
    data.input_frames = static_cast<long>(frames - offset);
    data.data_out = converted_.data();
    data.output_frames = static_cast<long>(converted_.size() / 2);
    data.src_ratio = ratio_;
    if (const int error = src_process(resampler_, &data)) return NoSound(src_strerror(error));
    out->insert(out->end(), converted_.begin(), converted_.begin() + data.output_frames_gen * 2);
    offset += static_cast<size_t>(data.input_frames_used);
    if (data.input_frames_used == 0 && data.output_frames_gen == 0) break;
  }
  if (out->size() > before) {
    held_back_ = 0;
    return Step::kSound;
  }
  // The converter's delay is a few thousand frames at most.
  held_back_ += frames;
  return held_back_ > kMostHeldBack ? NoSound("it converts to no sound") : Step::kNothingYet;
}

FileDecoder::Step FileDecoder::NoSound(std::string why) {
  problem_ = std::move(why);
  return Step::kNoSound;
}

uint8_t ToU8(float sample) {
  const long v = std::lrint(static_cast<double>(sample) * 128.0) + 128;
  return static_cast<uint8_t>(std::clamp(v, 0L, 255L));
}

}  // namespace platform
