// The capture loop over a scripted device: buffers are analysed in turn, a
// stop while waiting ends the loop without that buffer, the handle rules hold.
#include "sonovar/capture/capture_session.h"

#include <gtest/gtest.h>

#include "platform/wavein_backend.h"
#include "support/scripted_wave.h"

namespace sonovar {
namespace {

using testing_support::ScriptedBackend;

class CaptureSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<ScriptedBackend>();
    backend_ = backend.get();
    backend_->devices = {{"Without the format", false, false, "a"}, {"Line In", true, true, "b"}};
    std::vector<std::unique_ptr<platform::WaveInBackend>> list;
    list.push_back(std::move(backend));
    wave_ = platform::MakeWaveIn(std::move(list));
    session_ = std::make_unique<CaptureSession>(*wave_);
  }

  ScriptedBackend* backend_;
  std::unique_ptr<platform::WaveIn> wave_;
  std::unique_ptr<CaptureSession> session_;
};

TEST_F(CaptureSessionTest, ListsOnlyDevicesWithTheFormat) {
  auto devices = session_->ListInputDevices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].name, "Line In");
  EXPECT_EQ(devices[0].device, 1) << "the entry remembers the service's number";
}

TEST_F(CaptureSessionTest, FailedOpenLeavesTheHandleZero) {
  session_->ListInputDevices();
  EXPECT_FALSE(session_->Open(0, {}));  // lacks the format
  EXPECT_EQ(session_->CaptureHandle, 0u);
  EXPECT_FALSE(session_->Open(7, {}));
  EXPECT_EQ(session_->CaptureHandle, 0u);
  session_->Stop();  // on no open device: harmless
  EXPECT_TRUE(session_->Open(-1, {}));
  EXPECT_EQ(backend_->opened.back(), "b");
}

TEST_F(CaptureSessionTest, EveryFilledBufferIsHandedOnUntilStop) {
  session_->ListInputDevices();
  int wakes = 0;
  ASSERT_TRUE(session_->Open(1, [&] { ++wakes; }));
  session_->Start();
  int waits = 0, analysed = 0, yields = 0;
  std::vector<uint8_t> first_bytes;
  session_->CaptureLoop(
      [&](const std::function<bool()>& done) {
        ++waits;
        EXPECT_FALSE(done()) << "the buffer is queued empty";
        // The device delivers the buffer in two pieces.
        backend_->Deliver(std::vector<uint8_t>(300, static_cast<uint8_t>(waits)));
        EXPECT_FALSE(done());
        backend_->Deliver(std::vector<uint8_t>(212, static_cast<uint8_t>(waits)));
        EXPECT_TRUE(done());
      },
      [&] {
        ++yields;
        if (yields == 3) session_->Stop();  // a stop click after the third buffer
      },
      [&](std::span<const uint8_t, kCaptureBufferBytes> buffer, int64_t) {
        ++analysed;
        first_bytes.push_back(buffer[0]);
        EXPECT_EQ(buffer[511], buffer[0]);
      });
  EXPECT_EQ(analysed, 3);
  EXPECT_EQ(wakes, 3);
  EXPECT_EQ(first_bytes, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(session_->CaptureHandle, 0u);
}

TEST_F(CaptureSessionTest, StopWhileWaitingEndsTheLoopWithoutThatBuffer) {
  session_->ListInputDevices();
  ASSERT_TRUE(session_->Open(1, {}));
  session_->Start();
  int analysed = 0;
  session_->CaptureLoop(
      [&](const std::function<bool()>& done) {
        backend_->Deliver(std::vector<uint8_t>(100, 9));  // part of a buffer
        session_->Stop();                                 // the stop click runs inside the wait
        EXPECT_TRUE(done());
      },
      [] {}, [&](auto, int64_t) { ++analysed; });
  EXPECT_EQ(analysed, 0);
  EXPECT_EQ(backend_->stops, 1) << "the device was reset";
  EXPECT_EQ(backend_->stream, nullptr) << "and closed";
}

}  // namespace
}  // namespace sonovar
