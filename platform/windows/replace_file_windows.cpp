// Windows backend of the whole-file replacement: a new file beside the old
// one, flushed, then put in its place by ReplaceFileA (which keeps the old
// file's attributes and permissions) or, for a new file, by MoveFileExA.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/files.h"
#include "platform/windows/system_message.h"

namespace platform {

namespace {

bool WriteAll(HANDLE file, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes = bytes.subspan(written);
  }
  return true;
}

}  // namespace

std::string ReplaceFileContents(const std::string& name, std::span<const uint8_t> bytes,
                                const std::function<bool()>& before_rename) {
  // The full path: ReplaceFileA does not take every relative name.
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(name.c_str(), MAX_PATH, full, nullptr);
  const std::string path = length > 0 && length < MAX_PATH ? std::string(full, length) : name;
  // A file the user made read-only is not to be replaced; Windows itself
  // refuses to, and this says so before anything is written.
  const DWORD old = GetFileAttributesA(path.c_str());
  if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY)) return SystemMessage(ERROR_ACCESS_DENIED);
  std::string temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    temporary = path + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
    file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD failure = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (failure != ERROR_SUCCESS && failure != ERROR_FILE_EXISTS) return SystemMessage(failure);
  }
  if (file == INVALID_HANDLE_VALUE) return SystemMessage(ERROR_FILE_EXISTS);
  std::string error;
  if (!WriteAll(file, bytes) || !FlushFileBuffers(file)) error = SystemMessage(GetLastError());
  if (!CloseHandle(file) && error.empty()) error = SystemMessage(GetLastError());
  if (error.empty() && before_rename && !before_rename()) error = "interrupted";
  if (error.empty()) {
    bool replaced = old != INVALID_FILE_ATTRIBUTES && !(old & FILE_ATTRIBUTE_DIRECTORY) &&
                    ReplaceFileA(path.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                 nullptr);
    // A new file, or a file system on which ReplaceFileA cannot work: a
    // rename that reaches the disk before it returns.
    if (!replaced &&
        !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      error = SystemMessage(GetLastError());
  }
  if (!error.empty()) DeleteFileA(temporary.c_str());
  return error;
}

}  // namespace platform
