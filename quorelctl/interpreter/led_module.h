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

// Library-wide state. One copy per thread, shared by every control created on
// that thread; all zero until something writes it.
struct LedModule {
  int16_t CurrentBoard = 0;
  std::array<std::array<int16_t, 9>, kBoards + 1> BankState{};       // row 0 unused
  std::array<std::array<int16_t, 33>, kBoards + 1> OutputProfile{};  // row 0 unused
  std::array<uint8_t, 8> ReportBytes{};
  std::array<int16_t, 41> ArgValues{};
  std::array<int16_t, 41> ArgPositions{};
  int16_t SplitFailed = 0;  // -1 when the last split failed
  std::string DetectedFlags;
};

// The calling thread's copy.
LedModule& Module();

// What the interpreter needs from the control instance that runs a command:
// its pacing settings, a way to wait, and the transport of one report.
class ReportLink {
 public:
  virtual ~ReportLink() = default;
  virtual bool FastCom() const = 0;
  virtual int16_t CompatibilityDelay() const = 0;
  // Suspends the thread; 0 milliseconds yields once.
  virtual void Suspend(int milliseconds) = 0;
  // Writes `payload` (ReportBytes when the interpreter calls it) to `board`.
  virtual void SendReport(int board, std::span<const uint8_t, 8> payload) = 0;
  // Writes reports to `board` that follow each other without a wait, in one
  // go where the transport allows; the same as SendReport for each in turn.
  virtual void SendReports(int board, std::span<const std::array<uint8_t, 8>> payloads) {
    for (const auto& payload : payloads) SendReport(board, payload);
  }
};

// Upper case as the Command path applies it: ASCII letters only.
using common::AsciiUpper;

// Runs one command (compared case-sensitively) against CurrentBoard.
// Malformed commands are ignored without a word.
void ExecuteCommand(std::string_view text, ReportLink& link);

// Splits the argument part of a command into `count` values (ArgValues) and
// sets SplitFailed.
void SplitArguments(std::string_view text, int count);

// Reports of CurrentBoard, each after PaceReport.
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
