#include "quorelctl/dmx/bindings.h"

#include <charconv>
#include <cstdlib>
#include <sstream>

#include "common/ascii.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace quorelctl {

namespace {

// A file longer than this is no bindings file; the lines before it count.
constexpr size_t kMaxFileBytes = 1 << 20;

constexpr const char* kFormat =
    "expected \"board N = universe U channel C\", optionally followed by \"server HOST:PORT\" and \"via TRANSPORT\"";

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (common::AsciiLower(a[i]) != common::AsciiLower(b[i])) return false;
  return true;
}

// Plain decimal digits only, within [low, high].
bool WholeNumber(std::string_view text, uint64_t low, uint64_t high, uint64_t* out) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
  *out = value;
  return true;
}

// The words of a line; "=" is a word of its own, blanks or not around it.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
      ++i;
    } else if (c == '=') {
      words.push_back(line.substr(i++, 1));
    } else {
      size_t end = i;
      while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r' && line[end] != '=' &&
             line[end] != '\v' && line[end] != '\f')
        ++end;
      words.push_back(line.substr(i, end - i));
      i = end;
    }
  }
  return words;
}

// HOST:PORT, the host an IPv4 address or "localhost" (names would need a
// resolver that can hang the show).
bool ParseServer(std::string_view text, Binding* b, std::string* reason) {
  const size_t colon = text.rfind(':');
  uint64_t port = 0;
  if (colon == std::string_view::npos || !WholeNumber(text.substr(colon + 1), 1, 65535, &port)) {
    *reason = "server must be HOST:PORT with a port 1-65535, not \"" + std::string(text) + "\"";
    return false;
  }
  std::string_view host = text.substr(0, colon);
  if (SameWord(host, "localhost")) host = kDefaultOlaHost;
  // Four decimal parts 0-255 without leading zeros, the dotted form that the
  // system's address parser takes (it refuses "010.0.0.1" and "1.2.3.4.").
  int parts = 0;
  for (size_t from = 0;;) {
    const size_t dot = host.find('.', from);
    const std::string_view part = host.substr(from, dot == std::string_view::npos ? std::string_view::npos : dot - from);
    uint64_t value = 0;
    if ((part.size() > 1 && part[0] == '0') || !WholeNumber(part, 0, 255, &value) || ++parts > 4) {
      parts = 0;
      break;
    }
    if (dot == std::string_view::npos) break;
    from = dot + 1;
  }
  if (parts != 4) {
    *reason = "server host must be an IPv4 address or localhost, not \"" + std::string(host) + "\"";
    return false;
  }
  b->host = std::string(host);
  b->port = static_cast<uint16_t>(port);
  return true;
}

// One line; false with the reason when it cannot be read.
bool ParseLine(std::string_view line, Binding* b, std::string* reason) {
  std::vector<std::string_view> w = Words(line);
  // "via NAME" ends the line when it names the transport.
  if ((w.size() == 9 || w.size() == 11) && SameWord(w[w.size() - 2], "via")) {
    b->transport = FindTransport(w.back());
    if (b->transport == nullptr) {
      std::string known;
      for (const Transport& t : kTransports) known += (known.empty() ? "" : " or ") + std::string(t.name);
      return *reason = "transport must be " + known + ", not \"" + std::string(w.back()) + "\"", false;
    }
    w.resize(w.size() - 2);
    b->port = b->transport->default_port;
  }
  if (w.size() != 7 && w.size() != 9) return *reason = kFormat, false;
  if (!SameWord(w[0], "board") || w[2] != "=" || !SameWord(w[3], "universe") || !SameWord(w[5], "channel") ||
      (w.size() == 9 && !SameWord(w[7], "server")))
    return *reason = kFormat, false;
  uint64_t board = 0, universe = 0, channel = 0;
  if (!WholeNumber(w[1], 1, 16, &board))
    return *reason = "board number must be 1-16, not \"" + std::string(w[1]) + "\"", false;
  if (!WholeNumber(w[4], 0, UINT32_MAX, &universe))
    return *reason = "universe must be a number 0-4294967295, not \"" + std::string(w[4]) + "\"", false;
  if (!WholeNumber(w[6], 1, kLastFirstChannel, &channel))
    return *reason = "channel must be 1-481 so that the board's 32 outputs fit in the universe's 512, not \"" +
                     std::string(w[6]) + "\"",
           false;
  b->board = static_cast<int>(board);
  b->universe = static_cast<uint32_t>(universe);
  b->first_channel = static_cast<int>(channel);
  return w.size() == 7 || ParseServer(w[8], b, reason);
}

// Why `b` cannot join the bindings already taken, "" when it can.
std::string Clash(const Binding& b, const std::vector<Binding>& taken) {
  for (const Binding& t : taken) {
    if (t.board == b.board)
      return "board " + std::to_string(b.board) + " is already bound on line " + std::to_string(t.line);
    if (t.universe == b.universe && t.server() == b.server() && t.transport == b.transport &&
        b.first_channel < t.first_channel + 32 && t.first_channel < b.first_channel + 32)
      return "channels " + std::to_string(b.first_channel) + "-" + std::to_string(b.first_channel + 31) +
             " of universe " + std::to_string(b.universe) + " overlap those of board " + std::to_string(t.board) +
             " (line " + std::to_string(t.line) + ")";
  }
  return {};
}

// A privileged host reads only the system's file: its caller chooses its
// environment.
std::string Environment(const char* name) { return platform::TrustedEnvironment(name); }

}  // namespace

BindingsFile ParseBindings(std::string_view text, std::string path) {
  BindingsFile file;
  file.path = std::move(path);
  int number = 0;
  // A file of nothing but bad lines would otherwise cost every control that
  // reads it memory and every listing pages, for lines no one reads.
  int first_unlisted = 0;
  size_t unlisted = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    line = line.substr(0, line.find('#'));
    if (Words(line).empty()) continue;
    Binding b;
    b.line = number;
    std::string reason;
    if (ParseLine(line, &b, &reason)) reason = Clash(b, file.bindings);
    if (reason.empty()) {
      file.bindings.push_back(std::move(b));
    } else if (file.problems.size() < kListedProblems) {
      file.problems.push_back({number, std::move(reason)});
    } else if (unlisted++ == 0) {
      first_unlisted = number;
    }
  }
  if (unlisted > 0)
    file.problems.push_back({first_unlisted, "this line and " + std::to_string(unlisted - 1) +
                                                 " more after it cannot be read either; only the first " +
                                                 std::to_string(kListedProblems) + " problems are listed"});
  return file;
}

BindingsFile LoadBindings() {
  std::string path = Environment("QUORELCTL_BOARDS");
  const bool named = !path.empty();
  // Opened first and checked after, without waiting: a FIFO or a device put
  // in its place would otherwise hold the host's start until something wrote.
  std::string text;
  bool more = false;
  std::string error;
  auto read = [&](const std::string& name) {
    return platform::ReadRegularFile(name, kMaxFileBytes, platform::Links::kFollow, &text, &more, &error);
  };
  platform::ReadStatus status = platform::ReadStatus::kMissing;
  if (named) {
    status = read(path);
  } else {
    const std::string config = Environment("XDG_CONFIG_HOME");
    const std::string home = Environment("HOME");
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    if (!config.empty() && config[0] == '/') path = config + "/quorelctl/boards.conf";
    else if (!home.empty()) path = home + "/.config/quorelctl/boards.conf";
    if (!path.empty()) status = read(path);
    if (status != platform::ReadStatus::kRead) {
      path = "/etc/quorelctl/boards.conf";
      status = read(path);
    }
  }
  if (status != platform::ReadStatus::kRead) {
    BindingsFile none;
    if (named) {
      none.path = path;
      none.problems.push_back({0, status == platform::ReadStatus::kMissing ? "cannot be read: there is no such file"
                                  : status == platform::ReadStatus::kRefused
                                      ? "is not a regular file that can be read"
                                      : "cannot be read: " + error});
    }
    return none;
  }
  if (more) text.resize(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n'));
  BindingsFile file = ParseBindings(text, path);
  if (more) file.problems.push_back({0, "is longer than 1 MiB; only the lines before that count"});
  return file;
}

}  // namespace quorelctl
