// The command the simulator runs: in a process group of its own, so that
// ending it ends everything it started; in the terminal's foreground while it
// runs when the simulator had the terminal, so that it may read from it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace quorel_sim {

class ChildProcess {
 public:
  using Environment = std::vector<std::pair<std::string, std::string>>;

  ChildProcess() = default;
  ~ChildProcess();  // a group still running is ended (SIGTERM, then SIGKILL)
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `command` with `environment` added; false (and a message on
  // standard error) when it cannot be started.
  bool Start(const std::vector<char*>& command, const Environment& environment);
  bool running() const { return pid_ > 0; }

  // The child's exit status (128 + signal when a signal ended it), once it
  // has ended; false while it runs. Never blocks.
  bool Reap(int* status);

  // Ends the whole group: `signal` to every process in it (with SIGCONT, so
  // that a stopped one hears it too), up to `grace` for the child to end,
  // waking on `wake_fd` (readable when a child may have ended), then SIGKILL
  // to what is left. Gives the terminal back. Returns the child's status.
  int End(int signal, std::chrono::milliseconds grace, int wake_fd);

 private:
  void RestoreTerminal();
  void StartGuard();
  void ReleaseGuard();

  pid_t pid_ = -1;           // the child, the leader of its group; -1 once reaped
  pid_t group_ = -1;         // its process group, kept after the child is reaped
  bool took_terminal_ = false;
  int status_ = 0;
  // The guard ends the group if the simulator dies without ending it: told
  // through this pipe that the simulator is done with the group, it just
  // ends; finding the pipe closed without that, it ends the group first.
  pid_t guard_ = -1;
  int guard_pipe_ = -1;  // the write end
};

}  // namespace quorel_sim
