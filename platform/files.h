// Whole-file replacement that a crash or a full disk cannot leave half done.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace platform {

// Replaces the file at `path` by `bytes`: writes a temporary file in the same
// folder, flushes it to the disk, then renames it over `path`, so that the
// file holds either its old or its new content whatever happens. A new file
// gets the permissions a newly created file would get; an existing one keeps
// its own. Returns "" on success, else the reason (the old file untouched).
// `before_rename` (tests) runs just before the rename; false abandons the
// replacement there, as a crash would.
std::string ReplaceFileContents(const std::string& path, std::span<const uint8_t> bytes,
                                const std::function<bool()>& before_rename = {});

}  // namespace platform
