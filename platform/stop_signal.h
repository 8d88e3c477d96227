// The request to end a program that has no window: SIGINT or SIGTERM (a
// terminal's Ctrl+C, systemd's stop).
#pragma once

namespace platform {

// Holds the stop signals for this thread and every thread it starts from
// now on, so that only WaitForStopSignal receives them. Call it before any
// other thread exists.
void HoldStopSignals();

// Sleeps until a stop signal arrives; returns its number.
int WaitForStopSignal();

}  // namespace platform
