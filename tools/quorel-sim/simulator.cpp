#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>

#include "arguments.h"

namespace quorel_sim {

namespace {

// How long the command is given to end after the signal that stops us.
constexpr std::chrono::seconds kChildGrace{2};
// An incomplete report is dropped after this long.
constexpr std::chrono::milliseconds kPartialLimit{50};
// The most one drain takes from a node before the loop looks at signals and
// the other boards again: a writer that floods a node cannot keep it deaf.
constexpr size_t kDrainBytes = 64 << 10;

}  // namespace

Simulator::~Simulator() {
  for (VirtualBoard& b : boards_)
    if (b.fd >= 0) ::close(b.fd);
  if (control_fd_ >= 0) ::close(control_fd_);
  if (log_ != nullptr) std::fclose(log_);
}

bool Simulator::Fail(const std::string& why) {
  std::fprintf(stderr, "quorel-sim: %s\n", why.c_str());
  return false;
}

bool Simulator::Build() {
  std::string error;
  if (!folder_.Create(&error)) return Fail(error);
  for (size_t i = 0; i < options_.boards.size(); ++i) {
    boards_.push_back({});
    boards_.back().number = options_.boards[i];
    boards_.back().index = static_cast<int>(i);
    if (!Plug(boards_.back())) return false;
  }
  // Read-write, like the nodes: it never reports end-of-file when a writer closes.
  control_fd_ = ::open(folder_.control().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (control_fd_ < 0) return Fail("cannot open " + folder_.control());
  if (!options_.log.empty()) {
    log_ = std::fopen(options_.log.c_str(), "w");
    if (log_ == nullptr) return Fail("cannot write " + options_.log + ": " + std::strerror(errno));
  }
  return true;
}

bool Simulator::Plug(VirtualBoard& board) {
  std::string error;
  const std::string node = folder_.AddBoard(board.index, board.number, &error);
  if (node.empty()) return Fail(error);
  // Read-write: the node never reports end-of-file when a writer closes.
  board.fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (board.fd < 0) return Fail("cannot open " + node);
  return true;
}

void Simulator::Unplug(VirtualBoard& board) {
  Drain(board);  // what reached it before
  ::close(board.fd);
  board.fd = -1;
  folder_.RemoveBoard(board.index);
  // Without power a board forgets everything; it comes back dark.
  board.model = BoardModel{};
  board.framer = ReportFramer{};
  dirty_ = true;
}

void Simulator::ReadControl() {
  char chunk[256];
  ssize_t n;
  while ((n = ::read(control_fd_, chunk, sizeof chunk)) > 0) control_pending_.append(chunk, static_cast<size_t>(n));
  size_t eol;
  while ((eol = control_pending_.find('\n')) != std::string::npos) {
    Obey(control_pending_.substr(0, eol));
    control_pending_.erase(0, eol + 1);
  }
  if (control_pending_.size() > 4096) control_pending_.clear();  // no command is this long
}

void Simulator::Obey(const std::string& line) {
  std::istringstream words(line);
  std::string verb, number, rest;
  words >> verb >> number >> rest;
  const auto n = quorel_tools::ParseWholeNumber(number, 1, 16);
  auto board = std::find_if(boards_.begin(), boards_.end(), [&](const VirtualBoard& b) { return n && b.number == *n; });
  if ((verb != "unplug" && verb != "plug") || board == boards_.end() || !rest.empty()) {
    if (!line.empty())
      std::fprintf(stderr, "quorel-sim: control: \"%s\" is not \"unplug N\" or \"plug N\" for a board shown\n",
                   line.c_str());
    return;
  }
  const bool plugged = board->fd >= 0;
  if (verb == "unplug" && plugged) {
    Unplug(*board);
    Log(board->number, "unplugged", Clock::now());
  } else if (verb == "plug" && !plugged && Plug(*board)) {
    dirty_ = true;
    Log(board->number, "plugged", Clock::now());
  }
  FlushLog();
}

int Simulator::Run() {
  running_ = this;
  start_ = Clock::now();
  if (!options_.command.empty()) {
    if (!child_.Start(options_.command, {{"QUOREL_SYSFS_ROOT", folder_.sysfs()},
                                         {"QUOREL_DEV_ROOT", folder_.dev()},
                                         {"QUOREL_SIM_CONTROL", folder_.control()}}))
      return 1;
  } else {
    std::printf("export QUOREL_SYSFS_ROOT=%s\nexport QUOREL_DEV_ROOT=%s\nexport QUOREL_SIM_CONTROL=%s\n",
                folder_.sysfs().c_str(), folder_.dev().c_str(), folder_.control().c_str());
    std::fflush(stdout);
  }
  if (view_) view_->Begin();

  int status = 0;
  int stop_signal = 0;
  bool child_ended = false;
  while (stop_signal == 0 && !child_ended) {
    std::vector<pollfd> fds = {{signal_fd_, POLLIN, 0}, {control_fd_, POLLIN, 0}};
    for (const VirtualBoard& b : boards_) fds.push_back({b.fd, POLLIN, 0});  // -1 (unplugged) is skipped
    if (Wait(fds, Timeout()) < 0 && errno != EINTR) break;
    for (size_t i = 0; i < boards_.size(); ++i)
      if (fds[i + 2].revents & POLLIN) Drain(boards_[i]);
    DropStalePartials();
    SettleBursts(false);
    if (fds[1].revents & POLLIN) ReadControl();
    if (fds[0].revents & POLLIN) {
      unsigned char signals[16];
      const ssize_t n = ::read(signal_fd_, signals, sizeof signals);
      for (ssize_t k = 0; k < n; ++k) {
        if (signals[k] == SIGWINCH && view_) view_->Resized();
        if (signals[k] == SIGINT || signals[k] == SIGTERM || signals[k] == SIGHUP) stop_signal = signals[k];
        if (signals[k] == SIGCHLD && child_.running()) child_ended = child_.Reap(&status);
      }
    }
    Render(false);
  }
  for (VirtualBoard& b : boards_)
    if (b.fd >= 0) Drain(b);  // what the command wrote last
  SettleBursts(true);
  Render(true);
  // The whole group ends with us: what the command left running, or all of
  // it when a signal stops us (a closed terminal's SIGHUP like Ctrl-C).
  if (stop_signal != 0) {
    child_.End(stop_signal, kChildGrace, signal_fd_);
    status = 128 + stop_signal;
  } else {
    child_.End(SIGTERM, kChildGrace, signal_fd_);
  }
  if (view_) view_->End();
  running_ = nullptr;
  if (log_ != nullptr && std::fclose(log_) != 0 && !log_failed_) {
    std::fprintf(stderr, "quorel-sim: cannot write the log %s: %s\n", options_.log.c_str(), std::strerror(errno));
    log_failed_ = true;
  }
  log_ = nullptr;
  // A lost log fails the run even when the command succeeded.
  return log_failed_ && status == 0 ? 1 : status;
}

void Simulator::AtExit() {
  if (running_ == nullptr) return;
  // No grace here: the process is already on its way out.
  running_->child_.End(SIGTERM, std::chrono::milliseconds(0), running_->signal_fd_);
  running_->folder_.Remove();
  running_ = nullptr;
}

int Simulator::Timeout() const {
  int timeout = -1;  // idle: sleep until a report, a control line or a signal
  auto consider = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
  for (const VirtualBoard& b : boards_)
    if (b.framer.has_partial()) consider(static_cast<int>(kPartialLimit.count()));
  for (const VirtualBoard& b : boards_)
    if (b.model.holding())
      consider(std::max(0, static_cast<int>(std::ceil((b.model.settle_time() - Seconds(Clock::now())) * 1000))));
  if (view_ && (dirty_ || animating_)) consider(view_->MillisecondsToNextFrame());
  return timeout;
}

int Simulator::Wait(std::vector<pollfd>& fds, int timeout) {
  return view_ ? view_->Wait(fds, timeout) : ::poll(fds.data(), fds.size(), timeout);
}

void Simulator::SettleBursts(bool all) {
  const double now = all ? HUGE_VAL : Seconds(Clock::now());
  for (VirtualBoard& b : boards_)
    if (b.model.Settle(now)) dirty_ = true;
}

void Simulator::Drain(VirtualBoard& board) {
  uint8_t chunk[4096];
  for (size_t taken = 0; taken < kDrainBytes; taken += sizeof chunk) {
    const ssize_t n = ::read(board.fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const auto now = Clock::now();
    board.framer.Feed({chunk, static_cast<size_t>(n)}, [&](std::span<const uint8_t, kReportLength> r) {
      board.model.Receive(r, Seconds(now));
      dirty_ = true;
      std::string bytes;
      char hex[4];
      for (uint8_t b : r) {
        std::snprintf(hex, sizeof hex, " %02x", b);
        bytes += hex;
      }
      Log(board.number, bytes.substr(1), now);
    });
    if (board.framer.has_partial()) board.partial_since = now;
  }
  FlushLog();
}

void Simulator::DropStalePartials() {
  const auto now = Clock::now();
  for (VirtualBoard& b : boards_)
    if (b.framer.has_partial() && now - b.partial_since >= kPartialLimit) b.framer.DropPartial();
}

// One line: microseconds since start (or on the monotonic clock, which the
// steady clock is on Linux), the board, then the report's bytes in hex or
// what happened to the board.
void Simulator::Log(int board, const std::string& what, Clock::time_point when) {
  if (log_ == nullptr) return;
  const auto since = options_.log_monotonic ? when.time_since_epoch() : when - start_;
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
  std::fprintf(log_, "%lld %d %s\n", static_cast<long long>(us), board, what.c_str());
}

// A log that cannot be written is said at once, and the run fails.
void Simulator::FlushLog() {
  if (log_ == nullptr || (std::fflush(log_) == 0 && !std::ferror(log_))) return;
  std::fprintf(stderr, "quorel-sim: cannot write the log %s: %s; no more reports are logged\n",
               options_.log.c_str(), std::strerror(errno));
  std::fclose(log_);
  log_ = nullptr;
  log_failed_ = true;
}

void Simulator::Render(bool force) {
  if (!view_) return;
  animating_ = false;
  for (const VirtualBoard& b : boards_) animating_ = animating_ || Animating(b.model);
  if (!force && !dirty_ && !animating_) return;
  if (!force && view_->MillisecondsToNextFrame() > 0) return;
  std::vector<ViewBoard> shown;
  for (const VirtualBoard& b : boards_) shown.push_back({b.number, &b.model, b.fd < 0});
  view_->Draw(shown, Seconds(Clock::now()));
  dirty_ = false;
}

}  // namespace quorel_sim
