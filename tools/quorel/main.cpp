// quorel: the board control from the shell.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorelctl.hpp"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: quorel detect\n"
               "       quorel send [--fast] [--delay MS] BOARD COMMAND...\n");
  return 2;
}

int Detect() {
  quorel::Control control;
  const std::string detected = control.Detected();
  std::printf("Detected %s\n", detected.c_str());
  int found = 0;
  for (size_t k = 0; k < detected.size(); ++k) {
    if (detected[k] == '1') {
      std::printf("board %zu\n", k + 1);
      ++found;
    }
  }
  if (found == 0) std::printf("no board found\n");
  return 0;
}

int Send(int argc, char** argv) {
  bool fast = false;
  bool delay_set = false;
  long delay = 1;
  int i = 0;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    if (std::strcmp(argv[i], "--fast") == 0) {
      fast = true;
    } else if (std::strcmp(argv[i], "--delay") == 0 && i + 1 < argc) {
      char* end = nullptr;
      delay = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || delay < 0 || delay > 32767) {
        std::fprintf(stderr, "quorel: --delay takes milliseconds 0-32767\n");
        return 2;
      }
      delay_set = true;
    } else {
      return Usage();
    }
  }
  if (argc - i < 2) return Usage();
  quorel::Control control;
  if (fast) control.SetFastCom(true);
  if (delay_set) control.SetCompatibilityDelay(static_cast<int16_t>(delay));
  control.SetDeviceNumber(std::string(argv[i]));
  for (++i; i < argc; ++i) control.SetCommand(argv[i]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  try {
    if (std::strcmp(argv[1], "detect") == 0 && argc == 2) return Detect();
    if (std::strcmp(argv[1], "send") == 0) return Send(argc - 2, argv + 2);
  } catch (const quorel::Error& error) {
    std::fprintf(stderr, "quorel: error %d: %s\n", error.number(), error.what());
    return 1;
  }
  return Usage();
}
