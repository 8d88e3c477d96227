#include <windows.h>

#include "platform/beep.h"

namespace platform {

// The sound of the user's "default beep" setting, played asynchronously.
void Beep() { MessageBeep(MB_OK); }

}  // namespace platform
