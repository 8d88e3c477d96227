// A temporary sysfs-like tree with hidraw devices whose nodes are FIFOs or
// plain files, for the Linux HID backend and end-to-end tests.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/quorel-sim/board_descriptor.h"

namespace testing_support {

// A board's descriptor, as the simulator presents it.
inline const std::vector<uint8_t>& kBoardDescriptor = quorel_sim::kBoardDescriptor;

class FakeSysfs {
 public:
  FakeSysfs() {
    char pattern[] = "/tmp/quorel-sysfs-XXXXXX";
    root_ = ::mkdtemp(pattern);
    std::filesystem::create_directories(root_ / "sys/class/hidraw");
    std::filesystem::create_directories(root_ / "dev");
  }
  ~FakeSysfs() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  enum class Node { kFifo, kFile, kNone };

  // Adds hidraw<name>; returns the device node's path.
  std::string Add(const std::string& name, uint16_t vendor, uint16_t product, Node node = Node::kFifo,
                  const std::vector<uint8_t>* descriptor = &kBoardDescriptor) {
    auto device = root_ / "sys/class/hidraw" / name / "device";
    std::filesystem::create_directories(device);
    char uevent[128];
    std::snprintf(uevent, sizeof uevent, "DRIVER=hid-generic\nHID_ID=0003:%08X:%08X\nHID_NAME=Test\n", vendor,
                  product);
    std::ofstream(device / "uevent") << uevent;
    if (descriptor != nullptr) {
      std::ofstream out(device / "report_descriptor", std::ios::binary);
      out.write(reinterpret_cast<const char*>(descriptor->data()), static_cast<std::streamsize>(descriptor->size()));
    }
    std::string path = (root_ / "dev" / name).string();
    if (node == Node::kFifo) ::mkfifo(path.c_str(), 0600);
    if (node == Node::kFile) std::ofstream(path).flush();
    return path;
  }

  // Takes hidraw<name> away as an unplug does: its sysfs entry and its node.
  void Remove(const std::string& name) {
    std::filesystem::remove_all(root_ / "sys/class/hidraw" / name);
    std::filesystem::remove(root_ / "dev" / name);
  }

  std::string sysfs() const { return (root_ / "sys").string(); }
  std::string dev() const { return (root_ / "dev").string(); }

  // Points the backend at this tree for the life of the object.
  void Activate() const {
    ::setenv("QUOREL_SYSFS_ROOT", sysfs().c_str(), 1);
    ::setenv("QUOREL_DEV_ROOT", dev().c_str(), 1);
  }
  static void Deactivate() {
    ::unsetenv("QUOREL_SYSFS_ROOT");
    ::unsetenv("QUOREL_DEV_ROOT");
  }

 private:
  std::filesystem::path root_;
};

// Reads whatever is waiting in a FIFO without blocking.
class FifoReader {
 public:
  explicit FifoReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
  ~FifoReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;

  bool ok() const { return fd_ >= 0; }

  std::vector<uint8_t> Drain() {
    std::vector<uint8_t> out;
    uint8_t chunk[4096];
    for (;;) {
      ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      out.insert(out.end(), chunk, chunk + n);
    }
    return out;
  }

 private:
  int fd_;
};

}  // namespace testing_support
