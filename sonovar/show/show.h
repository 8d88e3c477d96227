// The show on a thread of its own: the capture, the analysis, the effect and
// the board writes of every buffer, and the 50 ms peak tick, never waiting
// for whoever steers it (a window, or nothing at all).
//
// Threads: the show's thread owns the board link (created there, used only
// there, as the board control requires) and the capture session; the sound
// input's thread only marks a buffer done and wakes the show's thread. Every
// other call may come from any thread: changes are queued and applied in the
// order they were posted, between two buffers; the view is read under a lock.
//
// What must never block the show's thread: a change posted to it (keep them
// short: no file reading, no waiting on another thread) and the view-changed
// callback (it runs on the show's thread; post a wake-up and return).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/wavein.h"
#include "sonovar/capture/capture_session.h"
#include "sonovar/show/show_core.h"
#include "sonovar/show/timed_link.h"

namespace sonovar {

// Microseconds from any fixed point, never going back.
using ShowClock = std::function<int64_t()>;
using platform::SteadyMicros;

class Show {
 public:
  using Change = std::function<void(ShowCore&)>;

  // `link` null: the quorelctl control, created on the show's thread (it
  // finds the boards and sends them their start-up state there).
  explicit Show(platform::WaveIn& wave, std::unique_ptr<BoardLink> link = nullptr);
  // Stops the capture and ends the thread; the boards keep what they showed.
  ~Show();
  Show(const Show&) = delete;
  Show& operator=(const Show&) = delete;

  // Queued; applied in order between two buffers (or at once when idle).
  // Returns the change's number: the view's applied_changes reaches it once
  // the change has been applied.
  uint64_t Post(Change change);
  // Runs `work` on the show's thread after everything posted before, and
  // returns its result. For start-up questions and tests, not for a window's
  // every move.
  template <typename Work>
  auto Call(Work work) -> decltype(work(std::declval<ShowCore&>()));

  // Start-up questions, answered on the show's thread.
  std::string Detected();
  std::string UnusableBoardsReport();
  std::vector<InputDevice> ListInputDevices();

  // Opens `device` (-1: the system's default input) and starts capturing;
  // false when it could not be opened, and then `error`, when given, gets
  // the service's reason (platform::kWaveError...). Waits for the open only.
  bool Start(int device, int* error = nullptr);
  // Queued like any change: the capture ends before the next buffer.
  void Stop();

  // What the window shows, as last published: at a peak tick that changed
  // it, at most every kViewIntervalUs, and at once when a capture starts or
  // ends, when the peak comes to rest and when a change steered while idle
  // shows.
  ShowView View() const;
  // Ten views a second: as fast as anyone reads a number, and each of the
  // window's wake-ups costs more than all the work of a buffer.
  static constexpr int64_t kViewIntervalUs = 100000;
  // Called on the show's thread after each publication; must not block.
  void SetViewChanged(std::function<void()> notify);

  // For tests: the clock the peak tick reads (microseconds), and a function
  // run on the show's thread after every buffer. Applied as changes.
  void SetClock(ShowClock clock);
  void SetAfterBuffer(std::function<void()> after_buffer);

  // Frames the sound input dropped because the show was late, this capture.
  uint64_t DroppedFrames();

 private:
  void Run();
  // Applies the queued changes; while capturing, stops after one that ended
  // the capture, so that a new start begins with a fresh buffer.
  void ApplyChanges(bool capturing);
  void CaptureLoop();
  void WaitForBuffer(const std::function<bool()>& done);
  void WaitIdle();
  void OnBuffer(std::span<const uint8_t, kCaptureBufferBytes> buffer, int64_t played_at_us);
  // When a buffer's board writes go out: the middle of its sound's play
  // time plus the user's offset for a monitor, now plus the offset for a
  // live input.
  int64_t DueTime(int64_t played_at_us, int64_t now_us);
  // The peak tick's clock for a buffer.
  int64_t TickClock(int64_t played_at_us);
  ShowView MakeView(bool capturing);
  // `at_once`: not held back by kViewIntervalUs. A view held back goes out
  // with the next publication's turn, or by itself at HeldViewDue when no
  // newer one comes (the sound stalled): the window never keeps an old view.
  void Publish(bool capturing, bool at_once);
  void PublishView(const ShowView& view, bool at_once);
  int64_t HeldViewDue() const { return published_at_us_ + kViewIntervalUs + kPeakTickMicros; }
  void PublishHeldView();
  void OpenCapture(int device, std::promise<int>& opened);

  platform::WaveIn& wave_;
  CaptureSession capture_;  // the show's thread only
  std::unique_ptr<ShowCore> core_;  // the show's thread only, for the thread's life
  TimedLink* timed_ = nullptr;      // core_'s link
  // This capture's timing, the show's thread only: the peak tick's clock
  // less the play time, for sound that tells it, and the longest speaker
  // delay seen lately, for the view.
  std::optional<int64_t> tick_base_us_;
  int64_t speaker_us_ = -1;
  int64_t speaker_seen_us_ = -1;
  int64_t speaker_window_start_us_ = 0;
  ShowClock clock_ = SteadyMicros;  // the show's thread only
  std::function<void()> after_buffer_;  // the show's thread only
  ShowView published_;  // the show's thread's copy of the last publication
  int64_t published_at_us_ = 0;        // when it went out, steady clock
  std::optional<ShowView> held_view_;  // newer, held back by the interval

  // Guards changes_, posted_, buffer_done_ and quit_; cv_ wakes the show's thread for
  // any of them.
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Change> changes_;
  uint64_t posted_ = 0;
  uint64_t applied_ = 0;  // the show's thread only
  bool buffer_done_ = false;  // set by the sound input's thread
  bool quit_ = false;

  // Guards view_ and view_changed_ (read by any thread, written by the show's).
  mutable std::mutex view_mutex_;
  ShowView view_;
  std::function<void()> view_changed_;

  std::thread thread_;  // last: starts once everything above is built
};

template <typename Work>
auto Show::Call(Work work) -> decltype(work(std::declval<ShowCore&>())) {
  using Result = decltype(work(std::declval<ShowCore&>()));
  std::promise<Result> promise;
  std::future<Result> result = promise.get_future();
  Post([&work, &promise](ShowCore& core) {
    if constexpr (std::is_void_v<Result>) {
      work(core);
      promise.set_value();
    } else {
      promise.set_value(work(core));
    }
  });
  return result.get();
}

}  // namespace sonovar
