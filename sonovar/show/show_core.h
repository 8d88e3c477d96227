// What the show keeps and does for each buffer and each peak tick: the level
// analysis, the effect with its sliders, the active boards, the animation and
// the board link. No threads and no toolkit: the show's thread drives it, and
// tests drive it directly.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "sonovar/capture/auto_level.h"
#include "sonovar/capture/level_analysis.h"
#include "sonovar/effects/board_link.h"
#include "sonovar/effects/effect_engine.h"

namespace sonovar {

// The 50 ms peak tick, in microseconds.
inline constexpr int64_t kPeakTickMicros = 50000;

// The user's light offset in milliseconds: added to the speaker's own delay
// for inputs that tell it (what the computer plays), the whole light delay
// for the others. Negative for lights that are themselves slow.
inline constexpr int kLightOffsetMin = -500;
inline constexpr int kLightOffsetMax = 2000;

// What the window shows of the show; equal views need no repaint.
struct ShowView {
  int peak = 0;
  int averaged_peak = 0;
  // The cut sliders' values as the show uses them, whoever set them last,
  // and how many automatic adjustments ran (a new count: move the sliders).
  std::array<int, 4> cuts = kCutStartValues;
  uint32_t adjustments = 0;
  // The auto level's gain on the last buffer, in whole dB (0 while it is off).
  int gain_db = 0;
  // How many posted changes the show has applied: a window whose own
  // changes are not all applied yet does not take `cuts` for the truth.
  uint64_t applied_changes = 0;
  bool capturing = false;
  // The light delay in use: the speaker's own delay as the sound server
  // tells it (-1: this input tells none, or the capture has not said yet),
  // the user's offset, and the delay the lights get (never below 0).
  int speaker_delay_ms = -1;
  int light_offset_ms = 0;
  int light_delay_ms = 0;
  bool operator==(const ShowView&) const = default;
};

// The effect sliders, each a field of EffectInputs.
enum class EffectSlider { kRedBias, kYellowBias, kCyanBias, kDelay, kDecay };

class ShowCore {
 public:
  explicit ShowCore(std::unique_ptr<BoardLink> link);

  BoardLink& link() { return *link_; }

  // The user's steering, as the window's handlers did it.
  // A board number clicked: it goes dark and all its outputs on, then it is
  // active or not as `active` says.
  void ClickBoard(int board, bool active);
  void ChooseEffect(int effect_mode);
  void SetEffectSlider(EffectSlider slider, int value);
  // A cut slider moved by the user: the thresholds it sets.
  void SetCut(Cut cut, int value);
  // Replaces what QRA Link plays with a freshly loaded (or tried) animation.
  void SetAnimation(QraAnimation animation) { effects.Animation = std::move(animation); }

  // Auto level on (as every user starts) or off: off, the analysis gets the
  // buffers as captured, as before auto level; on again, it starts afresh.
  void SetAutoLevel(bool on);
  bool AutoLevelOn() const { return auto_level_on_; }

  // The user's light offset, clamped to kLightOffsetMin..kLightOffsetMax.
  void SetLightOffset(int milliseconds);
  int LightOffset() const { return light_offset_ms_; }

  // One buffer: auto level, analysis, the effect step, the board writes.
  void ProcessBuffer(std::span<const uint8_t, kCaptureBufferBytes> buffer);

  // The peak tick: StartTicks sets it going from `now` (microseconds) unless
  // it runs already; RunDueTicks runs one tick for every deadline at or
  // before `now`, none twice. While not capturing the ticks stop once the
  // peak no longer falls (nothing can raise it again). True when a tick ran.
  void StartTicks(int64_t now);
  bool RunDueTicks(int64_t now, bool capturing);
  bool Ticking() const { return ticking_; }
  int64_t NextTick() const { return next_tick_; }

  ShowView View(bool capturing, uint64_t applied_changes) const;

  AutoLevel auto_level;
  LevelAnalysis analysis;
  EffectEngine effects;
  EffectInputs inputs;
  ActiveBoards active{};

 private:
  void Tick();

  std::unique_ptr<BoardLink> link_;
  bool auto_level_on_ = true;
  int light_offset_ms_ = 0;
  bool ticking_ = false;
  int64_t next_tick_ = 0;
  std::array<int, 4> cuts_ = kCutStartValues;
  uint32_t adjustments_ = 0;
};

}  // namespace sonovar
