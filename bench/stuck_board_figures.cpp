// How long a board that takes no reports holds its host: creation (five
// start-up reports), one "SBA:" command (one report) and one "PBA:" command
// (four reports) through the C interface, to a FIFO node that nobody reads.
//   stuck_board_figures [ROUNDS]   (5 by default; the longest is printed)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "quorelctl.h"
#include "support/fake_sysfs.h"

namespace {

using Clock = std::chrono::steady_clock;

double Time(const std::function<void()>& body) {
  const Clock::time_point start = Clock::now();
  body();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  double create = 0, state = 0, profile = 0;
  std::string pba = "PBA:";
  for (int i = 0; i < 32; ++i) pba += std::string(i ? "," : "") + "20";
  for (int r = 0; r < rounds; ++r) {
    testing_support::FakeSysfs tree;
    const std::string node = tree.Add("hidraw0", 0xE7A1, 0x00F0);
    tree.Activate();
    testing_support::FifoReader reader(node);  // there, but never reading
    const int filler = ::open(node.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    std::vector<char> junk(4096, 0);
    while (::write(filler, junk.data(), junk.size()) > 0) {
    }
    ::close(filler);
    QuorelControl* control = nullptr;
    create = std::max(create, Time([&] { control = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr); }));
    if (control == nullptr) return 1;
    quorel_set_bool(control, "FastCom", 1);
    quorel_set_text(control, "DeviceNumber", "1");
    state = std::max(state, Time([&] { quorel_set_text(control, "Command", "SBA:1,2,3,4,5"); }));
    profile = std::max(profile, Time([&] { quorel_set_text(control, "Command", pba.c_str()); }));
    quorel_destroy(control);
    testing_support::FakeSysfs::Deactivate();
  }
  std::printf("a board that takes no reports holds the host, longest of %d rounds:\n", rounds);
  std::printf("  creation (5 reports): %.0f ms\n", create);
  std::printf("  \"SBA:\" command (1 report): %.0f ms\n", state);
  std::printf("  \"PBA:\" command (4 reports): %.0f ms\n", profile);
  return 0;
}
