// Capturing through the wave-input service with two buffers in turn, as a
// test or a benchmark would, waiting on the service's wake-up.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/wavein.h"

namespace testing_support {

class TwoBufferCapture {
 public:
  static constexpr uint32_t kBufferBytes = 512;

  // Opens `device` of `service`; ok() tells whether it worked.
  TwoBufferCapture(platform::WaveIn& service, int device) : service_(service) {
    open_result_ = service_.Open(&handle_, device, platform::WaveFormat{}, [this] {
      std::lock_guard lock(mutex_);
      done_at_ = std::chrono::steady_clock::now();
      wake_.notify_one();
    });
  }
  ~TwoBufferCapture() {
    if (handle_ != 0) {
      service_.Reset(handle_);
      service_.Close(handle_);
    }
  }

  int open_result() const { return open_result_; }
  platform::WaveInHandle handle() const { return handle_; }

  // Starts with both buffers queued.
  bool Start() {
    for (size_t i = 0; i < 2; ++i) {
      headers_[i].data = buffers_[i].data();
      headers_[i].buffer_length = kBufferBytes;
      service_.PrepareHeader(handle_, &headers_[i]);
      service_.AddBuffer(handle_, &headers_[i]);
    }
    return service_.Start(handle_) == 0;
  }

  // The next buffer in order, or false after `timeout`. `wake_delay` gets
  // the time from the buffer becoming done to this thread running again.
  bool Next(std::vector<uint8_t>* out, std::chrono::milliseconds timeout,
            std::chrono::nanoseconds* wake_delay = nullptr) {
    platform::WaveHeader& h = headers_[next_];
    std::unique_lock lock(mutex_);
    if (!wake_.wait_for(lock, timeout, [&] { return (h.flags.load() & platform::kWaveHeaderDone) != 0; }))
      return false;
    if (wake_delay != nullptr) *wake_delay = std::chrono::steady_clock::now() - done_at_;
    lock.unlock();
    service_.UnprepareHeader(handle_, &h);
    out->assign(buffers_[next_].begin(), buffers_[next_].end());
    service_.PrepareHeader(handle_, &h);
    service_.AddBuffer(handle_, &h);
    next_ = 1 - next_;
    return true;
  }

 private:
  platform::WaveIn& service_;
  platform::WaveInHandle handle_ = 0;
  int open_result_ = 0;
  std::array<std::array<uint8_t, kBufferBytes>, 2> buffers_{};
  std::array<platform::WaveHeader, 2> headers_;
  size_t next_ = 0;
  std::mutex mutex_;  // guards done_at_; pairs with wake_
  std::condition_variable wake_;
  std::chrono::steady_clock::time_point done_at_;
};

}  // namespace testing_support
