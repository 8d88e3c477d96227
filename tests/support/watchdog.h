// Hang detection for calls that must return: a call still running after a
// generous limit ends the test process with a message, instead of letting
// the test run stall until the harness kills it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace testing_support {

template <typename Body>
void MustReturnWithin(std::chrono::seconds limit, const char* what, Body&& body) {
  std::mutex mutex;  // guards done; pairs with returned
  std::condition_variable returned;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    if (!returned.wait_for(lock, limit, [&] { return done; })) {
      std::fprintf(stderr, "HANG: %s did not return within %lld s\n", what, static_cast<long long>(limit.count()));
      std::fflush(stderr);
      std::_Exit(3);
    }
  });
  body();
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  returned.notify_one();
  watchdog.join();
}

}  // namespace testing_support
