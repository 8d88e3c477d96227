// The bindings file: which board numbers are DMX universes, and the server
// of which transport carries each. One binding a line, in a format fixed for
// good so that files carry over between versions ("via ola" when no
// transport is named):
//   board N = universe U channel C [server HOST:PORT] [via TRANSPORT]   # a comment
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quorelctl/dmx/transports.h"

namespace quorelctl {

inline constexpr int kLastFirstChannel = 481;  // so that all 32 outputs fit in 512 channels
inline constexpr const char* kDefaultOlaHost = "127.0.0.1";
inline constexpr uint16_t kDefaultOlaPort = 9010;

struct Binding {
  int board = 0;
  uint32_t universe = 0;
  int first_channel = 1;  // of output 1; output k is first_channel + k - 1
  std::string host = kDefaultOlaHost;
  uint16_t port = kDefaultOlaPort;
  const Transport* transport = kDefaultTransport;
  int line = 0;

  // "host:port", as the server is shown and grouped.
  std::string server() const { return host + ":" + std::to_string(port); }
};

struct BindingProblem {
  int line = 0;  // 0: the file as a whole
  std::string reason;
};

struct BindingsFile {
  std::string path;  // "" when no file is there
  std::vector<Binding> bindings;
  std::vector<BindingProblem> problems;
};

// Problems kept of one file: the rest are counted in one more problem, at
// the first line left out.
inline constexpr size_t kListedProblems = 100;

// Reads the lines of a bindings file. A line that cannot be read, a board
// bound again or channels that do not fit (or that another board of the same
// universe already takes) are problems; every other line counts.
BindingsFile ParseBindings(std::string_view text, std::string path);

// The file in use: $QUORELCTL_BOARDS; else $XDG_CONFIG_HOME/quorelctl/boards.conf
// (~/.config/... when unset) when it exists; else /etc/quorelctl/boards.conf.
// A missing file at a default place is no file at all; a named one that is
// missing or unreadable is a problem.
BindingsFile LoadBindings();

}  // namespace quorelctl
