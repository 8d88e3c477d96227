// The program's per-buffer work and its files: analysis of one 512-byte
// capture buffer (with auto level's gain and without), one effect step,
// loading a 10000-frame animation, a save of the settings file.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "sonovar/animation/qra_file.h"
#include "sonovar/app/settings_file.h"
#include "sonovar/capture/auto_level.h"
#include "sonovar/capture/level_analysis.h"
#include "sonovar/effects/effect_engine.h"

namespace {

class NoBoards final : public sonovar::BoardLink {
 public:
  std::string Detected() override { return "1111000000000000"; }
  int SetDeviceNumber(std::string_view) override { return 0; }
  void SetCommand(std::string_view text) override { benchmark::DoNotOptimize(text.data()); }
  void SetFastCom(bool) override {}
  void SetCompatibilityDelay(int16_t) override {}
};

void BM_AnalyzeBuffer(benchmark::State& state) {
  sonovar::LevelAnalysis analysis;
  analysis.CutChanged(sonovar::Cut::kRed, 25);
  analysis.CutChanged(sonovar::Cut::kYellow, 50);
  std::array<uint8_t, sonovar::kCaptureBufferBytes> buffer;
  for (size_t i = 0; i < buffer.size(); ++i)
    buffer[i] = static_cast<uint8_t>(128 + 100 * std::sin(i * 0.07) * ((i % 7) / 7.0));
  for (auto _ : state) {
    analysis.Peak = 0;
    benchmark::DoNotOptimize(analysis.Analyze(buffer));
    benchmark::DoNotOptimize(analysis.SoundLevel);
  }
}
BENCHMARK(BM_AnalyzeBuffer);

// The same buffer, quiet (peaks of 12 steps), through auto level first: the
// gain held above 1, so that every sample is spread and scaled.
void BM_AutoLevelThenAnalyze(benchmark::State& state) {
  sonovar::LevelAnalysis analysis;
  analysis.CutChanged(sonovar::Cut::kRed, 25);
  analysis.CutChanged(sonovar::Cut::kYellow, 50);
  sonovar::AutoLevel level;
  std::array<uint8_t, sonovar::kCaptureBufferBytes> buffer;
  for (size_t i = 0; i < buffer.size(); ++i)
    buffer[i] = static_cast<uint8_t>(128 + std::lrint(12 * std::sin(i * 0.07) * ((i % 7) / 7.0)));
  for (int i = 0; i < 1000; ++i) level.Apply(buffer);
  for (auto _ : state) {
    analysis.Peak = 0;
    benchmark::DoNotOptimize(analysis.Analyze(level.Apply(buffer)));
    benchmark::DoNotOptimize(analysis.SoundLevel);
  }
  state.counters["gain_dB"] = level.GainDb();
}
BENCHMARK(BM_AutoLevelThenAnalyze);

// A 10000-frame animation: profile frames of 32 values, a state frame in every ten.
std::string WriteLongAnimation() {
  const std::string path = std::filesystem::temp_directory_path() / "sonovar-bench-10000.qra";
  std::ofstream out(path);
  out << "10000\r\n";
  for (int f = 1; f <= 10000; ++f) {
    if (f % 10 == 0) {
      out << "\"QRL-SBA:255,255,255,255," << f % 8 << "\"\r\n";
      continue;
    }
    out << "\"QRL-PBA:";
    for (int i = 1; i <= 32; ++i) out << (f * 7 + i * 3) % 49 << (i < 32 ? "," : "\"\r\n");
  }
  return path;
}

// One buffer of each effect of the table (by its number), sending to four
// boards; QRA Link triggers every time.
void BM_EffectStep(benchmark::State& state) {
  const std::string path = WriteLongAnimation();
  sonovar::EffectEngine engine;
  sonovar::LoadQraFile(std::filesystem::path(path).filename().string(), {std::filesystem::path(path).parent_path()},
                       engine.Animation);
  engine.EffectMode = static_cast<int16_t>(state.range(0));
  sonovar::EffectInputs in;
  in.SoundLevel = 30;
  in.RedCount = 200;
  in.Delay = 2;
  sonovar::ActiveBoards active{false, true, true, true, true};
  NoBoards link;
  for (auto _ : state) engine.Step(in, active, link);
  std::filesystem::remove(path);
}
BENCHMARK(BM_EffectStep)->ArgName("effect")->DenseRange(1, sonovar::kEffectCount);

void BM_LoadAnimation10000Frames(benchmark::State& state) {
  const std::filesystem::path path = WriteLongAnimation();
  sonovar::QraAnimation animation;
  for (auto _ : state)
    benchmark::DoNotOptimize(sonovar::LoadQraFile(path.filename().string(), {path.parent_path()}, animation));
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadAnimation10000Frames)->Unit(benchmark::kMillisecond);

// Flushed to the disk each time: the figure depends on the disk.
void BM_SaveSettings(benchmark::State& state) {
  const std::string path = std::filesystem::temp_directory_path() / ("sonovar-bench-" + std::to_string(::getpid()));
  sonovar::SettingsRecord record;
  record.Name = "rainbow";
  for (auto _ : state) benchmark::DoNotOptimize(sonovar::SaveSettingsFile(path, record));
  std::filesystem::remove(path);
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
