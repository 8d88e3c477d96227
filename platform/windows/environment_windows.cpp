#include <cstdlib>

#include "platform/environment.h"

namespace platform {

// Windows has no setuid programs; a process's environment is its own user's.
std::string TrustedEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace platform
