// SPDX-License-Identifier: MIT
// What the library sees of the boards, told to a person: the status of each
// device and of each line of the bindings file, and what to do when a board
// cannot be opened for lack of permission. Header only, over the C++ wrapper,
// so that every host (the quorel tool, Sonovar's start-up message) says the
// same. Each function only formats what it is given: it calls nothing of the
// library, throws only std::bad_alloc, and may run on any thread.
#pragma once

#include <cstdio>
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

// The bindings files the library looks for, in its order, given the values
// of QUORELCTL_BOARDS, XDG_CONFIG_HOME and HOME (null when unset): a named
// file alone, else the user's file (a relative XDG_CONFIG_HOME does not
// count) and the system's.
inline std::vector<std::string> BindingsPlaces(const char* boards, const char* config_home, const char* home) {
  if (boards != nullptr && *boards != '\0') return {boards};
  std::vector<std::string> places;
  if (config_home != nullptr && config_home[0] == '/') places.push_back(std::string(config_home) + "/quorelctl/boards.conf");
  else if (home != nullptr && *home != '\0') places.push_back(std::string(home) + "/.config/quorelctl/boards.conf");
  places.push_back("/etc/quorelctl/boards.conf");
  return places;
}

// Why board `board` is not usable, told to a person; "" when it is. A
// binding speaks for its number, as it does for the control.
inline std::string BoardAbsence(int board, const std::vector<QuorelDevice>& devices,
                                const std::vector<QuorelBinding>& bindings) {
  for (const QuorelBinding& b : bindings)
    if (b.board == board) return b.usable ? "" : std::string(b.description) + ", not usable: " + b.reason;
  std::string why;
  for (const QuorelDevice& d : devices) {
    if (d.board != board) continue;
    if (d.usable) return "";
    why = std::string(d.path) + " cannot be used: " + d.reason;
  }
  return why.empty() ? "not connected (neither plugged in nor bound to a DMX universe)" : why;
}

// What "quorel devices" prints: every HID device with its status, the lines
// of the bindings file (or, when there is none, the places looked at), and
// the permission advice when a board lacked permission.
inline std::string DevicesReport(const std::vector<QuorelDevice>& devices, const std::vector<QuorelBinding>& bindings,
                                 const std::vector<std::string>& places, const char* rule) {
  std::string text;
  char line[512];
  bool denied = false;
  if (devices.empty()) {
    text += "no HID devices found\n";
  } else {
    std::snprintf(line, sizeof line, "%-24s %-9s %-6s %s\n", "device", "vid:pid", "report", "status");
    text += line;
  }
  for (const QuorelDevice& d : devices) {
    const std::string length = d.output_report_length ? std::to_string(d.output_report_length) : "-";
    std::snprintf(line, sizeof line, "%-24s %04x:%04x %-6s ", d.path, d.vendor_id, d.product_id, length.c_str());
    text += line + DeviceStatus(d) + "\n";
    denied = denied || d.permission_denied;
  }
  if (bindings.empty()) {
    text += "\nno bindings file, so no board is bound to a DMX universe; looked for:\n";
    for (const std::string& place : places) text += "  " + place + "\n";
  } else {
    text += std::string("\nboards bound to DMX universes (") + bindings.front().file + "):\n";
    for (const QuorelBinding& b : bindings)
      text += (b.board != 0 ? BindingStatus(b) : BindingPlace(b) + ": " + b.reason) + "\n";
  }
  if (denied) text += "\n" + PermissionAdvice(rule);
  return text;
}

}  // namespace quorel
