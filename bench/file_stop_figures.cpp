// Figures of the file backend with files that give little or no sound: how
// long Stop (Reset and Close) takes while such a file is captured, and how
// long a listing takes to refuse the ones that give none.
//   file_stop_figures [ROUNDS]   (20 by default; the longest of them is printed)
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/capture_helpers.h"
#include "platform/wavein.h"
#include "platform/wavein_backend.h"
#include "support/sound_files.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::unique_ptr<platform::WaveIn> Service(const std::string& path) {
  setenv("SONOVAR_INPUT_FILE", path.c_str(), 1);
  std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
  backends.push_back(platform::MakeFileBackend());
  return platform::MakeWaveIn(std::move(backends));
}

// Captures `path`, runs `meanwhile` after the first buffer, then times Reset
// and Close. Negative when the file was not listed or gave no first buffer.
double StopTime(const std::string& path, const std::function<void()>& meanwhile) {
  auto service = Service(path);
  if (service->GetNumDevs() != 1) return -1;
  auto capture = std::make_unique<testing_support::TwoBufferCapture>(*service, 0);
  std::vector<uint8_t> buffer;
  if (capture->open_result() != 0 || !capture->Start() || !capture->Next(&buffer, std::chrono::seconds(2))) return -1;
  meanwhile();
  usleep(100000);  // the service's thread deep in its work again
  const Clock::time_point start = Clock::now();
  capture.reset();  // Reset and Close
  return Milliseconds(Clock::now() - start);
}

double ListTime(const std::string& path) {
  auto service = Service(path);
  const Clock::time_point start = Clock::now();
  const unsigned devices = service->GetNumDevs();
  return devices == 0 ? Milliseconds(Clock::now() - start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  char pattern[] = "/tmp/sonovar-stop-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string wav = dir + "/in.wav";
  std::fclose(stderr);  // each refused file says so once; the figures are what counts here
  auto longest = [&](const std::function<double()>& once) {
    double worst = 0;
    for (int r = 0; r < rounds; ++r) worst = std::max(worst, once());
    return worst;
  };

  std::printf("Stop (Reset + Close) while capturing, longest of %d rounds:\n", rounds);
  const std::pair<uint32_t, size_t> shorts[] = {{44100, 10}, {22050, 3}, {48000, 3}};
  for (const auto& [rate, frames] : shorts) {
    const double ms = longest([&] {
      testing_support::WriteWav(wav, rate, 2, frames);
      return StopTime(wav, [] {});
    });
    std::printf("  %zu frames at %u Hz: %.2f ms\n", frames, rate, ms);
  }
  for (int size : {0, 20, 44}) {
    const double ms = longest([&] {
      testing_support::WriteWav(wav, 11025, 2, 11025);
      return StopTime(wav, [&] { truncate(wav.c_str(), size); });
    });
    std::printf("  cut to %d bytes while captured: %.2f ms\n", size, ms);
  }
  std::printf("Refused at listing (no capture to stop), longest of %d listings:\n", rounds);
  for (uint32_t rate : {1u, 40u, 3000000u}) {
    testing_support::WriteWav(wav, rate, 2, rate == 3000000u ? 30000 : 100);
    std::printf("  rate %u Hz: %.2f ms\n", rate, longest([&] { return ListTime(wav); }));
  }
  const std::string flac = dir + "/broken.flac";
  testing_support::WriteUndecodableFlac(flac);
  std::printf("  undecodable frames: %.2f ms\n", longest([&] { return ListTime(flac); }));
  const std::string fifo = dir + "/fifo";
  mkfifo(fifo.c_str(), 0600);
  std::printf("  a FIFO: %.2f ms\n", longest([&] { return ListTime(fifo); }));
  std::filesystem::remove_all(dir);
  return 0;
}
