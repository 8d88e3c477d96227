// quorel-sim: boards 1-16 as virtual HID devices that the library finds like
// real ones, with a live view of their lamps and a log of every report.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "arguments.h"
#include "simulator.h"
#include "terminal_view.h"

namespace {

int g_signal_pipe[2] = {-1, -1};  // written by signal handlers, read by the loop

void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
  errno = saved;
}

int Usage(const char* why) {
  if (why != nullptr) std::fprintf(stderr, "quorel-sim: %s\n", why);
  std::fprintf(
      stderr,
      "usage: quorel-sim --boards N[,N...] [--log FILE] [--log-clock start|monotonic] [--view terminal|window|none]\n"
      "                  [-- COMMAND ARGS...]\n"
      "  --log-clock: the log's first column in microseconds since the start (the default) or on\n"
      "               CLOCK_MONOTONIC\n"
      "  unplug and plug a board: echo \"unplug N\" > \"$QUOREL_SIM_CONTROL\" (\"plug N\" likewise)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  quorel_sim::Options options;
  options.view = ::isatty(STDOUT_FILENO) ? "terminal" : "none";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      options.command.assign(argv + i + 1, argv + argc);
      if (options.command.empty()) return Usage("no command after --");
      break;
    }
    if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
    std::string value = argv[++i];
    if (arg == "--boards") {
      auto boards = quorel_tools::ParseBoardList(value);
      if (!boards) return Usage("--boards takes distinct board numbers 1-16, such as 1,3");
      options.boards = *boards;
    } else if (arg == "--log") {
      if (value.empty()) return Usage("--log takes a file name");
      options.log = value;
    } else if (arg == "--log-clock") {
      if (value != "start" && value != "monotonic") return Usage("--log-clock is start or monotonic");
      options.log_monotonic = value == "monotonic";
    } else if (arg == "--view") {
      if (value != "terminal" && value != "window" && value != "none")
        return Usage("--view is terminal, window or none");
      options.view = value;
    } else {
      return Usage(("unknown option " + arg).c_str());
    }
  }
  if (options.boards.empty()) return Usage("--boards is required");
  std::unique_ptr<quorel_sim::View> view;
  if (options.view == "terminal") view = std::make_unique<quorel_sim::TerminalView>();
  if (options.view == "window" && !(view = quorel_sim::MakeWindowView())) return 1;

  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  // A closed terminal (SIGHUP) ends the simulator as cleanly as Ctrl-C does.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGWINCH}) ::sigaction(s, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  // The view may be drawn while the command has the terminal.
  ::signal(SIGTTOU, SIG_IGN);

  quorel_sim::Simulator simulator(std::move(options), g_signal_pipe[0], std::move(view));
  std::atexit(quorel_sim::Simulator::AtExit);
  if (!simulator.Build()) return 1;
  return simulator.Run();
}
