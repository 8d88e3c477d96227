#include "sim_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "board_descriptor.h"

namespace quorel_sim {

namespace fs = std::filesystem;

namespace {

std::string Name(int index) { return "hidraw" + std::to_string(index); }

constexpr const char* kFolderPrefix = "quorel-sim-";

// A process as "pid start-time": the start time (in clock ticks since boot)
// tells a process from a later one that was given the same number.
std::string ProcessIdentity(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  // The command name in parentheses may hold blanks; field 22 is the start time.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  for (int n = 3; n <= 22 && fields >> field; ++n) {
  }
  return std::to_string(pid) + " " + field;
}

// Where the folders go: $TMPDIR when it names a folder by its full path,
// as for any program's temporary files, else /tmp. A folder on a memory
// file system (/dev/shm, /run/user/N) makes the boards' nodes cost no more
// to write than a device node does: on a disk, every report also stamps
// the FIFO's change time.
fs::path TemporaryFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] == '/' && fs::is_directory(tmpdir)) return tmpdir;
  return "/tmp";
}

// The owner mark, read only as the small regular file a simulator writes:
// a FIFO put there would hold the start until someone wrote to it, and a
// link to /dev/zero would never end.
std::string ReadOwner(int folder) {
  const int fd = ::openat(folder, "owner", O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat info {};
  char text[64] = {};
  ssize_t got = -1;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size < static_cast<off_t>(sizeof text))
    got = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (got <= 0) return {};
  std::string owner(text, static_cast<size_t>(got));
  return owner.substr(0, owner.find('\n'));
}

// Folders that a simulator killed outright (SIGKILL) left there: this
// user's, marked with their owner, and not locked. A running simulator
// holds a lock on its folder, which tells it from an abandoned one in any
// PID namespace (a process number and start time mean nothing in another);
// the owner mark still guards folders of simulators that take no lock.
void RemoveAbandonedFolders() {
  std::error_code ec;
  for (fs::directory_iterator it(TemporaryFolder(), ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path folder = it->path();
    if (folder.filename().string().rfind(kFolderPrefix, 0) != 0) continue;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      const std::string owner = ReadOwner(fd);
      const pid_t pid = static_cast<pid_t>(std::atol(owner.c_str()));
      const bool alive = pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM) && ProcessIdentity(pid) == owner;
      std::error_code ignored;
      if (!owner.empty() && !alive) fs::remove_all(folder, ignored);
    }
    ::close(fd);
  }
}

}  // namespace

SimFolder::~SimFolder() { Remove(); }

void SimFolder::Remove() {
  if (root_.empty()) return;
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  root_.clear();
  if (lock_ >= 0) ::close(lock_);
  lock_ = -1;
}

bool SimFolder::Create(std::string* error) {
  RemoveAbandonedFolders();
  std::string pattern = (TemporaryFolder() / kFolderPrefix).string() + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    *error = std::string("cannot create a temporary folder: ") + std::strerror(errno);
    return false;
  }
  root_ = pattern;
  // Held for the simulator's life, before the owner is marked: a folder
  // that has an owner and no lock is abandoned.
  lock_ = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock_ < 0 || ::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
    *error = "cannot lock " + root() + ": " + std::strerror(errno);
    return false;
  }
  std::ofstream(root_ / "owner") << ProcessIdentity(::getpid()) << "\n";
  std::error_code ec;
  fs::create_directories(root_ / "dev", ec);
  fs::create_directories(root_ / "sys/class/hidraw", ec);
  if (ec || ::mkfifo(control().c_str(), 0600) != 0) {
    *error = "cannot set up " + root();
    return false;
  }
  return true;
}

std::string SimFolder::AddBoard(int index, int number, std::string* error) {
  const fs::path device = root_ / "sys/class/hidraw" / Name(index) / "device";
  std::error_code ec;
  fs::create_directories(device, ec);
  char uevent[128];
  std::snprintf(uevent, sizeof uevent, "DRIVER=hid-generic\nHID_ID=0003:0000E7A1:%08X\nHID_NAME=Quorel %d\n",
                0xEF + number, number);
  std::ofstream(device / "uevent") << uevent;
  std::ofstream(device / "report_descriptor", std::ios::binary)
      .write(reinterpret_cast<const char*>(kBoardDescriptor.data()),
             static_cast<std::streamsize>(kBoardDescriptor.size()));
  const std::string node = (root_ / "dev" / Name(index)).string();
  if (ec || ::mkfifo(node.c_str(), 0666) != 0) {
    *error = "cannot create " + node + ": " + (ec ? ec.message() : std::strerror(errno));
    return {};
  }
  return node;
}

void SimFolder::RemoveBoard(int index) {
  std::error_code ignored;
  fs::remove_all(root_ / "sys/class/hidraw" / Name(index), ignored);
  fs::remove(root_ / "dev" / Name(index), ignored);
}

}  // namespace quorel_sim
