// The fixed show of support/show_script.h, steered through the window as a
// user would while the show runs on its own thread: the board writes must
// be, byte for byte, those the window-driven loop made (tests/sonovar/data),
// whether the sound tells its play time (a monitor of an output) or not.
#include <QApplication>
#include <QPushButton>
#include <QtTest/QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
#include "support/recording_board_link.h"
#include "support/scripted_wave.h"
#include "support/show_script.h"
#include "support/window_support.h"

using namespace sonovar;
namespace script = testing_support::show_script;
using testing_support::Widget;

class ShowReportsTest : public QObject {
  Q_OBJECT

  // Buffers the show has finished, told by its thread.
  std::mutex mutex_;
  std::condition_variable finished_;
  int done_ = 0;

  bool WaitForBuffers(int count) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, std::chrono::seconds(10), [&] { return done_ >= count; });
  }

 private slots:
  void boardsReceiveTheRecordedWrites_data() {
    QTest::addColumn<bool>("playTimes");
    QTest::newRow("live input") << false;
    // Heard long ago: sent at once, with the ticks in the sound's time.
    QTest::newRow("monitor") << true;
  }

  void boardsReceiveTheRecordedWrites() {
    QFETCH(bool, playTimes);
    done_ = 0;
    const int64_t heard_base = SteadyMicros() - 60000000;
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QDir(data.path()).mkpath(QStringLiteral("sonovar/animations"));
    script::WriteAnimation((data.path() + "/sonovar/animations/show-test.qra").toStdString());
    testing_support::WorkingFolder folder;  // no settings file: the defaults

    auto backend_owned = std::make_unique<testing_support::ScriptedBackend>();
    testing_support::ScriptedBackend* backend = backend_owned.get();
    backend->devices = {{"Scripted", true, true, "s"}};
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(std::move(backend_owned));
    auto wave = platform::MakeWaveIn(std::move(backends));
    auto link_owned = std::make_unique<testing_support::RecordingBoardLink>();
    testing_support::RecordingBoardLink* link = link_owned.get();
    MainWindow form(*wave, [](QWidget*, const Message&) {}, std::move(link_owned));
    // The ticks fall where the script puts them: at the end of each buffer.
    auto now = std::make_shared<std::atomic<int64_t>>(0);
    form.liveShow().SetClock([now] { return now->load(); });
    form.liveShow().SetAfterBuffer([this] {
      {
        std::lock_guard lock(mutex_);
        ++done_;
      }
      finished_.notify_one();
    });
    QVERIFY(form.LoadStartupState());
    auto load = [&form] { QVERIFY(form.LoadAnimation(QStringLiteral("show-test"))); };
    script::ActAfter(-1, form, load);
    form.onStartStopClicked();

    // With play times, the ticks follow them and not the clock, which stops.
    for (int i = 0; i < script::kBuffers; ++i) {
      if (!playTimes || i == 0) now->store(script::BufferEndMicros(i));
      const auto bytes = script::Buffer(i);
      backend->Deliver({bytes.begin(), bytes.end()},
                       playTimes ? heard_base + script::BufferEndMicros(i) : platform::kPlayTimeUnknown);
      QVERIFY2(WaitForBuffers(i + 1), qPrintable(QStringLiteral("buffer %1 never finished").arg(i)));
      script::ActAfter(i, form, load);
    }
    form.onStartStopClicked();
    form.liveShow().Call([](ShowCore&) {});  // everything before has reached the boards

    const char* record = std::getenv("SONOVAR_RECORD_SHOW_REPORTS");
    if (record != nullptr) {
      std::ofstream out(record);
      for (const std::string& w : link->writes) out << w << '\n';
    }
    const auto want = script::ReadLines(SONOVAR_SHOW_REPORTS);
    QVERIFY(!want.empty());
    for (size_t k = 0; k < std::min(want.size(), link->writes.size()); ++k)
      QVERIFY2(link->writes[k] == want[k], qPrintable(QStringLiteral("write %1: %2 instead of %3")
                                                        .arg(k)
                                                        .arg(QString::fromStdString(link->writes[k]),
                                                             QString::fromStdString(want[k]))));
    QCOMPARE(link->writes.size(), want.size());
  }
};

QTEST_MAIN(ShowReportsTest)
#include "show_reports_test.moc"
