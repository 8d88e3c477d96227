// POSIX backend of the whole-file replacement: an unnamed file (O_TMPFILE)
// written and flushed, then given a name beside the old file and renamed over
// it; where the system has no unnamed files, a named one (O_EXCL) instead.
#include "platform/posix/replace_file_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/files.h"

namespace platform {

namespace {

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

// While a temporary name exists, the signals that end a program by default
// (a closed terminal, Ctrl-C, kill) wait, so that the name is always either
// renamed or removed; they are delivered as soon as that is done. They are
// held for the calling thread only: another thread of the process that does
// not block them (a sound library's, say) may still take one and end the
// program mid-save. With an unnamed temporary file, the usual case on Linux,
// no name exists before the content is complete, so nothing is left then.
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) sigaddset(&held, s);
    ::pthread_sigmask(SIG_BLOCK, &held, &saved_);
  }
  ~TerminationSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
  sigset_t saved_;
};

// Created like any new file (0666 less the umask). An existing regular file
// of this user's own gives its permission bits, never setuid, setgid or
// sticky; one that another user owns gives nothing, so that a file planted
// for someone else to save over sets no mode on what they write. A link's
// target gives nothing either: lstat.
std::string WriteContent(int fd, const std::string& path, std::span<const uint8_t> bytes) {
  struct stat old {};
  if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) && old.st_uid == ::geteuid() &&
      ::fchmod(fd, old.st_mode & 0777) != 0)
    return std::strerror(errno);
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) return std::strerror(errno);
  return {};
}

// A name no one can plant ahead: whoever may write the folder could
// otherwise take every name a save would try.
std::string TemporaryName(const std::string& path) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  uint8_t random[12] = {};
  size_t got = 0;
  while (got < sizeof random) {
    const ssize_t n = ::getrandom(random + got, sizeof random - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
    else if (errno != EINTR) break;
  }
  std::string name = path + ".tmp";
  for (uint8_t byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
  return name;
}

void SyncFolder(const std::string& path) {
  // The rename itself reaches the disk with the folder.
  const int dir = ::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

// Gives the complete unnamed file `fd` a name beside `path` and renames it
// over `path`. False (errno kept) when the system cannot link it in.
bool LinkIn(int fd, const std::string& path, std::string* error) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  TerminationSignalsHeld held;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = TemporaryName(path);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      *error = std::strerror(errno);
      ::unlink(temporary.c_str());
    }
    return true;
  }
  *error = std::strerror(EEXIST);
  return true;
}

}  // namespace

namespace posix {

std::string ReplaceThroughNamedFile(const std::string& path, std::span<const uint8_t> bytes,
                                    const std::function<bool()>& before_rename) {
  TerminationSignalsHeld held;
  std::string temporary;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = TemporaryName(path);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return std::strerror(errno);
  }
  if (fd < 0) return std::strerror(EEXIST);
  std::string error = WriteContent(fd, path, bytes);
  if (::close(fd) != 0 && error.empty()) error = std::strerror(errno);
  if (error.empty() && before_rename && !before_rename()) error = "interrupted";
  if (error.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) error = std::strerror(errno);
  if (!error.empty()) {
    ::unlink(temporary.c_str());
    return error;
  }
  SyncFolder(path);
  return {};
}

}  // namespace posix

std::string ReplaceFileContents(const std::string& path, std::span<const uint8_t> bytes,
                                const std::function<bool()>& before_rename) {
  const int fd = ::open(Folder(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    // Systems and file systems without unnamed files say so in one of these.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
      return posix::ReplaceThroughNamedFile(path, bytes, before_rename);
    return std::strerror(errno);
  }
  // Until it is linked in, the new content has no name: whatever ends the
  // program here leaves nothing behind.
  std::string error = WriteContent(fd, path, bytes);
  if (error.empty() && before_rename && !before_rename()) error = "interrupted";
  if (error.empty() && !LinkIn(fd, path, &error)) {
    // No /proc to link through: the named way, from the start.
    ::close(fd);
    return posix::ReplaceThroughNamedFile(path, bytes, before_rename);
  }
  if (::close(fd) != 0 && error.empty()) error = std::strerror(errno);
  if (!error.empty()) return error;
  SyncFolder(path);
  return {};
}

}  // namespace platform
