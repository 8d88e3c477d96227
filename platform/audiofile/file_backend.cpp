// Wave-input backend that plays an audio file (anything libsndfile reads) as
// a capture device: converted to 11025 Hz unsigned 8-bit stereo, delivered at
// the pace of real time, starting over at the end.
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

#include "platform/audiofile/file_decoder.h"
#include "platform/wavein_backend.h"

namespace platform {
namespace {

constexpr size_t kPieceFrames = 256;  // delivered together, 23.2 ms: one capture buffer

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class FileStream final : public BackendStream {
 public:
  FileStream(std::string path, CaptureSink& sink) : path_(std::move(path)), sink_(sink) {}
  ~FileStream() override { Stop(); }

  bool Start() override {
    Stop();
    auto decoder = std::make_unique<FileDecoder>(path_);
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
  void Run(FileDecoder& decoder) {
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
    if (!FileDecoder(device.id).ok()) return nullptr;
    return std::make_unique<FileStream>(device.id, sink);
  }

 private:
  std::set<std::string> reported_;
};

}  // namespace

std::unique_ptr<WaveInBackend> MakeFileBackend() { return std::make_unique<FileBackend>(); }

}  // namespace platform
