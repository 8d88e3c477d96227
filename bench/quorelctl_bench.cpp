// Cost of one 32-value "PBA:" command: in the interpreter alone, and through
// the C interface down to a board whose node is /dev/null.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "quorelctl.h"
#include "quorelctl/interpreter/led_module.h"
#include "support/fake_sysfs.h"

namespace {

std::string PbaCommand() {
  std::string text = "pba:";
  for (int i = 0; i < 32; ++i) text += std::to_string((i * 7) % 49) + (i < 31 ? "," : "");
  return text;
}

class NoTransport final : public quorelctl::ReportLink {
 public:
  bool FastCom() const override { return true; }
  int16_t CompatibilityDelay() const override { return 1; }
  void Suspend(int) override {}
  void SendReport(int, std::span<const uint8_t, 8> payload) override { benchmark::DoNotOptimize(payload.data()); }
};

void BM_ExecuteCommandPba(benchmark::State& state) {
  quorelctl::Tables().selected_board = 1;
  NoTransport link;
  std::string text = PbaCommand();
  for (char& c : text) c = quorelctl::AsciiUpper(c);
  for (auto _ : state) quorelctl::ExecuteCommand(text, link);
}
BENCHMARK(BM_ExecuteCommandPba);

void BM_ExecuteCommandSba(benchmark::State& state) {
  quorelctl::Tables().selected_board = 1;
  NoTransport link;
  for (auto _ : state) quorelctl::ExecuteCommand("SBA:255,255,255,255,3", link);
}
BENCHMARK(BM_ExecuteCommandSba);

void BM_SetTextPbaToDevNull(benchmark::State& state) {
  testing_support::FakeSysfs tree;
  tree.Add("hidraw0", 0xE7A1, 0x00F0, testing_support::FakeSysfs::Node::kNone);
  std::filesystem::create_symlink("/dev/null", tree.dev() + "/hidraw0");
  tree.Activate();
  QuorelControl* control = quorel_create(QUOREL_CLASS_NAME, nullptr, nullptr);
  quorel_set_bool(control, "FastCom", 1);
  quorel_set_text(control, "DeviceNumber", "1");
  const std::string text = PbaCommand();
  for (auto _ : state) {
    if (quorel_set_text(control, "Command", text.c_str()) != 0) state.SkipWithError("Command write failed");
  }
  quorel_destroy(control);
  testing_support::FakeSysfs::Deactivate();
}
BENCHMARK(BM_SetTextPbaToDevNull);

}  // namespace

BENCHMARK_MAIN();
