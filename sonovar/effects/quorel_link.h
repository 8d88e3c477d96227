// The board link over the quorelctl control, created by its class name.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "sonovar/effects/board_link.h"

namespace quorel {
class Control;
}

namespace sonovar {

// Creates the control (which finds the boards and sends them their start-up
// state). When the library cannot create it, a link that sees no board.
std::unique_ptr<BoardLink> CreateQuorelLink();

// A link over a control that someone else owns and keeps for the link's whole
// life (the window's own control); null gives a link that sees no board.
std::unique_ptr<BoardLink> LinkToQuorel(quorel::Control* control);

// What the library knows of the boards: what "quorel devices" prints, and for
// each board 1-4 why it is not usable ("" when it is).
struct BoardKnowledge {
  std::string report;
  std::array<std::string, kProgramBoards + 1> absence;  // index 1-4
};

// Asks the library, which needs no control for it: any thread may ask, and
// the answer takes up to a second when a bound server does not answer.
BoardKnowledge AskLibraryAboutBoards();

}  // namespace sonovar
