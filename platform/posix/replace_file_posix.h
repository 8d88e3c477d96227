// The POSIX replacement with a named temporary file, the way taken where the
// system has no unnamed files; its own entry so that tests reach it anywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace platform::posix {

std::string ReplaceThroughNamedFile(const std::string& path, std::span<const uint8_t> bytes,
                                    const std::function<bool()>& before_rename);

}  // namespace platform::posix
