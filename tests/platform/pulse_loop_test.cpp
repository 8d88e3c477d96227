// The capture thread's loop under the client library's own calls, without a
// server: its timers keep the library's clock, a hold never outlasts a timer
// or another thread's change, and freed events are destroyed once.
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

TEST(PulseLoopTest, LibraryTimersRunAtTheirTimeThroughAHold) {
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
    loop.api()->defer_new(
        loop.api(),
        [](pa_mainloop_api* api, pa_defer_event* e, void* l) {
          static_cast<PulseLoop*>(l)->Hold(PulseLoop::Clock::now() + 1h);
          api->defer_free(e);
        },
        &loop);
  }
  ASSERT_TRUE(loop.Start("loop-test"));
  testing_support::MustReturnWithin(10s, "a timer during a one-hour hold", [&] {
    EXPECT_GE(fired.get_future().get() - start, 50ms);
  });
  loop.Stop();
  pa_context_unref(context);
}

TEST(PulseLoopTest, AnotherThreadsChangeEndsAHoldAndFreedEventsAreDestroyedOnce) {
  PulseLoop loop;
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  std::promise<pa_io_event_flags_t> readable;
  static std::atomic<int> destroyed{0};
  ASSERT_TRUE(loop.Start("loop-test"));
  {
    std::lock_guard lock(loop.mutex());
    loop.api()->defer_new(
        loop.api(),
        [](pa_mainloop_api* api, pa_defer_event* e, void* l) {
          static_cast<PulseLoop*>(l)->Hold(PulseLoop::Clock::now() + 1h);
          api->defer_enable(e, 0);
        },
        &loop);
  }
  std::this_thread::sleep_for(50ms);  // the loop is now in its hold, or about to be
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
  testing_support::MustReturnWithin(10s, "an event added during a one-hour hold", [&] {
    EXPECT_EQ(readable.get_future().get(), PA_IO_EVENT_INPUT);
  });
  loop.Stop();
  EXPECT_EQ(destroyed, 1);
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);
}

}  // namespace
}  // namespace platform
