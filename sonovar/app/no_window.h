// `sonovar --no-window`: the show from the settings file in the working
// folder, with no window and no display, until SIGINT or SIGTERM.
#pragma once

#include <cstdio>

#include "platform/wavein.h"
#include "sonovar/animation/qra_file.h"

namespace sonovar {

// Returns the program's exit status: 1 when no board 1-4, no input or no
// working input is there (after saying so on `err`), 0 after a stop signal.
// The caller holds the stop signals (platform::HoldStopSignals) before any
// thread starts. Saves nothing.
int RunWithoutWindow(platform::WaveIn& wave, const AnimationFolders& folders, std::FILE* err);

}  // namespace sonovar
