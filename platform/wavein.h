// Wave input: sound-input devices numbered from 0, each with a name and a
// format bit, opened in the one format the capture uses (11025 Hz, stereo,
// 8-bit unsigned) and fed with buffers whose done flag the service sets when
// the buffer is full or when a reset returns it.
//
// Devices are the union of the backends of this build, in this order: the
// system's wave-input devices (Windows), the sound server (monitors of
// outputs first), PortAudio (ALSA, JACK), and the audio file named by
// SONOVAR_INPUT_FILE (Linux).
//
// Threads: all calls come from the owner's thread. The service fills buffers
// on threads of its own; the done flag and the byte count of a header are
// atomics that the owner may poll, and the wake-up callback tells the owner
// when a buffer became done so that it can sleep meanwhile.
//
// Play times: a monitor of an output gets sound before the speaker plays it
// (by the output's latency, hundreds of milliseconds on wireless speakers);
// a done buffer says when its sound is heard, where the backend knows.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Format bit: 11.025 kHz, stereo, 8-bit.
inline constexpr uint32_t kWaveFormat11kStereo8 = 2;

struct WaveInCaps {
  std::string name;
  uint32_t formats = 0;  // kWaveFormat11kStereo8 when the device can deliver it
  // The device that -1 opens now, so that a list can say what "the default" is.
  bool is_default = false;
};

struct WaveFormat {
  uint16_t channels = 2;
  uint32_t samples_per_second = 11025;
  uint16_t bits_per_sample = 8;
};

// Flags of a buffer header.
inline constexpr uint32_t kWaveHeaderDone = 1;
inline constexpr uint32_t kWaveHeaderPrepared = 2;
inline constexpr uint32_t kWaveHeaderInQueue = 16;

// No play time: the input is not an output's monitor, or the server has not
// said yet.
inline constexpr int64_t kPlayTimeUnknown = INT64_MIN;

// Bytes a second of the one format (11025 Hz, stereo, 8-bit).
inline constexpr int64_t kWaveBytesPerSecond = 22050;
// No output plays later than this (a server's longest latency is 2 s): a
// play time further ahead is not believed, and no more sound is held for it.
inline constexpr int64_t kLongestPlayAheadUs = 4000000;

// The clock of play times: the steady clock in microseconds.
inline int64_t SteadyMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct WaveHeader {
  uint8_t* data = nullptr;
  uint32_t buffer_length = 0;
  std::atomic<uint32_t> bytes_recorded{0};  // written by the service while queued
  std::atomic<uint32_t> flags{0};           // kWaveHeader...; done is set by the service
  // When the buffer's last frame reaches the listener (steady clock,
  // microseconds), or kPlayTimeUnknown; set before the done flag.
  int64_t played_at_us = kPlayTimeUnknown;
};

// 0 = no device open.
using WaveInHandle = uint64_t;

// Results: 0 success, else one of these.
inline constexpr int kWaveErrorBadDevice = 2;    // no such device number
inline constexpr int kWaveErrorInvalidHandle = 5;
inline constexpr int kWaveErrorBadFormat = 32;   // the device cannot deliver the format
inline constexpr int kWaveErrorOpenFailed = 4;   // the backend could not open it
inline constexpr int kWaveErrorUnprepared = 34;
inline constexpr int kWaveErrorStillPlaying = 33;  // header still queued

class WaveIn {
 public:
  // Called on a service thread each time a buffer becomes done. It must not
  // call back into the service; posting a wake-up to the owner is its job.
  using DoneCallback = std::function<void()>;

  virtual ~WaveIn() = default;

  // Lists the devices anew; numbers refer to the latest listing.
  virtual unsigned GetNumDevs() = 0;
  virtual int GetDevCaps(unsigned device, WaveInCaps* caps) = 0;
  // device -1 is the system's default input. *handle stays 0 on failure.
  virtual int Open(WaveInHandle* handle, int device, const WaveFormat& format, DoneCallback on_done = {}) = 0;
  virtual int Start(WaveInHandle handle) = 0;
  virtual int PrepareHeader(WaveInHandle handle, WaveHeader* header) = 0;
  // Queues the buffer and clears its done flag.
  virtual int AddBuffer(WaveInHandle handle, WaveHeader* header) = 0;
  virtual int UnprepareHeader(WaveInHandle handle, WaveHeader* header) = 0;
  // Stops recording; every queued buffer comes back marked done.
  virtual int Reset(WaveInHandle handle) = 0;
  virtual int Close(WaveInHandle handle) = 0;

  // Frames that arrived while no buffer was queued, since the open.
  virtual uint64_t DroppedFrames(WaveInHandle handle) = 0;
};

// The service of this build, over all its backends. Lives for the process.
WaveIn& SystemWaveIn();

}  // namespace platform
