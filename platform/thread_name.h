// A name for the calling thread, as tools that list a process's threads
// show it (top -H, /proc/PID/task/*/comm): at most 15 characters.
#pragma once

namespace platform {

void NameThisThread(const char* name);

}  // namespace platform
