// The main window capturing from an audio file for a while, with the boards
// 1-4 that are there active and Pulse/Sweep: the CPU it uses per second of
// capture and the frames it drops. Offscreen unless a display is named.
//   quorel-sim --boards 1,2,3,4 --view none -- capture_cpu_bench [SECONDS]   (60 by default)
#include <sndfile.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "bench_support.h"
#include "platform/wavein.h"
#include "platform/wavein_backend.h"
#include "sonovar/app/form1.h"
#include "sonovar/app/widgets.h"
#include "support/named_widgets.h"

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  if (!qEnvironmentVariableIsSet("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The settings file lies in the working folder: one of its own.
  QTemporaryDir folder;
  QDir::setCurrent(folder.path());
  const std::string path = bench_support::WriteMusicLikeWav("sonovar-cpu-bench.wav", 5);
  qputenv("SONOVAR_INPUT_FILE", path.c_str());

  sonovar::Form1 form(platform::SystemWaveIn(), [](QWidget*, const sonovar::Message& m) {
    std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
  });
  if (!form.Form_Load()) return 1;
  for (int n = 1; n <= 4; ++n)
    if (testing_support::Widget<QLabel>(form, "lbl_DevNum", n)->isEnabled()) form.lbl_DevNum_Click(n);
  form.lbl_Effect_Click(sonovar::kPulseSweep);
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
    cpu_start = bench_support::CpuSeconds();
    wall_start = std::chrono::steady_clock::now();
  });
  QTimer::singleShot(seconds * 1000, &form, [&] { testing_support::Widget<QPushButton>(form, "Command1")->click(); });
  form.Command1_Click();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  const double cpu = bench_support::CpuSeconds() - cpu_start;
  std::printf("captured %d buffers in %.1f s (%.1f per second)\n", buffers, wall, buffers / wall);
  std::printf("CPU: %.2f ms per second of capture (%.3f %% of one core)\n", 1000 * cpu / wall, 100 * cpu / wall);
  std::printf("dropped frames: %llu (%.1f per minute)\n", static_cast<unsigned long long>(dropped),
              dropped * 60.0 / wall);
  std::filesystem::remove(path);
  return 0;
}
