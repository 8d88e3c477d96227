// The network outputs that carry boards bound to DMX universes. A binding
// names one with "via NAME" (OLA when it names none); each is a module of
// its own, loaded at run time only when a binding names it, so that the
// library needs nothing of what a module links. A new transport is a row
// here and its module, built as the row's file name with the system's
// module suffix, implementing dmx_module.h.
#pragma once

#include <cstdint>
#include <iterator>
#include <string_view>

namespace quorelctl {

struct Transport {
  std::string_view name;  // the word after "via", in any letter case
  const char* shown;      // in messages: "no OLA support: ...", "OLA server ... does not answer"
  const char* module;     // the module's file name without the system's suffix
  uint16_t default_port;  // of a binding without "server HOST:PORT"
};

inline constexpr Transport kTransports[] = {
    {"ola", "OLA", "quorelctl-ola", 9010},
};

// The first row is what a binding without "via" names, so that every file
// written before there was a choice keeps its meaning.
inline constexpr const Transport* kDefaultTransport = &kTransports[0];

// The row named `name` (letter case aside); null when there is none.
inline const Transport* FindTransport(std::string_view name) {
  for (const Transport& t : kTransports) {
    bool same = t.name.size() == name.size();
    for (size_t i = 0; same && i < name.size(); ++i)
      same = (name[i] >= 'A' && name[i] <= 'Z' ? name[i] - 'A' + 'a' : name[i]) == t.name[i];
    if (same) return &t;
  }
  return nullptr;
}

}  // namespace quorelctl
