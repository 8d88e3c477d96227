// Wave-input backend that plays an audio file (anything libsndfile reads) as
// a capture device: converted to 11025 Hz unsigned 8-bit stereo, delivered at
// the pace of real time, starting over at the end. A file that gives no sound
// (not a regular file, an unconvertible rate, undecodable frames, cut short
// while it plays) is said once on standard error and gives no buffers.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/audiofile/file_decoder.h"
#include "platform/wavein_backend.h"

namespace platform {
namespace {

constexpr size_t kPieceFrames = 256;  // delivered together, 23.2 ms: one capture buffer

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the file gives sound at all: the first converted frames, or why not.
bool GivesSound(const std::string& path, std::string* problem) {
  FileDecoder decoder(path);
  if (!decoder.ok()) {
    *problem = decoder.problem();
    return false;
  }
  std::vector<float> sound;
  FileDecoder::Step step;
  while ((step = decoder.Next(&sound)) == FileDecoder::Step::kNothingYet) {
  }
  if (step == FileDecoder::Step::kSound) return true;
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
    auto decoder = std::make_unique<FileDecoder>(path_);
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

  void Run(FileDecoder& decoder) {
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
        if (decoder.Next(&pending) == FileDecoder::Step::kNoSound) {
          // No buffer will ever come: say so once, and end rather than spin.
          SayNoSound(path_, decoder.problem());
          return;
        }
      }
      // A piece is handed over once the time of its last frame has come.
      const auto due = start + std::chrono::microseconds((delivered + kPieceFrames) * 1000000 / kFileRate);
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
