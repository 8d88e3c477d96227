// Figures of the simulator's lamp window following a host: four boards, one
// "PBA:" command for each every 23.2 ms (one capture buffer), as Sonovar
// sends them. bench/lamp_window_figures.sh runs it under Xvfb:
//   quorel-sim --boards 1,2,3,4 --view window -- lamp_window_bench drive SECONDS WRITES
//   lamp_window_bench analyse WRITES PAINTS   (PAINTS: the window's QUOREL_SIM_PAINT_LOG)
#include <quorelctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::nanoseconds kBuffer(23219955);  // 256 frames at 11025 Hz
constexpr int kBoards = 4;
constexpr uint64_t kStartupReports = 5;  // the control's defaults: one state report, four profile reports
constexpr uint64_t kReportsPerCommand = 4;

long long Micros(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

// CPU clock ticks (user + system) of a process, from /proc/PID/stat.
long long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');  // the name may hold blanks
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;  // fields 3..13
  long long utime = 0, stime = 0;
  fields >> utime >> stime;
  return utime + stime;
}

int Drive(double seconds, const char* writes_path) {
  QuorelControl* q = quorel_create("Quorel_Control.Quorel", nullptr, nullptr);
  if (q == nullptr) return 1;
  char detected[17] = {};
  quorel_get_text(q, "Detected", detected, sizeof detected);
  if (std::strncmp(detected, "1111", 4) != 0) {
    std::fprintf(stderr, "boards 1-4 are needed (detected %s): run it under quorel-sim --boards 1,2,3,4\n", detected);
    return 1;
  }
  quorel_set_bool(q, "FastCom", 1);  // TURBO, Sonovar's default
  std::FILE* writes = std::fopen(writes_path, "w");
  if (writes == nullptr) return 1;

  const pid_t sim = ::getppid();
  const long long hz = ::sysconf(_SC_CLK_TCK);
  const long steps = static_cast<long>(seconds * 1e9 / kBuffer.count());
  const long long sim_before = CpuTicks(sim);
  const Clock::time_point start = Clock::now();
  Clock::duration worst_late{};
  for (long i = 0; i < steps; ++i) {
    const Clock::time_point due = start + i * kBuffer;
    std::this_thread::sleep_until(due);
    worst_late = std::max(worst_late, Clock::now() - due);
    // Every output changes in every step: a level that walks 0..49.
    std::string command = "PBA:";
    for (int k = 0; k < 32; ++k) command += std::to_string((i + k) % 50) + (k < 31 ? "," : "");
    for (int b = 1; b <= kBoards; ++b) {
      const long long sent = Micros(Clock::now());
      quorel_set_text(q, "DeviceNumber", std::to_string(b).c_str());
      quorel_set_text(q, "Command", command.c_str());
      std::fprintf(writes, "%lld %d %ld\n", sent, b, i);
    }
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const long long sim_during = CpuTicks(sim) - sim_before;
  std::fclose(writes);

  // Idle afterwards: the rates fall to 0, then nothing should run.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const long long idle_before = CpuTicks(sim);
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const long long idle = CpuTicks(sim) - idle_before;
  quorel_destroy(q);

  std::printf("stream: %ld \"PBA:\" commands to each of %d boards in %.1f s (%.1f a second per board, %.0f reports a second in all)\n",
              steps, kBoards, elapsed, steps / elapsed, steps * kBoards * kReportsPerCommand / elapsed);
  std::printf("writer: latest start of a step %.2f ms after its time\n",
              std::chrono::duration<double, std::milli>(worst_late).count());
  std::printf("simulator CPU during the stream: %.1f %% of one core (%lld ticks of %lld per second)\n",
              100.0 * sim_during / hz / elapsed, sim_during, hz);
  std::printf("simulator CPU idle, 5 s after the stream: %lld ticks\n", idle);
  return 0;
}

int Analyse(const char* writes_path, const char* paints_path) {
  // Write time of command i to board b.
  std::map<int, std::vector<long long>> written;
  {
    std::ifstream in(writes_path);
    long long t;
    int b;
    long i;
    while (in >> t >> b >> i) written[b].push_back(t);
  }
  struct Paint {
    long long t;
    std::map<int, uint64_t> reports;
  };
  std::vector<Paint> paints;
  {
    std::ifstream in(paints_path);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      Paint p;
      fields >> p.t;
      std::string item;
      while (fields >> item) {
        const size_t colon = item.find(':');
        p.reports[std::stoi(item.substr(0, colon))] = std::stoull(item.substr(colon + 1));
      }
      paints.push_back(std::move(p));
    }
  }
  if (written.empty() || paints.empty()) {
    std::fprintf(stderr, "nothing to analyse\n");
    return 1;
  }
  long long first = written.begin()->second.front(), last = first;
  for (const auto& [b, times] : written) first = std::min(first, times.front()), last = std::max(last, times.back());

  // Redraws while the stream ran, and the most in any one second.
  std::vector<long long> during;
  for (const Paint& p : paints)
    if (p.t >= first && p.t <= last) during.push_back(p.t);
  size_t most = 0;
  for (size_t a = 0, z = 0; z < during.size(); ++z) {
    while (during[z] - during[a] >= 1000000) ++a;
    most = std::max(most, z - a + 1);
  }
  const double span = (last - first) / 1e6;
  std::printf("redraws during the stream: %zu in %.1f s, %.1f a second, at most %zu in any one second\n",
              during.size(), span, during.size() / span, most);

  // Lag: from the moment a command is handed to the control to the first
  // redraw that shows all its reports.
  std::vector<double> lags;
  size_t never = 0;
  for (const auto& [b, times] : written) {
    size_t p = 0;
    for (size_t i = 0; i < times.size(); ++i) {
      const uint64_t needed = kStartupReports + kReportsPerCommand * (i + 1);
      while (p < paints.size() && (paints[p].reports[b] < needed || paints[p].t < times[i])) ++p;
      if (p == paints.size()) {
        ++never;
        continue;
      }
      lags.push_back((paints[p].t - times[i]) / 1000.0);
    }
  }
  std::sort(lags.begin(), lags.end());
  if (lags.empty()) {
    std::printf("no command reached the window\n");
    return 1;
  }
  double sum = 0;
  for (double l : lags) sum += l;
  auto at = [&](double q) { return lags[std::min(lags.size() - 1, static_cast<size_t>(q * lags.size()))]; };
  std::printf("lag from a command's write to the redraw showing it: mean %.1f ms, median %.1f, 95 %% %.1f, max %.1f ms"
              " (%zu commands, %zu never shown)\n",
              sum / lags.size(), at(0.5), at(0.95), lags.back(), lags.size(), never);
  return never == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "drive") == 0) return Drive(std::atof(argv[2]), argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "analyse") == 0) return Analyse(argv[2], argv[3]);
  std::fprintf(stderr, "usage: lamp_window_bench drive SECONDS WRITES | analyse WRITES PAINTS\n");
  return 2;
}
