#include "terminal_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace quorel_sim {

namespace {

constexpr int kFullWidth = 72;      // ten lamps of 5 columns and two spares, with gaps
constexpr int kLinesPerBoard = 5;   // title, two lamp lines, labels, gap

std::string Block(Rgb c, int width) {
  char code[40];
  std::snprintf(code, sizeof code, "\x1b[48;2;%d;%d;%dm", c.r, c.g, c.b);
  return code + std::string(width, ' ') + "\x1b[0m";
}

// Text cut to `width` visible columns (the texts here are plain ASCII).
std::string Fit(std::string text, int width) {
  if (static_cast<int>(text.size()) > width) text.resize(std::max(0, width));
  return text;
}

std::string Title(const ViewBoard& b) {
  return "Board " + std::to_string(b.number) + "  " + std::to_string(b.model->reports) + " reports  GPS " +
         std::to_string(b.model->gps) + (b.unplugged ? "  unplugged" : "");
}

}  // namespace

void TerminalView::Begin() { std::fputs("\x1b[?1049h\x1b[?25l\x1b[2J", stdout); }

void TerminalView::End() {
  std::fputs("\x1b[0m\x1b[?25h\x1b[?1049l", stdout);
  std::fflush(stdout);
}

int TerminalView::MillisecondsToNextFrame() const {
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - last_frame_);
  return std::max<int>(0, kFrameMilliseconds - static_cast<int>(elapsed.count()));
}

void TerminalView::Draw(const std::vector<ViewBoard>& boards, double seconds) {
  if (!size_known_) {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
      columns_ = size.ws_col;
      rows_ = size.ws_row;
    }
    size_known_ = true;
    std::fputs("\x1b[2J", stdout);
  }
  std::string screen = "\x1b[H" + Compose(boards, seconds, columns_, rows_) + "\x1b[J";
  std::fwrite(screen.data(), 1, screen.size(), stdout);
  std::fflush(stdout);
  last_frame_ = std::chrono::steady_clock::now();
}

std::string TerminalView::Compose(const std::vector<ViewBoard>& boards, double seconds, int columns, int rows) {
  std::string out;
  auto line = [&](const std::string& text) { out += text + "\x1b[K\r\n"; };
  const int count = static_cast<int>(boards.size());

  if (columns >= kFullWidth && rows >= count * kLinesPerBoard) {
    for (const ViewBoard& b : boards) {
      line(Title(b));
      std::string lamps;
      for (int lamp = 1; lamp <= 10; ++lamp) lamps += Block(LampColour(*b.model, lamp, seconds), 5) + " ";
      lamps += " ";
      for (int output = 31; output <= 32; ++output) lamps += Block(SpareColour(*b.model, output, seconds), 2) + " ";
      line(lamps);
      line(lamps);
      std::string labels;
      for (int lamp = 1; lamp <= 10; ++lamp) {
        std::string label = "L" + std::to_string(lamp);
        labels += label + std::string(6 - label.size(), ' ');
      }
      labels += " 31 32";
      line(labels);
      line("");
    }
    return out;
  }

  // Compact: "B1 " + ten lamps of two columns + two spares of one column.
  // All boards when they fit, else as many as leave a line for the rest.
  const int shown = count <= rows ? count : std::max(0, rows - 1);
  for (int i = 0; i < shown; ++i) {
    const ViewBoard& b = boards[i];
    std::string label = "B" + std::to_string(b.number) + " ";
    const int lamp_width = 10 * 2 + 1 + 2;
    if (columns < static_cast<int>(label.size()) + lamp_width) {
      line(Fit(label + std::to_string(b.model->reports), columns));
      continue;
    }
    std::string text = label;
    for (int lamp = 1; lamp <= 10; ++lamp) text += Block(LampColour(*b.model, lamp, seconds), 2);
    text += " ";
    for (int output = 31; output <= 32; ++output) text += Block(SpareColour(*b.model, output, seconds), 1);
    const int room = columns - static_cast<int>(label.size()) - lamp_width - 1;
    if (room > 0) text += " " + Fit(std::to_string(b.model->reports), room);
    line(text);
  }
  if (shown < count) line(Fit("+" + std::to_string(count - shown) + " more (enlarge the terminal)", columns));
  return out;
}

}  // namespace quorel_sim
