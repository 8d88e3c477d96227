// SPDX-License-Identifier: MIT
// What the library sees of the boards, told to a person: the status of each
// device and of each line of the bindings file, and what to do when a board
// cannot be opened for lack of permission. Header only, over the C++ wrapper,
// so that every host (the quorel tool, Sonovar's start-up message) says the
// same. Each function only formats what it is given: it calls nothing of the
// library, throws only std::bad_alloc, and may run on any thread.
#pragma once

#include <string>
#include <vector>

#include "quorelctl.hpp"

namespace quorel {

// "board 3", "board 3, not usable: REASON", or why another HID device is no board.
inline std::string DeviceStatus(const QuorelDevice& d) {
  if (d.board == 0) return d.reason;
  std::string status = "board " + std::to_string(d.board);
  if (!d.usable) status += std::string(", not usable: ") + d.reason;
  return status;
}

// Where a line of the bindings file stands: "FILE:LINE" ("FILE" for the file as a whole).
inline std::string BindingPlace(const QuorelBinding& b) {
  return b.line != 0 ? std::string(b.file) + ":" + std::to_string(b.line) : std::string(b.file);
}

// "board 2  DMX universe 1, channels 1-32, via 127.0.0.1:9010", with ", not
// usable: REASON" when its server does not answer; the reason alone for a line
// that binds nothing.
inline std::string BindingStatus(const QuorelBinding& b) {
  if (b.board == 0) return b.reason;
  std::string status = "board " + std::to_string(b.board) + (b.board < 10 ? "  " : " ") + b.description;
  if (!b.usable) status += std::string(", not usable: ") + b.reason;
  return status;
}

// The udev rule `rule` (the one the packages install), and how to put it in place.
inline std::string PermissionAdvice(const char* rule) {
  return std::string(
             "A board cannot be opened for lack of permission. To let the logged-in user reach the boards,\n"
             "install this udev rule (as root) and reload the rules, then unplug and replug the boards:\n\n"
             "  echo '") +
         rule +
         "' > /etc/udev/rules.d/70-quorel.rules\n"
         "  udevadm control --reload-rules && udevadm trigger\n";
}

// Each board that is there but cannot be used, and each problem of the
// bindings file, a line each ("PLACE: STATUS"); then the advice when a board
// lacked permission. "" when there is nothing to say.
inline std::string UnusableBoards(const std::vector<QuorelDevice>& devices,
                                  const std::vector<QuorelBinding>& bindings, const char* rule) {
  std::string text;
  bool denied = false;
  for (const QuorelDevice& d : devices) {
    if (d.board == 0 || d.usable) continue;
    text += std::string(d.path) + ": " + DeviceStatus(d) + "\n";
    denied = denied || d.permission_denied;
  }
  for (const QuorelBinding& b : bindings)
    if (!b.usable) text += BindingPlace(b) + ": " + BindingStatus(b) + "\n";
  if (denied) text += "\n" + PermissionAdvice(rule);
  return text;
}

}  // namespace quorel
