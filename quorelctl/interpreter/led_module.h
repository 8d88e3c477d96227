// The board command interpreter: the shadow tables of every board, the command
// words that change them and the reports that tell the boards.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/ascii.h"

namespace quorelctl {

inline constexpr int kBoards = 16;
inline constexpr int kOutputs = 32;

// The board tables and the selected board, with the scratch of the command
// being run. One copy per thread, shared by every control created on that
// thread (hosts rely on that sharing); all zero until something writes it.
struct BoardTables {
  int16_t selected_board = 0;  // the board the next command is for, 1..16
  // Per board (row 0 unused): slot 0 the state report's first byte, 1..4 the
  // on/off bits of the four banks, 5 the waveform speed (GPS), 6 and 7 zero.
  std::array<std::array<int16_t, 9>, kBoards + 1> states{};
  // Per board (row 0 unused): the profile values of outputs 1..32 at 0..31.
  std::array<std::array<int16_t, 33>, kBoards + 1> profiles{};
  std::array<uint8_t, 8> last_report{};  // the payload of the report last sent
  std::array<int16_t, 41> values{};      // of the command being run
  std::array<int16_t, 41> separators{};  // where each value's separator begins (see common::SplitValues)
  bool split_failed = false;             // the last split found values it cannot read
  std::string detected;                  // "1"/"0" per board 1..16, as the Detected property shows
};

// The calling thread's copy.
BoardTables& Tables();

// What the interpreter needs from the control instance that runs a command:
// its pacing settings, a way to wait, and the transport of one report.
class ReportLink {
 public:
  virtual ~ReportLink() = default;
  virtual bool FastCom() const = 0;
  virtual int16_t CompatibilityDelay() const = 0;
  // Suspends the thread; 0 milliseconds yields once.
  virtual void Suspend(int milliseconds) = 0;
  // Writes `payload` (last_report when the interpreter calls it) to `board`.
  virtual void SendReport(int board, std::span<const uint8_t, 8> payload) = 0;
  // Writes reports to `board` that follow each other without a wait, in one
  // go where the transport allows; the same as SendReport for each in turn.
  virtual void SendReports(int board, std::span<const std::array<uint8_t, 8>> payloads) {
    for (const auto& payload : payloads) SendReport(board, payload);
  }
};

// Upper case as the Command path applies it: ASCII letters only.
using common::AsciiUpper;

// Runs one command (compared case-sensitively) against selected_board.
// Malformed commands are ignored without a word.
void ExecuteCommand(std::string_view text, ReportLink& link);

// How a command word's values are read. Each word of the command table says
// which it takes, so that a new word chooses rather than inherits one.
enum class Reading {
  kNone,            // no values: the word alone, or with its separator and nothing after
  kList,            // `count` comma-separated values, each but the last lenient, the last strict
  kNamedOrLeading,  // one value: a waveform name (SAW, SQR, SDN, SUP, any case) exactly,
                    // else the leading number of the rest, leniently (no number reads as 0)
};

// Splits the argument part of a command (all after its three-letter word)
// into `count` values (Tables().values) and sets split_failed.
void SplitArguments(std::string_view text, int count, Reading reading);

// Reports of selected_board, each after PaceReport.
void SendStateReport(ReportLink& link);
void SendProfileReports(ReportLink& link);
void PaceReport(ReportLink& link);

int16_t NormalizeProfileValue(int16_t value);
void SetOutputState(int output, int state);
int16_t RandomProfileValue();
int16_t RandomOutputState();
// Makes the random draws of this thread repeatable (tests).
void SeedRandom(uint32_t seed);

}  // namespace quorelctl
