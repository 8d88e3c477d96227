// The show's timing end to end: sound that says it is heard later is shown
// then, not when it comes; a stop drops what is not heard yet; the window is
// woken at most ten times a second, and is left with the show's last view.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "sonovar/show/show.h"
#include "support/recording_board_link.h"
#include "support/scripted_wave.h"

namespace sonovar {
namespace {

using testing_support::RecordingBoardLink;
using testing_support::ScriptedBackend;

struct TimingCase {
  const char* name;
  int64_t heard_in_us;  // from the delivery to the first buffer's last frame heard
  bool stop_at_once;    // stop as soon as the buffers are analysed
  bool sent;            // their writes reach the boards
};

class ShowTimingTest : public ::testing::TestWithParam<TimingCase> {};

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

TEST_P(ShowTimingTest, WritesGoOutWhenTheSoundIsHeard) {
  const TimingCase& c = GetParam();
  ScriptedBackend* backend = nullptr;
  auto wave = testing_support::ScriptedWaveIn({"Monitor of Speakers", true, true, "m", true}, &backend);
  auto link = std::make_unique<RecordingBoardLink>();
  RecordingBoardLink* boards = link.get();
  Show show(*wave, std::move(link));
  std::atomic<int> analysed{0};
  show.SetAfterBuffer([&] { ++analysed; });
  show.Post([](ShowCore& core) { core.active[1] = true; });
  ASSERT_TRUE(show.Start(0));
  const auto writes = [&] { return show.Call([boards](ShowCore&) { return boards->writes.size(); }); };
  const size_t before = writes();

  const int64_t heard_us = SteadyMicros() + c.heard_in_us;
  for (int i = 0; i < 8; ++i) backend->Deliver(std::vector<uint8_t>(512, i % 2 ? 250 : 5), heard_us + i * 23220);
  ASSERT_TRUE(WaitFor([&] { return analysed == 8; }));
  // Nothing goes out while the sound is still on its way to the speaker.
  if (SteadyMicros() < heard_us - 100000) { EXPECT_EQ(writes(), before); }
  if (c.stop_at_once) show.Stop();
  if (c.sent) {
    EXPECT_TRUE(WaitFor([&] { return writes() > before; }));
    EXPECT_GE(SteadyMicros(), heard_us - 12000) << "sent before the middle of the first buffer was heard";
  } else {
    std::this_thread::sleep_for(std::chrono::microseconds(std::max<int64_t>(0, heard_us - SteadyMicros())) +
                                std::chrono::milliseconds(300));
    EXPECT_EQ(writes(), before) << "sound the listener never heard was shown";
  }
  show.Stop();
}

INSTANTIATE_TEST_SUITE_P(Cases, ShowTimingTest,
                         ::testing::Values(TimingCase{"HeardLater", 400000, false, true},
                                           TimingCase{"HeardAlready", -500000, false, true},
                                           TimingCase{"StoppedBeforeHeard", 400000, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ShowViewTest, WakesTheWindowAtMostTenTimesASecondAndEndsOnTheLastView) {
  ScriptedBackend* backend = nullptr;
  auto wave = testing_support::ScriptedWaveIn({"Line In", true, true, "l", false}, &backend);
  Show show(*wave, std::make_unique<RecordingBoardLink>());
  // When the window was woken while capturing: the end, a view of its own,
  // goes at once.
  std::mutex mutex;
  std::vector<int64_t> woken_us;
  show.SetViewChanged([&] {
    if (!show.View().capturing) return;
    std::lock_guard lock(mutex);
    woken_us.push_back(SteadyMicros());
  });
  ASSERT_TRUE(show.Start(0));
  // A second and a half of sound whose peak changes at every tick.
  for (int i = 0; i < 65; ++i) {
    backend->Deliver(std::vector<uint8_t>(512, static_cast<uint8_t>(140 + (i * 37) % 110)));
    std::this_thread::sleep_for(std::chrono::microseconds(23220));
  }
  show.Stop();
  // The clock stands still from here: no idle tick moves the peak again.
  show.SetClock([] { return int64_t{0}; });
  const ShowView last = show.Call([](ShowCore& core) { return core.View(false, 0); });
  // A view held back for the interval still reaches the window.
  EXPECT_TRUE(WaitFor([&] {
    const ShowView shown = show.View();
    return shown.peak == last.peak && shown.averaged_peak == last.averaged_peak && !shown.capturing;
  }));

  std::lock_guard lock(mutex);
  ASSERT_GE(woken_us.size(), 6u) << "the window was hardly told anything";
  for (size_t i = 1; i < woken_us.size(); ++i)
    EXPECT_GE(woken_us[i] - woken_us[i - 1], Show::kViewIntervalUs - kPeakTickMicros / 2) << "wake-up " << i;
}

}  // namespace
}  // namespace sonovar
