#include <cstdlib>

#include "platform/environment.h"

namespace platform {

std::string TrustedEnvironment(const char* name) {
  const char* value = ::secure_getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace platform
