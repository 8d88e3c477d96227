// speaker: the loudspeaker behind a PulseAudio pipe sink, to learn when a
// sound is really played rather than when the server says it is.
//
// module-pipe-sink writes the sink's sound (signed 16-bit stereo) into a
// FIFO whenever the FIFO has room, so the FIFO's fill is the sink's latency:
// what the sink renders now, and its monitor hands to a listener now, comes
// out of the FIFO one fill later. The speaker takes the sound out at its own
// pace, as a sound card's converter does: it wakes every 5 ms on
// CLOCK_MONOTONIC and reads exactly the frames due by then, so frame n is
// played at start + n / rate. When the FIFO holds fewer (the sink is idle or
// late), the rest is played as silence, as a card that runs dry does, and
// later frames keep their place on the clock. Setting the FIFO's size
// (F_SETPIPE_SZ, in whole pages) chooses the fill, hence the latency; the
// fill stays below the size, as each of the sink's writes starts a page.
//
// For each onset (a loud sample after a quarter second without one) it
// writes the CLOCK_MONOTONIC microseconds at which that sample was played,
// one a line; at the end it says on standard error how full the FIFO was
// before each read, how much silence it filled in, and how late it woke.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/paced_audio.h"

namespace {

using namespace testing_support;

constexpr int64_t kTickMicroseconds = 5000;
constexpr int kFrameBytes = 4;  // two 16-bit channels
// The sink fills an empty FIFO in well under this.
constexpr int64_t kSettleMicroseconds = 1000000;

struct Options {
  std::string fifo, onsets, ready;
  int rate = 48000;
  int pipe_size = 0;  // 0: as the FIFO is
  double seconds = 3600;
};

int Usage(const char* why) {
  std::fprintf(stderr,
               "speaker: %s\nusage: speaker --fifo PATH [--rate HZ] [--pipe-size BYTES] [--seconds S] [--onsets FILE]\n"
               "               [--ready FILE]\n"
               "  plays a pipe sink's FIFO (s16le stereo) at the sound's pace; one line per onset: the\n"
               "  CLOCK_MONOTONIC microseconds its first loud sample was played (standard output by default);\n"
               "  --ready FILE is made once the FIFO is open and sized\n",
               why);
  return 2;
}

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    double number = 0;
    if (name == "--fifo") o->fifo = value;
    else if (name == "--onsets") o->onsets = value;
    else if (name == "--ready") o->ready = value;
    else if (name == "--rate" && NumberArgument(value, 8000, 192000, &number)) o->rate = static_cast<int>(number);
    else if (name == "--pipe-size" && NumberArgument(value, 4096, 1 << 20, &number))
      o->pipe_size = static_cast<int>(number);
    else if (name == "--seconds" && NumberArgument(value, 0.1, 86400, &number)) o->seconds = number;
    else return false;
  }
  return argc % 2 == 1 && !o->fifo.empty();
}

int Readable(int fd) {
  int bytes = 0;
  return ioctl(fd, FIONREAD, &bytes) == 0 ? bytes : 0;
}

// The sink may have filled the FIFO already: a smaller size is refused
// while it holds more, so what it holds (sound nobody heard yet) goes first.
int SizePipe(int fd, int size) {
  std::vector<char> scrap(1 << 20);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const int got = fcntl(fd, F_SETPIPE_SZ, size);
    if (got > 0 || errno != EBUSY) return got;
    while (read(fd, scrap.data(), scrap.size()) > 0) {}
  }
  return -1;
}

class Speaker {
 public:
  Speaker(const Options& o, std::FILE* out) : options_(o), out_(out) {}

  // Plays until the time is up or a signal comes.
  void Run(int fd) {
    const int64_t start = MonotonicMicroseconds();
    const SampleClock clock(options_.rate, start);
    const int64_t end = start + static_cast<int64_t>(options_.seconds * 1e6);
    int64_t played = 0;  // frames, silence included
    std::vector<int16_t> chunk;
    for (int64_t tick = 1; !g_stop; ++tick) {
      SleepUntilMicroseconds(start + tick * kTickMicroseconds);
      const int64_t now = MonotonicMicroseconds();
      if (now >= end) break;
      lateness_.Add((now - (start + tick * kTickMicroseconds)) / 1000.0);
      const int64_t due = clock.FramesDueAt(now) - played;
      const int64_t held = Readable(fd) / kFrameBytes;
      // Silence before the sink's first sound and after its last is no
      // shortfall; the fill counts once the sink has filled the FIFO.
      if (held > 0) {
        if (heard_since_ >= 0) silence_frames_ += pending_silence_;
        pending_silence_ = 0;
        if (heard_since_ < 0) heard_since_ = now;
        if (now - heard_since_ >= kSettleMicroseconds) fill_.Add(held * 1000.0 / options_.rate);
      }
      const int64_t take = std::min(due, held);
      chunk.resize(static_cast<size_t>(2 * take));
      if (!ReadAll(fd, chunk.data(), take * kFrameBytes)) return;
      for (int64_t k = 0; k < take; ++k)
        if (finder_.Feed(chunk[2 * k], chunk[2 * k + 1], clock.TimeOf(played + k))) Onset(clock.TimeOf(played + k));
      pending_silence_ += due - take;
      played += due;
    }
  }

  void Report(int pipe_size) const {
    std::fprintf(stderr,
                 "speaker: %d onsets; FIFO of %d bytes (%.1f ms); fill before a read, from the first second: median "
                 "%.1f ms (5th percentile %.1f, 95th %.1f); silence filled in while playing %.1f ms; wake-ups late "
                 "by up to %.1f ms\n",
                 onsets_, pipe_size, pipe_size * 1000.0 / kFrameBytes / options_.rate, fill_.Percentile(50),
                 fill_.Percentile(5), fill_.Percentile(95), silence_frames_ * 1000.0 / options_.rate,
                 lateness_.Largest());
  }

 private:
  // The bytes are there (the FIFO said so); a short read only splits them.
  bool ReadAll(int fd, int16_t* into, int64_t bytes) {
    auto* at = reinterpret_cast<char*>(into);
    while (bytes > 0) {
      const ssize_t n = read(fd, at, static_cast<size_t>(bytes));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 100);
        continue;
      }
      if (n <= 0) {
        std::fprintf(stderr, "speaker: the FIFO closed or failed: %s\n", n < 0 ? std::strerror(errno) : "end of file");
        return false;
      }
      at += n;
      bytes -= n;
    }
    return true;
  }

  void Onset(int64_t time_us) {
    std::fprintf(out_, "%lld\n", static_cast<long long>(time_us));
    std::fflush(out_);
    ++onsets_;
  }

  const Options& options_;
  std::FILE* out_;
  OnsetFinder finder_;
  int onsets_ = 0;
  int64_t heard_since_ = -1;  // when the sink first wrote
  Series fill_, lateness_;
  int64_t silence_frames_ = 0, pending_silence_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) return Usage("bad or missing arguments");
  CatchStopSignals();
  // Not blocking: the sink holds the FIFO open for writing already, and an
  // empty FIFO must not hold the clock.
  const int fd = open(options.fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "speaker: cannot open %s: %s\n", options.fifo.c_str(), std::strerror(errno));
    return 1;
  }
  const int pipe_size = options.pipe_size > 0 ? SizePipe(fd, options.pipe_size) : fcntl(fd, F_GETPIPE_SZ);
  if (pipe_size < 0) {
    std::fprintf(stderr, "speaker: cannot size the FIFO to %d bytes: %s\n", options.pipe_size, std::strerror(errno));
    return 1;
  }
  std::FILE* out = options.onsets.empty() ? stdout : std::fopen(options.onsets.c_str(), "w");
  if (out == nullptr) {
    std::fprintf(stderr, "speaker: cannot write %s: %s\n", options.onsets.c_str(), std::strerror(errno));
    return 1;
  }
  if (!options.ready.empty()) {
    if (std::FILE* ready = std::fopen(options.ready.c_str(), "w")) std::fclose(ready);
  }
  Speaker speaker(options, out);
  speaker.Run(fd);
  speaker.Report(pipe_size);
  close(fd);
  return std::fclose(out) == 0 ? 0 : 1;
}
