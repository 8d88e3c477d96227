// POSIX backend of the bounded reads and of following the user's own links.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/files.h"

namespace platform {

LinkTarget FollowOwnLinks(const std::string& path) {
  // As many links as the kernel itself follows in one name.
  constexpr int kMostLinks = 40;
  std::string at = path;
  for (int hops = 0; hops <= kMostLinks; ++hops) {
    struct stat link {};
    if (::lstat(at.c_str(), &link) != 0) return {hops == 0 ? LinkTarget::kNone : LinkTarget::kDangling, path};
    if (!S_ISLNK(link.st_mode)) return {LinkTarget::kReached, at};
    if (link.st_uid != ::geteuid()) return {LinkTarget::kForeign, path};
    std::string target(static_cast<size_t>(link.st_size > 0 ? link.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return {LinkTarget::kForeign, path};  // changed meanwhile
    target.resize(static_cast<size_t>(n));
    // A relative target is relative to the link's own folder.
    const size_t slash = at.find_last_of('/');
    at = target[0] == '/' || slash == std::string::npos ? target : at.substr(0, slash + 1) + target;
  }
  return {LinkTarget::kForeign, path};
}

ReadStatus ReadRegularFile(const std::filesystem::path& path, size_t limit, Links links, std::string* bytes,
                           bool* more, std::string* error) {
  bytes->clear();
  if (more != nullptr) *more = false;
  const int fd =
      ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::kRefuse ? O_NOFOLLOW : 0));
  if (fd < 0) {
    const int why = errno;
    if (error != nullptr) *error = std::strerror(why);
    return why == ENOENT ? ReadStatus::kMissing : why == ELOOP ? ReadStatus::kRefused : ReadStatus::kFailed;
  }
  struct stat file {};
  if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
    if (error != nullptr) *error = "not a regular file";
    ::close(fd);
    return ReadStatus::kRefused;
  }
  // Room for what the file says it holds, not for the limit: most files are
  // small, and a sparse one may claim more than it is worth reading.
  bytes->reserve(std::min<size_t>(static_cast<size_t>(std::max<off_t>(file.st_size, 0)), limit) + 1);
  ReadStatus status = ReadStatus::kRead;
  char chunk[64 << 10];
  // One byte beyond the limit tells whether there is more.
  while (bytes->size() <= limit) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, limit + 1 - bytes->size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (error != nullptr) *error = std::strerror(errno);
      status = ReadStatus::kFailed;
    }
    if (n <= 0) break;
    bytes->append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  if (more != nullptr) *more = bytes->size() > limit;
  if (bytes->size() > limit) bytes->resize(limit);
  return status;
}

void CreateEmptyFile(const std::string& path) {
  // O_EXCL fails on any link, dangling or not, instead of following it.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0) ::close(fd);
}

}  // namespace platform
