// What the speaker and the click player share: the monotonic clock the
// simulator's log can be stamped with, a sample clock that runs at the
// sound's own pace from a start time, and the finder of loud onsets.
#pragma once

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace testing_support {

inline int64_t MonotonicMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

inline void SleepUntilMicroseconds(int64_t when) {
  const timespec at{static_cast<time_t>(when / 1000000), static_cast<long>(when % 1000000 * 1000)};
  // A signal ends the sleep early; the caller looks at the stop flag.
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

// Frame n of the sound is due at start + n / rate, as a sound card's
// converter takes it: a program that reads or writes what is due every few
// milliseconds keeps the sound's pace without drifting from the clock.
class SampleClock {
 public:
  SampleClock(int rate, int64_t start_us) : rate_(rate), start_(start_us) {}
  int64_t FramesDueAt(int64_t now_us) const { return std::max<int64_t>(0, (now_us - start_) * rate_ / 1000000); }
  int64_t TimeOf(int64_t frame) const { return start_ + frame * 1000000 / rate_; }

 private:
  int rate_;
  int64_t start_;
};

// An onset: a loud sample after a quarter of a second without one.
class OnsetFinder {
 public:
  static constexpr int kLoud = 8192;  // a quarter of full scale
  static constexpr int64_t kQuietMicroseconds = 250000;

  // True when this frame, heard at `time_us`, starts a click.
  bool Feed(int16_t left, int16_t right, int64_t time_us) {
    if (std::max(std::abs(left), std::abs(right)) < kLoud) return false;
    const bool onset = last_loud_ < 0 || time_us - last_loud_ >= kQuietMicroseconds;
    last_loud_ = time_us;
    return onset;
  }

 private:
  int64_t last_loud_ = -1;
};

// A series of figures: its percentiles (the median is 50), robust to a
// start and an end that are not like the rest, and its largest.
class Series {
 public:
  void Add(double x) { values_.push_back(x); }
  bool empty() const { return values_.empty(); }
  double Percentile(double p) const {
    if (values_.empty()) return 0;
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    return sorted[static_cast<size_t>(p / 100 * static_cast<double>(sorted.size() - 1) + 0.5)];
  }
  double Largest() const { return values_.empty() ? 0 : *std::max_element(values_.begin(), values_.end()); }

 private:
  std::vector<double> values_;
};

// SIGINT and SIGTERM end the run at the next tick, with the figures said.
inline volatile sig_atomic_t g_stop = 0;
inline void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = [](int) { g_stop = 1; };
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// An option's number, the whole text within low..high; false for anything else.
inline bool NumberArgument(const std::string& text, double low, double high, double* out) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) return false;
  *out = value;
  return true;
}

}  // namespace testing_support
