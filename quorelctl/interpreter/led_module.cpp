#include "quorelctl/interpreter/led_module.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "common/arguments.h"
#include "common/levels.h"
#include "common/numbers.h"

namespace quorelctl {

namespace {

thread_local BoardTables module_state;

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
bool AllBytes(const BoardTables& m, int first, int count) {
  return std::all_of(m.values.begin() + first, m.values.begin() + first + count,
                     [](int16_t v) { return v >= 0 && v <= 255; });
}

int16_t& Profile(BoardTables& m, int output) { return m.profiles[m.selected_board][output - 1]; }

bool BoardInRange(const BoardTables& m) { return m.selected_board >= 1 && m.selected_board <= kBoards; }

// What each command word changes, for selected_board, from the values just
// split and the number in its word; false ignores the command before anything
// has changed.
using Change = bool (*)(BoardTables& m, int number);

bool SetBanksAndGps(BoardTables& m, int) {
  if (!AllBytes(m, 0, 5)) return false;
  std::copy_n(m.values.begin(), 5, m.states[m.selected_board].begin() + 1);
  return true;
}

bool SetAllProfiles(BoardTables& m, int) {
  if (!AllBytes(m, 0, kOutputs)) return false;
  std::copy_n(m.values.begin(), kOutputs, m.profiles[m.selected_board].begin());
  return true;
}

// states slot 1..4 is bank 1..4; slot 5 the GPS value.
bool SetStateSlot(BoardTables& m, int slot) {
  if (!AllBytes(m, 0, 1)) return false;
  m.states[m.selected_board][slot] = m.values[0];
  return true;
}

bool SetGps(BoardTables& m, int) { return SetStateSlot(m, 5); }

bool SwitchOutput(BoardTables& m, int output) {
  SetOutputState(output, m.values[0] != 0 ? 1 : 0);
  return true;
}

// The normalised values also go back into values.
bool SetBankProfiles(BoardTables& m, int bank) {
  const int first = 8 * (bank - 1) + 1;
  for (int i = 0; i < 8; ++i) {
    m.values[i] = NormalizeProfileValue(m.values[i]);
    Profile(m, first + i) = m.values[i];
  }
  return true;
}

bool SetProfile(BoardTables& m, int output) {
  Profile(m, output) = NormalizeProfileValue(m.values[0]);
  return true;
}

// Values: the first output n, then three profile values stored unchanged.
bool SetColour(BoardTables& m, int) {
  const int n = m.values[0];
  if (n < 1 || n > 30 || !AllBytes(m, 1, 3)) return false;
  for (int k = 0; k < 3; ++k) {
    Profile(m, n + k) = m.values[1 + k];
    SetOutputState(n + k, 1);
  }
  return true;
}

// Outputs first..last with random levels, switched on when `switch_on`.
void RandomLevels(BoardTables& m, int first, int last, bool switch_on) {
  for (int output = first; output <= last; ++output) {
    Profile(m, output) = RandomProfileValue();
    if (switch_on) SetOutputState(output, 1);
  }
}

bool IsRange(int first, int last) { return first >= 1 && first <= kOutputs && last >= first && last <= kOutputs; }

// Values: first and last output, the switch flag.
bool RandomRange(BoardTables& m, int) {
  const int first = m.values[0], last = m.values[1];
  if (!IsRange(first, last)) return false;
  RandomLevels(m, first, last, m.values[2] != 0);
  return true;
}

// Values: first and last output.
bool RandomStates(BoardTables& m, int) {
  const int first = m.values[0], last = m.values[1];
  if (!IsRange(first, last)) return false;
  for (int output = first; output <= last; ++output) SetOutputState(output, RandomOutputState());
  return true;
}

// Values: the first output n, the switch flag.
bool RandomColour(BoardTables& m, int) {
  const int n = m.values[0];
  if (n < 1 || n > 30) return false;
  RandomLevels(m, n, n + 2, m.values[1] != 0);
  return true;
}

// The reports a command sends after its change, in this order.
enum Reports { kState, kProfile, kProfileThenState, kProfileThenStateIfLast /* last value not 0 */ };

struct CommandWord {
  std::string_view word;  // "#" stands for a digit of the number in the word
  int low, high;          // the range of that number
  int values;             // how many values SplitArguments takes
  Reading reading;
  Change change;
  Reports reports;
};

// The 79 words, tried in this order. The one-value words but those taking
// the strict list reading take a waveform name or a leading number.
// clang-format off
constexpr CommandWord kCommands[] = {
    // word   number  values  reading                     change            reports
    {"SBA",   0, 0,   5,      Reading::kList,             SetBanksAndGps,   kState},
    {"PBA",   0, 0,   32,     Reading::kList,             SetAllProfiles,   kProfile},
    {"GPS",   0, 0,   1,      Reading::kNamedOrLeading,   SetGps,           kState},
    {"SB#",   1, 4,   1,      Reading::kNamedOrLeading,   SetStateSlot,     kState},
    {"S##",   1, 32,  1,      Reading::kNamedOrLeading,   SwitchOutput,     kState},
    {"PB#",   1, 4,   8,      Reading::kList,             SetBankProfiles,  kProfile},
    {"P##",   1, 32,  1,      Reading::kNamedOrLeading,   SetProfile,       kProfile},
    {"RGB",   0, 0,   4,      Reading::kList,             SetColour,        kProfileThenState},
    {"RDI",   0, 0,   3,      Reading::kList,             RandomRange,      kProfileThenStateIfLast},
    {"RDS",   0, 0,   2,      Reading::kList,             RandomStates,     kState},
    {"RDC",   0, 0,   2,      Reading::kList,             RandomColour,     kProfileThenStateIfLast},
};
// clang-format on

// A word's reading must fit its count of values, and a word reporting on its
// last value must have one.
constexpr bool CommandTableIsSound() {
  for (const CommandWord& c : kCommands) {
    const bool fits = c.reading == Reading::kNone             ? c.values == 0
                      : c.reading == Reading::kNamedOrLeading ? c.values == 1
                                                              : c.values >= 1 && c.values <= 40;
    if (!fits || (c.reports == kProfileThenStateIfLast && c.values == 0)) return false;
  }
  return true;
}
static_assert(CommandTableIsSound(), "each command word's reading fits its count of values");

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

BoardTables& Tables() { return module_state; }

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
  BoardTables& m = Tables();
  const int bank = (output - 1) / 8 + 1;
  const int mask = 1 << ((output - 1) % 8);
  int16_t& slot = m.states[m.selected_board][bank];
  if (state == 1) slot = static_cast<int16_t>(slot | mask);
  else if (state == 0) slot = static_cast<int16_t>(slot & (255 - mask));
}

namespace {

// A waveform name, exactly, or else the leading number.
bool ReadNamedOrLeading(std::string_view argument, int16_t* value) {
  if (argument.size() == 3) {
    char upper[3];
    std::transform(argument.begin(), argument.end(), upper, AsciiUpper);
    static constexpr std::string_view kNamed[] = {"SAW", "SQR", "SDN", "SUP"};
    for (int k = 0; k < 4; ++k)
      if (std::string_view(upper, 3) == kNamed[k]) return *value = static_cast<int16_t>(common::kFirstWave + k), true;
  }
  const auto number = common::LenientInt16(argument);
  if (number) *value = *number;
  return number.has_value();
}

}  // namespace

void SplitArguments(std::string_view text, int count, Reading reading) {
  BoardTables& m = Tables();
  // The separator after the word is never examined.
  const std::string_view after_separator = text.size() > 4 ? text.substr(4) : std::string_view();
  switch (reading) {
    case Reading::kNone: m.split_failed = text.size() < 3 || !after_separator.empty(); return;
    case Reading::kNamedOrLeading:
      m.split_failed = text.size() < 4 || !ReadNamedOrLeading(after_separator, &m.values[0]);
      return;
    case Reading::kList: {
      // R, the text after the command word, begins with that separator.
      const std::string_view rest = text.size() > 3 ? text.substr(3) : std::string_view();
      const auto values = std::span(m.values).first(static_cast<size_t>(count));
      m.split_failed = !common::SplitValues(rest, ",", values, m.separators);
      return;
    }
  }
}

void PaceReport(ReportLink& link) {
  if (link.FastCom()) return;
  // A negative delay would be a wait of about 49 days to an unsigned wait.
  link.Suspend(std::max<int>(0, link.CompatibilityDelay()));
}

void SendStateReport(ReportLink& link) {
  BoardTables& m = Tables();
  auto& row = m.states[m.selected_board];
  row[0] = 64;
  row[6] = 0;
  row[7] = 0;
  for (int i = 0; i < 8; ++i) m.last_report[i] = static_cast<uint8_t>(row[i]);
  PaceReport(link);
  link.SendReport(m.selected_board, m.last_report);
}

void SendProfileReports(ReportLink& link) {
  BoardTables& m = Tables();
  std::array<std::array<uint8_t, 8>, 4> reports;
  const auto& row = m.profiles[m.selected_board];
  for (size_t r = 0; r < reports.size(); ++r)
    for (size_t i = 0; i < 8; ++i) reports[r][i] = static_cast<uint8_t>(row[8 * r + i]);
  if (link.FastCom()) {
    // No wait between the four, so they go to the board in one go.
    m.last_report = reports.back();
    link.SendReports(m.selected_board, reports);
    return;
  }
  for (const auto& report : reports) {
    m.last_report = report;
    PaceReport(link);
    link.SendReport(m.selected_board, m.last_report);
  }
}

void ExecuteCommand(std::string_view text, ReportLink& link) {
  BoardTables& m = Tables();
  if (!BoardInRange(m)) return;  // no board selected on this thread yet
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);

  int number = 0;
  const CommandWord* command = Recognise(text.substr(0, std::min<size_t>(3, text.size())), &number);
  if (command == nullptr) return;
  SplitArguments(text, command->values, command->reading);
  if (m.split_failed || !command->change(m, number)) return;
  const bool state = command->reports == kState || command->reports == kProfileThenState ||
                     (command->reports == kProfileThenStateIfLast && m.values[command->values - 1] != 0);
  if (command->reports != kState) SendProfileReports(link);
  if (state) SendStateReport(link);
}

}  // namespace quorelctl
