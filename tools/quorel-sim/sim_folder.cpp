#include "sim_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "board_descriptor.h"

namespace quorel_sim {

namespace fs = std::filesystem;

namespace {

std::string Name(int index) { return "hidraw" + std::to_string(index); }

}  // namespace

SimFolder::~SimFolder() { Remove(); }

void SimFolder::Remove() {
  if (root_.empty()) return;
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  root_.clear();
}

bool SimFolder::Create(std::string* error) {
  char pattern[] = "/tmp/quorel-sim-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    *error = std::string("cannot create a temporary folder: ") + std::strerror(errno);
    return false;
  }
  root_ = pattern;
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
