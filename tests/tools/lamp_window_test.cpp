// The lamp window drawn offscreen from boards fed with report bytes: the
// colours at the lamp centres of the grabbed image.
#include "lamp_window.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace quorel_sim {
namespace {

BoardModel Board(const std::vector<Report>& reports) {
  BoardModel board;
  double seconds = 0;
  for (const Report& r : reports) board.Receive(r, seconds += 0.0002);
  board.Settle(1e9);
  return board;
}

// Lamp 1 (outputs 1-3) red, lamp 10 (28-30) green half and blue full,
// output 31 at a quarter, output 32 at full but switched off.
const Report kAllOn = {0, 64, 255, 255, 255, 0x7F, 3, 0, 0};  // output 32 switched off
const std::vector<Report> kFirst = {kAllOn,
                                    {0, 48, 0, 0, 0, 0, 0, 0, 0},
                                    {0, 0, 0, 0, 0, 0, 0, 0, 0},
                                    {0, 0, 0, 0, 0, 0, 0, 0, 0},
                                    {0, 0, 0, 0, 0, 24, 48, 12, 48}};
// Lamp 1 follows the saw waveform (129): at 0.5 s of its 2 s period, half.
const std::vector<Report> kSecond = {{0, 64, 0x01, 0, 0, 0, 3, 0, 0},
                                     {0, 129, 0, 0, 0, 0, 0, 0, 0},
                                     {0, 0, 0, 0, 0, 0, 0, 0, 0},
                                     {0, 0, 0, 0, 0, 0, 0, 0, 0},
                                     {0, 0, 0, 0, 0, 0, 0, 0, 0}};

TEST(LampWindowTest, LampColoursInTheGrabbedImage) {
  LampWindow window;
  window.resize(880, 200);
  window.Show({{2, Board(kFirst), 172}, {4, Board(kSecond), 0}}, 0.5);
  const QImage image = window.grab().toImage();
  ASSERT_FALSE(image.isNull());
  auto at = [&](int row, int lamp) { return image.pixelColor(window.LampCentre(row, lamp)); };
  EXPECT_EQ(at(0, 1), QColor(255, 0, 0)) << "lamp 1 of board 2";
  EXPECT_EQ(at(0, 10), QColor(0, 128, 255)) << "lamp 10 of board 2";
  EXPECT_EQ(at(0, 31), QColor(64, 64, 64)) << "output 31 at a quarter, white";
  EXPECT_EQ(at(0, 32), QColor(0, 0, 0)) << "output 32 is off";
  EXPECT_EQ(at(1, 1), QColor(128, 0, 0)) << "lamp 1 of board 4 halfway up its saw";
  EXPECT_EQ(at(1, 10), QColor(0, 0, 0));
}

}  // namespace
}  // namespace quorel_sim

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
