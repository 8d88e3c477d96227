// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Sonovar developers
//
// C++ wrapper of the quorelctl C interface: owns the control, turns error
// codes into exceptions. Header only (C++17); link against quorelctl.
//
// Every member stands for the C call it names (see quorelctl.h for each
// call's meaning) and throws Error with that call's code and error text
// instead of returning a code; nothing else throws but std::bad_alloc.
// Threads: a Control, like the C control, belongs to the thread that created
// it, and every member runs on that thread; Version, ListDevices and
// ListBindings may be called on any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "quorelctl.h"

namespace quorel {

// A failed call: the number (16384, 16385 or a negative QUOREL_E_... code) and
// its description.
class Error : public std::runtime_error {
 public:
  Error(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
  int number() const noexcept { return number_; }

 private:
  int number_;
};

// The version of the library that runs (QUORELCTL_MAKE_VERSION), which may be
// newer than QUORELCTL_VERSION, the headers'.
inline uint32_t Version() noexcept { return quorel_version(); }

namespace detail {

// The entries of a quorel_list_... call, each of this header's size. Entries
// may come between two calls: it lists again with room for them.
template <typename Entry>
std::vector<Entry> ListEntries(int (*list)(Entry*, size_t), size_t room) {
  std::vector<Entry> entries;
  for (;;) {
    Entry blank{};
    blank.size = sizeof blank;
    entries.assign(room + 1, blank);  // + 1: never a capacity of 0, and a sign that all came
    const int count = list(entries.data(), entries.size());
    if (count < 0) throw Error(count, count == QUOREL_E_NO_MEMORY ? "Out of memory" : "The list could not be read");
    if (static_cast<size_t>(count) < entries.size()) {
      entries.resize(static_cast<size_t>(count));
      return entries;
    }
    room = static_cast<size_t>(count);
  }
}

}  // namespace detail

// Every HID device present, as quorel_list_devices() gives them. Throws Error
// when memory runs out.
inline std::vector<QuorelDevice> ListDevices() { return detail::ListEntries(quorel_list_devices, 31); }

// The lines of the bindings file that count (bindings and problems), as
// quorel_list_bindings() gives them; each call asks the servers again (up to
// a second). Throws Error when memory runs out.
inline std::vector<QuorelBinding> ListBindings() { return detail::ListEntries(quorel_list_bindings, 63); }

class Control {
 public:
  // quorel_create(): detection and start-up defaults run here. `notify` may
  // be null. Throws Error(QUOREL_E_UNKNOWN_CLASS, "The Quorel control could
  // not be created") when quorel_create() gives NULL. Destruction is
  // quorel_destroy().
  explicit Control(QuorelPropertyChanged notify = nullptr, void* container = nullptr)
      : handle_(quorel_create(QUOREL_CLASS_NAME, notify, container)) {
    if (!handle_) throw Error(QUOREL_E_UNKNOWN_CLASS, "The Quorel control could not be created");
  }

  // quorel_get_text() with a buffer that grows until the text fits: throws
  // only QUOREL_E_NO_MEMORY.
  std::string Detected() const { return GetText("Detected"); }
  std::string DeviceNumber() const { return GetText("DeviceNumber"); }
  std::string Command() const { return GetText("Command"); }
  // quorel_get_int16(); throws only QUOREL_E_NO_MEMORY.
  int16_t CompatibilityDelay() const {
    int16_t value = 0;
    Check(quorel_get_int16(handle_.get(), "CompatibilityDelay", &value));
    return value;
  }

  // quorel_set_text(): throws Error(16384, "Device Numbers 1-16 Only") or
  // Error(16385, "Device Number n Not Connected"); the selection changes in
  // the second case all the same.
  void SetDeviceNumber(const std::string& number) { Check(quorel_set_text(handle_.get(), "DeviceNumber", number.c_str())); }
  void SetDeviceNumber(int number) { SetDeviceNumber(std::to_string(number)); }
  // quorel_set_text(), quorel_set_bool(), quorel_set_int16(): throw only
  // QUOREL_E_NO_MEMORY; a malformed command or one for an absent board is
  // ignored, as in C.
  void SetCommand(const std::string& text) { Check(quorel_set_text(handle_.get(), "Command", text.c_str())); }
  void SetFastCom(bool on) { Check(quorel_set_bool(handle_.get(), "FastCom", on ? 1 : 0)); }
  void SetCompatibilityDelay(int16_t milliseconds) {
    Check(quorel_set_int16(handle_.get(), "CompatibilityDelay", milliseconds));
  }

  // Selects `board` and sends `command` to it; throws as SetDeviceNumber, and
  // then sends nothing.
  void Send(int board, const std::string& command) {
    SetDeviceNumber(board);
    SetCommand(command);
  }

  // The C control, for calls this wrapper does not make; it stays owned here.
  QuorelControl* get() const noexcept { return handle_.get(); }

 private:
  struct Deleter {
    void operator()(QuorelControl* c) const noexcept { quorel_destroy(c); }
  };

  void Check(int rc) const {
    if (rc != 0) throw Error(rc, quorel_error_description(handle_.get()));
  }

  std::string GetText(const char* property) const {
    std::string text(64, '\0');
    for (;;) {
      int rc = quorel_get_text(handle_.get(), property, text.data(), text.size());
      if (rc == 0) break;
      if (rc != QUOREL_E_BUFFER_TOO_SMALL) Check(rc);
      text.resize(text.size() * 4);
    }
    text.resize(text.find('\0'));
    return text;
  }

  std::unique_ptr<QuorelControl, Deleter> handle_;
};

}  // namespace quorel
