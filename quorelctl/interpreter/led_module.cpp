#include "quorelctl/interpreter/led_module.h"

#include <algorithm>
#include <chrono>
#include <random>

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

enum class Word { kSBA, kPBA, kGPS, kSBn, kSnn, kPBn, kPnn, kRGB, kRDI, kRDS, kRDC };

struct Recognised {
  Word word;
  int number = 0;  // n of "SBn"/"PBn", nn of "Snn"/"Pnn"
};

// The 79 words, each exactly three characters.
bool Recognise(std::string_view w, Recognised* out) {
  if (w.size() != 3) return false;
  auto two_digits = [&](int* n) {
    if (w[1] < '0' || w[1] > '9' || w[2] < '0' || w[2] > '9') return false;
    *n = (w[1] - '0') * 10 + (w[2] - '0');
    return *n >= 1 && *n <= kOutputs;
  };
  auto bank_digit = [&](int* n) {
    if (w[2] < '1' || w[2] > '4') return false;
    *n = w[2] - '0';
    return true;
  };
  switch (w[0]) {
    case 'S':
      if (w == "SBA") return *out = {Word::kSBA}, true;
      if (w[1] == 'B') return out->word = Word::kSBn, bank_digit(&out->number);
      return out->word = Word::kSnn, two_digits(&out->number);
    case 'P':
      if (w == "PBA") return *out = {Word::kPBA}, true;
      if (w[1] == 'B') return out->word = Word::kPBn, bank_digit(&out->number);
      return out->word = Word::kPnn, two_digits(&out->number);
    case 'G':
      return w == "GPS" && (*out = {Word::kGPS}, true);
    case 'R':
      if (w == "RGB") return *out = {Word::kRGB}, true;
      if (w == "RDI") return *out = {Word::kRDI}, true;
      if (w == "RDS") return *out = {Word::kRDS}, true;
      if (w == "RDC") return *out = {Word::kRDC}, true;
      return false;
    default:
      return false;
  }
}

int ValueCount(Word word) {
  switch (word) {
    case Word::kSBA: return 5;
    case Word::kPBA: return 32;
    case Word::kPBn: return 8;
    case Word::kRGB: return 4;
    case Word::kRDI: return 3;
    case Word::kRDS:
    case Word::kRDC: return 2;
    default: return 1;
  }
}

// A value stored unchanged must fit the report byte it will become.
bool AllBytes(const LedModule& m, int first, int count) {
  return std::all_of(m.ArgValues.begin() + first, m.ArgValues.begin() + first + count,
                     [](int16_t v) { return v >= 0 && v <= 255; });
}

int16_t& Profile(LedModule& m, int output) { return m.OutputProfile[m.CurrentBoard][output - 1]; }

bool BoardInRange(const LedModule& m) { return m.CurrentBoard >= 1 && m.CurrentBoard <= kBoards; }

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

  // Positions are 1-based in R, the text after the command word; position 1
  // is the separator after the word, which is never examined.
  std::string_view rest = text.size() > 3 ? text.substr(3) : std::string_view();
  m.ArgPositions[0] = 1;
  for (int i = 1; i < count; ++i) {
    size_t from = static_cast<size_t>(m.ArgPositions[i - 1]);  // 0-based index of position + 1
    size_t comma = rest.find(',', from);
    if (comma == std::string_view::npos || comma > 32766) {
      m.ArgPositions[i] = 0;
      return;
    }
    m.ArgPositions[i] = static_cast<int16_t>(comma + 1);
    auto value = common::LenientInt16(rest.substr(from, comma + 1 - from));
    if (!value) return;
    m.ArgValues[i - 1] = *value;
  }
  auto last = common::StrictInt16(rest.substr(static_cast<size_t>(m.ArgPositions[count - 1])));
  if (!last) return;
  m.ArgValues[count - 1] = *last;
  m.SplitFailed = 0;
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
  for (int r = 1; r <= 4; ++r) {
    const auto& row = m.OutputProfile[m.CurrentBoard];
    for (int i = 0; i < 8; ++i) m.ReportBytes[i] = static_cast<uint8_t>(row[8 * (r - 1) + i]);
    PaceReport(link);
    link.SendReport(m.CurrentBoard, m.ReportBytes);
  }
}

void ExecuteCommand(std::string_view text, ReportLink& link) {
  LedModule& m = Module();
  if (!BoardInRange(m)) return;  // no board selected on this thread yet
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);

  Recognised command{};
  if (!Recognise(text.substr(0, std::min<size_t>(3, text.size())), &command)) return;
  SplitArguments(text, ValueCount(command.word));
  const auto& v = m.ArgValues;

  switch (command.word) {
    case Word::kSBA:
      if (m.SplitFailed || !AllBytes(m, 0, 5)) return;
      std::copy(v.begin(), v.begin() + 5, m.BankState[m.CurrentBoard].begin() + 1);
      SendStateReport(link);
      return;

    case Word::kPBA:
      if (m.SplitFailed || !AllBytes(m, 0, 32)) return;
      std::copy(v.begin(), v.begin() + 32, m.OutputProfile[m.CurrentBoard].begin());
      SendProfileReports(link);
      return;

    case Word::kGPS:
      if (m.SplitFailed || !AllBytes(m, 0, 1)) return;
      m.BankState[m.CurrentBoard][5] = v[0];
      SendStateReport(link);
      return;

    case Word::kSBn:
      if (m.SplitFailed || !AllBytes(m, 0, 1)) return;
      m.BankState[m.CurrentBoard][command.number] = v[0];
      SendStateReport(link);
      return;

    case Word::kSnn:
      if (m.SplitFailed) return;
      SetOutputState(command.number, v[0] != 0 ? 1 : 0);
      SendStateReport(link);
      return;

    case Word::kPBn: {
      if (m.SplitFailed) return;
      const int first = 8 * (command.number - 1) + 1;
      for (int i = 0; i < 8; ++i) {
        m.ArgValues[i] = NormalizeProfileValue(m.ArgValues[i]);
        Profile(m, first + i) = m.ArgValues[i];
      }
      SendProfileReports(link);
      return;
    }

    case Word::kPnn:
      if (m.SplitFailed) return;
      Profile(m, command.number) = NormalizeProfileValue(v[0]);
      SendProfileReports(link);
      return;

    case Word::kRGB: {
      const int n = v[0];
      if (n < 1 || n > 30 || m.SplitFailed || !AllBytes(m, 1, 3)) return;
      for (int k = 0; k < 3; ++k) {
        Profile(m, n + k) = v[1 + k];
        SetOutputState(n + k, 1);
      }
      SendProfileReports(link);
      SendStateReport(link);
      return;
    }

    case Word::kRDI:
    case Word::kRDS: {
      const int first = v[0], last = v[1];
      if (first < 1 || first > kOutputs || last < first || last > kOutputs || m.SplitFailed) return;
      if (command.word == Word::kRDS) {
        for (int output = first; output <= last; ++output) SetOutputState(output, RandomOutputState());
        SendStateReport(link);
        return;
      }
      const bool switch_on = v[2] != 0;
      for (int output = first; output <= last; ++output) {
        Profile(m, output) = RandomProfileValue();
        if (switch_on) SetOutputState(output, 1);
      }
      SendProfileReports(link);
      if (switch_on) SendStateReport(link);
      return;
    }

    case Word::kRDC: {
      const int n = v[0];
      if (n < 1 || n > 30 || m.SplitFailed) return;
      const bool switch_on = v[1] != 0;
      for (int output = n; output < n + 3; ++output) {
        Profile(m, output) = RandomProfileValue();
        if (switch_on) SetOutputState(output, 1);
      }
      SendProfileReports(link);
      if (switch_on) SendStateReport(link);
      return;
    }
  }
}

}  // namespace quorelctl
