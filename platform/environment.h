// The process environment, as far as it can be trusted.
#pragma once

#include <string>

namespace platform {

// The value of the environment variable `name`, "" when it is not set. A
// privileged process (setuid or setgid, or with file capabilities) gets ""
// always: its environment is chosen by whoever started it, so it must not
// name the files and devices such a process opens.
std::string TrustedEnvironment(const char* name);

}  // namespace platform
