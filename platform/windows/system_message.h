// The system's text for a Win32 error code, shared by the Windows backends.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Without the line end the system appends; "error N" when it has no text.
std::string SystemMessage(uint32_t error);

}  // namespace platform
