// The system beep: the only signal the board control gives a user directly.
#pragma once

namespace platform {

void Beep();

}  // namespace platform
