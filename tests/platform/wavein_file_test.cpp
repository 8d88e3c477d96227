// The file backend: known samples come out as the expected bytes, buffer
// after buffer, starting over at the end of the file.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_helpers.h"
#include "platform/wavein.h"
#include "platform/wavein_backend.h"
#include "support/sound_files.h"

namespace {

using namespace std::chrono_literals;

class FileBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sonovar-wav-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override {
    ::unsetenv("SONOVAR_INPUT_FILE");
    std::filesystem::remove_all(dir_);
  }

  // An 11025 Hz unsigned 8-bit stereo WAV holding exactly `bytes`.
  std::string WriteU8Wav(const std::vector<uint8_t>& bytes) {
    std::string path = dir_ + "/known.wav";
    EXPECT_TRUE(testing_support::WriteU8Wav(path, bytes));
    return path;
  }

  std::unique_ptr<platform::WaveIn> FileService() {
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(platform::MakeFileBackend());
    return platform::MakeWaveIn(std::move(backends));
  }

  std::string dir_;
};

TEST_F(FileBackendTest, KnownSamplesComeOutByteForByteAndStartOver) {
  constexpr size_t kFrames = 1000;  // shorter than four buffers: the file starts over
  std::vector<uint8_t> samples(kFrames * 2);
  for (size_t f = 0; f < kFrames; ++f) {
    samples[2 * f] = static_cast<uint8_t>(f % 251);
    samples[2 * f + 1] = static_cast<uint8_t>(255 - f % 253);
  }
  ::setenv("SONOVAR_INPUT_FILE", WriteU8Wav(samples).c_str(), 1);
  auto service = FileService();
  ASSERT_EQ(service->GetNumDevs(), 1u);
  platform::WaveInCaps caps;
  ASSERT_EQ(service->GetDevCaps(0, &caps), 0);
  EXPECT_EQ(caps.name, "File: known.wav");
  EXPECT_EQ(caps.formats, platform::kWaveFormat11kStereo8);

  testing_support::TwoBufferCapture capture(*service, 0);
  ASSERT_EQ(capture.open_result(), 0);
  ASSERT_TRUE(capture.Start());
  std::vector<uint8_t> got;
  size_t offset = 0;
  for (int n = 0; n < 10; ++n) {  // 10 x 256 frames: two and a half passes
    ASSERT_TRUE(capture.Next(&got, 2s)) << "buffer " << n;
    for (size_t i = 0; i < got.size(); ++i, ++offset)
      ASSERT_EQ(got[i], samples[offset % samples.size()]) << "buffer " << n << " byte " << i;
  }
  EXPECT_EQ(service->DroppedFrames(capture.handle()), 0u);
}

TEST_F(FileBackendTest, OtherRatesAreConvertedAndMonoIsDoubled) {
  // One second of a 441 Hz sine at 44100 Hz, mono, 16-bit, amplitude one half.
  std::string path = dir_ + "/sine.flac";
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<float> sine(44100);
  for (size_t i = 0; i < sine.size(); ++i) sine[i] = 0.5f * std::sin(2 * M_PI * 441 * i / 44100.0);
  sf_writef_float(f, sine.data(), static_cast<sf_count_t>(sine.size()));
  sf_close(f);
  ::setenv("SONOVAR_INPUT_FILE", path.c_str(), 1);
  auto service = FileService();
  ASSERT_EQ(service->GetNumDevs(), 1u);
  testing_support::TwoBufferCapture capture(*service, 0);
  ASSERT_TRUE(capture.Start());
  std::vector<uint8_t> got;
  int lowest = 255, highest = 0;
  ASSERT_TRUE(capture.Next(&got, 2s));  // the resampler's start-up ringing
  for (int n = 0; n < 4; ++n) {
    ASSERT_TRUE(capture.Next(&got, 2s));
    for (size_t i = 0; i < got.size(); i += 2) {
      EXPECT_EQ(got[i], got[i + 1]) << "mono goes to both channels";
      lowest = std::min<int>(lowest, got[i]);
      highest = std::max<int>(highest, got[i]);
    }
  }
  // Half scale around 128: peaks near 64 and 192.
  EXPECT_NEAR(highest, 192, 3);
  EXPECT_NEAR(lowest, 64, 3);
}

struct BadFileCase {
  const char* name;
  std::string contents;  // empty: no file at all
};

class BadFileTest : public FileBackendTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BadFileTest, GivesAMessageAndNoDevice) {
  std::string path = dir_ + "/bad.wav";
  if (!GetParam().contents.empty()) {
    FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(GetParam().contents.data(), 1, GetParam().contents.size(), out);
    std::fclose(out);
  }
  ::setenv("SONOVAR_INPUT_FILE", path.c_str(), 1);
  auto service = FileService();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(service->GetNumDevs(), 0u);
  EXPECT_EQ(service->GetNumDevs(), 0u);
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("cannot use SONOVAR_INPUT_FILE " + path), std::string::npos) << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "said once, not at every listing: " << said;
  platform::WaveInHandle handle = 0;
  EXPECT_NE(service->Open(&handle, 0, platform::WaveFormat{}), 0);
  EXPECT_EQ(handle, 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, BadFileTest,
                         ::testing::Values(BadFileCase{"Missing", ""},
                                           BadFileCase{"NotAudio", "this is not a sound file\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileBackendTest, ResetReturnsTheQueuedBufferAndCloseTwiceIsHarmless) {
  ::setenv("SONOVAR_INPUT_FILE", WriteU8Wav(std::vector<uint8_t>(2000, 200)).c_str(), 1);
  auto service = FileService();
  ASSERT_EQ(service->GetNumDevs(), 1u);
  platform::WaveInHandle handle = 0;
  ASSERT_EQ(service->Open(&handle, 0, platform::WaveFormat{}), 0);
  uint8_t data[512];
  platform::WaveHeader header;
  header.data = data;
  header.buffer_length = sizeof data;
  service->PrepareHeader(handle, &header);
  service->AddBuffer(handle, &header);
  ASSERT_EQ(service->Start(handle), 0);
  EXPECT_EQ(service->Reset(handle), 0);
  EXPECT_TRUE(header.flags & platform::kWaveHeaderDone);
  EXPECT_LT(header.bytes_recorded, 512u) << "reset came before the buffer could fill";
  EXPECT_EQ(service->UnprepareHeader(handle, &header), 0);
  EXPECT_EQ(service->Close(handle), 0);
  EXPECT_EQ(service->Close(handle), platform::kWaveErrorInvalidHandle);
}

TEST_F(FileBackendTest, NoVariableNoDevice) {
  ::unsetenv("SONOVAR_INPUT_FILE");
  EXPECT_EQ(FileService()->GetNumDevs(), 0u);
}

}  // namespace
