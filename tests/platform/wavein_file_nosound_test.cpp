// Audio files that give little or no sound: very short ones play, the others
// are refused with one message; nothing blocks and Stop always returns.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_helpers.h"
#include "platform/wavein.h"
#include "platform/wavein_backend.h"
#include "support/sound_files.h"
#include "support/watchdog.h"

namespace {

using namespace std::chrono_literals;
using testing_support::MustReturnWithin;
using testing_support::WriteWav;

class NoSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sonovar-nosound-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    path_ = dir_ + "/in.wav";
  }
  void TearDown() override {
    ::unsetenv("SONOVAR_INPUT_FILE");
    std::filesystem::remove_all(dir_);
  }
  std::unique_ptr<platform::WaveIn> Service() {
    ::setenv("SONOVAR_INPUT_FILE", path_.c_str(), 1);
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(platform::MakeFileBackend());
    return platform::MakeWaveIn(std::move(backends));
  }
  // Lists the devices; expects none and one line on standard error naming the file and `why`.
  void ExpectRefused(const char* why) {
    auto service = Service();
    ::testing::internal::CaptureStderr();
    MustReturnWithin(10s, "the listing of the file", [&] {
      EXPECT_EQ(service->GetNumDevs(), 0u);
      EXPECT_EQ(service->GetNumDevs(), 0u);
    });
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(path_), std::string::npos) << said;
    EXPECT_NE(said.find(why), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
    platform::BackendDevice device{"File", true, false, path_};
    struct NoSink : platform::CaptureSink {
      void Deliver(const uint8_t*, size_t, int64_t) override { ADD_FAILURE() << "sound delivered"; }
    } sink;
    EXPECT_EQ(platform::MakeFileBackend()->Open(device, sink), nullptr) << "opened behind the listing's back";
  }

  std::string dir_, path_;
};

// Ten frames at 44.1 kHz, three at 22.05 or 48 kHz, one at 11025 Hz: a
// moment of sound, played over and over like any file.
TEST_F(NoSoundTest, VeryShortFilesPlayAndStopReturns) {
  const std::pair<uint32_t, size_t> files[] = {{44100, 10}, {22050, 3}, {48000, 3}, {11025, 1}, {8000, 1}};
  for (const auto& [rate, frames] : files) {
    SCOPED_TRACE(std::to_string(frames) + " frames at " + std::to_string(rate) + " Hz");
    WriteWav(path_, rate, 2, frames);
    auto service = Service();
    ASSERT_EQ(service->GetNumDevs(), 1u);
    MustReturnWithin(20s, "capturing a very short file", [&] {
      testing_support::TwoBufferCapture capture(*service, 0);
      ASSERT_TRUE(capture.Start());
      std::vector<uint8_t> buffer;
      EXPECT_TRUE(capture.Next(&buffer, 5s));
      EXPECT_TRUE(capture.Next(&buffer, 5s));
    });  // the capture's end runs Reset and Close
  }
}

TEST_F(NoSoundTest, RateOfOneHertzIsRefused) {
  WriteWav(path_, 1, 2, 100);
  ExpectRefused("sample rate of 1 Hz");
}

TEST_F(NoSoundTest, RateOfFortyHertzIsRefused) {
  WriteWav(path_, 40, 1, 100);
  ExpectRefused("sample rate of 40 Hz");
}

TEST_F(NoSoundTest, RateOfThreeMegahertzIsRefused) {
  WriteWav(path_, 3000000, 2, 30000);
  ExpectRefused("sample rate of 3000000 Hz");
}

// A sound file whose header is sound but whose frames are not: a FLAC
// stream with everything after its metadata overwritten.
TEST_F(NoSoundTest, UndecodableFramesAreRefused) {
  path_ = dir_ + "/broken.flac";
  ASSERT_TRUE(testing_support::WriteUndecodableFlac(path_));
  ExpectRefused("no sound");
}

// What is not a regular file would block the open (a FIFO without a writer)
// or never end (a device): refused before anything reads it.
TEST_F(NoSoundTest, FifoIsRefusedWithoutBlocking) {
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  ExpectRefused("not a regular file");
}

TEST_F(NoSoundTest, FolderIsRefused) {
  std::filesystem::create_directory(path_);
  ExpectRefused("not a regular file");
}

// Cut to a bare header (or less) while it plays: the buffers stop with one
// message, the thread ends, and Stop returns.
class TruncatedTest : public NoSoundTest, public ::testing::WithParamInterface<int> {};

TEST_P(TruncatedTest, FileCutWhilePlayingEndsTheSoundAndStopReturns) {
  WriteWav(path_, 11025, 2, 11025);
  auto service = Service();
  ASSERT_EQ(service->GetNumDevs(), 1u);
  ::testing::internal::CaptureStderr();
  MustReturnWithin(20s, "capturing a file cut short", [&] {
    testing_support::TwoBufferCapture capture(*service, 0);
    ASSERT_TRUE(capture.Start());
    std::vector<uint8_t> buffer;
    ASSERT_TRUE(capture.Next(&buffer, 5s));
    ASSERT_EQ(::truncate(path_.c_str(), GetParam()), 0);
    // What was read before the cut may still come; then nothing.
    int after = 0;
    while (after < 20 && capture.Next(&buffer, 1s)) ++after;
    EXPECT_LT(after, 20) << "buffers kept coming from a file of " << GetParam() << " bytes";
  });
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(path_), std::string::npos) << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
}

INSTANTIATE_TEST_SUITE_P(Sizes, TruncatedTest, ::testing::Values(0, 20, 44));

}  // namespace
