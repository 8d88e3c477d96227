// Wave-input backend over the sound server's native protocol (PulseAudio, or
// PipeWire through its PulseAudio interface): every source of the server,
// the monitors of outputs first, since those carry what the computer plays.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pulse/pulse_loop.h"
#include "platform/wavein_backend.h"

namespace platform {
namespace {

constexpr pa_sample_spec kSpec = {PA_SAMPLE_U8, 11025, 2};
constexpr auto kConnectTimeout = std::chrono::seconds(2);

struct Source {
  std::string name, description;
  bool monitor = false;
};

// One listing over a private, single-threaded main loop, bounded in time so
// that an unanswering server cannot hang the caller.
class Lister {
 public:
  Lister() : loop_(pa_mainloop_new()) {
    context_ = pa_context_new(pa_mainloop_get_api(loop_), "Sonovar");
  }
  ~Lister() {
    if (context_ != nullptr) {
      pa_context_disconnect(context_);
      pa_context_unref(context_);
    }
    pa_mainloop_free(loop_);
  }

  bool Run(std::vector<Source>* sources, std::string* default_source) {
    if (context_ == nullptr || pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
      return false;
    if (!RunUntil([&] {
          auto s = pa_context_get_state(context_);
          return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
        }) ||
        pa_context_get_state(context_) != PA_CONTEXT_READY)
      return false;

    int pending = 2;
    auto done = [&] { return pending == 0; };
    struct Call {
      std::vector<Source>* sources;
      std::string* default_source;
      int* pending;
    } call{sources, default_source, &pending};
    pa_operation_unref(pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* data) {
          auto* c = static_cast<Call*>(data);
          if (info != nullptr && info->default_source_name != nullptr) *c->default_source = info->default_source_name;
          --*c->pending;
        },
        &call));
    pa_operation_unref(pa_context_get_source_info_list(
        context_,
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
          auto* c = static_cast<Call*>(data);
          if (eol != 0) {
            --*c->pending;
            return;
          }
          c->sources->push_back({info->name, info->description != nullptr ? info->description : info->name,
                                 info->monitor_of_sink != PA_INVALID_INDEX});
        },
        &call));
    return RunUntil(done);
  }

 private:
  template <typename Done>
  bool RunUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kConnectTimeout;
    while (!done()) {
      auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      if (pa_mainloop_prepare(loop_, static_cast<int>(left.count())) < 0 || pa_mainloop_poll(loop_) < 0 ||
          pa_mainloop_dispatch(loop_) < 0)
        return false;
    }
    return true;
  }

  pa_mainloop* loop_;
  pa_context* context_ = nullptr;
};

// The stream runs the client library on a loop of its own (PulseLoop),
// which costs the capture thread fewer system calls a piece than the
// library's own loops.
class PulseStream final : public BackendStream {
 public:
  PulseStream(std::string source, bool monitor, CaptureSink& sink)
      : source_(std::move(source)), monitor_(monitor), sink_(sink) {}

  ~PulseStream() override {
    Stop();
    loop_.Stop();
    if (context_ != nullptr) {
      pa_context_disconnect(context_);
      pa_context_unref(context_);
    }
  }

  // Connects to the server; false when it cannot be reached in time, like
  // the listing: a server that accepts but does not answer fails the open
  // instead of holding the caller.
  bool Connect() {
    context_ = pa_context_new(loop_.api(), "Sonovar");
    if (context_ == nullptr) return false;
    pa_context_set_state_callback(
        context_, [](pa_context*, void* self) { static_cast<PulseStream*>(self)->state_changed_.notify_all(); }, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    if (!loop_.Start("sonovar-pulse")) return false;
    std::unique_lock lock(loop_.mutex());
    pa_context_state_t state;
    state_changed_.wait_for(lock, kConnectTimeout, [&] {
      state = pa_context_get_state(context_);
      return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    return state == PA_CONTEXT_READY;
  }

  bool Start() override {
    std::lock_guard lock(loop_.mutex());
    if (stream_ == nullptr) {
      stream_ = pa_stream_new(context_, "Sonovar capture", &kSpec, nullptr);
      if (stream_ != nullptr) {
        pa_stream_set_read_callback(stream_, &PulseStream::OnRead, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        // A live input: fragments of one capture buffer, so that a buffer is
        // done about 23 ms after its first frame, and the server wakes up a
        // quarter as often as with 128-byte fragments.
        attr.fragsize = 512;
        auto flags = PA_STREAM_ADJUST_LATENCY;
        if (monitor_) {
          // A monitor: asking for a latency would force the output to it,
          // and every program's sound with it. Its sound comes as the
          // output renders it, before it is heard; the play times say when
          // to show it. The server holds a fragment's worth before it
          // sends: one buffer until the output's latency is known (then a
          // quarter of it, see OnTiming).
          flags = PA_STREAM_INTERPOLATE_TIMING;
          pa_stream_set_latency_update_callback(stream_, &PulseStream::OnTiming, this);
          // Timing asked for as soon as the stream runs: the output's first
          // piece (seconds of sound, for an output at a long latency) then
          // comes with its play time.
          pa_stream_set_state_callback(stream_, &PulseStream::OnState, this);
        }
        if (pa_stream_connect_record(stream_, source_.c_str(), &attr, flags) < 0) {
          pa_stream_unref(stream_);
          stream_ = nullptr;
        }
      }
    }
    return stream_ != nullptr;
  }

  void Stop() override {
    // The read callback runs under the lock: once the stream is gone under
    // it, nothing more is delivered.
    std::lock_guard lock(loop_.mutex());
    if (stream_ != nullptr) {
      pa_stream_set_read_callback(stream_, nullptr, nullptr);
      pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
      pa_stream_set_state_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
      stream_ = nullptr;
    }
  }

 private:
  static void OnRead(pa_stream* stream, size_t readable, void* self) {
    auto* me = static_cast<PulseStream*>(self);
    const void* data = nullptr;
    size_t size = 0;
    int64_t played_at_us = me->monitor_ ? me->PlayedAt(stream) : kPlayTimeUnknown;
    // The library says how much is there (sound and holes): no call to find
    // that nothing is left. Each call into it costs a system call (it looks
    // whether the process forked), and the server sends hundreds of pieces
    // a second. Nothing arrives while this runs, on the loop's one thread.
    while (readable > 0 && pa_stream_peek(stream, &data, &size) == 0 && size > 0) {
      readable -= std::min(readable, size);
      const size_t frames_bytes = size & ~size_t{1};
      if (played_at_us != kPlayTimeUnknown)
        played_at_us += static_cast<int64_t>(frames_bytes) * 1000000 / kWaveBytesPerSecond;
      if (data != nullptr) {
        me->sink_.Deliver(static_cast<const uint8_t*>(data), frames_bytes, played_at_us);
      } else {
        // A hole: the server lost this much; it stays silence.
        std::vector<uint8_t> silence(frames_bytes, 128);
        me->sink_.Deliver(silence.data(), silence.size(), played_at_us);
      }
      pa_stream_drop(stream);
    }
  }

  // When the sound read so far is heard, from the server's timing: the
  // stream's latency is negative by what the output holds and has not
  // played yet. Asks for fresh timing now and then, so that an output whose
  // latency changes (another player starts) is followed within a fraction
  // of a second; unknown until the first answer.
  int64_t PlayedAt(pa_stream* stream) {
    const int64_t now = SteadyMicros();
    if (!timing_asked_ && now - timing_at_us_ >= kTimingRefreshUs) {
      pa_operation* asked = pa_stream_update_timing_info(stream, nullptr, nullptr);
      if (asked != nullptr) {
        pa_operation_unref(asked);
        timing_asked_ = true;
        timing_at_us_ = now;
      }
    }
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) != 0) return kPlayTimeUnknown;
    return negative != 0 ? now + static_cast<int64_t>(latency) : now - static_cast<int64_t>(latency);
  }

  static void OnState(pa_stream* stream, void* self) {
    auto* me = static_cast<PulseStream*>(self);
    if (pa_stream_get_state(stream) != PA_STREAM_READY || me->timing_asked_) return;
    pa_operation* asked = pa_stream_update_timing_info(stream, nullptr, nullptr);
    if (asked == nullptr) return;
    pa_operation_unref(asked);
    me->timing_asked_ = true;
    me->timing_at_us_ = SteadyMicros();
  }

  // Fresh timing: the output's latency with it. Fragments of a quarter of
  // it reach Sonovar long before they are heard, and cost the server and
  // Sonovar one wake-up for every quarter of the output's own; shorter than
  // a buffer they would only cost more.
  static void OnTiming(pa_stream* stream, void* self) {
    auto* me = static_cast<PulseStream*>(self);
    me->timing_asked_ = false;
    const pa_timing_info* timing = pa_stream_get_timing_info(stream);
    if (timing == nullptr) return;
    const uint64_t quarter = timing->sink_usec / 4 * kWaveBytesPerSecond / 1000000;
    const uint32_t wanted = static_cast<uint32_t>(std::clamp<uint64_t>(quarter, 512, kLongestFragment) & ~uint64_t{511});
    // Only a clear change: each one is a round trip to the server.
    if (wanted * 4 >= me->fragsize_ * 3 && wanted * 3 <= me->fragsize_ * 4) return;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.fragsize = wanted;
    pa_operation* set = pa_stream_set_buffer_attr(stream, &attr, nullptr, nullptr);
    if (set == nullptr) return;
    pa_operation_unref(set);
    me->fragsize_ = wanted;
  }

  static constexpr int64_t kTimingRefreshUs = 250000;
  // Half a second: an output whose latency falls (a player that wants
  // little starts) is followed at the next fragment.
  static constexpr uint64_t kLongestFragment = 11264;

  const std::string source_;
  const bool monitor_;
  CaptureSink& sink_;
  // The loop's thread only: when fresh timing was last asked for, and
  // whether the answer is still to come.
  int64_t timing_at_us_ = INT64_MIN / 2;
  bool timing_asked_ = false;
  uint32_t fragsize_ = 512;  // the loop's thread only, once the stream runs
  PulseLoop loop_;  // its mutex guards context_ and stream_ once it runs
  pa_context* context_ = nullptr;
  std::condition_variable state_changed_;  // the context's state, for Connect
  pa_stream* stream_ = nullptr;
};

class PulseBackend final : public WaveInBackend {
 public:
  std::vector<BackendDevice> List() override {
    std::vector<Source> sources;
    std::string default_source;
    if (!Lister().Run(&sources, &default_source)) return {};
    std::stable_partition(sources.begin(), sources.end(), [](const Source& s) { return s.monitor; });
    std::vector<BackendDevice> devices;
    // The server converts to any format, so every source can deliver ours.
    for (const Source& s : sources)
      devices.push_back({s.description, true, s.name == default_source, s.name, s.monitor});
    return devices;
  }

  std::unique_ptr<BackendStream> Open(const BackendDevice& device, CaptureSink& sink) override {
    auto stream = std::make_unique<PulseStream>(device.id, device.monitor, sink);
    if (!stream->Connect()) return nullptr;
    return stream;
  }
};

}  // namespace

std::unique_ptr<WaveInBackend> MakePulseBackend() { return std::make_unique<PulseBackend>(); }

}  // namespace platform
