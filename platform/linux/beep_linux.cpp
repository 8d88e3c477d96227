#include <unistd.h>

#include "platform/beep.h"

namespace platform {

// A desktop has no beep that a library can reach without a toolkit; a host on
// a terminal still hears the bell.
void Beep() {
  if (::isatty(STDERR_FILENO)) {
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, "\a", 1);
  }
}

}  // namespace platform
