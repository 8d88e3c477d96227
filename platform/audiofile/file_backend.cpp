// Wave-input backend that plays an audio file (anything libsndfile reads) as
// a capture device: converted to 11025 Hz unsigned 8-bit stereo, delivered at
// the pace of real time, starting over at the end.
#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
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

// Reads the file in stereo float at 11025 Hz, over and over.
class Decoder {
 public:
  explicit Decoder(const std::string& path) {
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr || info_.channels < 1 || info_.frames == 0) return;
    if (info_.samplerate != kRate) {
      int error = 0;
      resampler_ = src_new(SRC_SINC_FASTEST, 2, &error);
      if (resampler_ == nullptr) return;
    }
    ok_ = true;
  }
  ~Decoder() {
    if (resampler_ != nullptr) src_delete(resampler_);
    if (file_ != nullptr) sf_close(file_);
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  bool ok() const { return ok_; }

  // Appends at least one frame of stereo at 11025 Hz to `out`.
  void Next(std::vector<float>* out) {
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
      const double ratio = static_cast<double>(kRate) / info_.samplerate;
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

 private:
  SF_INFO info_{};
  SNDFILE* file_ = nullptr;
  SRC_STATE* resampler_ = nullptr;
  bool ok_ = false;
  std::vector<float> raw_, stereo_, converted_;
};

class FileStream final : public BackendStream {
 public:
  FileStream(std::string path, CaptureSink& sink) : path_(std::move(path)), sink_(sink) {}
  ~FileStream() override { Stop(); }

  bool Start() override {
    Stop();
    auto decoder = std::make_unique<Decoder>(path_);
    if (!decoder->ok()) return false;
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
  void Run(Decoder& decoder) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    uint64_t delivered = 0;  // frames
    std::vector<float> pending;
    std::vector<uint8_t> piece;
    size_t used = 0;  // samples of `pending` already delivered
    for (;;) {
      while (pending.size() - used < kPieceFrames * 2) {
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(used));
        used = 0;
        decoder.Next(&pending);
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
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    std::string problem;
    if (file == nullptr) problem = sf_strerror(nullptr);
    else if (info.frames == 0) problem = "the file holds no sound";
    if (file != nullptr) sf_close(file);
    if (!problem.empty()) {
      // Said once per file, not at every listing.
      if (reported_.insert(path).second)
        std::fprintf(stderr, "sonovar: cannot use SONOVAR_INPUT_FILE %s: %s\n", path, problem.c_str());
      return {};
    }
    return {BackendDevice{"File: " + BaseName(path), true, false, path}};
  }

  std::unique_ptr<BackendStream> Open(const BackendDevice& device, CaptureSink& sink) override {
    if (!Decoder(device.id).ok()) return nullptr;
    return std::make_unique<FileStream>(device.id, sink);
  }

 private:
  std::set<std::string> reported_;
};

}  // namespace

std::unique_ptr<WaveInBackend> MakeFileBackend() { return std::make_unique<FileBackend>(); }

}  // namespace platform
