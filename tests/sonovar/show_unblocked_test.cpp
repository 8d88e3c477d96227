// The lights never wait for the window: with the real control on virtual
// board 1 (run under quorel-sim, which logs every report), the buffers keep
// reaching the board while the window's thread is held by the animation
// dialog, by a message box, by a stall (as when the display stops), and
// while the window is minimised or hidden.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QtTest>

#include <fstream>
#include <thread>

#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
#include "support/sound_files.h"
#include "support/window_support.h"

using namespace sonovar;

namespace {

constexpr int kHoldMs = 1500;

// The last time the log holds and the profile reports of board 1 between two
// times (microseconds of the simulator's clock).
struct BoardLog {
  std::string path;
  int64_t Last() const {
    std::ifstream in(path);
    int64_t last = 0;
    for (std::string line; std::getline(in, line);) last = std::atoll(line.c_str());
    return last;
  }
  int ProfileReports(int64_t from, int64_t to) const {
    std::ifstream in(path);
    int count = 0;
    for (std::string line; std::getline(in, line);) {
      const int64_t when = std::atoll(line.c_str());
      // Board 1, not a state report (those begin with 40).
      if (when >= from && when <= to && line.find(" 1 00 ") != std::string::npos &&
          line.find(" 1 00 40 ") == std::string::npos)
        ++count;
    }
    return count;
  }
};

}  // namespace

class ShowUnblockedTest : public QObject {
  Q_OBJECT

  std::unique_ptr<testing_support::WorkingFolder> folder_;
  std::unique_ptr<platform::WaveIn> wave_;
  std::unique_ptr<MainWindow> window_;
  BoardLog log_;

  // Holds the window's thread for kHoldMs in the way `hold` does; afterwards
  // the board must have had most of the buffers of that time.
  void CheckHeld(const char* what, const std::function<void()>& hold) {
    const int64_t from = log_.Last();
    hold();
    QTest::qWait(300);  // the simulator writes its log in batches
    const int buffers = log_.ProfileReports(from, from + kHoldMs * 1000) / 4;
    qInfo("%s: %d buffers reached board 1 in %d ms", what, buffers, kHoldMs);
    // 64 buffers fit in the time; a show that waits for the window gets 0.
    QVERIFY2(buffers >= 40, qPrintable(QStringLiteral("%1: %2 buffers reached board 1").arg(what).arg(buffers)));
  }

 private slots:
  void init() {
    const char* log = std::getenv("SONOVAR_TEST_BOARD_LOG");
    if (log == nullptr || std::getenv("QUOREL_SYSFS_ROOT") == nullptr) QSKIP("needs quorel-sim --boards 1 --log");
    log_.path = log;
    folder_ = std::make_unique<testing_support::WorkingFolder>();
    auto settings = testing_support::UsualSettings();
    settings.BoardActive[1] = true;
    folder_->WriteSettings(settings);
    // Ten seconds of a loud, changing sound.
    const std::string file = folder_->file("loud.wav").toStdString();
    std::vector<uint8_t> bytes(11025 * 2 * 10);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(128 + ((i * 7919) % 200) - 100);
    QVERIFY(testing_support::WriteU8Wav(file, bytes));
    ::setenv("SONOVAR_INPUT_FILE", file.c_str(), 1);
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(platform::MakeFileBackend());
    wave_ = platform::MakeWaveIn(std::move(backends));
    // Message boxes are real and modal here: the point is that they block.
    window_ = std::make_unique<MainWindow>(*wave_, ShowMessageBox);
    QVERIFY(window_->LoadStartupState());
    window_->show();
    window_->onStartStopClicked();
    QTest::qWait(300);
  }

  void cleanup() {
    if (window_) window_->close();
    window_.reset();
    wave_.reset();
    folder_.reset();
  }

  void dialogOpen() {
    CheckHeld("the animation dialog", [this] {
      QTimer::singleShot(kHoldMs, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
      });
      window_->onAnimationFileClicked();
    });
  }

  void messageBoxOpen() {
    CheckHeld("a message box", [this] {
      QTimer::singleShot(kHoldMs, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
      });
      ShowMessageBox(window_.get(), {QStringLiteral("A message"), {}, {}});
    });
  }

  void threadStalled() {
    // What a stopped display does to the window: its thread waits.
    CheckHeld("a stalled window", [] { std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs)); });
  }

  void minimisedAndHidden() {
    CheckHeld("a minimised window", [this] {
      window_->showMinimized();
      QTest::qWait(kHoldMs);
    });
    CheckHeld("a hidden window", [this] {
      window_->hide();
      QTest::qWait(kHoldMs);
    });
  }
};

QTEST_MAIN(ShowUnblockedTest)
#include "show_unblocked_test.moc"
