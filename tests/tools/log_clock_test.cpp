// The simulator's log clock: with --log-clock monotonic the first column is
// CLOCK_MONOTONIC at the report's arrival, so that other programs' monotonic
// times can be laid beside it. The command waits before it sends, so a clock
// that counted from the start, or stamped the start, would fall short.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr long long kWaitMicroseconds = 200000;  // the command's sleep before it sends

long long MonotonicMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

// Runs the program with its arguments; its exit status, standard error into `err`.
int RunProgram(std::vector<std::string> args, std::string* err) {
  char err_path[] = "/tmp/log-clock-err-XXXXXX";
  const int err_fd = mkstemp(err_path);
  if (err_fd < 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(err_fd, STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = -1;
  if (child > 0) waitpid(child, &status, 0);
  close(err_fd);
  std::ifstream in(err_path);
  std::ostringstream text;
  text << in.rdbuf();
  *err = text.str();
  unlink(err_path);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first column of each line of the log.
std::vector<long long> Stamps(const std::string& log) {
  std::vector<long long> stamps;
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) stamps.push_back(std::atoll(line.c_str()));
  return stamps;
}

class LogClockTest : public ::testing::Test {
 protected:
  // Runs the simulator with board 1 and a command that sends one command
  // after the wait; the stamps of the log, and the clock readings around it.
  std::vector<long long> RunShow(const std::vector<std::string>& clock) {
    std::vector<std::string> args = {QUOREL_SIM, "--boards", "1", "--view", "none", "--log", log_};
    args.insert(args.end(), clock.begin(), clock.end());
    args.insert(args.end(), {"--", "/bin/sh", "-c", "sleep 0.2; exec \"$0\" send --fast 1 SBA:1,2,3,4,5", QUOREL});
    std::string err;
    before_ = MonotonicMicroseconds();
    EXPECT_EQ(RunProgram(args, &err), 0) << err;
    after_ = MonotonicMicroseconds();
    return Stamps(log_);
  }

  void TearDown() override { unlink(log_.c_str()); }

  std::string log_ = "/tmp/log-clock-" + std::to_string(getpid()) + ".log";
  long long before_ = 0, after_ = 0;
};

TEST_F(LogClockTest, MonotonicStampsLieBetweenReadingsTakenAroundTheRun) {
  const std::vector<long long> stamps = RunShow({"--log-clock", "monotonic"});
  ASSERT_GE(stamps.size(), 2u);  // the start-up defaults and the command
  for (long long s : stamps) {
    EXPECT_GE(s, before_ + kWaitMicroseconds);
    EXPECT_LE(s, after_);
  }
}

TEST_F(LogClockTest, StartStampsCountFromTheStartAsWithoutTheOption) {
  for (const std::vector<std::string>& clock : {std::vector<std::string>{"--log-clock", "start"}, {}}) {
    const std::vector<long long> stamps = RunShow(clock);
    ASSERT_GE(stamps.size(), 2u);
    for (long long s : stamps) {
      EXPECT_GE(s, kWaitMicroseconds);
      EXPECT_LE(s, after_ - before_);
    }
  }
}

TEST_F(LogClockTest, OtherClocksAreRefusedWithTheUsage) {
  for (const char* value : {"realtime", "", "Monotonic"}) {
    std::string err;
    EXPECT_EQ(RunProgram({QUOREL_SIM, "--boards", "1", "--log-clock", value, "--", "/bin/true"}, &err), 2) << value;
    EXPECT_NE(err.find("--log-clock is start or monotonic"), std::string::npos) << err;
    EXPECT_NE(err.find("usage: quorel-sim"), std::string::npos) << err;
  }
}

}  // namespace
