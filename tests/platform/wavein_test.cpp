// The wave-input service over a scripted backend: numbering, the handle
// rules, done flags, reset, dropped frames and the wake-up.
#include "platform/wavein.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "platform/wavein_backend.h"
#include "support/scripted_wave.h"

namespace platform {
namespace {

using testing_support::ScriptedBackend;

class WaveInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<ScriptedBackend>();
    backend_ = backend.get();
    backend_->devices = {{"Line In (8-bit not possible)", false, false, "a"},
                         {"Monitor of Speakers", true, false, "b"},
                         {"Microphone", true, true, "c"}};
    std::vector<std::unique_ptr<WaveInBackend>> list;
    list.push_back(nullptr);  // a backend this build does not have
    list.push_back(std::move(backend));
    service_ = MakeWaveIn(std::move(list));
  }

  WaveInHandle OpenDevice(int device) {
    WaveInHandle handle = 0;
    EXPECT_EQ(service_->Open(&handle, device, WaveFormat{}, [this] { ++wakeups_; }), 0);
    EXPECT_NE(handle, 0u);
    return handle;
  }

  ScriptedBackend* backend_;
  std::unique_ptr<WaveIn> service_;
  std::atomic<int> wakeups_{0};
};

TEST_F(WaveInTest, ListsDevicesWithNameAndFormatBit) {
  ASSERT_EQ(service_->GetNumDevs(), 3u);
  WaveInCaps caps;
  ASSERT_EQ(service_->GetDevCaps(0, &caps), 0);
  EXPECT_EQ(caps.name, "Line In (8-bit not possible)");
  EXPECT_EQ(caps.formats & kWaveFormat11kStereo8, 0u);
  ASSERT_EQ(service_->GetDevCaps(1, &caps), 0);
  EXPECT_EQ(caps.formats & kWaveFormat11kStereo8, kWaveFormat11kStereo8);
  EXPECT_EQ(service_->GetDevCaps(3, &caps), kWaveErrorBadDevice);
}

TEST_F(WaveInTest, NoBackendAndNoDeviceListNothing) {
  auto empty = MakeWaveIn({});
  EXPECT_EQ(empty->GetNumDevs(), 0u);
  WaveInHandle handle = 0;
  EXPECT_NE(empty->Open(&handle, -1, WaveFormat{}), 0);
  EXPECT_EQ(handle, 0u);
}

struct OpenCase {
  const char* name;
  int device;
  bool backend_opens;
  int result;
  const char* opened;  // backend id opened, "" for none
};

class OpenTest : public WaveInTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenTest, HandleIsZeroAfterAFailedOpen) {
  const OpenCase& c = GetParam();
  backend_->open_ok = c.backend_opens;
  service_->GetNumDevs();
  WaveInHandle handle = 0;
  EXPECT_EQ(service_->Open(&handle, c.device, WaveFormat{}), c.result);
  EXPECT_EQ(handle != 0, c.result == 0);
  EXPECT_EQ(backend_->opened.empty() ? std::string() : backend_->opened.back(), c.opened);
  if (handle != 0) {
    EXPECT_EQ(service_->Close(handle), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Devices, OpenTest,
    ::testing::Values(OpenCase{"Usable", 1, true, 0, "b"},
                      OpenCase{"DefaultIsTheMarkedOne", -1, true, 0, "c"},
                      OpenCase{"WithoutTheFormat", 0, true, kWaveErrorBadFormat, ""},
                      OpenCase{"PastTheList", 3, true, kWaveErrorBadDevice, ""},
                      OpenCase{"Negative", -2, true, kWaveErrorBadDevice, ""},
                      OpenCase{"BackendRefuses", 1, false, kWaveErrorOpenFailed, "b"}),
    [](const auto& info) { return std::string(info.param.name); });

// The caps name the device that -1 opens, so that a list can show it.
TEST_F(WaveInTest, CapsMarkTheDeviceThatMinusOneOpens) {
  const struct {
    bool marked_usable, marked_unusable;  // "Microphone" and "Line In" marked as the system's default
    unsigned expected;
  } rows[] = {{true, false, 2}, {false, false, 1}, {false, true, 1}};
  for (const auto& row : rows) {
    backend_->devices[2].is_default = row.marked_usable;
    backend_->devices[0].is_default = row.marked_unusable;
    const unsigned count = service_->GetNumDevs();
    for (unsigned d = 0; d < count; ++d) {
      WaveInCaps caps;
      ASSERT_EQ(service_->GetDevCaps(d, &caps), 0);
      EXPECT_EQ(caps.is_default, d == row.expected) << caps.name;
    }
    WaveInHandle handle = 0;
    ASSERT_EQ(service_->Open(&handle, -1, WaveFormat{}), 0);
    EXPECT_EQ(backend_->opened.back(), backend_->devices[row.expected].id);
    service_->Close(handle);
  }
}

TEST_F(WaveInTest, OtherFormatsAreRefused) {
  WaveInHandle handle = 0;
  WaveFormat mono;
  mono.channels = 1;
  EXPECT_EQ(service_->Open(&handle, 1, mono), kWaveErrorBadFormat);
  EXPECT_EQ(handle, 0u);
}

TEST_F(WaveInTest, BufferIsDoneWhenFullAndWakesTheOwner) {
  WaveInHandle h = OpenDevice(1);
  uint8_t data[8] = {};
  WaveHeader header;
  header.data = data;
  header.buffer_length = sizeof data;
  ASSERT_EQ(service_->PrepareHeader(h, &header), 0);
  ASSERT_EQ(service_->AddBuffer(h, &header), 0);
  ASSERT_EQ(service_->Start(h), 0);
  backend_->Deliver({1, 2, 3, 4, 5, 6});
  EXPECT_FALSE(header.flags & kWaveHeaderDone);
  EXPECT_EQ(header.bytes_recorded, 6u);
  EXPECT_EQ(service_->UnprepareHeader(h, &header), kWaveErrorStillPlaying);
  backend_->Deliver({7, 8, 9, 10});  // 9, 10 arrive with no buffer queued: held for the next one
  EXPECT_TRUE(header.flags & kWaveHeaderDone);
  EXPECT_EQ(wakeups_, 1);
  EXPECT_EQ(std::vector<uint8_t>(data, data + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(service_->DroppedFrames(h), 0u);
  EXPECT_EQ(service_->UnprepareHeader(h, &header), 0);

  // Queued again: the done flag is cleared and the buffer starts with what was held.
  ASSERT_EQ(service_->PrepareHeader(h, &header), 0);
  ASSERT_EQ(service_->AddBuffer(h, &header), 0);
  EXPECT_FALSE(header.flags & kWaveHeaderDone);
  EXPECT_EQ(header.bytes_recorded, 2u);
  backend_->Deliver({20, 21, 22, 23, 24, 25, 26, 27});
  EXPECT_TRUE(header.flags & kWaveHeaderDone);
  EXPECT_EQ(std::vector<uint8_t>(data, data + 8), (std::vector<uint8_t>{9, 10, 20, 21, 22, 23, 24, 25}));
  EXPECT_EQ(wakeups_, 2);

  // With none queued, what arrives is held: as many buffers as the largest
  // delivery (all that arrived between two queuings, here 8 + 10 + 6 bytes)
  // can fill. Beyond that the oldest frames are dropped and counted.
  backend_->Deliver({30, 31, 32, 33, 34, 35, 36, 37, 38, 39});
  backend_->Deliver({40, 41, 42, 43, 44, 45});
  EXPECT_EQ(service_->DroppedFrames(h), 0u);
  auto requeue = [&](const std::vector<uint8_t>& want) {
    service_->UnprepareHeader(h, &header);
    service_->PrepareHeader(h, &header);
    service_->AddBuffer(h, &header);
    EXPECT_TRUE(header.flags & kWaveHeaderDone);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 8), want);
  };
  requeue({26, 27, 30, 31, 32, 33, 34, 35});
  // 10 bytes still held, 16 more: 26 bytes where three buffers (24) fit.
  backend_->Deliver({50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65});
  EXPECT_EQ(service_->DroppedFrames(h), 1u) << "36, 37 go";
  requeue({38, 39, 40, 41, 42, 43, 44, 45});
  requeue({50, 51, 52, 53, 54, 55, 56, 57});
  EXPECT_EQ(wakeups_, 5);
  EXPECT_EQ(service_->Close(h), 0);
}

// A sound server asked for a longer latency (PULSE_LATENCY_MSEC=93 or 200)
// hands over several buffers at once, sometimes several pieces back to back:
// an owner that queues its one buffer again as soon as it is done gets every
// frame, in order. A monitor of an output hands over pieces of the output's
// size (up to 2 s) with the time the last frame is heard: each buffer then
// says when its own last frame is heard.
struct Delivery {
  size_t piece;   // bytes
  int in_a_row;   // pieces before the owner gets its turn
};

class LargeDeliveryTest : public WaveInTest, public ::testing::WithParamInterface<Delivery> {};

TEST_P(LargeDeliveryTest, LosesNoBuffer) {
  const size_t piece = GetParam().piece;
  WaveInHandle h = OpenDevice(1);
  uint8_t data[512];
  WaveHeader header;
  header.data = data;
  header.buffer_length = sizeof data;
  service_->PrepareHeader(h, &header);
  service_->AddBuffer(h, &header);
  service_->Start(h);
  std::vector<uint8_t> sent, got;
  // Heard from a second from now, at the frame's place in the sound.
  const int64_t start = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now().time_since_epoch()).count() + 1000000;
  auto heard_at = [start](size_t end) { return start + static_cast<int64_t>(end * 1000000 / 22050); };
  for (int n = 0; n < 20; ++n) {
    std::vector<uint8_t> bytes(piece);  // each byte tells its place in the sound
    for (size_t i = 0; i < piece; ++i) bytes[i] = static_cast<uint8_t>((sent.size() + i) % 251);
    sent.insert(sent.end(), bytes.begin(), bytes.end());
    backend_->Deliver(bytes, heard_at(sent.size()));
    if ((n + 1) % GetParam().in_a_row != 0 && n + 1 < 20) continue;
    while (header.flags & kWaveHeaderDone) {
      got.insert(got.end(), data, data + sizeof data);
      ASSERT_NEAR(header.played_at_us, heard_at(got.size()), 1) << "buffer " << got.size() / sizeof data;
      service_->UnprepareHeader(h, &header);
      service_->PrepareHeader(h, &header);
      service_->AddBuffer(h, &header);
    }
  }
  EXPECT_EQ(service_->DroppedFrames(h), 0u);
  ASSERT_EQ(got.size(), sent.size() / sizeof data * sizeof data);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), sent.begin()));
  EXPECT_EQ(wakeups_, static_cast<int>(got.size() / sizeof data));
  service_->Close(h);
}

// 11025 Hz stereo 8-bit: a quarter buffer, one buffer, 93 ms and 200 ms.
INSTANTIATE_TEST_SUITE_P(Pieces, LargeDeliveryTest,
                         ::testing::Values(Delivery{128, 1}, Delivery{512, 1}, Delivery{2050, 1}, Delivery{4410, 1},
                                           Delivery{512, 3}, Delivery{4410, 2}, Delivery{44100, 1},
                                           Delivery{44100, 2}));

TEST_F(WaveInTest, TwoQueuedBuffersFillInOrder) {
  WaveInHandle h = OpenDevice(1);
  uint8_t a[4], b[4];
  WaveHeader ha, hb;
  ha.data = a;
  ha.buffer_length = 4;
  hb.data = b;
  hb.buffer_length = 4;
  for (WaveHeader* x : {&ha, &hb}) {
    service_->PrepareHeader(h, x);
    service_->AddBuffer(h, x);
  }
  backend_->Deliver({1, 2, 3, 4, 5, 6});
  EXPECT_TRUE(ha.flags & kWaveHeaderDone);
  EXPECT_FALSE(hb.flags & kWaveHeaderDone);
  EXPECT_EQ(b[0], 5);
  EXPECT_EQ(service_->DroppedFrames(h), 0u);
  service_->Close(h);
}

TEST_F(WaveInTest, ResetReturnsTheQueuedBufferDone) {
  WaveInHandle h = OpenDevice(1);
  uint8_t data[512];
  WaveHeader header;
  header.data = data;
  header.buffer_length = 512;
  service_->PrepareHeader(h, &header);
  service_->AddBuffer(h, &header);
  service_->Start(h);
  backend_->Deliver({9, 9});
  EXPECT_EQ(service_->Reset(h), 0);
  EXPECT_TRUE(header.flags & kWaveHeaderDone);
  EXPECT_FALSE(header.flags & kWaveHeaderInQueue);
  EXPECT_EQ(header.bytes_recorded, 2u);
  EXPECT_EQ(backend_->stops, 1);
  EXPECT_FALSE(backend_->stream.load()->started);
  EXPECT_EQ(service_->UnprepareHeader(h, &header), 0);
  EXPECT_EQ(service_->Close(h), 0);
}

TEST_F(WaveInTest, StaleAndZeroHandlesAreRefusedWithoutHarm) {
  WaveInHandle h = OpenDevice(1);
  EXPECT_EQ(service_->Close(h), 0);
  EXPECT_EQ(service_->Close(h), kWaveErrorInvalidHandle);
  EXPECT_EQ(service_->Reset(h), kWaveErrorInvalidHandle);
  EXPECT_EQ(service_->Start(0), kWaveErrorInvalidHandle);
  WaveHeader header;
  EXPECT_EQ(service_->AddBuffer(h, &header), kWaveErrorInvalidHandle);
  EXPECT_EQ(service_->DroppedFrames(h), 0u);
}

TEST_F(WaveInTest, UnpreparedBufferCannotBeQueued) {
  WaveInHandle h = OpenDevice(1);
  uint8_t data[4];
  WaveHeader header;
  header.data = data;
  header.buffer_length = 4;
  EXPECT_EQ(service_->AddBuffer(h, &header), kWaveErrorUnprepared);
  service_->PrepareHeader(h, &header);
  EXPECT_EQ(service_->AddBuffer(h, &header), 0);
  EXPECT_EQ(service_->AddBuffer(h, &header), kWaveErrorStillPlaying);
  service_->Close(h);
  EXPECT_TRUE(header.flags & kWaveHeaderDone) << "closing returns the queued buffer";
}

TEST_F(WaveInTest, FailedStartIsReported) {
  backend_->start_ok = false;
  WaveInHandle h = OpenDevice(1);
  EXPECT_NE(service_->Start(h), 0);
  service_->Close(h);
}

}  // namespace
}  // namespace platform
