#include "sonovar/show/show.h"

#include <algorithm>
#include <chrono>

#include "platform/thread_name.h"
#include "sonovar/effects/quorel_link.h"

namespace sonovar {

Show::Show(platform::WaveIn& wave, std::unique_ptr<BoardLink> link) : wave_(wave), capture_(wave) {
  std::promise<void> ready;
  std::future<void> built = ready.get_future();
  thread_ = std::thread([this, &ready, link = std::move(link)]() mutable {
    platform::NameThisThread("sonovar-show");
    auto timed = std::make_unique<TimedLink>(link ? std::move(link) : CreateQuorelLink());
    timed_ = timed.get();
    core_ = std::make_unique<ShowCore>(std::move(timed));
    ready.set_value();
    Run();
  });
  // The control finds the boards as it is made: the window's start-up asks
  // what it found right after this.
  built.wait();
}

Show::~Show() {
  Post([this](ShowCore&) { capture_.Stop(); });
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  cv_.notify_one();
  thread_.join();
}

uint64_t Show::Post(Change change) {
  uint64_t number = 0;
  {
    std::lock_guard lock(mutex_);
    changes_.push_back(std::move(change));
    number = ++posted_;
  }
  cv_.notify_one();
  return number;
}

void Show::Run() {
  for (;;) {
    const uint64_t applied = applied_;
    ApplyChanges(false);
    // Idle, the window still shows what it steered (the light offset).
    if (applied_ != applied && capture_.CaptureHandle == 0) Publish(false, true);
    if (capture_.CaptureHandle != 0) {
      CaptureLoop();
      continue;
    }
    {
      std::lock_guard lock(mutex_);
      if (quit_ && changes_.empty()) break;
    }
    WaitIdle();
  }
  // The link goes with the thread that made it.
  core_.reset();
}

void Show::ApplyChanges(bool capturing) {
  for (;;) {
    if (capturing && capture_.CaptureHandle == 0) return;
    Change change;
    {
      std::lock_guard lock(mutex_);
      if (changes_.empty()) return;
      change = std::move(changes_.front());
      changes_.pop_front();
    }
    change(*core_);
    ++applied_;
  }
}

void Show::WaitIdle() {
  std::unique_lock lock(mutex_);
  auto wanted = [this] { return !changes_.empty() || quit_; };
  // While the peak still falls, sleep until its next tick (the ticks' own
  // clock), and until a held view is due; unless a change comes first.
  std::optional<int64_t> wait_us;
  if (core_->Ticking()) wait_us = core_->NextTick() - clock_();
  if (held_view_) wait_us = std::min(wait_us.value_or(INT64_MAX), HeldViewDue() - SteadyMicros());
  if (!wait_us) {
    cv_.wait(lock, wanted);
    return;
  }
  if (*wait_us > 0 && cv_.wait_for(lock, std::chrono::microseconds(*wait_us), wanted)) return;
  lock.unlock();
  if (core_->Ticking() && core_->RunDueTicks(clock_(), false)) Publish(false, !core_->Ticking());
  PublishHeldView();
}

void Show::CaptureLoop() {
  tick_base_us_.reset();
  speaker_us_ = speaker_seen_us_ = -1;
  Publish(true, true);
  bool streaming = false;
  capture_.CaptureLoop(
      [this, &streaming](const std::function<bool()>& done) {
        // The stream starts once the first buffer is queued: sound that came
        // before it would have nowhere to go and be dropped.
        if (!streaming) capture_.Start();
        streaming = true;
        WaitForBuffer(done);
      },
      [this] { ApplyChanges(true); },
      [this](std::span<const uint8_t, kCaptureBufferBytes> buffer, int64_t played_at_us) {
        OnBuffer(buffer, played_at_us);
      });
  // Sound not heard yet is not shown: the boards keep what went out last.
  timed_->DropSound();
  speaker_us_ = -1;
  Publish(false, true);
}

void Show::WaitForBuffer(const std::function<bool()>& done) {
  const auto publish = [this](const ShowView& view) { PublishView(view, false); };
  for (;;) {
    ApplyChanges(true);
    timed_->SendDue(SteadyMicros(), publish);
    PublishHeldView();
    if (done()) {
      // Changes posted before the buffer became done may have come after
      // the look above: they still go before the buffer.
      ApplyChanges(true);
      return;
    }
    std::unique_lock lock(mutex_);
    // The buffer's done flag is set before the sound input's thread takes
    // the lock to say so, so a flag set after done() above is not missed.
    const auto woken = [this] { return buffer_done_ || !changes_.empty(); };
    std::optional<int64_t> until_us;
    if (timed_->Waiting()) until_us = timed_->NextDue();
    if (held_view_) until_us = std::min(until_us.value_or(INT64_MAX), HeldViewDue());
    if (until_us) {
      cv_.wait_until(lock, std::chrono::steady_clock::time_point{std::chrono::microseconds(*until_us)}, woken);
    } else {
      cv_.wait(lock, woken);
    }
    buffer_done_ = false;
  }
}

int64_t Show::DueTime(int64_t played_at_us, int64_t now_us) {
  const int64_t offset_us = int64_t{core_->LightOffset()} * 1000;
  if (played_at_us == platform::kPlayTimeUnknown) return now_us + offset_us;
  // The report stands for the whole buffer: it goes out in the middle of
  // the buffer's sound, so that an onset anywhere in it is shown at most
  // half a buffer early or late.
  constexpr int64_t kHalfBufferUs = 1000000LL * kCaptureBufferBytes / 2 / platform::kWaveBytesPerSecond;
  // A server that says more is wrong, and the lights would hold seconds of sound.
  played_at_us = std::min(played_at_us, now_us + platform::kLongestPlayAheadUs);
  const int64_t heard_us = played_at_us - kHalfBufferUs;
  // The speaker's delay as the window shows it: the longest of the last
  // second (a buffer done at the end of a long piece of sound waits less).
  const int64_t delay_us = std::max<int64_t>(0, played_at_us - now_us);
  speaker_seen_us_ = std::max(speaker_seen_us_, delay_us);
  if (speaker_us_ < 0 || now_us - speaker_window_start_us_ >= 1000000) {
    speaker_us_ = speaker_seen_us_;
    speaker_seen_us_ = -1;
    speaker_window_start_us_ = now_us;
  }
  return heard_us + offset_us;
}

void Show::OnBuffer(std::span<const uint8_t, kCaptureBufferBytes> buffer, int64_t played_at_us) {
  const int64_t now_us = SteadyMicros();
  const int64_t due_us = DueTime(played_at_us, now_us);
  const bool held = timed_->Hold(due_us, now_us);
  core_->ProcessBuffer(buffer);
  if (core_->RunDueTicks(TickClock(played_at_us), true)) {
    if (held) timed_->AttachView(MakeView(true));
    else Publish(true, false);
  }
  timed_->EndHold();
  timed_->SendDue(now_us, [this](const ShowView& view) { PublishView(view, false); });
  if (after_buffer_) after_buffer_();
}

int64_t Show::TickClock(int64_t played_at_us) {
  if (played_at_us == platform::kPlayTimeUnknown) return clock_();
  // Sound whose play time is known comes in pieces, often long before it
  // is heard: the peak tick follows the sound's own time, so that there
  // are 20 ticks to a second of sound whatever the pieces.
  if (!tick_base_us_) tick_base_us_ = clock_() - played_at_us;
  return played_at_us + *tick_base_us_;
}

ShowView Show::MakeView(bool capturing) {
  ShowView view = core_->View(capturing, applied_);
  if (capturing && speaker_us_ >= 0) {
    view.speaker_delay_ms = static_cast<int>((speaker_us_ + 500) / 1000);
    view.light_delay_ms = std::max(0, view.speaker_delay_ms + view.light_offset_ms);
  }
  return view;
}

void Show::Publish(bool capturing, bool at_once) { PublishView(MakeView(capturing), at_once); }

void Show::PublishView(const ShowView& view, bool at_once) {
  if (view == published_) {
    held_view_.reset();  // the window shows this already
    return;
  }
  const int64_t now_us = SteadyMicros();
  // Ticks come at buffer boundaries, a little early or late: half a tick
  // short of the interval still counts, so every other tick goes out.
  if (!at_once && now_us - published_at_us_ < kViewIntervalUs - kPeakTickMicros / 2) {
    held_view_ = view;
    return;
  }
  held_view_.reset();
  published_at_us_ = now_us;
  published_ = view;
  std::function<void()> notify;
  {
    std::lock_guard lock(view_mutex_);
    view_ = view;
    notify = view_changed_;
  }
  if (notify) notify();
}

void Show::PublishHeldView() {
  if (!held_view_ || SteadyMicros() < HeldViewDue()) return;
  const ShowView view = *held_view_;
  PublishView(view, true);
}

void Show::OpenCapture(int device, std::promise<int>& opened) {
  int error = 0;
  if (capture_.CaptureHandle == 0) {
    capture_.Open(device, [this] {
      {
        std::lock_guard lock(mutex_);
        buffer_done_ = true;
      }
      cv_.notify_one();
    }, &error);
    if (capture_.CaptureHandle != 0) core_->StartTicks(clock_());
  }
  // A failure is never 0, whatever the service said.
  opened.set_value(capture_.CaptureHandle != 0 ? 0 : error != 0 ? error : platform::kWaveErrorOpenFailed);
}

bool Show::Start(int device, int* error) {
  std::promise<int> opened;
  std::future<int> result = opened.get_future();
  Post([this, device, &opened](ShowCore&) { OpenCapture(device, opened); });
  const int reason = result.get();
  if (error != nullptr) *error = reason;
  return reason == 0;
}

void Show::Stop() {
  Post([this](ShowCore&) { capture_.Stop(); });
}

std::string Show::Detected() {
  return Call([](ShowCore& core) { return core.link().Detected(); });
}

std::string Show::UnusableBoardsReport() {
  return Call([](ShowCore& core) { return core.link().UnusableBoardsReport(); });
}

std::vector<InputDevice> Show::ListInputDevices() {
  return Call([this](ShowCore&) { return capture_.ListInputDevices(); });
}

ShowView Show::View() const {
  std::lock_guard lock(view_mutex_);
  return view_;
}

void Show::SetViewChanged(std::function<void()> notify) {
  std::lock_guard lock(view_mutex_);
  view_changed_ = std::move(notify);
}

void Show::SetClock(ShowClock clock) {
  Post([this, clock = std::move(clock)](ShowCore&) { clock_ = clock; });
}

void Show::SetAfterBuffer(std::function<void()> after_buffer) {
  Post([this, after_buffer = std::move(after_buffer)](ShowCore&) { after_buffer_ = after_buffer; });
}

uint64_t Show::DroppedFrames() {
  return Call([this](ShowCore&) { return capture_.DroppedFrames(); });
}

}  // namespace sonovar
