// quorel-sim: boards 1-16 as virtual HID devices that the library finds like
// real ones, with a live view of their lamps and a log of every report.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "board_model.h"
#include "terminal_view.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// One output report of 8 bytes (plus the report id): what a board declares.
const uint8_t kDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00,
                               0x75, 0x08, 0x95, 0x08, 0x09, 0x02, 0x91, 0x02, 0xC0};

int g_signal_pipe[2] = {-1, -1};  // written by signal handlers, read by the loop

void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
  errno = saved;
}

struct VirtualBoard {
  int number = 0;
  std::string node;
  int fd = -1;
  quorel_sim::BoardModel model;
  quorel_sim::ReportFramer framer;
  Clock::time_point partial_since;
};

struct Options {
  std::vector<int> boards;
  std::string log;
  std::string view = ::isatty(STDOUT_FILENO) ? "terminal" : "none";
  std::vector<char*> command;
};

int Usage(const char* why) {
  if (why != nullptr) std::fprintf(stderr, "quorel-sim: %s\n", why);
  std::fprintf(stderr, "usage: quorel-sim --boards N[,N...] [--log FILE] [--view terminal|window|none] [-- COMMAND ARGS...]\n");
  return 2;
}

bool ParseBoards(const std::string& text, std::vector<int>* boards) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    char* end = nullptr;
    long n = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || n < 1 || n > 16) return false;
    for (int b : *boards)
      if (b == n) return false;
    boards->push_back(static_cast<int>(n));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return !boards->empty();
}

class Simulator {
 public:
  Simulator(Options options, std::unique_ptr<quorel_sim::View> view)
      : options_(std::move(options)), view_(std::move(view)) {}
  ~Simulator() { Cleanup(); }

  bool Build() {
    char pattern[] = "/tmp/quorel-sim-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return Fail("cannot create a temporary folder");
    root_ = pattern;
    std::error_code ec;
    fs::create_directories(root_ / "dev", ec);
    for (size_t i = 0; i < options_.boards.size(); ++i) {
      VirtualBoard board;
      board.number = options_.boards[i];
      const std::string name = "hidraw" + std::to_string(i);
      const fs::path device = root_ / "sys/class/hidraw" / name / "device";
      fs::create_directories(device, ec);
      char uevent[128];
      std::snprintf(uevent, sizeof uevent, "DRIVER=hid-generic\nHID_ID=0003:0000E7A1:%08X\nHID_NAME=Quorel %d\n",
                    0xEF + board.number, board.number);
      std::ofstream(device / "uevent") << uevent;
      std::ofstream(device / "report_descriptor", std::ios::binary)
          .write(reinterpret_cast<const char*>(kDescriptor), sizeof kDescriptor);
      board.node = (root_ / "dev" / name).string();
      if (::mkfifo(board.node.c_str(), 0666) != 0) return Fail("cannot create " + board.node);
      // Read-write: the node never reports end-of-file when a writer closes.
      board.fd = ::open(board.node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
      if (board.fd < 0) return Fail("cannot open " + board.node);
      boards_.push_back(std::move(board));
    }
    if (!options_.log.empty()) {
      log_ = std::fopen(options_.log.c_str(), "w");
      if (log_ == nullptr) return Fail("cannot write " + options_.log + ": " + std::strerror(errno));
    }
    return true;
  }

  std::string sysfs() const { return (root_ / "sys").string(); }
  std::string dev() const { return (root_ / "dev").string(); }

  // Runs until the command ends (its exit status) or a signal stops us.
  int Run() {
    running_ = this;
    start_ = Clock::now();
    if (!options_.command.empty()) {
      child_ = ::fork();
      if (child_ == 0) {
        ::setenv("QUOREL_SYSFS_ROOT", sysfs().c_str(), 1);
        ::setenv("QUOREL_DEV_ROOT", dev().c_str(), 1);
        options_.command.push_back(nullptr);
        ::execvp(options_.command[0], options_.command.data());
        std::fprintf(stderr, "quorel-sim: cannot run %s: %s\n", options_.command[0], std::strerror(errno));
        std::_Exit(127);
      }
      if (child_ < 0) {
        Fail("cannot start the command");
        return 1;
      }
    } else {
      std::printf("export QUOREL_SYSFS_ROOT=%s\nexport QUOREL_DEV_ROOT=%s\n", sysfs().c_str(), dev().c_str());
      std::fflush(stdout);
    }
    if (view_) view_->Begin();

    int status = 0;
    for (;;) {
      std::vector<pollfd> fds;
      fds.push_back({g_signal_pipe[0], POLLIN, 0});
      for (const VirtualBoard& b : boards_) fds.push_back({b.fd, POLLIN, 0});
      int ready = Wait(fds, Timeout());
      if (ready < 0 && errno != EINTR) break;
      for (size_t i = 0; i < boards_.size(); ++i)
        if (fds[i + 1].revents & POLLIN) Drain(boards_[i]);
      DropStalePartials();
      SettleBursts(false);
      if (fds[0].revents & POLLIN) {
        unsigned char signals[16];
        ssize_t n = ::read(g_signal_pipe[0], signals, sizeof signals);
        bool stop = false;
        for (ssize_t k = 0; k < n; ++k) {
          if (signals[k] == SIGWINCH && view_) view_->Resized();
          if (signals[k] == SIGINT || signals[k] == SIGTERM) {
            stop = true;
            status = 128 + signals[k];
            if (child_ > 0) ::kill(child_, signals[k]);
          }
          if (signals[k] == SIGCHLD && child_ > 0) {
            int wstatus = 0;
            if (::waitpid(child_, &wstatus, WNOHANG) == child_) {
              child_ = -1;
              stop = true;
              status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
            }
          }
        }
        if (stop) break;
      }
      Render(false);
    }
    for (VirtualBoard& b : boards_) Drain(b);  // what the command wrote last
    SettleBursts(true);
    Render(true);
    if (child_ > 0) ::waitpid(child_, nullptr, 0);
    if (view_) view_->End();
    running_ = nullptr;
    return status;
  }

  // A toolkit may end the process with exit() (the window's display went
  // away): the command and the folder go all the same.
  static void AtExit() {
    if (running_ == nullptr) return;
    if (running_->child_ > 0) ::kill(running_->child_, SIGTERM);
    running_->Cleanup();
  }

 private:
  bool Fail(const std::string& why) {
    std::fprintf(stderr, "quorel-sim: %s\n", why.c_str());
    return false;
  }

  int Timeout() const {
    int timeout = -1;  // idle: sleep until a report or a signal
    auto consider = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
    for (const VirtualBoard& b : boards_)
      if (b.framer.has_partial()) consider(50);
    for (const VirtualBoard& b : boards_)
      if (b.model.holding())
        consider(std::max(0, static_cast<int>(std::ceil((b.model.settle_time() - Seconds(Clock::now())) * 1000))));
    if (view_ && (dirty_ || animating_)) consider(view_->MillisecondsToNextFrame());
    return timeout;
  }

  void Drain(VirtualBoard& board) {
    uint8_t chunk[4096];
    for (;;) {
      ssize_t n = ::read(board.fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      const auto now = Clock::now();
      board.framer.Feed({chunk, static_cast<size_t>(n)}, [&](std::span<const uint8_t, quorel_sim::kReportLength> r) {
        board.model.Receive(r, Seconds(now));
        dirty_ = true;
        if (log_ != nullptr) Log(board.number, r, now);
      });
      if (board.framer.has_partial()) board.partial_since = now;
    }
    if (log_ != nullptr) std::fflush(log_);
  }

  int Wait(std::vector<pollfd>& fds, int timeout) {
    return view_ ? view_->Wait(fds, timeout) : ::poll(fds.data(), fds.size(), timeout);
  }

  double Seconds(Clock::time_point when) const { return std::chrono::duration<double>(when - start_).count(); }

  // Reports held back until their burst is over (see BoardModel).
  void SettleBursts(bool all) {
    const double now = all ? HUGE_VAL : Seconds(Clock::now());
    for (VirtualBoard& b : boards_)
      if (b.model.Settle(now)) dirty_ = true;
  }

  void DropStalePartials() {
    const auto now = Clock::now();
    for (VirtualBoard& b : boards_)
      if (b.framer.has_partial() && now - b.partial_since >= std::chrono::milliseconds(50)) b.framer.DropPartial();
  }

  void Log(int board, std::span<const uint8_t, quorel_sim::kReportLength> r, Clock::time_point when) {
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(when - start_).count();
    std::fprintf(log_, "%lld %d", static_cast<long long>(us), board);
    for (uint8_t b : r) std::fprintf(log_, " %02x", b);
    std::fputc('\n', log_);
  }

  void Render(bool force) {
    if (!view_) return;
    animating_ = false;
    for (const VirtualBoard& b : boards_) animating_ = animating_ || quorel_sim::Animating(b.model);
    if (!force && !dirty_ && !animating_) return;
    if (!force && view_->MillisecondsToNextFrame() > 0) return;
    std::vector<quorel_sim::ViewBoard> shown;
    for (const VirtualBoard& b : boards_) shown.push_back({b.number, &b.model});
    view_->Draw(shown, Seconds(Clock::now()));
    dirty_ = false;
  }

  void Cleanup() {
    for (VirtualBoard& b : boards_)
      if (b.fd >= 0) ::close(b.fd);
    boards_.clear();
    if (log_ != nullptr) std::fclose(log_);
    log_ = nullptr;
    if (!root_.empty()) {
      std::error_code ec;
      fs::remove_all(root_, ec);
      root_.clear();
    }
  }

  Options options_;
  fs::path root_;
  std::vector<VirtualBoard> boards_;
  std::FILE* log_ = nullptr;
  pid_t child_ = -1;
  Clock::time_point start_;
  std::unique_ptr<quorel_sim::View> view_;
  static inline Simulator* running_ = nullptr;
  bool dirty_ = true;
  bool animating_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      options.command.assign(argv + i + 1, argv + argc);
      if (options.command.empty()) return Usage("no command after --");
      break;
    }
    if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
    std::string value = argv[++i];
    if (arg == "--boards") {
      if (!ParseBoards(value, &options.boards)) return Usage("--boards takes distinct board numbers 1-16, such as 1,3");
    } else if (arg == "--log") {
      options.log = value;
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
  for (int s : {SIGINT, SIGTERM, SIGCHLD, SIGWINCH}) ::sigaction(s, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  Simulator simulator(std::move(options), std::move(view));
  std::atexit(Simulator::AtExit);
  if (!simulator.Build()) return 1;
  return simulator.Run();
}
