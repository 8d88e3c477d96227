#include "sonovar/effects/effect_engine.h"

#include <algorithm>
#include <charconv>

namespace sonovar {

void EffectEngine::Step(const EffectInputs& in, const ActiveBoards& active, BoardLink& link) {
  // With no effect chosen the outputs stay as they are.
  if (EffectMode >= 1 && EffectMode <= kEffectCount) kEffects[EffectMode - 1].step(*this, in, active, link);
  SendOutputLevels(active, link);
}

int EffectById(std::string_view id) {
  for (int n = 1; n <= kEffectCount; ++n)
    if (id == kEffects[n - 1].id) return n;
  return 0;
}

void EffectEngine::FillEveryThird(int start, int value) {
  for (int i = start; i <= kBoardOutputs; i += 3) OutputLevels[i] = static_cast<int16_t>(value);
}

void EffectEngine::ApplyDecay(int decay) {
  const int step = 15 - decay;
  for (int i = 1; i <= kBoardOutputs; ++i) OutputLevels[i] = static_cast<int16_t>(std::max(OutputLevels[i] - step, 0));
}

bool EffectEngine::HoldOrDecay(const EffectInputs& in) {
  --HoldCounter;
  if (HoldCounter > 0) return false;
  HoldCounter = 0;
  ApplyDecay(in.Decay);
  return true;
}

// Blue follows the level; yellow turns red and green on instead, red turns
// red on and takes the cyan bias off the blue.
void PulseStep(EffectEngine& engine, const EffectInputs& in, const ActiveBoards&, BoardLink&) {
  const int level = in.SoundLevel;
  engine.FillEveryThird(3, level);
  if (in.YellowTrigger()) {
    engine.FillEveryThird(2, level);
    engine.FillEveryThird(1, level);
    engine.FillEveryThird(3, 0);
  }
  if (in.RedTrigger()) {
    engine.FillEveryThird(1, level);
    engine.FillEveryThird(2, 0);
    for (int i = 3; i <= 30; i += 3)
      engine.OutputLevels[i] = static_cast<int16_t>(std::max(engine.OutputLevels[i] - in.CyanBias, 1));
  } else {
    engine.FillEveryThird(1, 0);
  }
}

// A loud buffer pushes a new group in at outputs 1..3 and restarts the hold.
// The hold is reloaded on every pass through the push, also when a quiet
// buffer arrives there with hold left: with a delay of 2 or more the sweep
// therefore never stops once it has started.
void PulseSweepStep(EffectEngine& engine, const EffectInputs& in, const ActiveBoards&, BoardLink&) {
  auto& out = engine.OutputLevels;
  const int16_t level = static_cast<int16_t>(in.SoundLevel);
  engine.SweepInput = {0, 0, 0, level};
  if (level < engine.SweepThreshold && engine.HoldOrDecay(in)) return;
  engine.HoldCounter = static_cast<int16_t>(in.Delay);
  if (in.YellowTrigger()) engine.SweepInput = {0, level, level, 0};
  if (in.RedTrigger()) engine.SweepInput = {0, level, 0, 0};
  for (int i = kBoardOutputs; i >= 4; --i) out[i] = out[i - 3];
  std::copy(engine.SweepInput.begin() + 1, engine.SweepInput.end(), out.begin() + 1);
}

void QraLinkStep(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active, BoardLink& link) {
  engine.Qra.Step(engine, in, active, link, engine.Animation);
}

void EffectEngine::SendOutputLevels(const ActiveBoards& active, BoardLink& link) {
  // 32 values of at most 6 characters and their commas.
  char text[4 + kBoardOutputs * 7];
  char* out = std::copy_n("PBA:", 4, text);
  for (int i = 1; i <= kBoardOutputs; ++i) {
    // The stored value is limited, not only the one sent.
    OutputLevels[i] = std::min(OutputLevels[i], kLevelLimit);
    out = std::to_chars(out, text + sizeof text, OutputLevels[i]).ptr;
    if (i < kBoardOutputs) *out++ = ',';
  }
  command_.assign(text, out);
  SendToActiveBoards(link, active, command_);
}

}  // namespace sonovar
