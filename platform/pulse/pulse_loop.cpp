#include "platform/pulse/pulse_loop.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

// The library declares its event types and leaves them to the loop.
template <typename Callback, typename Destroy>
struct LoopEvent {
  platform::PulseLoop* loop;
  Callback callback;
  void* userdata;
  Destroy destroy = nullptr;
  bool dead = false;  // freed; destroyed and removed after this round
};

struct pa_io_event : LoopEvent<pa_io_event_cb_t, pa_io_event_destroy_cb_t> {
  int fd;
  pa_io_event_flags_t events;
};

struct pa_time_event : LoopEvent<pa_time_event_cb_t, pa_time_event_destroy_cb_t> {
  bool enabled;
  platform::PulseLoop::Clock::time_point when;
  timeval asked;  // handed back to the callback as given
};

struct pa_defer_event : LoopEvent<pa_defer_event_cb_t, pa_defer_event_destroy_cb_t> {
  bool enabled;
};

namespace platform {

namespace {

using Clock = PulseLoop::Clock;

// The library marks a time on the monotonic clock with this bit of the
// microseconds, which no microsecond count reaches; other times are on the
// wall clock.
constexpr long kMonotonicMark = 1L << 30;

Clock::time_point When(const timeval* tv) {
  if (tv == nullptr) return Clock::time_point::max();
  if (tv->tv_usec & kMonotonicMark)
    return Clock::time_point(std::chrono::seconds(tv->tv_sec) +
                             std::chrono::microseconds(tv->tv_usec & ~kMonotonicMark));
  timeval now{};
  ::gettimeofday(&now, nullptr);
  const auto ahead = std::chrono::seconds(tv->tv_sec - now.tv_sec) + std::chrono::microseconds(tv->tv_usec - now.tv_usec);
  return Clock::now() + ahead;
}

short PollEvents(pa_io_event_flags_t events) {
  return static_cast<short>(((events & PA_IO_EVENT_INPUT) ? POLLIN : 0) | ((events & PA_IO_EVENT_OUTPUT) ? POLLOUT : 0) |
                            ((events & PA_IO_EVENT_HANGUP) ? POLLHUP : 0) | ((events & PA_IO_EVENT_ERROR) ? POLLERR : 0));
}

pa_io_event_flags_t IoEvents(short revents) {
  return static_cast<pa_io_event_flags_t>(((revents & POLLIN) ? PA_IO_EVENT_INPUT : 0) |
                                          ((revents & POLLOUT) ? PA_IO_EVENT_OUTPUT : 0) |
                                          ((revents & POLLHUP) ? PA_IO_EVENT_HANGUP : 0) |
                                          ((revents & (POLLERR | POLLNVAL)) ? PA_IO_EVENT_ERROR : 0));
}

}  // namespace

// The library's calls into the loop; each runs with the loop's mutex held
// (or before the thread starts, or after it ended).
struct LoopCalls {
  static PulseLoop* Loop(pa_mainloop_api* api) { return static_cast<PulseLoop*>(api->userdata); }

  static pa_io_event* IoNew(pa_mainloop_api* api, int fd, pa_io_event_flags_t events, pa_io_event_cb_t cb, void* data) {
    PulseLoop* loop = Loop(api);
    loop->ios_.push_back(std::make_unique<pa_io_event>(pa_io_event{{loop, cb, data}, fd, events}));
    loop->Changed();
    return loop->ios_.back().get();
  }
  static void IoEnable(pa_io_event* e, pa_io_event_flags_t events) {
    if (e->events == events) return;
    e->events = events;
    e->loop->Changed();
  }
  static void IoFree(pa_io_event* e) {
    e->dead = e->loop->dead_ = true;
    e->loop->Changed();
  }

  static pa_time_event* TimeNew(pa_mainloop_api* api, const timeval* tv, pa_time_event_cb_t cb, void* data) {
    PulseLoop* loop = Loop(api);
    loop->timers_.push_back(std::make_unique<pa_time_event>(
        pa_time_event{{loop, cb, data}, tv != nullptr, When(tv), tv != nullptr ? *tv : timeval{}}));
    loop->Changed();
    return loop->timers_.back().get();
  }
  static void TimeRestart(pa_time_event* e, const timeval* tv) {
    e->enabled = tv != nullptr;
    e->when = When(tv);
    if (tv != nullptr) e->asked = *tv;
    e->loop->Changed();
  }
  static void TimeFree(pa_time_event* e) {
    e->dead = e->loop->dead_ = true;
    e->enabled = false;
  }

  static pa_defer_event* DeferNew(pa_mainloop_api* api, pa_defer_event_cb_t cb, void* data) {
    PulseLoop* loop = Loop(api);
    loop->defers_.push_back(std::make_unique<pa_defer_event>(pa_defer_event{{loop, cb, data}, true}));
    loop->Changed();
    return loop->defers_.back().get();
  }
  static void DeferEnable(pa_defer_event* e, int enable) {
    e->enabled = enable != 0;
    if (e->enabled) e->loop->Changed();
  }
  static void DeferFree(pa_defer_event* e) {
    e->dead = e->loop->dead_ = true;
    e->enabled = false;
  }
  template <typename Event>
  static void SetDestroy(Event* e, decltype(Event::destroy) cb) {
    e->destroy = cb;
  }

  static void Quit(pa_mainloop_api* api, int) {
    Loop(api)->quit_ = true;
    Loop(api)->Changed();
  }
};

PulseLoop::PulseLoop() {
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  api_.userdata = this;
  api_.io_new = &LoopCalls::IoNew;
  api_.io_enable = &LoopCalls::IoEnable;
  api_.io_free = &LoopCalls::IoFree;
  api_.io_set_destroy = &LoopCalls::SetDestroy<pa_io_event>;
  api_.time_new = &LoopCalls::TimeNew;
  api_.time_restart = &LoopCalls::TimeRestart;
  api_.time_free = &LoopCalls::TimeFree;
  api_.time_set_destroy = &LoopCalls::SetDestroy<pa_time_event>;
  api_.defer_new = &LoopCalls::DeferNew;
  api_.defer_enable = &LoopCalls::DeferEnable;
  api_.defer_free = &LoopCalls::DeferFree;
  api_.defer_set_destroy = &LoopCalls::SetDestroy<pa_defer_event>;
  api_.quit = &LoopCalls::Quit;
}

PulseLoop::~PulseLoop() {
  Stop();
  // What the library did not free, freed as its own loops do, destroy
  // callbacks first.
  auto free_all = [](auto& events) {
    for (auto& e : events) e->dead = true;
  };
  free_all(ios_);
  free_all(timers_);
  free_all(defers_);
  dead_ = true;
  Sweep();
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

bool PulseLoop::Start(const char* thread_name) {
  if (wake_fd_ < 0) return false;
  try {
    thread_ = std::thread([this, name = std::string(thread_name)] {
      ::pthread_setname_np(::pthread_self(), name.c_str());
      Run();
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void PulseLoop::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    Changed();
  }
  thread_.join();
}

void PulseLoop::Changed() {
  // The loop's own thread builds its poll anew each round: the library
  // changes its events around every piece it reads.
  if (std::this_thread::get_id() == loop_thread_) return;
  if (polling_) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_fd_, &one, sizeof one);
  }
}

void PulseLoop::Run() {
  std::unique_lock lock(mutex_);
  loop_thread_ = std::this_thread::get_id();
  while (!quit_) RunOnce(lock);
  loop_thread_ = {};
}

Clock::time_point PulseLoop::NextTimer() const {
  Clock::time_point next = Clock::time_point::max();
  for (const auto& t : timers_)
    if (t->enabled && !t->dead) next = std::min(next, t->when);
  return next;
}

void PulseLoop::RunOnce(std::unique_lock<std::mutex>& lock) {
  // Deferred events first; while one stays enabled the loop does not sleep.
  bool deferred = false;
  for (size_t i = 0; i < defers_.size(); ++i) {
    pa_defer_event* e = defers_[i].get();
    if (!e->enabled || e->dead) continue;
    e->callback(&api_, e, e->userdata);
    deferred = true;
  }
  Sweep();
  if (quit_) return;

  // Kept from round to round: no allocation for each of the hundreds of
  // rounds a second.
  std::vector<pollfd>& fds = poll_fds_;
  std::vector<pa_io_event*>& owners = poll_owners_;
  fds.clear();
  owners.clear();
  fds.push_back({wake_fd_, POLLIN, 0});
  for (const auto& e : ios_) {
    if (e->dead) continue;
    fds.push_back({e->fd, PollEvents(e->events), 0});
    owners.push_back(e.get());
  }

  auto now = Clock::now();
  const Clock::time_point next_timer = NextTimer();
  int timeout_ms = -1;
  if (deferred) {
    timeout_ms = 0;
  } else if (next_timer != Clock::time_point::max()) {
    // Rounded up: a timer is never run before its time.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next_timer - now).count();
    timeout_ms = static_cast<int>(std::clamp<long long>(left, 0, 60000));
  }
  polling_ = true;
  lock.unlock();
  const int ready = ::poll(fds.data(), fds.size(), timeout_ms);
  lock.lock();
  polling_ = false;

  if (ready > 0) {
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      [[maybe_unused]] ssize_t n = ::read(wake_fd_, &count, sizeof count);
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      pa_io_event* e = owners[i - 1];
      if (fds[i].revents == 0 || e->dead) continue;
      e->callback(&api_, e, e->fd, IoEvents(fds[i].revents), e->userdata);
    }
  }
  now = Clock::now();
  for (size_t i = 0; i < timers_.size(); ++i) {
    pa_time_event* e = timers_[i].get();
    if (!e->enabled || e->dead || e->when > now) continue;
    e->enabled = false;  // one shot: the callback may start it again
    const timeval asked = e->asked;
    e->callback(&api_, e, &asked, e->userdata);
  }
  Sweep();
}

void PulseLoop::Sweep() {
  if (!dead_) return;
  dead_ = false;
  auto sweep = [this](auto& events) {
    for (auto& e : events)
      if (e->dead && e->destroy) {
        auto destroy = std::exchange(e->destroy, nullptr);
        destroy(&api_, e.get(), e->userdata);
      }
    std::erase_if(events, [](const auto& e) { return e->dead; });
  };
  sweep(ios_);
  sweep(timers_);
  sweep(defers_);
}

}  // namespace platform
