// A main loop for the sound-server client library, run on one thread of its
// own, for a capture stream.
//
// The library's own loops write to a wake-up pipe whenever the library
// changes what it waits for, even from the loop's own thread: twice for
// every piece of sound the server sends, each write then read back after a
// wasted poll. With pieces every 3 ms that was two fifths of the capture
// thread's system calls. This loop wakes itself only when another thread
// changes it.
//
// Threads: the loop runs its events with mutex() held and gives it up while
// it sleeps. Another thread calls into the library (or into this loop) only
// with mutex() held; the loop then picks the change up at once.
#pragma once

#include <poll.h>
#include <pulse/mainloop-api.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class PulseLoop {
 public:
  using Clock = std::chrono::steady_clock;

  PulseLoop();
  ~PulseLoop();  // stops the thread, then frees what the library left
  PulseLoop(const PulseLoop&) = delete;
  PulseLoop& operator=(const PulseLoop&) = delete;

  pa_mainloop_api* api() { return &api_; }
  std::mutex& mutex() { return mutex_; }

  // Starts the loop's thread; false when the system refuses it.
  bool Start(const char* thread_name);
  // Ends the thread and waits for it. Without mutex() held.
  void Stop();

 private:
  void Run();
  void RunOnce(std::unique_lock<std::mutex>& lock);
  // With mutex_ held, from any thread: the loop must look at its events again.
  void Changed();
  Clock::time_point NextTimer() const;
  void Sweep();

  friend struct LoopCalls;

  pa_mainloop_api api_{};
  int wake_fd_ = -1;  // an eventfd: another thread changed the events while the loop polls

  // Guards everything below once the thread runs; the loop's thread holds
  // it but while it polls.
  std::mutex mutex_;
  std::thread thread_;
  std::thread::id loop_thread_;
  bool polling_ = false;  // the loop's thread is in poll() without the lock
  bool quit_ = false;
  std::vector<std::unique_ptr<pa_io_event>> ios_;
  std::vector<std::unique_ptr<pa_time_event>> timers_;
  std::vector<std::unique_ptr<pa_defer_event>> defers_;
  bool dead_ = false;  // some event was freed: sweep after this round
  std::vector<pollfd> poll_fds_;            // the loop's thread only
  std::vector<pa_io_event*> poll_owners_;   // the event of each but the first
};

}  // namespace platform
