// Windows backend of the bounded reads. Names there are no FIFOs that an open
// waits on, and links need a privilege to make, so a name is taken as it is.
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"

namespace platform {

LinkTarget FollowOwnLinks(const std::string& path) {
  std::error_code ec;
  const bool there = std::filesystem::exists(std::filesystem::symlink_status(path, ec));
  return {there ? LinkTarget::kReached : LinkTarget::kNone, path};
}

ReadStatus ReadRegularFile(const std::filesystem::path& path, size_t limit, Links links, std::string* bytes,
                           bool* more, std::string* error) {
  bytes->clear();
  if (more != nullptr) *more = false;
  std::error_code ec;
  if (links == Links::kRefuse && std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
    if (error != nullptr) *error = "a symbolic link";
    return ReadStatus::kRefused;
  }
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return ReadStatus::kMissing;
  if (!std::filesystem::is_regular_file(status)) {
    if (error != nullptr) *error = "not a regular file";
    return ReadStatus::kRefused;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    if (error != nullptr) *error = "cannot be opened";
    return ReadStatus::kFailed;
  }
  bytes->resize(limit + 1);
  in.read(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  const size_t done = static_cast<size_t>(in.gcount());
  if (more != nullptr) *more = done > limit;
  bytes->resize(done > limit ? limit : done);
  return ReadStatus::kRead;
}

void CreateEmptyFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) std::ofstream(path, std::ios::binary);
}

}  // namespace platform
