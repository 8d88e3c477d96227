// The sound-server backend against a real, private server (started by
// with_pulse_server.sh): its null sink's monitor is listed first, and what
// is played into the sink comes out of the service byte for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture_helpers.h"
#include "platform/wavein.h"
#include "platform/wavein_backend.h"

namespace {

using namespace std::chrono_literals;

class PulseBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* sink = std::getenv("SONOVAR_TEST_SINK");
    if (sink == nullptr) GTEST_SKIP() << "run through with_pulse_server.sh, which starts the server";
    sink_ = sink;
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(platform::MakePulseBackend());
    service_ = platform::MakeWaveIn(std::move(backends));
  }
  std::string sink_;
  std::unique_ptr<platform::WaveIn> service_;
};

TEST_F(PulseBackendTest, MonitorOfTheOutputIsListedFirst) {
  ASSERT_GE(service_->GetNumDevs(), 1u);
  platform::WaveInCaps caps;
  ASSERT_EQ(service_->GetDevCaps(0, &caps), 0);
  EXPECT_EQ(caps.name, "Monitor of Null Output");
  EXPECT_EQ(caps.formats, platform::kWaveFormat11kStereo8);
}

TEST_F(PulseBackendTest, PlayedPatternIsCapturedByteForByte) {
  ASSERT_GE(service_->GetNumDevs(), 1u);
  testing_support::TwoBufferCapture capture(*service_, 0);
  ASSERT_EQ(capture.open_result(), 0);
  ASSERT_TRUE(capture.Start());

  // A pattern that silence (128) and ramps cannot imitate.
  std::vector<uint8_t> pattern(4096);
  uint32_t x = 12345;
  for (uint8_t& b : pattern) {
    x = x * 1103515245 + 12345;
    b = static_cast<uint8_t>(x >> 16);
  }
  char path[] = "/tmp/sonovar-pattern-XXXXXX";
  int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, pattern.data(), pattern.size()), static_cast<ssize_t>(pattern.size()));
  ::close(fd);
  // Played while this thread keeps the buffers going.
  const std::string device = "--device=" + sink_;
  pid_t player = ::fork();
  if (player == 0) {
    ::execlp("paplay", "paplay", "--raw", "--format=u8", "--channels=2", "--rate=11025", device.c_str(), path,
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(player, 0);

  // The pattern lasts about 0.19 s; listen a while longer for it to pass.
  std::vector<uint8_t> heard, buffer;
  for (int n = 0; n < 80; ++n) {
    if (!capture.Next(&buffer, 2s)) break;
    heard.insert(heard.end(), buffer.begin(), buffer.end());
  }
  int status = 0;
  ::waitpid(player, &status, 0);
  ::unlink(path);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "paplay failed";
  auto found = std::search(heard.begin(), heard.end(), pattern.begin(), pattern.end());
  EXPECT_NE(found, heard.end()) << "pattern not found in " << heard.size() << " captured bytes";
}

}  // namespace
