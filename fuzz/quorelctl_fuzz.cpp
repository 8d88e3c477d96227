// Arbitrary text down the Command path (upper-casing, the interpreter, the
// reports) and through the number conversions and the descriptor parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/linux/hidraw_sysfs.h"
#include "quorelctl/interpreter/led_module.h"
#include "common/numbers.h"

namespace {

class CheckingLink final : public quorelctl::ReportLink {
 public:
  bool FastCom() const override { return fast; }
  int16_t CompatibilityDelay() const override { return delay; }
  void Suspend(int milliseconds) override {
    if (milliseconds < 0) std::abort();  // a negative wait must never reach the sleeper
  }
  void SendReport(int, std::span<const uint8_t, 8>) override { ++reports; }
  bool fast = true;
  int16_t delay = 0;
  int reports = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  switch (mode % 3) {
    case 0: {
      quorelctl::LedModule& m = quorelctl::Module();
      m.CurrentBoard = static_cast<int16_t>(1 + (mode >> 4));
      CheckingLink link;
      link.fast = (mode & 4) != 0;
      link.delay = (mode & 8) != 0 ? -1 : 0;
      for (char& c : text) c = quorelctl::AsciiUpper(c);
      quorelctl::ExecuteCommand(text, link);
      // Reports per command: none, one, four or five.
      if (link.reports != 0 && link.reports != 1 && link.reports != 4 && link.reports != 5) std::abort();
      for (const auto& row : m.BankState)
        for (int16_t v : row)
          if (v < 0 || v > 255) std::abort();  // every stored slot keeps a byte form
      for (const auto& row : m.OutputProfile)
        for (int16_t v : row)
          if (v < 0 || v > 255) std::abort();
      break;
    }
    case 1: {
      (void)common::LeadingNumber(text);
      auto lenient = common::LenientInt16(text);
      auto strict = common::StrictInt16(text);
      // Whatever the strict reading accepts, the lenient one reads alike.
      if (strict && (!lenient || *lenient != *strict)) std::abort();
      break;
    }
    default:
      (void)platform::linux_hid::OutputReportLength({data + 1, size - 1});
      (void)platform::linux_hid::ParseUeventHidId(text);
      break;
  }
  return 0;
}
