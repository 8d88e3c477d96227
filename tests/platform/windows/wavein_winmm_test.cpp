// The wave-input service of the Windows build over the system's wave-input
// devices. Under wine with a private sound server (scripts/test-windows.sh)
// the server's null sink gives silence at real time; without one the list
// is empty and the capture test is skipped.
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/wavein.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

TEST(WinmmWaveInTest, ListsTheSystemDevicesWithTheirFormatBit) {
  WaveIn& service = SystemWaveIn();
  const unsigned count = service.GetNumDevs();
  EXPECT_EQ(count, waveInGetNumDevs());
  for (unsigned d = 0; d < count; ++d) {
    WaveInCaps caps;
    ASSERT_EQ(service.GetDevCaps(d, &caps), 0);
    WAVEINCAPSA system{};
    ASSERT_EQ(waveInGetDevCapsA(d, &system, sizeof system), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.name, std::string(system.szPname)) << "plain ASCII names pass unchanged";
    EXPECT_EQ(caps.formats & kWaveFormat11kStereo8, system.dwFormats & WAVE_FORMAT_1S08);
    std::printf("wave input %u: \"%s\"%s\n", d, caps.name.c_str(),
                caps.formats & kWaveFormat11kStereo8 ? "" : " (no 11.025 kHz stereo 8-bit)");
  }
}

class Capture {
 public:
  explicit Capture(int device) {
    result = SystemWaveIn().Open(&handle, device, WaveFormat{}, [this] {
      std::lock_guard lock(mutex_);
      ++wakeups_;
      woken_.notify_all();
    });
  }
  ~Capture() {
    if (handle != 0) SystemWaveIn().Close(handle);
  }

  // Queues the buffer and sleeps until the service says it is done.
  bool Fill(WaveHeader& header) {
    WaveIn& service = SystemWaveIn();
    if (service.PrepareHeader(handle, &header) != 0 || service.AddBuffer(handle, &header) != 0) return false;
    std::unique_lock lock(mutex_);
    const bool done = woken_.wait_for(lock, 10s, [&] { return (header.flags.load() & kWaveHeaderDone) != 0; });
    lock.unlock();
    if (!done) service.Reset(handle);
    service.UnprepareHeader(handle, &header);
    return done;
  }

  int wakeups() {
    std::lock_guard lock(mutex_);
    return wakeups_;
  }

  WaveInHandle handle = 0;
  int result = -1;

 private:
  std::mutex mutex_;  // guards wakeups_; pairs with woken_
  std::condition_variable woken_;
  int wakeups_ = 0;
};

std::optional<int> FirstUsableDevice() {
  WaveIn& service = SystemWaveIn();
  const unsigned count = service.GetNumDevs();
  for (unsigned d = 0; d < count; ++d) {
    WaveInCaps caps;
    if (service.GetDevCaps(d, &caps) == 0 && (caps.formats & kWaveFormat11kStereo8)) return static_cast<int>(d);
  }
  return std::nullopt;
}

TEST(WinmmWaveInTest, CapturesWholeBuffersWokenByTheSystem) {
  const std::optional<int> device = FirstUsableDevice();
  if (!device) GTEST_SKIP() << "no wave-input device with 11.025 kHz stereo 8-bit (no sound server)";
  std::vector<uint8_t> buffer(512, 0x55);
  {
    Capture capture(*device);
    ASSERT_EQ(capture.result, 0);
    ASSERT_NE(capture.handle, 0u);
    ASSERT_EQ(SystemWaveIn().Start(capture.handle), 0);
    for (int k = 0; k < 3; ++k) {
      WaveHeader header;
      header.data = buffer.data();
      header.buffer_length = 512;
      ASSERT_TRUE(capture.Fill(header)) << "buffer " << k << " never came back";
      EXPECT_EQ(header.bytes_recorded.load(), 512u);
      // The null sink plays nothing: unsigned 8-bit silence.
      EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 128), 512) << "buffer " << k;
      std::fill(buffer.begin(), buffer.end(), 0x55);
    }
    EXPECT_GE(capture.wakeups(), 3);

    // A buffer still queued comes back done from a reset.
    WaveHeader queued;
    queued.data = buffer.data();
    queued.buffer_length = 512;
    ASSERT_EQ(SystemWaveIn().PrepareHeader(capture.handle, &queued), 0);
    ASSERT_EQ(SystemWaveIn().AddBuffer(capture.handle, &queued), 0);
    ASSERT_EQ(SystemWaveIn().Reset(capture.handle), 0);
    EXPECT_NE(queued.flags.load() & kWaveHeaderDone, 0u);
  }
  // Closed, the device is free for the next capture.
  Capture again(*device);
  ASSERT_EQ(again.result, 0);
  ASSERT_EQ(SystemWaveIn().Start(again.handle), 0);
  WaveHeader header;
  header.data = buffer.data();
  header.buffer_length = 512;
  EXPECT_TRUE(again.Fill(header));
}

}  // namespace
}  // namespace platform
