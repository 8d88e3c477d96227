// The simulator's main loop: it reads what is written to each board's node,
// applies the reports, draws and logs them, runs the command it was given,
// and obeys the control FIFO ("unplug N", "plug N") and the signals.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "board_model.h"
#include "child_process.h"
#include "sim_folder.h"
#include "terminal_view.h"

namespace quorel_sim {

struct Options {
  std::vector<int> boards;
  std::string log;
  bool view = false;
  std::vector<char*> command;
};

class Simulator {
 public:
  // `signal_fd` is readable with one byte per signal caught.
  Simulator(Options options, int signal_fd) : options_(std::move(options)), signal_fd_(signal_fd) {}
  ~Simulator();

  // Sets up the folder, the boards and the log; false with a message on failure.
  bool Build();
  // Runs until the command ends (its exit status) or a signal stops us.
  int Run();

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
  void Drain(VirtualBoard& board);
  void DropStalePartials();
  void Log(int board, const std::string& what, Clock::time_point when);
  void FlushLog();
  void Render(bool force);

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
  TerminalView view_;
  bool dirty_ = true;
  bool animating_ = false;
};

}  // namespace quorel_sim
