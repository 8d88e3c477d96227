// The board link over the quorelctl control, created by its class name.
#pragma once

#include <memory>

#include "sonovar/effects/board_link.h"

namespace sonovar {

// Creates the control (which finds the boards and sends them their start-up
// state). When the library cannot create it, a link that sees no board.
std::unique_ptr<BoardLink> CreateQuorelLink();

}  // namespace sonovar
