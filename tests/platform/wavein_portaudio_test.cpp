// The PortAudio backend over ALSA, with an ALSA configuration of the test's
// own: a capture device that reads a raw file of unsigned 8-bit stereo.
#include <gtest/gtest.h>

#include <algorithm>
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
    // A minute: the null device runs faster than real time, and what no
    // buffer takes is dropped, so the capture moves through the file quickly.
    infile_.resize(11025 * 2 * 60);
    uint32_t x = 777;
    for (uint8_t& b : infile_) {
      x = x * 1664525 + 1013904223;
      b = static_cast<uint8_t>(x >> 24);
    }
    std::ofstream(dir_ + "/in.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(infile_.data()), static_cast<std::streamsize>(infile_.size()));
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
    service_.reset();
    std::filesystem::remove_all(dir_);
  }

  std::string dir_;
  std::vector<uint8_t> infile_;
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
