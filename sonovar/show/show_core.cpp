#include "sonovar/show/show_core.h"

#include <algorithm>
#include <cmath>

namespace sonovar {

namespace {

// What an effect's choice sends to every active board.
constexpr std::string_view kEffectChosen = "SBA:255,255,255,255,4";

}  // namespace

ShowCore::ShowCore(std::unique_ptr<BoardLink> link) : link_(std::move(link)) {
  for (size_t i = 0; i < kCuts.size(); ++i) analysis.CutChanged(kCuts[i], kCutStartValues[i]);
  effects.EffectMode = kPulse;
  effects.SweepThreshold = 15;
}

void ShowCore::ClickBoard(int board, bool active_after) {
  if (board < 1 || board > kProgramBoards) return;
  PrepareBoard(*link_, board);
  active[board] = active_after;
}

void ShowCore::ChooseEffect(int effect_mode) {
  effects.EffectMode = static_cast<int16_t>(effect_mode);
  SendToActiveBoards(*link_, active, kEffectChosen);
}

void ShowCore::SetEffectSlider(EffectSlider slider, int value) {
  switch (slider) {
    case EffectSlider::kRedBias: inputs.RedBias = value; break;
    case EffectSlider::kYellowBias: inputs.YellowBias = value; break;
    case EffectSlider::kCyanBias: inputs.CyanBias = value; break;
    case EffectSlider::kDelay: inputs.Delay = value; break;
    case EffectSlider::kDecay: inputs.Decay = value; break;
  }
}

void ShowCore::SetCut(Cut cut, int value) {
  cuts_[static_cast<size_t>(cut)] = value;
  analysis.CutChanged(cut, value);
}

void ShowCore::SetAutoLevel(bool on) {
  if (on == auto_level_on_) return;
  auto_level_on_ = on;
  auto_level.Reset();
}

void ShowCore::SetLightOffset(int milliseconds) {
  light_offset_ms_ = std::clamp(milliseconds, kLightOffsetMin, kLightOffsetMax);
}

void ShowCore::ProcessBuffer(std::span<const uint8_t, kCaptureBufferBytes> buffer) {
  analysis.Analyze(auto_level_on_ ? auto_level.Apply(buffer) : buffer);
  inputs.SoundLevel = analysis.SoundLevel;
  inputs.RedCount = analysis.RedCount;
  inputs.YellowCount = analysis.YellowCount;
  effects.Step(inputs, active, *link_);
}

void ShowCore::StartTicks(int64_t now) {
  if (ticking_) return;
  ticking_ = true;
  next_tick_ = now + kPeakTickMicros;
}

bool ShowCore::RunDueTicks(int64_t now, bool capturing) {
  bool ran = false;
  while (ticking_ && now >= next_tick_) {
    next_tick_ += kPeakTickMicros;
    ran = true;
    if (analysis.PeakFalls()) Tick();
    else if (!capturing) ticking_ = false;
  }
  return ran;
}

void ShowCore::Tick() {
  const bool moved = analysis.PeakTick([this](Cut cut, int value) {
    // As the slider would take it: within its range.
    value = std::clamp(value, 1, 128);
    SetCut(cut, value);
  });
  if (moved) ++adjustments_;
}

ShowView ShowCore::View(bool capturing, uint64_t applied_changes) const {
  ShowView view;
  view.peak = analysis.Peak;
  view.averaged_peak = analysis.AveragedPeak;
  view.cuts = cuts_;
  view.applied_changes = applied_changes;
  view.adjustments = adjustments_;
  view.capturing = capturing;
  view.light_offset_ms = light_offset_ms_;
  view.light_delay_ms = std::max(0, light_offset_ms_);
  view.gain_db = auto_level_on_ ? static_cast<int>(std::lround(auto_level.GainDb())) : 0;
  return view;
}

}  // namespace sonovar
