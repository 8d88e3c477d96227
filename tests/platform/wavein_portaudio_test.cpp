// The PortAudio backend over ALSA, with an ALSA configuration of the test's
// own: a capture device that reads unsigned 8-bit stereo from a FIFO, which
// the test fills at the pace of real time. The null device under it is not
// paced; reading the FIFO is, so the capture can never run past the sound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture_helpers.h"
#include "platform/wavein.h"
#include "platform/wavein_backend.h"

namespace {

using namespace std::chrono_literals;

class PortAudioBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sonovar-alsa-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    // A minute of sound, far more than a test takes at real time.
    infile_.resize(11025 * 2 * 60);
    uint32_t x = 777;
    for (uint8_t& b : infile_) {
      x = x * 1664525 + 1013904223;
      b = static_cast<uint8_t>(x >> 24);
    }
    const std::string fifo = dir_ + "/in.raw";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Read-write, so that ALSA's opens of the FIFO never wait for a writer.
    fifo_fd_ = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifo_fd_, 0);
    writer_ = std::thread([this] { Feed(); });
    std::ofstream(dir_ + "/asound.conf") << "pcm.!default {\n"
                                            "  type file\n"
                                            "  slave.pcm \"quiet\"\n"
                                            "  file \"/dev/null\"\n"
                                            "  infile \"" << dir_ << "/in.raw\"\n"
                                            "  format \"raw\"\n"
                                            "}\n"
                                            "pcm.quiet { type null }\n";
    ::setenv("ALSA_CONFIG_PATH", (dir_ + "/asound.conf").c_str(), 1);
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(platform::MakePortAudioBackend());
    service_ = platform::MakeWaveIn(std::move(backends));
  }
  void TearDown() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) writer_.join();
    if (fifo_fd_ >= 0) ::close(fifo_fd_);  // a read still waiting ends
    service_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Writes the sound into the FIFO at 22050 bytes a second, in pieces of
  // 512 bytes: the backend reads 128 at a time, so every read finds whole
  // pieces and is never short. A full FIFO (no capture yet) holds a piece
  // back until there is room.
  void Feed() {
    using Clock = std::chrono::steady_clock;
    constexpr size_t kPiece = 512;
    const Clock::time_point start = Clock::now();
    size_t at = 0;
    std::unique_lock lock(mutex_);
    while (!stop_ && at + kPiece <= infile_.size()) {
      if (wake_.wait_until(lock, start + std::chrono::microseconds(at * 1000000 / 22050), [this] { return stop_; }))
        return;
      lock.unlock();
      if (::write(fifo_fd_, infile_.data() + at, kPiece) == static_cast<ssize_t>(kPiece)) at += kPiece;
      else {
        pollfd room{fifo_fd_, POLLOUT, 0};
        ::poll(&room, 1, 20);
      }
      lock.lock();
    }
  }

  std::string dir_;
  std::vector<uint8_t> infile_;
  int fifo_fd_ = -1;
  std::thread writer_;
  std::mutex mutex_;  // guards stop_; pairs with wake_
  std::condition_variable wake_;
  bool stop_ = false;
  std::unique_ptr<platform::WaveIn> service_;
};

TEST_F(PortAudioBackendTest, ListsTheAlsaDevicesWithTheFormat) {
  const unsigned count = service_->GetNumDevs();
  bool found_default = false;
  for (unsigned d = 0; d < count; ++d) {
    platform::WaveInCaps caps;
    ASSERT_EQ(service_->GetDevCaps(d, &caps), 0);
    if (caps.name == "ALSA: default") {
      found_default = true;
      EXPECT_EQ(caps.formats, platform::kWaveFormat11kStereo8);
    }
  }
  EXPECT_TRUE(found_default) << count << " devices";
}

TEST_F(PortAudioBackendTest, BytesOfTheInfileComeOutInOrder) {
  ASSERT_GT(service_->GetNumDevs(), 0u);
  testing_support::TwoBufferCapture capture(*service_, -1);
  ASSERT_EQ(capture.open_result(), 0);
  ASSERT_TRUE(capture.Start());
  std::vector<uint8_t> buffer;
  size_t expected_at = 0;  // where in the infile the next buffer should begin
  size_t gaps = 0;         // bytes the service dropped between buffers
  for (int n = 0; n < 20; ++n) {
    ASSERT_TRUE(capture.Next(&buffer, 2s)) << "buffer " << n;
    auto at = std::search(infile_.begin() + static_cast<long>(expected_at), infile_.end(), buffer.begin(),
                          buffer.end());
    ASSERT_NE(at, infile_.end()) << "buffer " << n << " is not the next piece of the infile";
    const size_t offset = static_cast<size_t>(at - infile_.begin());
    if (n == 0) {
      EXPECT_EQ(offset, 0u) << "capture starts at the beginning of the infile";
    }
    gaps += offset - expected_at;
    expected_at = offset + buffer.size();
  }
  // Every skipped byte is a frame the service counted as dropped.
  EXPECT_LE(gaps, 2 * service_->DroppedFrames(capture.handle()));
}

TEST(PortAudioWithoutDefaultTest, ConfigurationWithoutDefaultGivesNoDeviceInsteadOfAnAbort) {
  char pattern[] = "/tmp/sonovar-alsa-XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  std::ofstream(dir + "/asound.conf") << "pcm.quiet { type null }\n";
  ::setenv("ALSA_CONFIG_PATH", (dir + "/asound.conf").c_str(), 1);
  std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
  backends.push_back(platform::MakePortAudioBackend());
  auto service = platform::MakeWaveIn(std::move(backends));
  EXPECT_EQ(service->GetNumDevs(), 0u);
  std::filesystem::remove_all(dir);
}

}  // namespace
