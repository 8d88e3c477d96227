// The capture thread's loop under the client library's own calls, without a
// server: its timers keep the library's clock, another thread's change
// reaches a loop asleep in poll, and freed events are destroyed once.
#include "platform/pulse/pulse_loop.h"

#include <gtest/gtest.h>
#include <pulse/context.h>
#include <pulse/rtclock.h>
#include <unistd.h>

#include <atomic>
#include <future>

#include "support/watchdog.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

TEST(PulseLoopTest, LibraryTimersRunAtTheirTime) {
  PulseLoop loop;
  pa_context* context = pa_context_new(loop.api(), "loop test");
  ASSERT_NE(context, nullptr);
  std::promise<PulseLoop::Clock::time_point> fired;
  const auto start = PulseLoop::Clock::now();
  {
    std::lock_guard lock(loop.mutex());
    // The library marks these as monotonic; read as wall-clock times they
    // would have passed decades ago and run at once.
    pa_context_rttime_new(
        context, pa_rtclock_now() + 50000,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* p) {
          static_cast<std::promise<PulseLoop::Clock::time_point>*>(p)->set_value(PulseLoop::Clock::now());
        },
        &fired);
  }
  ASSERT_TRUE(loop.Start("loop-test"));
  testing_support::MustReturnWithin(10s, "a timer 50 ms ahead", [&] {
    EXPECT_GE(fired.get_future().get() - start, 50ms);
  });
  loop.Stop();
  pa_context_unref(context);
}

TEST(PulseLoopTest, AnotherThreadsEventIsPolledAndFreedEventsAreDestroyedOnce) {
  PulseLoop loop;
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  std::promise<pa_io_event_flags_t> readable;
  static std::atomic<int> destroyed{0};
  ASSERT_TRUE(loop.Start("loop-test"));
  std::this_thread::sleep_for(50ms);  // the loop is now asleep in poll, with nothing to wait for
  ASSERT_EQ(::write(pipe_fds[1], "x", 1), 1);
  {
    std::lock_guard lock(loop.mutex());
    pa_io_event* io = loop.api()->io_new(
        loop.api(), pipe_fds[0], PA_IO_EVENT_INPUT,
        [](pa_mainloop_api* api, pa_io_event* e, int, pa_io_event_flags_t events, void* p) {
          static_cast<std::promise<pa_io_event_flags_t>*>(p)->set_value(events);
          api->io_free(e);  // freed in its own callback: destroyed after it, once
        },
        &readable);
    loop.api()->io_set_destroy(io, [](pa_mainloop_api*, pa_io_event*, void*) { ++destroyed; });
  }
  testing_support::MustReturnWithin(10s, "an event added while the loop sleeps", [&] {
    EXPECT_EQ(readable.get_future().get(), PA_IO_EVENT_INPUT);
  });
  loop.Stop();
  EXPECT_EQ(destroyed, 1);
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);
}

}  // namespace
}  // namespace platform
