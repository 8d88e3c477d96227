#include "sonovar/effects/qra_link.h"

#include <algorithm>

#include "common/ascii.h"
#include "common/numbers.h"
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

// Index of `needle` in `text` at or after `from`, letter case ignored.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty() || from > text.size()) return std::string_view::npos;
  auto it = std::search(text.begin() + static_cast<long>(from), text.end(), needle.begin(), needle.end(),
                        [](char a, char b) { return common::AsciiLower(a) == common::AsciiLower(b); });
  return it == text.end() ? std::string_view::npos : static_cast<size_t>(it - text.begin());
}

}  // namespace

bool QraLink::GetArgumentArray(std::string_view ArgString, int ArgQTY, std::string_view ArgSep) {
  if (ArgQTY < 1 || ArgQTY > static_cast<int>(ArgumentValues.size())) return false;
  // Positions count from 1 over the text after the kind; position 1 is the
  // character after the kind (the ":" of a frame).
  const std::string_view text = ArgString.substr(std::min(kKindLength, ArgString.size()));
  std::array<int16_t, 41> values{};
  ArgumentPositions[0] = 1;
  for (int i = 1; i < ArgQTY; ++i) {
    const size_t previous = static_cast<size_t>(ArgumentPositions[i - 1]);
    const size_t found = FindNoCase(text, ArgSep, previous);
    if (found == std::string_view::npos || found + 1 > 32767) return false;
    ArgumentPositions[i] = static_cast<int16_t>(found + 1);
    // From the character after the previous separator up to this one, inclusive.
    const std::optional<int16_t> value = common::LenientInt16(text.substr(previous, found + 1 - previous));
    if (!value) return false;
    values[i - 1] = *value;
  }
  const size_t last = static_cast<size_t>(ArgumentPositions[ArgQTY - 1]);
  const std::optional<int16_t> value = common::StrictInt16(text.substr(std::min(last, text.size())));
  if (!value) return false;
  values[ArgQTY - 1] = *value;
  std::copy_n(values.begin(), ArgQTY, ArgumentValues.begin());
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
