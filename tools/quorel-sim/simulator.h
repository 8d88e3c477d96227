// The simulator's main loop: it reads what is written to each board's node,
// applies the reports, draws and logs them, runs the command it was given,
// and obeys the control FIFO ("unplug N", "plug N") and the signals.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "board_model.h"
#include "child_process.h"
#include "sim_folder.h"
#include "view.h"

namespace quorel_sim {

struct Options {
  std::vector<int> boards;
  std::string log;
  // The log's first column counts from the simulator's start, or is the
  // system's monotonic clock, for laying it beside other programs' times.
  bool log_monotonic = false;
  std::string view = "none";  // "terminal", "window" or "none"
  std::vector<char*> command;
};

class Simulator {
 public:
  // `signal_fd` is readable with one byte per signal caught. `view` may be null.
  Simulator(Options options, int signal_fd, std::unique_ptr<View> view)
      : options_(std::move(options)), signal_fd_(signal_fd), view_(std::move(view)) {}
  ~Simulator();

  // Sets up the folder, the boards and the log; false with a message on failure.
  bool Build();
  // Runs until the command ends (its exit status) or a signal stops us.
  int Run();

  // A toolkit may end the process with exit() (the window's display went
  // away): the command and the folder go all the same.
  static void AtExit();

 private:
  using Clock = std::chrono::steady_clock;

  struct VirtualBoard {
    int number = 0;
    int index = 0;  // hidraw<index>
    int fd = -1;    // -1 while unplugged
    BoardModel model;
    ReportFramer framer;
    Clock::time_point partial_since;
  };

  bool Fail(const std::string& why);
  bool Plug(VirtualBoard& board);
  void Unplug(VirtualBoard& board);
  void ReadControl();
  void Obey(const std::string& line);
  int Timeout() const;
  // Takes what the node holds, at most kDrainBytes at a time: a flooded
  // node is drained again at the next wake, after the signals are seen.
  void Drain(VirtualBoard& board);
  void DropStalePartials();
  void Log(int board, const std::string& what, Clock::time_point when);
  void FlushLog();
  void Render(bool force);
  int Wait(std::vector<pollfd>& fds, int timeout);
  double Seconds(Clock::time_point when) const { return std::chrono::duration<double>(when - start_).count(); }
  // Reports held back until their burst is over (see BoardModel).
  void SettleBursts(bool all);

  Options options_;
  const int signal_fd_;
  SimFolder folder_;
  int control_fd_ = -1;
  std::string control_pending_;
  std::vector<VirtualBoard> boards_;
  std::FILE* log_ = nullptr;
  bool log_failed_ = false;
  ChildProcess child_;
  Clock::time_point start_;
  std::unique_ptr<View> view_;
  static inline Simulator* running_ = nullptr;  // for AtExit
  bool dirty_ = true;
  bool animating_ = false;
};

}  // namespace quorel_sim
