// Wave-input backend that plays an audio file (anything libsndfile reads) as
// a capture device: converted to 11025 Hz unsigned 8-bit stereo, delivered at
// the pace of real time, starting over at the end. A file that gives no sound
// (not a regular file, an unconvertible rate, undecodable frames, cut short
// while it plays) is said once on standard error and gives no buffers.
#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/wavein_backend.h"

namespace platform {
namespace {

constexpr int kRate = 11025;
constexpr size_t kPieceFrames = 256;  // delivered together, 23.2 ms: one capture buffer

uint8_t ToU8(float sample) {
  const long v = std::lrint(static_cast<double>(sample) * 128.0) + 128;
  return static_cast<uint8_t>(std::clamp(v, 0L, 255L));
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens `path` for libsndfile only when it is a regular file: a FIFO would
// block the open until a writer came, a device might never end. -1 and the
// reason otherwise. Non-blocking while it is looked at, so that neither can.
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

// Reads the file in stereo float at 11025 Hz, over and over, without ever
// looping unbounded: every call reads at most a chunk's worth of frames and
// says when the file gives no sound at all.
class Decoder {
 public:
  enum class Step { kSound, kNothingYet, kNoSound };

  explicit Decoder(const std::string& path) {
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
    ratio_ = static_cast<double>(kRate) / info_.samplerate;
    if (info_.samplerate <= 0 || !src_is_valid_ratio(ratio_)) {
      problem_ = "its sample rate of " + std::to_string(info_.samplerate) + " Hz cannot be converted to " +
                 std::to_string(kRate) + " Hz";
      return;
    }
    if (info_.samplerate != kRate) {
      int error = 0;
      resampler_ = src_new(SRC_SINC_FASTEST, 2, &error);
      if (resampler_ == nullptr) {
        problem_ = src_strerror(error);
        return;
      }
    }
    ok_ = true;
  }
  ~Decoder() {
    if (resampler_ != nullptr) src_delete(resampler_);
    if (file_ != nullptr) sf_close(file_);
    if (fd_ >= 0) ::close(fd_);
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  bool ok() const { return ok_; }
  // Why the file cannot be opened, or why it gives no (more) sound.
  const std::string& problem() const { return problem_; }

  // Reads about a chunk of frames, from the start again at the end, and
  // appends what they convert to. kNothingYet while the converter holds
  // them back; kNoSound when a whole pass over the file read nothing, or
  // when a long stretch of frames converted to nothing.
  Step Next(std::vector<float>* out) {
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

 private:
  static constexpr sf_count_t kChunk = 1024;
  static constexpr size_t kMostHeldBack = 1 << 20;

  Step NoSound(std::string why) {
    problem_ = std::move(why);
    return Step::kNoSound;
  }

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

// Whether the file gives sound at all: the first converted frames, or why not.
bool GivesSound(const std::string& path, std::string* problem) {
  Decoder decoder(path);
  if (!decoder.ok()) {
    *problem = decoder.problem();
    return false;
  }
  std::vector<float> sound;
  Decoder::Step step;
  while ((step = decoder.Next(&sound)) == Decoder::Step::kNothingYet) {
  }
  if (step == Decoder::Step::kSound) return true;
  *problem = decoder.problem();
  return false;
}

void SayNoSound(const std::string& path, const std::string& problem) {
  std::fprintf(stderr, "sonovar: cannot use SONOVAR_INPUT_FILE %s: %s\n", path.c_str(), problem.c_str());
}

class FileStream final : public BackendStream {
 public:
  FileStream(std::string path, CaptureSink& sink) : path_(std::move(path)), sink_(sink) {}
  ~FileStream() override { Stop(); }

  bool Start() override {
    Stop();
    auto decoder = std::make_unique<Decoder>(path_);
    if (!decoder->ok()) {
      SayNoSound(path_, decoder->problem());
      return false;
    }
    {
      std::lock_guard lock(mutex_);
      stop_ = false;
    }
    thread_ = std::thread([this, d = std::move(decoder)]() mutable { Run(*d); });
    return true;
  }

  void Stop() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  bool Stopping() {
    std::lock_guard lock(mutex_);
    return stop_;
  }

  void Run(Decoder& decoder) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    uint64_t delivered = 0;  // frames
    std::vector<float> pending;
    std::vector<uint8_t> piece;
    size_t used = 0;  // samples of `pending` already delivered
    for (;;) {
      // Each step is short, so a stop is seen at once even while decoding.
      while (pending.size() - used < kPieceFrames * 2) {
        if (Stopping()) return;
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(used));
        used = 0;
        if (decoder.Next(&pending) == Decoder::Step::kNoSound) {
          // No buffer will ever come: say so once, and end rather than spin.
          SayNoSound(path_, decoder.problem());
          return;
        }
      }
      // A piece is handed over once the time of its last frame has come.
      const auto due = start + std::chrono::microseconds((delivered + kPieceFrames) * 1000000 / kRate);
      {
        std::unique_lock lock(mutex_);
        if (wake_.wait_until(lock, due, [this] { return stop_; })) return;
      }
      piece.resize(kPieceFrames * 2);
      for (size_t i = 0; i < piece.size(); ++i) piece[i] = ToU8(pending[used + i]);
      used += piece.size();
      sink_.Deliver(piece.data(), piece.size());
      delivered += kPieceFrames;
    }
  }

  const std::string path_;
  CaptureSink& sink_;
  std::mutex mutex_;  // guards stop_
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

class FileBackend final : public WaveInBackend {
 public:
  std::vector<BackendDevice> List() override {
    const char* path = std::getenv("SONOVAR_INPUT_FILE");
    if (path == nullptr || *path == '\0') return {};
    std::string problem;
    if (!GivesSound(path, &problem)) {
      // Said once per file, not at every listing.
      if (reported_.insert(path).second) SayNoSound(path, problem);
      return {};
    }
    return {BackendDevice{"File: " + BaseName(path), true, false, path}};
  }

  std::unique_ptr<BackendStream> Open(const BackendDevice& device, CaptureSink& sink) override {
    std::string problem;
    if (!GivesSound(device.id, &problem)) return nullptr;
    return std::make_unique<FileStream>(device.id, sink);
  }

 private:
  std::set<std::string> reported_;
};

}  // namespace

std::unique_ptr<WaveInBackend> MakeFileBackend() { return std::make_unique<FileBackend>(); }

}  // namespace platform
