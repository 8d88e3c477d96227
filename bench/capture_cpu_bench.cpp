// The main window capturing from an audio file for a while (offscreen): the
// CPU it uses per second of capture and the frames it drops.
//   capture_cpu_bench [SECONDS]   (60 by default)
#include <sndfile.h>
#include <sys/resource.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "platform/wavein.h"
#include "platform/wavein_backend.h"
#include "sonovar/app/form1.h"

namespace {
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string path = std::filesystem::temp_directory_path() / "sonovar-cpu-bench.wav";
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  std::vector<float> frames(44100 * 5 * 2);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = 0.6f * std::sin(i * 0.013f) * std::sin(i * 0.00021f);
  sf_writef_float(f, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
  sf_close(f);
  qputenv("SONOVAR_INPUT_FILE", path.c_str());

  sonovar::Form1 form(platform::SystemWaveIn(), [](QWidget*, const sonovar::Message& m) {
    std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
  });
  form.Form_Load();
  if (!qEnvironmentVariableIsSet("BENCH_HIDDEN")) form.show();
  int buffers = 0;
  uint64_t dropped = 0;
  form.AfterAnalysis = [&] {
    ++buffers;
    dropped = form.capture().DroppedFrames();
  };
  double cpu_start = 0;
  auto wall_start = std::chrono::steady_clock::now();
  QTimer::singleShot(0, &form, [&] {
    cpu_start = CpuSeconds();
    wall_start = std::chrono::steady_clock::now();
  });
  QTimer::singleShot(seconds * 1000, &form, [&] { form.Command1->click(); });
  form.Command1_Click();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  const double cpu = CpuSeconds() - cpu_start;
  std::printf("captured %d buffers in %.1f s (%.1f per second)\n", buffers, wall, buffers / wall);
  std::printf("CPU: %.2f ms per second of capture (%.3f %% of one core)\n", 1000 * cpu / wall, 100 * cpu / wall);
  std::printf("dropped frames: %llu (%.1f per minute)\n", static_cast<unsigned long long>(dropped),
              dropped * 60.0 / wall);
  std::filesystem::remove(path);
  return 0;
}
