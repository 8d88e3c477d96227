// The board link: the program's one way to the board control, as the
// control's properties. The program wires it to the quorelctl control; tests
// record what crosses it.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace sonovar {

// The boards the program offers: 1..4.
inline constexpr int kProgramBoards = 4;
// Index 1..4: the board is active (its selection frame is shown); entry 0 unused.
using ActiveBoards = std::array<bool, kProgramBoards + 1>;

class BoardLink {
 public:
  virtual ~BoardLink() = default;
  // 16 characters "1"/"0", one per board 1..16.
  virtual std::string Detected() = 0;
  // 0, or the control's error number (16384, 16385).
  virtual int SetDeviceNumber(std::string_view number) = 0;
  virtual void SetCommand(std::string_view text) = 0;
  virtual void SetFastCom(bool on) = 0;
  virtual void SetCompatibilityDelay(int16_t milliseconds) = 0;
  // Why boards that are there could not be used (a board device that cannot
  // be opened, and how to mend it); "" when there is nothing to say.
  virtual std::string UnusableBoardsReport() { return {}; }
};

// Selects `board` once and sends it `commands` in order. A refused selection
// (a board that is not there) sends nothing: that board simply misses them.
void SendCommands(BoardLink& link, int board, std::initializer_list<std::string_view> commands);

// Sends `command` to every active board, in ascending order.
void SendToActiveBoards(BoardLink& link, const ActiveBoards& active, std::string_view command);

// What a board label's click sends before it toggles the board: all outputs
// dark, then all switched on at GPS 3.
void PrepareBoard(BoardLink& link, int board);

}  // namespace sonovar
