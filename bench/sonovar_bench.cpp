// Analysis of one 512-byte capture buffer.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

#include "sonovar/capture/level_analysis.h"

namespace {

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

}  // namespace

BENCHMARK_MAIN();
