// The board link over the quorelctl control, created by its class name.
#pragma once

#include <memory>

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

}  // namespace sonovar
