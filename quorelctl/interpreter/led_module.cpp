#include "quorelctl/interpreter/led_module.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "common/arguments.h"
#include "common/levels.h"
#include "common/numbers.h"

namespace quorelctl {

namespace {

thread_local LedModule module_state;

std::mt19937& Generator() {
  thread_local std::mt19937 generator = [] {
    std::random_device device;
    auto clock = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), device(), clock};
    return std::mt19937(seed);
  }();
  return generator;
}

// A value stored unchanged must fit the report byte it will become.
bool AllBytes(const LedModule& m, int first, int count) {
  return std::all_of(m.ArgValues.begin() + first, m.ArgValues.begin() + first + count,
                     [](int16_t v) { return v >= 0 && v <= 255; });
}

int16_t& Profile(LedModule& m, int output) { return m.OutputProfile[m.CurrentBoard][output - 1]; }

bool BoardInRange(const LedModule& m) { return m.CurrentBoard >= 1 && m.CurrentBoard <= kBoards; }

// What each command word changes, for CurrentBoard, from the values just
// split and the number in its word; false ignores the command before anything
// has changed.
using Change = bool (*)(LedModule& m, int number);

bool SetBanksAndGps(LedModule& m, int) {
  if (!AllBytes(m, 0, 5)) return false;
  std::copy_n(m.ArgValues.begin(), 5, m.BankState[m.CurrentBoard].begin() + 1);
  return true;
}

bool SetAllProfiles(LedModule& m, int) {
  if (!AllBytes(m, 0, kOutputs)) return false;
  std::copy_n(m.ArgValues.begin(), kOutputs, m.OutputProfile[m.CurrentBoard].begin());
  return true;
}

// BankState slot 1..4 is bank 1..4; slot 5 the GPS value.
bool SetStateSlot(LedModule& m, int slot) {
  if (!AllBytes(m, 0, 1)) return false;
  m.BankState[m.CurrentBoard][slot] = m.ArgValues[0];
  return true;
}

bool SetGps(LedModule& m, int) { return SetStateSlot(m, 5); }

bool SwitchOutput(LedModule& m, int output) {
  SetOutputState(output, m.ArgValues[0] != 0 ? 1 : 0);
  return true;
}

// The normalised values also go back into ArgValues.
bool SetBankProfiles(LedModule& m, int bank) {
  const int first = 8 * (bank - 1) + 1;
  for (int i = 0; i < 8; ++i) {
    m.ArgValues[i] = NormalizeProfileValue(m.ArgValues[i]);
    Profile(m, first + i) = m.ArgValues[i];
  }
  return true;
}

bool SetProfile(LedModule& m, int output) {
  Profile(m, output) = NormalizeProfileValue(m.ArgValues[0]);
  return true;
}

// Values: the first output n, then three profile values stored unchanged.
bool SetColour(LedModule& m, int) {
  const int n = m.ArgValues[0];
  if (n < 1 || n > 30 || !AllBytes(m, 1, 3)) return false;
  for (int k = 0; k < 3; ++k) {
    Profile(m, n + k) = m.ArgValues[1 + k];
    SetOutputState(n + k, 1);
  }
  return true;
}

// Outputs first..last with random levels, switched on when `switch_on`.
void RandomLevels(LedModule& m, int first, int last, bool switch_on) {
  for (int output = first; output <= last; ++output) {
    Profile(m, output) = RandomProfileValue();
    if (switch_on) SetOutputState(output, 1);
  }
}

bool IsRange(int first, int last) { return first >= 1 && first <= kOutputs && last >= first && last <= kOutputs; }

// Values: first and last output, the switch flag.
bool RandomRange(LedModule& m, int) {
  const int first = m.ArgValues[0], last = m.ArgValues[1];
  if (!IsRange(first, last)) return false;
  RandomLevels(m, first, last, m.ArgValues[2] != 0);
  return true;
}

// Values: first and last output.
bool RandomStates(LedModule& m, int) {
  const int first = m.ArgValues[0], last = m.ArgValues[1];
  if (!IsRange(first, last)) return false;
  for (int output = first; output <= last; ++output) SetOutputState(output, RandomOutputState());
  return true;
}

// Values: the first output n, the switch flag.
bool RandomColour(LedModule& m, int) {
  const int n = m.ArgValues[0];
  if (n < 1 || n > 30) return false;
  RandomLevels(m, n, n + 2, m.ArgValues[1] != 0);
  return true;
}

// The reports a command sends after its change, in this order.
enum Reports { kState, kProfile, kProfileThenState, kProfileThenStateIfLast /* last value not 0 */ };

struct CommandWord {
  std::string_view word;  // "#" stands for a digit of the number in the word
  int low, high;          // the range of that number
  int values;             // how many values SplitArguments takes
  Change change;
  Reports reports;
};

// The 79 words, tried in this order.
constexpr CommandWord kCommands[] = {
    // word   number  values  change            reports
    {"SBA",   0, 0,   5,      SetBanksAndGps,   kState},
    {"PBA",   0, 0,   32,     SetAllProfiles,   kProfile},
    {"GPS",   0, 0,   1,      SetGps,           kState},
    {"SB#",   1, 4,   1,      SetStateSlot,     kState},
    {"S##",   1, 32,  1,      SwitchOutput,     kState},
    {"PB#",   1, 4,   8,      SetBankProfiles,  kProfile},
    {"P##",   1, 32,  1,      SetProfile,       kProfile},
    {"RGB",   0, 0,   4,      SetColour,        kProfileThenState},
    {"RDI",   0, 0,   3,      RandomRange,      kProfileThenStateIfLast},
    {"RDS",   0, 0,   2,      RandomStates,     kState},
    {"RDC",   0, 0,   2,      RandomColour,     kProfileThenStateIfLast},
};

// The entry whose word `word` is (exactly three characters), and the number in it.
const CommandWord* Recognise(std::string_view word, int* number) {
  if (word.size() != 3) return nullptr;
  for (const CommandWord& command : kCommands) {
    int n = 0;
    bool same = true;
    for (size_t i = 0; i < 3 && same; ++i) {
      if (command.word[i] == '#') {
        same = word[i] >= '0' && word[i] <= '9';
        n = n * 10 + (word[i] - '0');
      } else {
        same = word[i] == command.word[i];
      }
    }
    if (same && n >= command.low && n <= command.high) return *number = n, &command;
  }
  return nullptr;
}

}  // namespace

LedModule& Module() { return module_state; }

void SeedRandom(uint32_t seed) { Generator().seed(seed); }

int16_t RandomProfileValue() {
  return static_cast<int16_t>(std::uniform_int_distribution<int>(0, common::kFullLevel)(Generator()));
}

int16_t RandomOutputState() { return static_cast<int16_t>(std::uniform_int_distribution<int>(0, 1)(Generator())); }

int16_t NormalizeProfileValue(int16_t value) {
  if (value != 0) value = static_cast<int16_t>(value & common::kProfileValueBits);
  if (common::IsWaveform(value)) return value;
  return static_cast<int16_t>(value & common::kProfileLevelBits);
}

void SetOutputState(int output, int state) {
  LedModule& m = Module();
  const int bank = (output - 1) / 8 + 1;
  const int mask = 1 << ((output - 1) % 8);
  int16_t& slot = m.BankState[m.CurrentBoard][bank];
  if (state == 1) slot = static_cast<int16_t>(slot | mask);
  else if (state == 0) slot = static_cast<int16_t>(slot & (255 - mask));
}

void SplitArguments(std::string_view text, int count) {
  LedModule& m = Module();
  m.SplitFailed = -1;
  if (count == 1) {
    if (text.size() < 4) return;
    std::string_view argument = text.substr(4);
    if (argument.size() == 3) {
      char upper[3];
      std::transform(argument.begin(), argument.end(), upper, AsciiUpper);
      std::string_view word(upper, 3);
      static constexpr std::string_view kNamed[] = {"SAW", "SQR", "SDN", "SUP"};
      for (int k = 0; k < 4; ++k) {
        if (word == kNamed[k]) {
          m.ArgValues[0] = static_cast<int16_t>(common::kFirstWave + k);
          m.SplitFailed = 0;
          return;
        }
      }
    }
    auto value = common::LenientInt16(argument);
    if (!value) return;
    m.ArgValues[0] = *value;
    m.SplitFailed = 0;
    return;
  }

  // R, the text after the command word, begins with the separator after the
  // word, which is never examined.
  std::string_view rest = text.size() > 3 ? text.substr(3) : std::string_view();
  const auto values = std::span(m.ArgValues).first(static_cast<size_t>(count));
  if (common::SplitValues(rest, ",", values, m.ArgPositions)) m.SplitFailed = 0;
}

void PaceReport(ReportLink& link) {
  if (link.FastCom()) return;
  // A negative delay would be a wait of about 49 days to an unsigned wait.
  link.Suspend(std::max<int>(0, link.CompatibilityDelay()));
}

void SendStateReport(ReportLink& link) {
  LedModule& m = Module();
  auto& row = m.BankState[m.CurrentBoard];
  row[0] = 64;
  row[6] = 0;
  row[7] = 0;
  for (int i = 0; i < 8; ++i) m.ReportBytes[i] = static_cast<uint8_t>(row[i]);
  PaceReport(link);
  link.SendReport(m.CurrentBoard, m.ReportBytes);
}

void SendProfileReports(ReportLink& link) {
  LedModule& m = Module();
  std::array<std::array<uint8_t, 8>, 4> reports;
  const auto& row = m.OutputProfile[m.CurrentBoard];
  for (size_t r = 0; r < reports.size(); ++r)
    for (size_t i = 0; i < 8; ++i) reports[r][i] = static_cast<uint8_t>(row[8 * r + i]);
  if (link.FastCom()) {
    // No wait between the four, so they go to the board in one go.
    m.ReportBytes = reports.back();
    link.SendReports(m.CurrentBoard, reports);
    return;
  }
  for (const auto& report : reports) {
    m.ReportBytes = report;
    PaceReport(link);
    link.SendReport(m.CurrentBoard, m.ReportBytes);
  }
}

void ExecuteCommand(std::string_view text, ReportLink& link) {
  LedModule& m = Module();
  if (!BoardInRange(m)) return;  // no board selected on this thread yet
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);

  int number = 0;
  const CommandWord* command = Recognise(text.substr(0, std::min<size_t>(3, text.size())), &number);
  if (command == nullptr) return;
  SplitArguments(text, command->values);
  if (m.SplitFailed || !command->change(m, number)) return;
  const bool state = command->reports == kState || command->reports == kProfileThenState ||
                     (command->reports == kProfileThenStateIfLast && m.ArgValues[command->values - 1] != 0);
  if (command->reports != kState) SendProfileReports(link);
  if (state) SendStateReport(link);
}

}  // namespace quorelctl
