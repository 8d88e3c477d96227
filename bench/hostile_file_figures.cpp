// How long hostile files hold the window: loading animation files made to be
// expensive (sparse gigabytes, blanks without end, the largest frames), the
// settings file grown to a gigabyte, and the QRA Link step after ten loads of
// unreadable frames. Prints one line per case and the worst of each kind.
//   hostile_file_figures [FOLDER]   (a folder with some 16 GiB of sparse room; /tmp by default)
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sonovar/animation/qra_file.h"
#include "sonovar/app/settings_file.h"
#include "sonovar/effects/effect_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class NoBoards final : public sonovar::BoardLink {
 public:
  std::string Detected() override { return "1111000000000000"; }
  int SetDeviceNumber(std::string_view) override { return 0; }
  void SetCommand(std::string_view) override {}
  void SetFastCom(bool) override {}
  void SetCompatibilityDelay(int16_t) override {}
};

void Write(const fs::path& path, const std::string& text, long long sparse_size = 0) {
  std::ofstream(path, std::ios::binary) << text;
  if (sparse_size > 0 && ::truncate(path.c_str(), sparse_size) != 0) std::perror("truncate");
}

// 10000 announced frames of 64 KiB that are profile frames without a comma.
std::string UnreadableFrames(size_t leading_short) {
  std::string text = "10000\n";
  for (size_t i = 0; i < leading_short; ++i) text += "x\n";
  const std::string frame = "QRL-PBA:" + std::string(sonovar::kMaxQraFieldBytes - 8, '1');
  while (text.size() < sonovar::kMaxQraFileBytes) text += frame + "\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = fs::path(argc > 1 ? argv[1] : "/tmp") / ("hostile-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const sonovar::AnimationFolders folders = {folder};

  std::printf("Animation loads (the window waits for each):\n");
  struct Case {
    const char* name;
    std::string text;
    long long sparse;
  };
  const Case cases[] = {
      {"8 GiB sparse after a closing quote", "1\n\"x\"", 8ll << 30},
      {"8 GiB sparse, one unquoted field", "1\n", 8ll << 30},
      {"blanks to the read limit before a frame",
       "2\n\"a\"\n" + std::string(sonovar::kMaxQraFileBytes, ' ') + "\"b\"\n", 0},
      {"text after a closing quote to the limit", "1\n\"a\"" + std::string(sonovar::kMaxQraFileBytes, 'z') + "\n", 0},
      {"10000 frames of 64 KiB (16 MiB kept)", UnreadableFrames(0), 0},
  };
  double worst_load = 0;
  for (const Case& c : cases) {
    Write(folder / "case.qra", c.text, c.sparse);
    sonovar::QraAnimation animation;
    const auto start = Clock::now();
    const bool loaded = sonovar::LoadQraFile("case", folders, animation);
    const double ms = Ms(Clock::now() - start);
    worst_load = std::max(worst_load, ms);
    std::printf("  %-45s %8.1f ms (%s)\n", c.name, ms, loaded ? "loaded" : "refused");
  }
  fs::remove(folder / "case.qra");

  std::printf("Settings file of 1 GiB (sparse):\n");
  const std::string settings = (folder / sonovar::kSettingsFileName).string();
  sonovar::SettingsRecord record;
  record.Name = "rainbow";
  const std::vector<uint8_t> encoded = sonovar::EncodeSettings(record);
  Write(settings, std::string(encoded.begin(), encoded.end()), 1ll << 30);
  auto start = Clock::now();
  sonovar::LoadSettingsFile(settings);
  const double load_ms = Ms(Clock::now() - start);
  start = Clock::now();
  const std::string error = sonovar::SaveSettingsFile(settings, record);
  const double save_ms = Ms(Clock::now() - start);
  std::printf("  load %.1f ms, \"Make Default\" %.1f ms (%s), file now %llu bytes\n", load_ms, save_ms,
              error.empty() ? "saved" : error.c_str(), static_cast<unsigned long long>(fs::file_size(settings)));
  fs::remove(settings);

  std::printf("QRA Link after ten loads of unreadable 64 KiB frames, a trigger in every buffer:\n");
  sonovar::EffectEngine engine;
  engine.EffectMode = sonovar::kQraLink;
  for (size_t load = 0; load < 10; ++load) {
    Write(folder / "case.qra", UnreadableFrames((9 - load) * 260));
    sonovar::LoadQraFile("case", folders, engine.Animation);
  }
  fs::remove(folder / "case.qra");
  size_t held = 0;
  for (const std::string& frame : engine.Animation.QraFrames) held += frame.size();
  sonovar::EffectInputs in;
  in.RedCount = 200;
  in.Delay = 2;
  sonovar::ActiveBoards active{false, true, true, true, true};
  NoBoards link;
  // The CPU time of the thread as well as the clock: on a shared machine a
  // step may wait for the processor, which is not its own work.
  double worst_step = 0, worst_cpu = 0, total = 0;
  constexpr int kSteps = 2000;
  for (int i = 0; i < kSteps; ++i) {
    timespec cpu_start{}, cpu_end{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_start);
    const auto step_start = Clock::now();
    engine.Step(in, active, link);
    const double ms = Ms(Clock::now() - step_start);
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_end);
    const double cpu_ms = (cpu_end.tv_sec - cpu_start.tv_sec) * 1e3 + (cpu_end.tv_nsec - cpu_start.tv_nsec) / 1e6;
    worst_step = std::max(worst_step, ms);
    worst_cpu = std::max(worst_cpu, cpu_ms);
    total += ms;
  }
  std::printf("  frames held %.1f MB; step mean %.3f ms, worst %.3f ms (%.3f ms of CPU) over %d steps\n", held / 1e6,
              total / kSteps, worst_step, worst_cpu, kSteps);
  fs::remove_all(folder);
  std::printf("Worst animation load: %.1f ms; worst QRA Link step: %.3f ms (%.3f ms of CPU)\n", worst_load,
              worst_step, worst_cpu);
  return 0;
}
