// The delay from a buffer becoming done (the service's wake-up) to the return
// of the last board write of that buffer: analysis, effect step and one
// "PBA:" command to every active board, through the real control. Run it on
// virtual boards:
//   quorel-sim --boards 1,2,3,4 --view none -- build/bench/effect_latency_bench [BUFFERS] [--slow]
// (--slow: TURBO off, 1 ms before each report, instead of TURBO on)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "bench_support.h"
#include "platform/wavein.h"
#include "platform/wavein_backend.h"
#include "sonovar/capture/capture_session.h"
#include "sonovar/effects/effect_engine.h"
#include "sonovar/effects/quorel_link.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int buffers = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const bool slow = argc > 2 && std::strcmp(argv[2], "--slow") == 0;
  const std::string path = bench_support::WriteMusicLikeWav("sonovar-latency-bench.wav", 10);
  setenv("SONOVAR_INPUT_FILE", path.c_str(), 1);
  std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
  backends.push_back(platform::MakeFileBackend());
  auto service = platform::MakeWaveIn(std::move(backends));

  auto link = sonovar::CreateQuorelLink();
  const std::string detected = link->Detected();
  sonovar::ActiveBoards active{};
  int boards = 0;
  for (int n = 1; n <= 4; ++n) boards += active[n] = detected[n - 1] == '1';
  if (boards == 0) {
    std::fprintf(stderr, "no board 1-4: run it under quorel-sim --boards 1,2,3,4\n");
    return 1;
  }
  link->SetFastCom(!slow);
  for (int n = 1; n <= 4; ++n)
    if (active[n]) sonovar::PrepareBoard(*link, n);

  // The wake-up's time crosses from the service's thread under the mutex.
  std::mutex mutex;
  std::condition_variable woken;
  Clock::time_point done_at;
  bool done_flag = false;
  sonovar::CaptureSession session(*service);
  if (!session.Open(0, [&] {
        std::lock_guard lock(mutex);
        done_at = Clock::now();
        done_flag = true;
        woken.notify_one();
      }))
    return 1;
  session.Start();

  sonovar::LevelAnalysis analysis;
  for (size_t i = 0; i < sonovar::kCuts.size(); ++i) analysis.CutChanged(sonovar::kCuts[i], sonovar::kCutStartValues[i]);
  sonovar::EffectEngine engine;
  engine.EffectMode = sonovar::kPulseSweep;
  sonovar::EffectInputs in;
  in.Delay = 1;
  std::vector<double> delays;
  session.CaptureLoop(
      [&](const std::function<bool()>& done) {
        std::unique_lock lock(mutex);
        woken.wait(lock, [&] { return done_flag || done(); });
        done_flag = false;
      },
      [] {},
      [&](std::span<const uint8_t, sonovar::kCaptureBufferBytes> buffer, int64_t) {
        analysis.Analyze(buffer);
        in.SoundLevel = analysis.SoundLevel;
        in.RedCount = analysis.RedCount;
        in.YellowCount = analysis.YellowCount;
        engine.Step(in, active, *link);
        Clock::time_point woke;
        {
          std::lock_guard lock(mutex);
          woke = done_at;
        }
        delays.push_back(std::chrono::duration<double, std::micro>(Clock::now() - woke).count());
        if (static_cast<int>(delays.size()) >= buffers) session.Stop();
      });
  std::sort(delays.begin(), delays.end());
  std::printf("%zu buffers, %d boards, TURBO %s\n", delays.size(), boards, slow ? "off (1 ms)" : "on");
  std::printf("buffer done -> last write returned: p50 %.0f us, p99 %.0f us, max %.0f us\n",
              delays[delays.size() / 2], delays[delays.size() * 99 / 100], delays.back());
  std::printf("dropped frames: %llu\n", static_cast<unsigned long long>(session.DroppedFrames()));
  std::filesystem::remove(path);
  return 0;
}
