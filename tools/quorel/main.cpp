// quorel: the board control from the shell.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "quorelctl_report.hpp"
#include "udev_rule.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: quorel detect                 which boards are present, and where\n"
               "       quorel devices                every HID device, and why it is or is not a usable board\n"
               "       quorel send [--fast] [--delay MS] BOARD[,BOARD...] COMMAND...\n"
               "                                     select BOARD, then send each COMMAND in order\n"
               "       quorel send [--fast] [--delay MS] BOARD[,BOARD...] -\n"
               "                                     send each line of standard input as a command, to each BOARD\n"
               "COMMAND is the board command language (\"SBA:255,255,255,255,4\", \"P05:SAW\"): every word, its\n"
               "values and the reports it sends are in docs/command-language.md of the source.\n");
  return 2;
}

int Detect() {
  quorel::Control control;
  const std::string detected = control.Detected();
  std::printf("Detected %s\n", detected.c_str());
  const std::vector<QuorelDevice> devices = quorel::ListDevices();
  const std::vector<QuorelBinding> bindings = quorel::ListBindings();
  int found = 0;
  for (size_t k = 0; k < detected.size(); ++k) {
    if (detected[k] != '1') continue;
    ++found;
    const char* path = "?";
    for (const QuorelDevice& d : devices)
      if (d.usable && d.board == static_cast<int>(k + 1)) path = d.path;
    for (const QuorelBinding& b : bindings)
      if (b.usable && b.board == static_cast<int>(k + 1)) path = b.description;
    std::printf("board %zu  %s\n", k + 1, path);
  }
  if (found == 0) std::printf("no board found (\"quorel devices\" tells why)\n");
  return 0;
}

int Devices() {
  const std::vector<std::string> places =
      quorel::BindingsPlaces(std::getenv("QUORELCTL_BOARDS"), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  std::fputs(quorel::DevicesReport(quorel::ListDevices(), quorel::ListBindings(), places, QUOREL_UDEV_RULE).c_str(),
             stdout);
  return 0;
}

int Send(int argc, char** argv) {
  bool fast = false;
  std::optional<long> delay;
  int i = 0;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    if (std::strcmp(argv[i], "--fast") == 0) {
      fast = true;
    } else if (std::strcmp(argv[i], "--delay") == 0 && i + 1 < argc) {
      delay = quorel_tools::ParseWholeNumber(argv[++i], 0, 32767);
      if (!delay) {
        std::fprintf(stderr, "quorel: --delay takes whole milliseconds 0-32767, not \"%s\"\n", argv[i]);
        return 2;
      }
    } else {
      return Usage();
    }
  }
  if (argc - i < 2) return Usage();
  // Every number is checked before anything is sent: a bad one sends nothing.
  const auto boards = quorel_tools::ParseBoardList(argv[i]);
  if (!boards) {
    std::fprintf(stderr, "quorel: BOARD takes distinct board numbers 1-16 such as 1,3, not \"%s\"\n", argv[i]);
    return 2;
  }
  quorel::Control control;
  if (fast) control.SetFastCom(true);
  if (delay) control.SetCompatibilityDelay(static_cast<int16_t>(*delay));
  // Selecting sends nothing, so an absent board ends the run before any
  // board has been sent a command.
  for (int board : *boards) control.SetDeviceNumber(board);

  if (argc - i == 2 && std::strcmp(argv[i + 1], "-") == 0) {
    // One control for the whole input: commands as they come, to each board.
    for (std::string line; std::getline(std::cin, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      for (int board : *boards) control.Send(board, line);
    }
    return 0;
  }
  // Several boards ("1,2"): each gets all the commands in turn.
  for (int board : *boards) {
    control.SetDeviceNumber(board);
    for (int k = i + 1; k < argc; ++k) control.SetCommand(argv[k]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  try {
    if (std::strcmp(argv[1], "detect") == 0 && argc == 2) return Detect();
    if (std::strcmp(argv[1], "devices") == 0 && argc == 2) return Devices();
    if (std::strcmp(argv[1], "send") == 0) return Send(argc - 2, argv + 2);
  } catch (const quorel::Error& error) {
    std::fprintf(stderr, "quorel: error %d: %s\n", error.number(), error.what());
    return 1;
  }
  return Usage();
}
