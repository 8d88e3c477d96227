// The wave-input service over its backends: device numbering, the buffer
// queue and its done flags, dropped frames and the owner's wake-up. No
// system headers: each backend brings its own.
#include "platform/wavein.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/wavein_backend.h"

namespace platform {

namespace {

// The most sound held for buffers not yet queued, whatever the pieces: about
// three quarters of a second. That takes what a server asked for a long
// latency hands over at once (200 ms pieces, two back to back), but not a
// whole stall of the owner (a modal dialog holding its loop): that old sound
// would be played through in a burst once the owner queues again, lights
// flickering through the past instead of following the music.
constexpr size_t kMostHeldBytes = 16384;

class Session final : public CaptureSink {
 public:
  explicit Session(WaveIn::DoneCallback on_done) : on_done_(std::move(on_done)) {}

  void Deliver(const uint8_t* bytes, size_t size, int64_t played_at_us) override {
    std::unique_lock lock(mutex_);
    arrived_since_queue_ += size;
    largest_delivery_ = std::max(largest_delivery_, arrived_since_queue_);
    delivered_ += size;
    last_played_at_us_ = played_at_us;
    if (held_.empty()) {
      while (size > 0 && !queue_.empty()) {
        const size_t n = Fill(bytes, size);
        bytes += n;
        size -= n;
      }
    }
    // Behind what is held already, so that the order stays.
    held_.insert(held_.end(), bytes, bytes + size);
    Drain();
    Trim();
    WakeOwner(lock);
  }

  void Queue(WaveHeader* header) {
    std::unique_lock lock(mutex_);
    queue_.push_back(header);
    buffer_length_ = header->buffer_length;
    arrived_since_queue_ = 0;
    // What arrived since the last buffer was done goes in first.
    Drain();
    WakeOwner(lock);
  }

  // Hands every queued buffer back, done, with what it holds.
  void ReturnAll() {
    std::unique_lock lock(mutex_);
    while (!queue_.empty()) Finish(queue_.front());
    consumed_ += held_.size();
    held_.clear();
    WakeOwner(lock);
  }

  uint64_t dropped_frames() {
    std::lock_guard lock(mutex_);
    return dropped_frames_;
  }

  std::unique_ptr<BackendStream> stream;

 private:
  // Copies into the front buffer; called with mutex_ held, the queue not empty.
  size_t Fill(const uint8_t* bytes, size_t size) {
    if (queue_.empty() || size == 0) return 0;
    WaveHeader* header = queue_.front();
    const uint32_t have = header->bytes_recorded.load(std::memory_order_relaxed);
    const size_t n = std::min<size_t>(size, header->buffer_length - have);
    std::memcpy(header->data + have, bytes, n);
    consumed_ += n;
    header->bytes_recorded.store(static_cast<uint32_t>(have + n), std::memory_order_release);
    if (have + n == header->buffer_length) Finish(header);
    return n;
  }

  // Moves held sound into the queued buffers, oldest first. Called with mutex_ held.
  void Drain() {
    size_t used = 0;
    while (used < held_.size() && !queue_.empty()) used += Fill(held_.data() + used, held_.size() - used);
    held_.erase(held_.begin(), held_.begin() + static_cast<long>(used));
  }

  // A backend hands over sound in pieces of its own size, often several
  // buffers at once and several pieces back to back (a sound server asked
  // for a longer latency, for one), so a buffer is often done in the middle
  // of a piece. The rest is held, like a sound card's own memory, for the
  // buffers the owner queues next: as many buffers as the largest delivery
  // so far (what arrived between two queuings) can fill, so that an owner
  // that queues its buffer again within a buffer's time loses nothing. Older
  // frames beyond that are dropped and counted. Called with mutex_ held.
  void Trim() {
    size_t limit = 0;
    if (buffer_length_ > 0) {
      const size_t buffers = std::max<size_t>(1, (largest_delivery_ + buffer_length_ - 1) / buffer_length_);
      limit = std::min(buffers * buffer_length_, std::max(kMostHeldBytes, buffer_length_));
      // A monitor of an output with a long latency hands over seconds of
      // sound at once, long before they are heard: sound not heard yet is
      // kept (up to the longest delay the show believes), since the show
      // needs it; only sound heard already is dropped.
      if (last_played_at_us_ != kPlayTimeUnknown) {
        const int64_t ahead_us = std::min(last_played_at_us_ - SteadyMicros(), kLongestPlayAheadUs);
        if (ahead_us > 0)
          limit = std::max(limit, static_cast<size_t>(ahead_us) * kWaveBytesPerSecond / 1000000 & ~size_t{1});
      }
    }
    if (held_.size() <= limit) return;
    const size_t excess = std::min((held_.size() - limit + 1) & ~size_t{1}, held_.size());
    consumed_ += excess;
    dropped_frames_ += excess / 2;
    held_.erase(held_.begin(), held_.begin() + static_cast<long>(excess));
  }

  // Called with mutex_ held; the header is at the front of the queue.
  void Finish(WaveHeader* header) {
    queue_.pop_front();
    // Sound is continuous: the buffer's last frame is heard as much before
    // the last frame delivered as the bytes between them last.
    header->played_at_us =
        last_played_at_us_ == kPlayTimeUnknown
            ? kPlayTimeUnknown
            : last_played_at_us_ - static_cast<int64_t>((delivered_ - consumed_) * 1000000 / kWaveBytesPerSecond);
    header->flags.fetch_and(~kWaveHeaderInQueue, std::memory_order_relaxed);
    header->flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
    finished_ = true;
  }

  // Wakes the owner once the lock is given up: woken at once, the owner
  // queues its next buffer, and would otherwise find the lock still held
  // and sleep on it again.
  void WakeOwner(std::unique_lock<std::mutex>& lock) {
    const bool finished = std::exchange(finished_, false);
    lock.unlock();
    if (finished && on_done_) on_done_();
  }

  const WaveIn::DoneCallback on_done_;
  // Guards everything below against the backend's thread.
  std::mutex mutex_;
  std::deque<WaveHeader*> queue_;
  std::vector<uint8_t> held_;
  size_t buffer_length_ = 0;        // of the buffer queued last; nothing is held before the first
  size_t arrived_since_queue_ = 0;  // bytes handed over since the owner last queued a buffer
  size_t largest_delivery_ = 0;     // the most of those so far
  uint64_t dropped_frames_ = 0;
  // Play times: bytes delivered and bytes gone into buffers or dropped, since
  // the open, and when the last byte delivered is heard.
  uint64_t delivered_ = 0;
  uint64_t consumed_ = 0;
  int64_t last_played_at_us_ = kPlayTimeUnknown;
  bool finished_ = false;  // a buffer became done; the owner is not woken yet
};

class WaveInService final : public WaveIn {
 public:
  explicit WaveInService(std::vector<std::unique_ptr<WaveInBackend>> backends) {
    for (auto& b : backends)
      if (b) backends_.push_back(std::move(b));
  }

  ~WaveInService() override {
    for (auto& [handle, session] : sessions_) session->stream.reset();
  }

  unsigned GetNumDevs() override {
    devices_.clear();
    for (auto& backend : backends_)
      for (BackendDevice& device : backend->List()) devices_.push_back({backend.get(), std::move(device)});
    listed_ = true;
    return static_cast<unsigned>(devices_.size());
  }

  int GetDevCaps(unsigned device, WaveInCaps* caps) override {
    if (!listed_) GetNumDevs();
    if (device >= devices_.size() || caps == nullptr) return kWaveErrorBadDevice;
    caps->name = devices_[device].device.name;
    caps->formats = devices_[device].device.format_ok ? kWaveFormat11kStereo8 : 0;
    caps->is_default = DefaultDevice() == static_cast<int>(device);
    return 0;
  }

  int Open(WaveInHandle* handle, int device, const WaveFormat& format, DoneCallback on_done) override {
    if (handle == nullptr) return kWaveErrorInvalidHandle;
    if (!listed_) GetNumDevs();
    const Listed* chosen = nullptr;
    if (device == -1) {
      const int number = DefaultDevice();
      if (number < 0) return kWaveErrorBadDevice;
      chosen = &devices_[static_cast<size_t>(number)];
    } else {
      if (device < 0 || static_cast<size_t>(device) >= devices_.size()) return kWaveErrorBadDevice;
      chosen = &devices_[device];
    }
    if (format.channels != 2 || format.samples_per_second != 11025 || format.bits_per_sample != 8 ||
        !chosen->device.format_ok)
      return kWaveErrorBadFormat;
    auto session = std::make_unique<Session>(std::move(on_done));
    session->stream = chosen->backend->Open(chosen->device, *session);
    if (!session->stream) return kWaveErrorOpenFailed;
    const WaveInHandle h = next_handle_++;
    sessions_[h] = std::move(session);
    *handle = h;
    return 0;
  }

  int Start(WaveInHandle handle) override {
    Session* s = Find(handle);
    if (s == nullptr) return kWaveErrorInvalidHandle;
    return s->stream->Start() ? 0 : kWaveErrorOpenFailed;
  }

  int PrepareHeader(WaveInHandle handle, WaveHeader* header) override {
    if (Find(handle) == nullptr || header == nullptr) return kWaveErrorInvalidHandle;
    header->flags.fetch_or(kWaveHeaderPrepared);
    return 0;
  }

  int AddBuffer(WaveInHandle handle, WaveHeader* header) override {
    Session* s = Find(handle);
    if (s == nullptr || header == nullptr) return kWaveErrorInvalidHandle;
    if (!(header->flags.load() & kWaveHeaderPrepared) || header->data == nullptr || header->buffer_length == 0)
      return kWaveErrorUnprepared;
    if (header->flags.load() & kWaveHeaderInQueue) return kWaveErrorStillPlaying;
    header->bytes_recorded.store(0);
    header->flags.fetch_and(~kWaveHeaderDone);
    header->flags.fetch_or(kWaveHeaderInQueue);
    s->Queue(header);
    return 0;
  }

  int UnprepareHeader(WaveInHandle handle, WaveHeader* header) override {
    if (Find(handle) == nullptr || header == nullptr) return kWaveErrorInvalidHandle;
    if (header->flags.load() & kWaveHeaderInQueue) return kWaveErrorStillPlaying;
    header->flags.fetch_and(~kWaveHeaderPrepared);
    return 0;
  }

  int Reset(WaveInHandle handle) override {
    Session* s = Find(handle);
    if (s == nullptr) return kWaveErrorInvalidHandle;
    s->stream->Stop();
    s->ReturnAll();
    return 0;
  }

  int Close(WaveInHandle handle) override {
    auto it = sessions_.find(handle);
    if (it == sessions_.end()) return kWaveErrorInvalidHandle;
    it->second->stream.reset();  // stops the backend's thread first
    it->second->ReturnAll();
    sessions_.erase(it);
    return 0;
  }

  uint64_t DroppedFrames(WaveInHandle handle) override {
    Session* s = Find(handle);
    return s != nullptr ? s->dropped_frames() : 0;
  }

 private:
  struct Listed {
    WaveInBackend* backend;
    BackendDevice device;
  };

  // What -1 opens: the input a backend names as the system's default, else
  // the first usable one; -1 when none is usable.
  int DefaultDevice() const {
    for (size_t d = 0; d < devices_.size(); ++d)
      if (devices_[d].device.format_ok && devices_[d].device.is_default) return static_cast<int>(d);
    for (size_t d = 0; d < devices_.size(); ++d)
      if (devices_[d].device.format_ok) return static_cast<int>(d);
    return -1;
  }

  Session* Find(WaveInHandle handle) {
    auto it = sessions_.find(handle);
    return it == sessions_.end() ? nullptr : it->second.get();
  }

  std::vector<std::unique_ptr<WaveInBackend>> backends_;
  std::vector<Listed> devices_;
  bool listed_ = false;
  std::map<WaveInHandle, std::unique_ptr<Session>> sessions_;  // owner's thread only
  WaveInHandle next_handle_ = 1;
};

}  // namespace

std::unique_ptr<WaveIn> MakeWaveIn(std::vector<std::unique_ptr<WaveInBackend>> backends) {
  return std::make_unique<WaveInService>(std::move(backends));
}

WaveIn& SystemWaveIn() {
  static std::unique_ptr<WaveIn> service = [] {
    std::vector<std::unique_ptr<WaveInBackend>> backends;
    backends.push_back(MakeWinmmBackend());
    backends.push_back(MakePulseBackend());
    backends.push_back(MakePortAudioBackend());
    backends.push_back(MakeFileBackend());
    return MakeWaveIn(std::move(backends));
  }();
  return *service;
}

}  // namespace platform
