#include "sim_folder.h"

#include <signal.h>
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

// Folders that a simulator killed outright (SIGKILL) left there: this
// user's, marked with their owner, whose owner is gone.
void RemoveAbandonedFolders() {
  std::error_code ec;
  for (fs::directory_iterator it(TemporaryFolder(), ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path folder = it->path();
    struct stat info {};
    if (folder.filename().string().rfind(kFolderPrefix, 0) != 0 || ::lstat(folder.c_str(), &info) != 0 ||
        !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
      continue;
    std::ifstream mark(folder / "owner");
    std::string owner;
    if (!std::getline(mark, owner) || owner.empty()) continue;
    const pid_t pid = static_cast<pid_t>(std::atol(owner.c_str()));
    const bool alive = ::kill(pid, 0) == 0 || errno == EPERM;
    if (pid <= 0 || (alive && ProcessIdentity(pid) == owner)) continue;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
}

}  // namespace

SimFolder::~SimFolder() { Remove(); }

void SimFolder::Remove() {
  if (root_.empty()) return;
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  root_.clear();
}

bool SimFolder::Create(std::string* error) {
  RemoveAbandonedFolders();
  std::string pattern = (TemporaryFolder() / kFolderPrefix).string() + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    *error = std::string("cannot create a temporary folder: ") + std::strerror(errno);
    return false;
  }
  root_ = pattern;
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
