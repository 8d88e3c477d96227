// What one wake-up of a bare thread costs the thread woken, by how it is
// woken: by its own timer (as the show's thread sleeps until a buffer's
// writes are due), by another thread (as the sound input wakes the show, or
// the show the window), and by its own timer with four writes to pipes that
// another thread reads (four boards). The floor under the show's share: it
// wakes once for each buffer's writes, 43 times a second.
//
//   thread_wake [WAKES]   (430 by default: ten seconds of buffers)
#include <poll.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

constexpr auto kBufferPeriod = std::chrono::microseconds(23220);

double ThreadMicros() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// Sleeps until each buffer's deadline on a condition variable, as the show
// does, and runs `at_wake` at each; microseconds of this thread per wake.
template <typename AtWake>
double TimerWakes(int wakes, AtWake at_wake) {
  std::mutex mutex;
  std::condition_variable cv;
  auto due = std::chrono::steady_clock::now();
  const double start = ThreadMicros();
  for (int i = 0; i < wakes; ++i) {
    due += kBufferPeriod;
    std::unique_lock lock(mutex);
    cv.wait_until(lock, due, [] { return false; });
    lock.unlock();
    at_wake();
  }
  return (ThreadMicros() - start) / wakes;
}

// A thread woken by another that sleeps on its own timer: the woken one's
// microseconds per wake, then the waker's.
std::array<double, 2> NotifiedWakes(int wakes) {
  std::mutex mutex;
  std::condition_variable cv;
  int pending = 0;  // guarded by mutex
  double woken_us = 0;
  std::thread woken([&] {
    const double start = ThreadMicros();
    for (int i = 0; i < wakes; ++i) {
      std::unique_lock lock(mutex);
      cv.wait(lock, [&] { return pending > 0; });
      --pending;
    }
    woken_us = (ThreadMicros() - start) / wakes;
  });
  const double waker_us = TimerWakes(wakes, [&] {
    {
      std::lock_guard lock(mutex);
      ++pending;
    }
    cv.notify_one();
  });
  woken.join();
  return {woken_us, waker_us};
}

}  // namespace

int main(int argc, char** argv) {
  const int wakes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 430;
  std::printf("thread_wake: %d wake-ups, one every %.2f ms\n", wakes, kBufferPeriod.count() / 1e3);
  std::printf("own timer               %7.1f us a wake-up\n", TimerWakes(wakes, [] {}));
  const auto notified = NotifiedWakes(wakes);
  std::printf("woken by another thread %7.1f us a wake-up (the waker, on its timer: %.1f)\n", notified[0],
              notified[1]);

  // Four "boards": a pipe each, drained by one reader that polls them all,
  // as the simulator reads its FIFOs. A report is 65 bytes, four a write.
  std::array<std::array<int, 2>, 4> pipes{};
  for (auto& p : pipes)
    if (::pipe(p.data()) != 0) return 1;
  std::thread reader([&] {
    std::array<pollfd, 4> fds{};
    for (size_t i = 0; i < fds.size(); ++i) fds[i] = {pipes[i][0], POLLIN, 0};
    char chunk[4096];
    for (;;) {
      if (::poll(fds.data(), fds.size(), -1) < 0) return;
      for (const pollfd& fd : fds) {
        if ((fd.revents & POLLHUP) != 0) return;
        if ((fd.revents & POLLIN) != 0 && ::read(fd.fd, chunk, sizeof chunk) <= 0) return;
      }
    }
  });
  std::array<char, 65> report{};
  const double with_writes = TimerWakes(wakes, [&] {
    std::array<iovec, 4> reports{};
    for (iovec& r : reports) r = {report.data(), report.size()};
    for (auto& p : pipes)
      if (::writev(p[1], reports.data(), reports.size()) < 0) std::perror("writev");
  });
  std::printf("own timer, four writes  %7.1f us a wake-up\n", with_writes);
  for (auto& p : pipes) ::close(p[1]);
  reader.join();
  for (auto& p : pipes) ::close(p[0]);
  return 0;
}
