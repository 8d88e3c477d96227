// "QRA Link": the loaded animation steps one frame each time the sound
// triggers; the lamps hold and decay in between as with Pulse/Sweep.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "sonovar/animation/qra_file.h"
#include "sonovar/effects/board_link.h"

namespace sonovar {

class EffectEngine;
struct EffectInputs;

class QraLink {
 public:
  std::string LastQraFrame;  // the last profile frame applied
  std::array<int16_t, 41> ArgumentValues{};
  std::array<int16_t, 41> ArgumentPositions{};

  // Splits the text after the frame kind (its first 7 characters) into
  // `count` values by the argument rule of common/arguments.h, `separator`
  // found ignoring letter case. False when a separator is missing or a value
  // does not fit 16 bits or the last is not a number; ArgumentValues is then
  // left as it was.
  bool GetArgumentArray(std::string_view text, int count, std::string_view separator);

  // Steps 1-5 of one buffer: on a trigger the next playable frame, then the
  // hold and decay. The engine sends afterwards. A trigger that finds no
  // playable frame within one cycle of the list, or within the frame bytes
  // one step may look through (the next trigger goes on from there), is as
  // no trigger.
  void Step(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active, BoardLink& link,
            QraAnimation& animation);

 private:
  void ApplyNextFrame(EffectEngine& engine, const EffectInputs& in, const ActiveBoards& active, BoardLink& link,
                      QraAnimation& animation);
};

}  // namespace sonovar
