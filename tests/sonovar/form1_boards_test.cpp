// End to end: the window with the real control on virtual boards 1 and 3
// (run under quorel-sim, which logs every report), capturing a known file.
#include <QGroupBox>
#include <QPushButton>
#include <QtTest/QtTest>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
#include "sonovar/app/widgets.h"
#include "support/named_widgets.h"
#include "support/sound_files.h"
#include "support/window_support.h"

using namespace sonovar;
using testing_support::Widget;

namespace {

// The log's lines for one board, without their times.
std::vector<std::string> BoardLines(const std::string& log, int board) {
  std::vector<std::string> lines;
  std::ifstream in(log);
  const std::string prefix = std::to_string(board) + " ";
  for (std::string line; std::getline(in, line);) {
    const std::string rest = line.substr(line.find(' ') + 1);
    if (rest.rfind(prefix, 0) == 0) lines.push_back(rest);
  }
  return lines;
}

std::vector<std::string> Repeat(const std::string& line, int times) { return std::vector<std::string>(times, line); }

}  // namespace

class Form1BoardsTest : public QObject {
  Q_OBJECT

 private slots:
  void pulseReachesTheClickedBoardOnlyOncePerBuffer() {
    const char* log = std::getenv("SONOVAR_TEST_BOARD_LOG");
    if (log == nullptr || std::getenv("QUOREL_SYSFS_ROOT") == nullptr) QSKIP("needs quorel-sim --boards 1,3 --log");
    // A square wave of +-40 on both channels: RMS 40, so the level is
    // round(floor(40 / 2 + 40) * 48 / 128) = round(22.5) = 22, halves to even;
    // no sample reaches the red or yellow band at the start cuts. Auto level
    // off: the capture's own levels.
    testing_support::WorkingFolder folder;
    sonovar::SettingsRecord settings = testing_support::UsualSettings();
    settings.AutoLevel = false;
    folder.WriteSettings(settings);
    const std::string file = folder.file("square40.wav").toStdString();
    std::vector<uint8_t> bytes(11025 * 2);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (i / 2) % 2 ? 168 : 88;
    QVERIFY(testing_support::WriteU8Wav(file, bytes));
    ::setenv("SONOVAR_INPUT_FILE", file.c_str(), 1);
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(platform::MakeFileBackend());
    auto wave = platform::MakeWaveIn(std::move(backends));

    MainWindow form(*wave, [](QWidget*, const Message& m) { QFAIL(qPrintable(m.text)); });
    QVERIFY(form.LoadStartupState());
    QVERIFY(Widget<ClickableLabel>(form, "lbl_DevNum", 1)->isEnabled() &&
            Widget<ClickableLabel>(form, "lbl_DevNum", 3)->isEnabled());
    QVERIFY(!Widget<ClickableLabel>(form, "lbl_DevNum", 2)->isEnabled());
    form.show();  // show() is the window's show (its Show)
    // The control's face, beside the board numbers.
    const auto* quorel1 = form.findChild<QWidget*>(QStringLiteral("Quorel1"));
    QVERIFY(quorel1 != nullptr && quorel1->isVisible());
    QCOMPARE(quorel1->size(), QSize(36, 36));
    const auto* group = qobject_cast<QGroupBox*>(quorel1->parentWidget());
    QVERIFY(group != nullptr && group->title() == QStringLiteral("Boards"));
    QTest::mouseClick(Widget<ClickableLabel>(form, "lbl_DevNum", 1), Qt::LeftButton);
    // Counted on the show's thread after each buffer's board writes.
    auto counted = std::make_shared<std::atomic<int>>(0);
    form.liveShow().SetAfterBuffer([counted] { ++*counted; });
    form.onStartStopClicked();  // returns once the input is open
    QTRY_VERIFY_WITH_TIMEOUT(counted->load() >= 10, 10000);
    Widget<QPushButton>(form, "Command1")->click();
    form.liveShow().Call([](ShowCore&) {});  // the capture has ended: no buffer after this
    QVERIFY(!form.liveShow().View().capturing);
    const int buffers = counted->load();

    const std::vector<std::string> startup = [] {
      std::vector<std::string> s = {" 00 40 00 00 00 00 03 00 00"};
      for (int r = 0; r < 4; ++r) s.push_back(" 00 30 30 30 30 30 30 30 30");
      return s;
    }();
    std::vector<std::string> want;
    for (const std::string& line : startup) want.push_back("1" + line);
    for (const std::string& line : Repeat("1 00 00 00 00 00 00 00 00 00", 4)) want.push_back(line);
    want.push_back("1 00 40 ff ff ff ff 03 00 00");
    for (int b = 0; b < buffers; ++b) {
      // Outputs 3, 6, ..., 30 at 22 (hex 16), the rest 0.
      want.push_back("1 00 00 00 16 00 00 16 00 00");
      want.push_back("1 00 16 00 00 16 00 00 16 00");
      want.push_back("1 00 00 16 00 00 16 00 00 16");
      want.push_back("1 00 00 00 16 00 00 16 00 00");
    }
    // The simulator logs what it has read; give it a moment to catch up.
    std::vector<std::string> got;
    for (int tries = 0; tries < 100 && (got = BoardLines(log, 1)).size() < want.size(); ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QCOMPARE(got, want);
    std::vector<std::string> board3;
    for (const std::string& line : startup) board3.push_back("3" + line);
    QCOMPARE(BoardLines(log, 3), board3);
  }
};

QTEST_MAIN(Form1BoardsTest)
#include "form1_boards_test.moc"
