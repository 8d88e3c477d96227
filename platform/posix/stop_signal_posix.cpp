#include "platform/stop_signal.h"

#include <pthread.h>
#include <signal.h>

namespace platform {

namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void HoldStopSignals() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int WaitForStopSignal() {
  const sigset_t set = StopSignals();
  int signal = 0;
  // sigwait fails only for an invalid set; EINTR is not among its errors.
  while (sigwait(&set, &signal) != 0) {
  }
  return signal;
}

}  // namespace platform
