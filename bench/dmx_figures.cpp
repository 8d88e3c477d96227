// Figures of boards bound to DMX universes, run by bench/dmx_figures.sh
// against a private olad (OLA_PORT, QUORELCTL_BOARDS written here):
//   dmx_figures latency      command written to its channels visible in
//                            olad: p50 and p99 over 1000 commands
//   dmx_figures create       creation with four bindings and no server
//   dmx_figures waves SECS   four boards animating waveforms for SECS seconds;
//                            prints this process's pid, then its CPU
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dmx/ola_fetch.h"
#include "quorelctl.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string Port() { return std::getenv("OLA_PORT") ? std::getenv("OLA_PORT") : "1"; }

void Bind(const std::string& lines) {
  const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/dmx_figures.conf";
  std::ofstream(path) << lines;
  setenv("QUORELCTL_BOARDS", path.c_str(), 1);
}

std::string FourBoards(const std::string& port) {
  std::string lines;
  for (int b = 1; b <= 4; ++b)
    lines += "board " + std::to_string(b) + " = universe 1 channel " + std::to_string(32 * (b - 1) + 1) +
             " server 127.0.0.1:" + port + "\n";
  return lines;
}

int Latency() {
  Bind(FourBoards(Port()));
  QuorelControl* q = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  OlaFetch ola(static_cast<uint16_t>(std::atoi(Port().c_str())));
  quorel_set_bool(q, "FastCom", 1);
  quorel_set_text(q, "DeviceNumber", "1");
  quorel_set_text(q, "Command", "SBA:255,255,255,255,3");
  std::vector<double> ms;
  for (int i = 0; i < 1000; ++i) {
    const int level = i % 2 ? 48 : 24;  // 255 and 128 on channel 1
    const uint8_t want = level == 48 ? 255 : 128;
    std::string command = "PBA:" + std::to_string(level);
    for (int k = 2; k <= 32; ++k) command += ",0";
    const Clock::time_point start = Clock::now();
    quorel_set_text(q, "Command", command.c_str());
    for (;;) {
      auto data = ola.Fetch(1);
      if (data && !data->empty() && (*data)[0] == want) break;
      if (Clock::now() - start > std::chrono::seconds(2)) {
        std::fprintf(stderr, "command %d never showed\n", i);
        return 1;
      }
    }
    ms.push_back(Ms(Clock::now() - start));
  }
  quorel_destroy(q);
  std::sort(ms.begin(), ms.end());
  std::printf("command to DMX in olad over %zu commands: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", ms.size(),
              ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
  return 0;
}

int Create() {
  Bind(FourBoards("1"));  // port 1: nothing listens
  const Clock::time_point start = Clock::now();
  QuorelControl* q = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  const double created = Ms(Clock::now() - start);
  quorel_destroy(q);
  Bind("");
  const Clock::time_point bare = Clock::now();
  q = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  const double unbound = Ms(Clock::now() - bare);
  quorel_destroy(q);
  std::printf("creation with four bindings and no server: %.0f ms; with an empty bindings file: %.2f ms\n", created,
              unbound);
  return 0;
}

int Waves(int seconds) {
  Bind(FourBoards(Port()));
  QuorelControl* q = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  quorel_set_bool(q, "FastCom", 1);
  for (int b = 1; b <= 4; ++b) {
    quorel_set_text(q, "DeviceNumber", std::to_string(b).c_str());
    quorel_set_text(q, "Command", "SBA:255,255,255,255,3");
    const char* waves[] = {"SAW", "SQR", "SDN", "SUP"};
    for (int k = 1; k <= 32; ++k) {
      char command[16];
      std::snprintf(command, sizeof command, "P%02d:%s", k, waves[k % 4]);
      quorel_set_text(q, "Command", command);
    }
  }
  std::printf("waves %d\n", static_cast<int>(getpid()));
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  quorel_destroy(q);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "latency") == 0) return Latency();
  if (argc >= 2 && std::strcmp(argv[1], "create") == 0) return Create();
  if (argc >= 3 && std::strcmp(argv[1], "waves") == 0) return Waves(std::atoi(argv[2]));
  std::fprintf(stderr, "usage: dmx_figures latency | create | waves SECONDS\n");
  return 2;
}
