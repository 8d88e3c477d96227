#include "sonovar/effects/qra_link.h"

#include <algorithm>

#include "common/arguments.h"
#include "sonovar/effects/effect_engine.h"

namespace sonovar {

namespace {

constexpr std::string_view kProfileFrame = "QRL-PBA";
constexpr std::string_view kStateFrame = "QRL-SBA";
constexpr size_t kKindLength = 7;
// Frame bytes that one trigger may look through for a playable frame, and
// what looking at one frame costs besides its bytes. A trigger that spends
// it finds nothing this time, and the next one goes on from there: no file
// can make one buffer's step take long.
constexpr size_t kStepBudget = 128 << 10;
constexpr size_t kFrameCost = 8;

}  // namespace

bool QraLink::GetArgumentArray(std::string_view text, int count, std::string_view separator) {
  if (count < 1 || count > static_cast<int>(ArgumentValues.size())) return false;
  // Read into a copy: a frame that cannot be read leaves the values as they were.
  std::array<int16_t, 41> values = ArgumentValues;
  const std::string_view rest = text.substr(std::min(kKindLength, text.size()));
  if (!common::SplitValues(rest, separator, std::span(values).first(static_cast<size_t>(count)), ArgumentPositions))
    return false;
  ArgumentValues = values;
  return true;
}

void QraLink::Step(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active, BoardLink& link,
                   QraAnimation& animation) {
  if (in.RedTrigger() || in.YellowTrigger()) ApplyNextFrame(engine, in, active, link, animation);
  engine.HoldOrDecay(in);
}

void QraLink::ApplyNextFrame(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active,
                             BoardLink& link, QraAnimation& animation) {
  const int count = animation.QraFrameCount;
  auto take_profile = [&] {
    for (int i = 1; i <= kBoardOutputs; ++i) engine.OutputLevels[i] = ArgumentValues[i - 1];
    engine.HoldCounter = static_cast<int16_t>(in.Delay);
  };
  // One cycle of the list at most, and a bounded number of bytes: a list
  // without a playable frame must not hold up the capture.
  size_t spent = 0;
  for (int tries = 0; tries < count && spent < kStepBudget; ++tries) {
    int next = animation.QraFramePos + 1;
    if (next > count || next < 1) next = 1;
    animation.QraFramePos = static_cast<int16_t>(next);
    const std::string& frame = animation.QraFrames[next];
    const std::string_view kind = std::string_view(frame).substr(0, kKindLength);
    spent += kFrameCost;
    if (kind == kProfileFrame) {
      spent += frame.size();
      // The frame on show already: nothing changes, the hold is not restarted.
      if (frame == LastQraFrame && count != 1) return;
      if (!GetArgumentArray(frame, kBoardOutputs, ",")) continue;  // unreadable: skipped
      LastQraFrame = frame;
      take_profile();
      return;
    }
    if (kind == kStateFrame) {
      // The outputs return to the last profile frame read; the boards get
      // the frame from its "SBA:" on.
      take_profile();
      SendToActiveBoards(link, active, std::string_view(frame).substr(4));
      return;
    }
  }
}

}  // namespace sonovar
