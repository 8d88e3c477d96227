// What each wave-input backend provides to the service: a device list and a
// stream that pushes captured bytes (11025 Hz, stereo, unsigned 8-bit) to a
// sink from a thread of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wavein.h"

namespace platform {

struct BackendDevice {
  std::string name;
  bool format_ok = false;  // can deliver 11025 Hz stereo 8-bit
  bool is_default = false; // the system's default input, for device -1
  std::string id;          // the backend's own name for it
  // An output's monitor: what the computer plays, handed over before the
  // speaker plays it; the backend gives play times where it can.
  bool monitor = false;
};

class CaptureSink {
 public:
  virtual ~CaptureSink() = default;
  // Whole frames (2 bytes each) in capture order; any thread. `played_at_us`
  // is when the last of them reaches the listener (steady clock,
  // microseconds), for a backend that knows it: a monitor of an output,
  // whose sound the server hands over before the speaker plays it.
  virtual void Deliver(const uint8_t* bytes, size_t size, int64_t played_at_us = kPlayTimeUnknown) = 0;
};

class BackendStream {
 public:
  virtual ~BackendStream() = default;  // stops first
  virtual bool Start() = 0;
  virtual void Stop() = 0;  // no Deliver call runs or follows once this returns
};

class WaveInBackend {
 public:
  virtual ~WaveInBackend() = default;
  virtual std::vector<BackendDevice> List() = 0;
  // Null when the device cannot be opened.
  virtual std::unique_ptr<BackendStream> Open(const BackendDevice& device, CaptureSink& sink) = 0;
};

// The backends of this build, in listing order; each is null when its library
// was not built in.
std::unique_ptr<WaveInBackend> MakeWinmmBackend();
std::unique_ptr<WaveInBackend> MakePulseBackend();
std::unique_ptr<WaveInBackend> MakePortAudioBackend();
std::unique_ptr<WaveInBackend> MakeFileBackend();

// A service over the given backends (tests build one over fakes).
std::unique_ptr<class WaveIn> MakeWaveIn(std::vector<std::unique_ptr<WaveInBackend>> backends);

}  // namespace platform
