#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

namespace quorel_sim {

namespace {

int StatusOf(int wstatus) { return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus); }

// tcsetpgrp from a background group raises SIGTTOU unless it is blocked.
void SetForeground(pid_t group) {
  sigset_t ttou, saved;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  ::sigprocmask(SIG_BLOCK, &ttou, &saved);
  ::tcsetpgrp(STDIN_FILENO, group);
  ::sigprocmask(SIG_SETMASK, &saved, nullptr);
}

// The guard's whole life, after fork: only calls that are safe there.
[[noreturn]] void Guard(int pipe, pid_t group) {
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGTSTP}) ::signal(s, SIG_IGN);
  // Nothing else of the simulator's is held open by the guard.
  if (pipe > 3) ::close_range(3, static_cast<unsigned>(pipe) - 1, 0);
  ::close_range(static_cast<unsigned>(pipe) + 1, ~0U, 0);
  char done = 0;
  ssize_t n;
  while ((n = ::read(pipe, &done, 1)) < 0 && errno == EINTR) {
  }
  if (n == 0) {
    ::kill(-group, SIGTERM);
    ::kill(-group, SIGCONT);
    for (int i = 0; i < 40 && ::kill(-group, 0) == 0; ++i) ::poll(nullptr, 0, 50);
    ::kill(-group, SIGKILL);
  }
  ::_exit(0);
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) End(SIGTERM, std::chrono::seconds(2), -1);
  ReleaseGuard();
}

// The kernel's parent-death signal reaches the command's first process only,
// not what that started: a simulator killed outright would leave the rest of
// the group running under init.
void ChildProcess::StartGuard() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return;
  const pid_t guard = ::fork();
  if (guard == 0) {
    ::close(ends[1]);
    Guard(ends[0], group_);
  }
  ::close(ends[0]);
  if (guard < 0) {
    ::close(ends[1]);
    return;
  }
  guard_ = guard;
  guard_pipe_ = ends[1];
}

void ChildProcess::ReleaseGuard() {
  if (guard_ < 0) return;
  const char done = 1;
  while (::write(guard_pipe_, &done, 1) < 0 && errno == EINTR) {
  }
  ::close(guard_pipe_);
  while (::waitpid(guard_, nullptr, 0) < 0 && errno == EINTR) {
  }
  guard_ = guard_pipe_ = -1;
}

bool ChildProcess::Start(const std::vector<char*>& command, const Environment& environment) {
  // The terminal goes to the child only when the simulator had it.
  const bool own_terminal = ::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    std::fprintf(stderr, "quorel-sim: cannot start the command: %s\n", std::strerror(errno));
    return false;
  }
  if (pid == 0) {
    // A simulator killed outright (SIGKILL) cannot end the command itself:
    // the kernel sends it SIGTERM instead. It may have died before this.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) std::_Exit(128 + SIGTERM);
    ::setpgid(0, 0);
    if (own_terminal) SetForeground(::getpid());  // before exec: it may read the terminal at once
    for (int s : {SIGPIPE, SIGTTOU, SIGINT, SIGTERM, SIGHUP, SIGCHLD, SIGWINCH}) ::signal(s, SIG_DFL);
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv = command;
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "quorel-sim: cannot run %s: %s\n", argv[0], std::strerror(errno));
    std::_Exit(127);
  }
  // Both sides set the group, so neither waits on the other.
  ::setpgid(pid, pid);
  pid_ = group_ = pid;
  StartGuard();
  if (own_terminal) {
    SetForeground(pid);
    took_terminal_ = true;
  }
  return true;
}

bool ChildProcess::Reap(int* status) {
  if (pid_ > 0) {
    int wstatus = 0;
    pid_t r;
    while ((r = ::waitpid(pid_, &wstatus, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (r == 0) return false;
    status_ = r == pid_ ? StatusOf(wstatus) : 1;
    pid_ = -1;
  }
  *status = status_;
  return true;
}

int ChildProcess::End(int signal, std::chrono::milliseconds grace, int wake_fd) {
  using Clock = std::chrono::steady_clock;
  if (group_ > 0) {
    ::kill(-group_, signal);
    ::kill(-group_, SIGCONT);
    const Clock::time_point deadline = Clock::now() + grace;
    auto left_ms = [&] {
      return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
    };
    // The child first: SIGCHLD makes wake_fd readable when it ends.
    int status = 0;
    while (!Reap(&status) && left_ms() > 0) {
      pollfd p{wake_fd, POLLIN, 0};
      if (wake_fd < 0) {
        ::poll(nullptr, 0, std::min(left_ms(), 50));
      } else if (::poll(&p, 1, left_ms()) > 0) {
        char drain[64];
        while (::read(wake_fd, drain, sizeof drain) > 0) {
        }
      }
    }
    // Then the rest of the group, which are not our children to wait for.
    while (::kill(-group_, 0) == 0 && left_ms() > 0) ::poll(nullptr, 0, std::min(left_ms(), 20));
    // Whatever is left of the group, the child included, ends now.
    ::kill(-group_, SIGKILL);
    if (pid_ > 0) {
      int wstatus = 0;
      while (::waitpid(pid_, &wstatus, 0) < 0 && errno == EINTR) {
      }
      status_ = StatusOf(wstatus);
      pid_ = -1;
    }
    group_ = -1;
    ReleaseGuard();
  }
  RestoreTerminal();
  return status_;
}

void ChildProcess::RestoreTerminal() {
  if (!took_terminal_) return;
  took_terminal_ = false;
  SetForeground(::getpgrp());
}

}  // namespace quorel_sim
