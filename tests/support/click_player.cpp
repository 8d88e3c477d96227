// click-player: plays the click track (support/click_track.h, s16le stereo)
// and says when each click sounds: one line per click, the CLOCK_MONOTONIC
// microseconds of its first sample.
//
// --latency-ms MS: a PulseAudio playback stream asking for MS of buffering
// (tlength, with ADJUST_LATENCY, INTERPOLATE_TIMING, AUTO_TIMING_UPDATE).
// Every 5 ms it asks the stream what is being played now (pa_stream_get_time:
// the server's read position less the sink's latency, interpolated from the
// last timing update); the first time that has passed a click's first
// sample, the click was played at now less the difference. That is the
// server's word, the only truth a sink without hardware has (a null sink),
// and what the speaker checks on a pipe sink. On standard error it says the
// stream's latency and the sink's part of it as the server reported them.
//
// --pipe FIFO: a live input instead, through a module-pipe-source reading
// FIFO. The track is written at its own pace (every 5 ms, the frames due by
// then, as a sound card hands what its converter took), and a click counts
// from the moment its first sample was due: it sounded in the room then,
// and was written at most one wake-up later.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <pulse/pulseaudio.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/click_track.h"
#include "support/paced_audio.h"

namespace {

using namespace testing_support;

constexpr int64_t kTickMicroseconds = 5000;
constexpr int kFrameBytes = 4;

struct Options {
  std::string onsets, sink, pipe;
  int rate = 48000;
  double seconds = 20, latency_ms = 0;
  uint32_t seed = 1;
};

int Usage(const char* why) {
  std::fprintf(stderr,
               "click-player: %s\n"
               "usage: click-player (--latency-ms MS [--sink NAME] | --pipe FIFO) [--seconds S] [--rate HZ] "
               "[--seed N]\n                    [--onsets FILE]\n"
               "  plays a click track (s16le stereo) to a PulseAudio sink or, at its own pace, into a pipe source's\n"
               "  FIFO; one line per click: the CLOCK_MONOTONIC microseconds it sounded (standard output by default)\n",
               why);
  return 2;
}

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    double n = 0;
    if (name == "--onsets") o->onsets = value;
    else if (name == "--sink") o->sink = value;
    else if (name == "--pipe") o->pipe = value;
    else if (name == "--rate" && NumberArgument(value, 8000, 192000, &n)) o->rate = static_cast<int>(n);
    else if (name == "--seconds" && NumberArgument(value, 2, 3600, &n)) o->seconds = n;
    else if (name == "--latency-ms" && NumberArgument(value, 1, 2000, &n)) o->latency_ms = n;
    else if (name == "--seed" && NumberArgument(value, 0, 4294967295.0, &n)) o->seed = static_cast<uint32_t>(n);
    else return false;
  }
  return argc % 2 == 1 && (o->pipe.empty() != (o->latency_ms == 0));
}

class Log {
 public:
  explicit Log(std::FILE* out) : out_(out) {}
  void Click(int64_t time_us) {
    std::fprintf(out_, "%lld\n", static_cast<long long>(time_us));
    std::fflush(out_);
    ++clicks_;
  }
  int clicks() const { return clicks_; }

 private:
  std::FILE* out_;
  int clicks_ = 0;
};

// Writes the frames into the FIFO; how many went in, from the first. A
// source that stopped reading loses the rest rather than stopping the clock.
int64_t WriteFrames(int fd, const std::vector<int16_t>& frames) {
  size_t at = 0;
  const size_t bytes = frames.size() * sizeof frames[0];
  while (at < bytes) {
    const ssize_t n = write(fd, reinterpret_cast<const char*>(frames.data()) + at, bytes - at);
    if (n > 0) at += static_cast<size_t>(n);
    pollfd p{fd, POLLOUT, 0};
    if (n < 0 && errno != EINTR && (errno != EAGAIN || poll(&p, 1, 2) <= 0)) break;
  }
  return static_cast<int64_t>(at) / kFrameBytes;
}

// A live input: the track into the FIFO at its pace. A click whose first
// frame was lost is not heard, so not logged.
int FeedPipe(const Options& o, const ClickTrack& track, Log& log) {
  const int fd = open(o.pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "click-player: cannot open %s: %s\n", o.pipe.c_str(), std::strerror(errno));
    return 1;
  }
  const int64_t start = MonotonicMicroseconds();
  const SampleClock clock(o.rate, start);
  const std::vector<int64_t>& clicks = track.onsets();
  std::vector<int16_t> chunk;
  int64_t written = 0, lost = 0;
  size_t next_click = 0, lost_clicks = 0;
  for (int64_t tick = 1; written < track.frames() && !g_stop; ++tick) {
    SleepUntilMicroseconds(start + tick * kTickMicroseconds);
    const int64_t due = std::min(track.frames(), clock.FramesDueAt(MonotonicMicroseconds())) - written;
    chunk.resize(static_cast<size_t>(2 * due));
    track.Fill(written, due, chunk.data());
    const int64_t sent = WriteFrames(fd, chunk);
    lost += due - sent;
    for (; next_click < clicks.size() && clicks[next_click] < written + due; ++next_click) {
      if (clicks[next_click] < written + sent) log.Click(clock.TimeOf(clicks[next_click]));
      else ++lost_clicks;
    }
    written += due;
  }
  close(fd);
  std::fprintf(stderr, "click-player: %d clicks written to %s; %.1f ms of sound (%zu clicks) lost on a full FIFO\n",
               log.clicks(), o.pipe.c_str(), lost * 1000.0 / o.rate, lost_clicks);
  return 0;
}

// A playback stream on PulseAudio's own loop; each callback runs on it.
class Player {
 public:
  Player(const Options& o, const ClickTrack& track, Log& log) : o_(o), track_(track), log_(log) {}
  ~Player() {
    if (stream_ != nullptr) pa_stream_unref(stream_);
    if (context_ != nullptr) pa_context_unref(context_);
    if (loop_ != nullptr) pa_mainloop_free(loop_);
  }

  int Run() {
    loop_ = pa_mainloop_new();
    context_ = pa_context_new(pa_mainloop_get_api(loop_), "click-player");
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return Fail("cannot connect");
    pa_context_set_state_callback(
        context_, [](pa_context*, void* me) { static_cast<Player*>(me)->ContextState(); }, this);
    deadline_ = MonotonicMicroseconds() + static_cast<int64_t>((o_.seconds + 10) * 1e6);
    pa_context_rttime_new(context_, pa_rtclock_now() + kTickMicroseconds, &Player::OnTick, this);
    int status = 1;
    pa_mainloop_run(loop_, &status);
    if (stream_ != nullptr) pa_stream_disconnect(stream_);
    pa_context_set_state_callback(context_, nullptr, nullptr);  // its end is ours now, no failure
    pa_context_disconnect(context_);
    std::fprintf(stderr,
                 "click-player: %d clicks played; as the server reported them, from the first second to the last "
                 "write: stream latency median %.1f ms (5th percentile %.1f, 95th %.1f), of which the sink's median "
                 "%.1f ms (%.1f, %.1f)\n",
                 log_.clicks(), latency_.Percentile(50), latency_.Percentile(5), latency_.Percentile(95),
                 sink_.Percentile(50), sink_.Percentile(5), sink_.Percentile(95));
    return status;
  }

 private:
  int Fail(const char* why) {
    std::fprintf(stderr, "click-player: %s: %s\n", why, pa_strerror(pa_context_errno(context_)));
    pa_mainloop_quit(loop_, 1);
    return 1;
  }

  void ContextState() {
    const pa_context_state_t state = pa_context_get_state(context_);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) Fail("the server connection failed");
    if (state != PA_CONTEXT_READY) return;
    const pa_sample_spec format{PA_SAMPLE_S16LE, static_cast<uint32_t>(o_.rate), 2};
    stream_ = pa_stream_new(context_, "click track", &format, nullptr);
    // A sink that goes away ends the run at once, not at the deadline.
    pa_stream_set_state_callback(
        stream_,
        [](pa_stream* stream, void* me) {
          if (pa_stream_get_state(stream) == PA_STREAM_FAILED) static_cast<Player*>(me)->Fail("the stream failed");
        },
        this);
    pa_stream_set_write_callback(
        stream_, [](pa_stream*, size_t n, void* me) { static_cast<Player*>(me)->Write(n); }, this);
    pa_buffer_attr attr{};
    attr.maxlength = attr.prebuf = attr.minreq = attr.fragsize = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(static_cast<pa_usec_t>(o_.latency_ms * 1000), &format));
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                      PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream_, o_.sink.empty() ? nullptr : o_.sink.c_str(), &attr, flags, nullptr,
                                   nullptr) < 0)
      Fail("cannot play");
  }

  void Write(size_t bytes) {
    const int64_t frames = std::min<int64_t>(static_cast<int64_t>(bytes) / kFrameBytes, track_.frames() - written_);
    if (frames > 0) {
      chunk_.resize(static_cast<size_t>(2 * frames));
      track_.Fill(written_, frames, chunk_.data());
      pa_stream_write(stream_, chunk_.data(), static_cast<size_t>(frames) * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE);
      written_ += frames;
    }
    if (written_ == track_.frames() && !draining_) {
      draining_ = true;
      pa_operation_unref(pa_stream_drain(
          stream_, [](pa_stream*, int, void* me) { static_cast<Player*>(me)->Drained(); }, this));
    }
  }

  void Drained() {
    Tick();  // the last clicks, played by now
    pa_mainloop_quit(loop_, log_.clicks() == static_cast<int>(track_.onsets().size()) ? 0 : 1);
  }

  static void OnTick(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* me) {
    auto* player = static_cast<Player*>(me);
    player->Tick();
    if (g_stop || MonotonicMicroseconds() > player->deadline_) {
      std::fprintf(stderr, "click-player: %s\n", g_stop ? "stopped" : "the track did not end in time");
      pa_mainloop_quit(player->loop_, 1);
      return;
    }
    pa_context_rttime_restart(player->context_, event, pa_rtclock_now() + kTickMicroseconds);
  }

  void Tick() {
    pa_usec_t playing = 0, latency = 0;
    int negative = 0;
    if (stream_ == nullptr || pa_stream_get_state(stream_) != PA_STREAM_READY ||
        pa_stream_get_time(stream_, &playing) < 0)
      return;
    const int64_t now = MonotonicMicroseconds();
    for (; next_click_ < track_.onsets().size(); ++next_click_) {
      const int64_t click = track_.onsets()[next_click_] * 1000000 / o_.rate;
      if (click > static_cast<int64_t>(playing)) break;
      log_.Click(now - (static_cast<int64_t>(playing) - click));
    }
    if (playing == 0) return;
    // The latencies count once the buffers have filled, and until the end
    // of the track is written (the buffers then empty).
    if (playing_since_ < 0) playing_since_ = now;
    if (now - playing_since_ < 1000000 || draining_ || pa_stream_get_latency(stream_, &latency, &negative) < 0) return;
    latency_.Add((negative ? -1.0 : 1.0) * static_cast<double>(latency) / 1000);
    if (const pa_timing_info* timing = pa_stream_get_timing_info(stream_)) sink_.Add(timing->sink_usec / 1000.0);
  }

  const Options& o_;
  const ClickTrack& track_;
  Log& log_;
  pa_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  std::vector<int16_t> chunk_;
  int64_t written_ = 0, deadline_ = 0;
  size_t next_click_ = 0;
  bool draining_ = false;
  Series latency_, sink_;
  int64_t playing_since_ = -1;  // when the stream first played
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) return Usage("give --latency-ms or --pipe, and only known options");
  CatchStopSignals();
  std::FILE* out = options.onsets.empty() ? stdout : std::fopen(options.onsets.c_str(), "w");
  if (out == nullptr) {
    std::fprintf(stderr, "click-player: cannot write %s: %s\n", options.onsets.c_str(), std::strerror(errno));
    return 1;
  }
  const ClickTrack track(options.rate, options.seconds, options.seed);
  Log log(out);
  const int status = options.pipe.empty() ? Player(options, track, log).Run() : FeedPipe(options, track, log);
  return std::fclose(out) == 0 ? status : 1;
}
