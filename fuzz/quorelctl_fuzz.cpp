// Arbitrary text down the Command path (upper-casing, the interpreter, the
// reports) and through the number conversions; see quorelctl_input.h.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/numbers.h"
#include "quorelctl/interpreter/led_module.h"
#include "quorelctl_input.h"

namespace {

class CheckingLink final : public quorelctl::ReportLink {
 public:
  bool FastCom() const override { return fast; }
  int16_t CompatibilityDelay() const override { return delay; }
  void Suspend(int milliseconds) override {
    if (milliseconds < 0) std::abort();  // a negative wait must never reach the sleeper
  }
  void SendReport(int board, std::span<const uint8_t, 8>) override {
    if (board != quorelctl::Tables().selected_board) std::abort();
    ++reports;
  }
  bool fast = true;
  int16_t delay = 0;
  int reports = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto in = fuzzing::DecodeQuorelctlInput(data, size);
  if (!in) return 0;
  std::string text(in->text);

  if (in->numbers) {
    (void)common::LeadingNumber(text);
    auto lenient = common::LenientInt16(text);
    auto strict = common::StrictInt16(text);
    // Whatever the strict reading accepts, the lenient one reads alike.
    if (strict && (!lenient || *lenient != *strict)) std::abort();
    return 0;
  }

  quorelctl::BoardTables& m = quorelctl::Tables();
  m.selected_board = in->board;
  CheckingLink link;
  link.fast = in->fast_com;
  link.delay = in->delay;
  for (char& c : text) c = quorelctl::AsciiUpper(c);
  quorelctl::ExecuteCommand(text, link);
  // Reports per command: none, one, four or five.
  if (link.reports != 0 && link.reports != 1 && link.reports != 4 && link.reports != 5) std::abort();
  for (const auto& row : m.states)
    for (int16_t v : row)
      if (v < 0 || v > 255) std::abort();  // every stored slot keeps a byte form
  for (const auto& row : m.profiles)
    for (int16_t v : row)
      if (v < 0 || v > 255) std::abort();
  return 0;
}
