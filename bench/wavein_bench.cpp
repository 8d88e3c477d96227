// Figures of the wave-input service with the file backend: the delay from a
// buffer becoming done to its owner running again, and the CPU the service
// uses per second of capture.
//   wavein_bench [BUFFERS]   (1000 by default, 23.2 ms each)
#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/wavein.h"
#include "platform/wavein_backend.h"
#include "bench_support.h"
#include "platform/capture_helpers.h"

int main(int argc, char** argv) {
  const int buffers = argc > 1 ? std::atoi(argv[1]) : 1000;
  const std::string path = bench_support::WriteMusicLikeWav("sonovar-bench.wav", 10);
  setenv("SONOVAR_INPUT_FILE", path.c_str(), 1);

  std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
  backends.push_back(platform::MakeFileBackend());
  auto service = platform::MakeWaveIn(std::move(backends));
  if (service->GetNumDevs() != 1) return 1;
  testing_support::TwoBufferCapture capture(*service, 0);
  if (capture.open_result() != 0 || !capture.Start()) return 1;

  std::vector<double> delays;
  std::vector<uint8_t> buffer;
  const double cpu_before = bench_support::CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < buffers; ++n) {
    std::chrono::nanoseconds delay{};
    if (!capture.Next(&buffer, std::chrono::seconds(2), &delay)) return 1;
    delays.push_back(delay.count() / 1000.0);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = bench_support::CpuSeconds() - cpu_before;
  std::sort(delays.begin(), delays.end());
  std::printf("buffers: %d over %.2f s of capture\n", buffers, seconds);
  std::printf("wake-up delay: median %.1f us, 99th percentile %.1f us, max %.1f us\n", delays[delays.size() / 2],
              delays[delays.size() * 99 / 100], delays.back());
  std::printf("CPU: %.2f ms per second of capture (%.3f %% of one core)\n", 1000 * cpu / seconds,
              100 * cpu / seconds);
  std::printf("dropped frames: %llu\n", static_cast<unsigned long long>(service->DroppedFrames(capture.handle())));
  std::filesystem::remove(path);
  return 0;
}
