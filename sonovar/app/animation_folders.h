// Where the program looks for animation files, in order: its own folder, the
// user's data folder, the installed program's shipped ones. Needs a
// QCoreApplication (no display).
#pragma once

#include "sonovar/animation/qra_file.h"

namespace sonovar {

AnimationFolders ProgramAnimationFolders();

}  // namespace sonovar
