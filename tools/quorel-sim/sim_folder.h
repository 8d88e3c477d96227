// The simulator's private folder: a sysfs tree and a /dev with one FIFO per
// board (what the library reads and writes), and the control FIFO. Removed
// with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace quorel_sim {

class SimFolder {
 public:
  SimFolder() = default;
  ~SimFolder();
  SimFolder(const SimFolder&) = delete;
  SimFolder& operator=(const SimFolder&) = delete;

  // Removes the folder and all in it (the destructor does it too).
  void Remove();

  // Makes quorel-sim-XXXXXX in $TMPDIR (else /tmp) with its dev folder, the control FIFO and
  // the mark of its owner (this process). First removes the folders of this
  // user's simulators that were killed outright and could not remove theirs.
  bool Create(std::string* error);

  // Presents board `number` (1-16) as hidraw<index>: its uevent, its report
  // descriptor and its node, a FIFO. Returns the node's path, "" on failure.
  std::string AddBoard(int index, int number, std::string* error);
  // Takes hidraw<index> away as an unplug does: sysfs entry and node.
  void RemoveBoard(int index);

  std::string root() const { return root_.string(); }
  std::string sysfs() const { return (root_ / "sys").string(); }
  std::string dev() const { return (root_ / "dev").string(); }
  std::string control() const { return (root_ / "control").string(); }

 private:
  std::filesystem::path root_;
  int lock_ = -1;  // the folder, locked while this simulator runs
};

}  // namespace quorel_sim
