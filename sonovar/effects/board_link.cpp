#include "sonovar/effects/board_link.h"

namespace sonovar {

namespace {

constexpr std::string_view kDarkProfile = "pba:0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0";
constexpr std::string_view kAllOn = "sba:255,255,255,255,3";

// "1".."4" without a heap allocation.
std::string_view BoardText(int board) {
  static constexpr std::string_view kTexts[] = {"0", "1", "2", "3", "4"};
  return board >= 0 && board <= kProgramBoards ? kTexts[board] : std::string_view("0");
}

}  // namespace

void SendCommands(BoardLink& link, int board, std::initializer_list<std::string_view> commands) {
  if (link.SetDeviceNumber(BoardText(board)) != 0) return;
  for (std::string_view command : commands) link.SetCommand(command);
}

void SendToActiveBoards(BoardLink& link, const ActiveBoards& active, std::string_view command) {
  for (int board = 1; board <= kProgramBoards; ++board)
    if (active[board]) SendCommands(link, board, {command});
}

void PrepareBoard(BoardLink& link, int board) {
  SendCommands(link, board, {kDarkProfile, kAllOn});
}

}  // namespace sonovar
