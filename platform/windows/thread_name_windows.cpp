#include "platform/thread_name.h"

namespace platform {

// The thread keeps the system's name: only debuggers show a thread's
// description on Windows, and the tools that measure threads run on Linux.
void NameThisThread(const char*) {}

}  // namespace platform
