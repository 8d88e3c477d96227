// The capture session: the usable input devices, the open device and its one
// 512-byte buffer, cycled through the device by CaptureLoop. The loop runs
// on the owner's thread and gives the owner's events their turn while it
// waits, through the two functions the owner passes in.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/wavein.h"
#include "sonovar/capture/level_analysis.h"

namespace sonovar {

struct InputDevice {
  std::string name;
  int device = 0;  // the service's device number
  bool is_default = false;  // what -1 opens now
};

class CaptureSession {
 public:
  // Runs pending events, sleeping while there are none, until `done` holds.
  using WaitFunction = std::function<void(const std::function<bool()>& done)>;
  // Runs the events that are pending now, once.
  using YieldFunction = std::function<void()>;
  // A full buffer, and when its last frame is heard (steady clock,
  // microseconds; platform::kPlayTimeUnknown for a live input).
  using BufferFunction = std::function<void(std::span<const uint8_t, kCaptureBufferBytes>, int64_t played_at_us)>;

  explicit CaptureSession(platform::WaveIn& wave) : wave_(wave) {}
  ~CaptureSession() { Stop(); }
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // The devices that can deliver 11025 Hz stereo 8-bit, in the service's order.
  std::vector<InputDevice> ListInputDevices();

  // Opens `device` (-1: the system's default input). `wake` is called from
  // the service's thread whenever the buffer becomes done. True when
  // CaptureHandle is then nonzero; else `error`, when given, gets the
  // service's result (platform::kWaveError...).
  bool Open(int device, std::function<void()> wake, int* error = nullptr);
  void Start();

  // Cycles the buffer until CaptureHandle is 0: queue it, wait for it (or
  // for a stop), hand it to `on_buffer`, yield once, again.
  void CaptureLoop(const WaitFunction& wait, const YieldFunction& yield, const BufferFunction& on_buffer);

  // Reset, close, CaptureHandle := 0. Harmless with no device open.
  void Stop();

  platform::WaveInHandle CaptureHandle = 0;
  std::array<uint8_t, kCaptureBufferBytes> CaptureBuffer{};

  uint64_t DroppedFrames() { return CaptureHandle != 0 ? wave_.DroppedFrames(CaptureHandle) : 0; }

 private:
  platform::WaveIn& wave_;
};

}  // namespace sonovar
