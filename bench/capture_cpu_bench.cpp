// The main window steering the show while it captures from an audio file for
// a while, with the boards 1-4 that are there active and Pulse/Sweep: the CPU
// the whole process (the window's thread, the show's and the sound input's)
// uses per second of capture, the frames the show dropped and how often the
// show's views woke the window. Offscreen unless a display is named.
//   quorel-sim --boards 1,2,3,4 --view none -- capture_cpu_bench [SECONDS]   (60 by default)
#include <sndfile.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "bench_support.h"
#include "platform/wavein.h"
#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
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

  sonovar::MainWindow form(platform::SystemWaveIn(), [](QWidget*, const sonovar::Message& m) {
    std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
  });
  if (!form.LoadStartupState()) return 1;
  for (int n = 1; n <= 4; ++n)
    if (testing_support::Widget<QLabel>(form, "lbl_DevNum", n)->isEnabled()) form.onBoardClicked(n);
  form.onEffectLabelClicked(sonovar::kPulseSweep);
  // show() is the window's show (its Show); this shows the window.
  if (!qEnvironmentVariableIsSet("BENCH_HIDDEN")) form.show();
  // Counted on the show's thread, after each buffer's board writes.
  auto buffers = std::make_shared<std::atomic<int>>(0);
  form.liveShow().SetAfterBuffer([buffers] { buffers->fetch_add(1, std::memory_order_relaxed); });
  uint64_t dropped = 0;
  uint64_t wakeups_start = 0;
  double cpu_start = 0;
  auto wall_start = std::chrono::steady_clock::now();
  QTimer::singleShot(0, &form, [&] {
    wakeups_start = form.ViewWakeups();
    cpu_start = bench_support::CpuSeconds();
    wall_start = std::chrono::steady_clock::now();
    form.onStartStopClicked();  // returns once the input is open; the show captures on its own thread
  });
  QTimer::singleShot(seconds * 1000, &form, [&] {
    // Read while the capture is open: a stopped capture has no count.
    dropped = form.liveShow().DroppedFrames();
    testing_support::Widget<QPushButton>(form, "Command1")->click();
    form.liveShow().Call([](sonovar::ShowCore&) {});  // the capture has ended
    QApplication::quit();
  });
  QApplication::exec();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  const double cpu = bench_support::CpuSeconds() - cpu_start;
  const int captured = buffers->load();
  const uint64_t wakeups = form.ViewWakeups() - wakeups_start;
  std::printf("captured %d buffers in %.1f s (%.1f per second)\n", captured, wall, captured / wall);
  std::printf("CPU: %.2f ms per second of capture (%.3f %% of one core)\n", 1000 * cpu / wall, 100 * cpu / wall);
  std::printf("dropped frames: %llu (%.1f per minute)\n", static_cast<unsigned long long>(dropped),
              dropped * 60.0 / wall);
  std::printf("window wake-ups for views: %llu (%.1f per second)\n", static_cast<unsigned long long>(wakeups),
              wakeups / wall);
  std::filesystem::remove(path);
  return 0;
}
