// The effect step: one buffer's analysis results become 32 output levels,
// which go to every active board as one "PBA:" command. No toolkit here: the
// window reads its sliders into EffectInputs and its frames into ActiveBoards.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "sonovar/animation/qra_file.h"
#include "sonovar/effects/board_link.h"
#include "sonovar/effects/qra_link.h"

namespace sonovar {

inline constexpr int kBoardOutputs = 32;
inline constexpr int16_t kLevelLimit = 49;

// EffectMode n is entry n - 1 of kEffects below.
enum EffectModes : int16_t { kPulse = 1, kPulseSweep = 2, kQraLink = 3 };

// What one step reads: the buffer's results and the sliders, afresh each time.
struct EffectInputs {
  int SoundLevel = 0;  // 0..72
  int RedCount = 0;
  int YellowCount = 0;
  int RedBias = 128;  // the bias sliders, 1..255
  int YellowBias = 128;
  int CyanBias = 128;
  int Delay = 0;  // sld_Delay, 0..15: hold length in buffers
  int Decay = 3;  // sld_Decay, 0..15: decay step is 15 - value

  bool RedTrigger() const { return RedCount > RedBias; }
  bool YellowTrigger() const { return YellowCount > YellowBias; }
};

class EffectEngine {
 public:
  // Entry i (1..32) is board output i; entry 0 is never written.
  std::array<int16_t, kBoardOutputs + 1> OutputLevels{};
  int16_t EffectMode = kPulse;
  std::array<int16_t, 4> SweepInput{};  // entries 1..3
  int16_t SweepThreshold = 15;
  int16_t HoldCounter = 0;  // buffers left before the decay starts
  QraAnimation Animation;   // what QRA Link plays
  QraLink Qra;

  // One buffer: the chosen effect, then SendOutputLevels.
  void Step(const EffectInputs& in, const ActiveBoards& active, BoardLink& link);

  // OutputLevels(i) = value for i = start, start + 3, ... up to 32.
  void FillEveryThird(int start, int value);
  // Every output down by 15 - decay, not below 0.
  void ApplyDecay(int decay);
  // Counts the hold down; once it has run out, decays. True when it decayed.
  bool HoldOrDecay(const EffectInputs& in);
  // Limits the stored levels to 49 and sends them to every active board.
  void SendOutputLevels(const ActiveBoards& active, BoardLink& link);

  // "PBA:" and the 32 levels as the last send composed them.
  const std::string& LastCommand() const { return command_; }

 private:
  std::string command_;  // kept between buffers so that composing allocates nothing
};

// One buffer of an effect: OutputLevels (and whatever else the effect keeps)
// from the buffer's results; the engine sends afterwards.
using EffectStep = void (*)(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active,
                            BoardLink& link);

void PulseStep(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active, BoardLink& link);
void PulseSweepStep(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active, BoardLink& link);
void QraLinkStep(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active, BoardLink& link);

struct Effect {
  // Never changes once released: the settings file stores the choice by it,
  // so a file carries over whatever the table's order or captions become.
  // Lower-case letters, digits and '-', at most kEffectIdLength characters.
  const char* id;
  const char* caption;  // of its label lbl_Effect(n) beside the option opt_Effect(n)
  const char* tooltip;
  EffectStep step;
  bool needs_animation;  // offered only once an animation file has been loaded or tried
  // Which of the settings file's effect Booleans (SettingsRecord::EffectSelected
  // 1..kStoredEffects) keeps whether it is the chosen effect; 0 for none.
  int stored_as;
};

inline constexpr size_t kEffectIdLength = 32;

// Every effect, in the order of the window's options. A new effect is one
// row here (stored_as 0: the file keeps its choice by the id alone), its step
// and its tests; the window, the settings file, the tests, the bench, the
// manual page and the package description all read this table.
inline constexpr Effect kEffects[] = {
    {"pulse", "Pulse", "Pulse Realtime FX.", PulseStep, false, 1},
    {"pulse-sweep", "Pulse/Sweep", "Pulse and Sweep Realtime FX.", PulseSweepStep, false, 2},
    {"qra-link", "QRA Link", "Link QRA frame control to Sound.", QraLinkStep, true, 3},
};
inline constexpr int kEffectCount = static_cast<int>(std::size(kEffects));

constexpr bool EffectIdsAreSound() {
  for (size_t i = 0; i < std::size(kEffects); ++i) {
    const std::string_view id = kEffects[i].id;
    if (id.empty() || id.size() > kEffectIdLength) return false;
    for (char c : id)
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
    for (size_t j = 0; j < i; ++j)
      if (id == kEffects[j].id) return false;
  }
  return true;
}
static_assert(EffectIdsAreSound(), "effect ids are distinct, 1-32 of a-z, 0-9 and '-'");

// The number (1-based, as EffectMode) of the effect with fixed id `id`; 0
// when no effect of this program has it.
int EffectById(std::string_view id);

}  // namespace sonovar
