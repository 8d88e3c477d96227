// The main window under the offscreen platform, with the file backend and
// with scripted devices: start, analysis, stop, failed open, no device, and
// the show's peak ticks as the window shows them.
#include "sonovar/app/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QtTest>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/wavein_backend.h"
#include "sonovar/app/cut_bars.h"
#include "support/named_widgets.h"
#include "support/recording_board_link.h"
#include "support/scripted_wave.h"
#include "support/sound_files.h"
#include "support/window_support.h"

using namespace sonovar;
using testing_support::Widget;


namespace {

// The buffers the show has finished, told by its thread.
class BufferCount {
 public:
  explicit BufferCount(MainWindow& form) {
    form.liveShow().SetAfterBuffer([this] {
      {
        std::lock_guard lock(mutex_);
        ++done_;
      }
      finished_.notify_all();
    });
  }
  int Now() {
    std::lock_guard lock(mutex_);
    return done_;
  }
  bool WaitFor(int count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, timeout, [&] { return done_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  int done_ = 0;
};

// Whether the show still captures once it has applied everything posted so far.
bool CapturingAfterBarrier(MainWindow& form) {
  form.liveShow().Call([](ShowCore&) {});
  return form.liveShow().View().capturing;
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private:
  std::vector<Message> messages_;
  std::unique_ptr<testing_support::WorkingFolder> folder_;
  // Boards 1-4 present; the writes are not looked at here.
  static std::unique_ptr<BoardLink> Boards() { return std::make_unique<testing_support::RecordingBoardLink>(); }
  MessageSink Recorder() {
    return [this](QWidget*, const Message& m) { messages_.push_back(m); };
  }

  // A loaded window whose one input is the test file (kept alive by `dir`).
  std::unique_ptr<MainWindow> FormOnFile(const QTemporaryDir& dir, std::unique_ptr<platform::WaveIn>* wave) {
    ::setenv("SONOVAR_INPUT_FILE", WriteFile(dir.path()).c_str(), 1);
    *wave = FileService();
    auto form = std::make_unique<MainWindow>(**wave, Recorder(), Boards());
    form->LoadStartupState();
    ::unsetenv("SONOVAR_INPUT_FILE");
    return form;
  }

  // One scripted device that delivers only what the test hands it (nothing
  // unless told: its buffers never fill).
  static std::unique_ptr<platform::WaveIn> ScriptedService(testing_support::ScriptedBackend** backend,
                                                           bool open_ok = true) {
    auto owned = std::make_unique<testing_support::ScriptedBackend>();
    owned->devices = {{"Scripted", true, true, "x"}};
    owned->open_ok = open_ok;
    *backend = owned.get();
    std::vector<std::unique_ptr<platform::WaveInBackend>> list;
    list.push_back(std::move(owned));
    return platform::MakeWaveIn(std::move(list));
  }

  static std::unique_ptr<platform::WaveIn> FileService() {
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(platform::MakeFileBackend());
    return platform::MakeWaveIn(std::move(backends));
  }

  // A file whose loudest sample is +100 (byte 228) on the right channel.
  static std::string WriteFile(const QString& dir) {
    std::string path = (dir + "/peak100.wav").toStdString();
    std::vector<uint8_t> bytes(11025 * 2);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(128 + ((i % 2) ? (i % 101) : -(int)(i % 50)));
    testing_support::WriteU8Wav(path, bytes);
    return path;
  }

 private slots:
  void init() {
    messages_.clear();
    folder_ = std::make_unique<testing_support::WorkingFolder>();
    folder_->WriteSettings(testing_support::UsualSettings());
  }
  void cleanup() { folder_.reset(); }

  void startsAtTheDefaults() {
    auto wave = FileService();
    MainWindow form(*wave, Recorder(), Boards());
    form.LoadStartupState();
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Start"));
    QCOMPARE(Widget<QComboBox>(form, "Combo1")->toolTip(), QStringLiteral("Select your Audio Output Device."));
    QCOMPARE(Widget<QLabel>(form, "Label8")->text(), QStringLiteral("Peak Audio Level"));
    QCOMPARE(Widget<QLabel>(form, "Label10")->text(), QStringLiteral("Averaged Peak "));
    QCOMPARE(Widget<QLabel>(form, "lbl_Peak")->text(), QStringLiteral("0"));
    QCOMPARE(Widget<QScrollBar>(form, "vsc_RedCut")->value(), 25);
    QCOMPARE(Widget<QScrollBar>(form, "vsc_CyanCut")->value(), 100);
    const auto [red_high, yellow_low] = form.liveShow().Call(
        [](ShowCore& core) { return std::pair{core.analysis.RedCutHigh, core.analysis.YellowCutLow}; });
    QCOMPARE(red_high, int16_t{103});
    QCOMPARE(yellow_low, int16_t{-78});
    QCOMPARE(Widget<CutBars>(form, "box_BG")->BarHeight(Cut::kGreen), 53);
  }

  void noDeviceGivesTheMessageAndDisablesStart() {
    ::unsetenv("SONOVAR_INPUT_FILE");
    auto wave = FileService();
    MainWindow form(*wave, Recorder(), Boards());
    form.LoadStartupState();
    QCOMPARE(messages_.size(), size_t{1});
    QCOMPARE(messages_[0].text, QStringLiteral("No audio devices were found on your system."));
    QVERIFY(messages_[0].informative.contains(QStringLiteral("SONOVAR_INPUT_FILE")));
    QVERIFY(!Widget<QPushButton>(form, "Command1")->isEnabled());
    QCOMPARE(Widget<QComboBox>(form, "Combo1")->count(), 0);
  }

  void capturesAFileAndShowsItsPeak() {
    QTemporaryDir dir;
    std::unique_ptr<platform::WaveIn> wave;
    auto owned = FormOnFile(dir, &wave);
    MainWindow& form = *owned;
    const QComboBox* combo1 = Widget<QComboBox>(form, "Combo1");
    QCOMPARE(combo1->count(), 2);
    QCOMPARE(combo1->itemText(0), QStringLiteral("Default input (File: peak100.wav)"));
    QCOMPARE(combo1->currentText(), QStringLiteral("File: peak100.wav"));
    QPushButton* command1 = Widget<QPushButton>(form, "Command1");
    BufferCount buffers(form);
    QElapsedTimer elapsed;
    elapsed.start();
    form.onStartStopClicked();  // returns once the input is open
    QCOMPARE(command1->text(), QStringLiteral("Stop"));
    QTRY_VERIFY_WITH_TIMEOUT(buffers.Now() >= 8, 10000);
    command1->click();
    // The show's clock stands still from here: the idle ticks leave the peak alone.
    form.liveShow().SetClock([] { return int64_t{0}; });
    QCOMPARE(command1->text(), QStringLiteral("Start"));
    QVERIFY(!CapturingAfterBarrier(form));
    const int peak = form.liveShow().View().peak;
    const qint64 ms = elapsed.elapsed();
    const int analysed = buffers.Now();
    QTest::qWait(100);  // the file goes on, but nothing reads it any more
    QCOMPARE(buffers.Now(), analysed);
    // The loudest sample of the file, less what the 50 ms ticks took off meanwhile.
    QVERIFY2(peak <= 100 && peak >= 100 - (ms / 50 + 1), qPrintable(QStringLiteral("%1 after %2 ms").arg(peak).arg(ms)));
    QTRY_COMPARE(Widget<QLabel>(form, "lbl_Peak")->text(), QString::number(peak));
    QVERIFY(messages_.empty());
  }

  void stopWhileWaitingAnalysesNothing() {
    testing_support::ScriptedBackend* backend = nullptr;
    auto wave = ScriptedService(&backend);
    MainWindow form(*wave, Recorder(), Boards());
    form.LoadStartupState();
    BufferCount buffers(form);
    form.onStartStopClicked();
    QTRY_VERIFY(form.liveShow().View().capturing);
    QTest::qWait(150);
    Widget<QPushButton>(form, "Command1")->click();
    QVERIFY(!CapturingAfterBarrier(form));
    QCOMPARE(buffers.Now(), 0);
    QCOMPARE(backend->stops, 1);
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Start"));
  }

  void closingTheWindowDuringCaptureEndsTheCapture() {
    QTemporaryDir dir;
    std::unique_ptr<platform::WaveIn> wave;
    auto owned = FormOnFile(dir, &wave);
    MainWindow& form = *owned;
    form.show();
    BufferCount buffers(form);
    form.onStartStopClicked();
    QVERIFY(buffers.WaitFor(1));
    form.close();
    QVERIFY(!CapturingAfterBarrier(form));
    QVERIFY(!form.isVisible());
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Start"));
    const int analysed = buffers.Now();
    QTest::qWait(100);
    QCOMPARE(buffers.Now(), analysed);
  }

  void failedOpenLeavesStopThenOneClickShowsStart() {
    testing_support::ScriptedBackend* backend = nullptr;
    auto wave = ScriptedService(&backend, false);
    MainWindow form(*wave, Recorder(), Boards());
    form.LoadStartupState();
    form.onStartStopClicked();
    QCOMPARE(messages_.size(), size_t{1});
    QCOMPARE(messages_[0].text, QStringLiteral("Wave input device failed to open"));
    QVERIFY2(messages_[0].informative.startsWith(QStringLiteral("\"Scripted\" could not be opened: the sound system")),
             qPrintable(messages_[0].informative));
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Stop"));
    QVERIFY(!CapturingAfterBarrier(form));
    form.onStartStopClicked();
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Start"));
    QVERIFY(!CapturingAfterBarrier(form));
    QCOMPARE(messages_.size(), size_t{1});
  }

  void cutSlidersMoveBarsAndThresholdsAlsoWhileDragged() {
    auto wave = FileService();
    MainWindow form(*wave, Recorder(), Boards());
    form.LoadStartupState();
    form.resize(800, 600);
    form.show();
    QScrollBar* red_cut = Widget<QScrollBar>(form, "vsc_RedCut");
    const CutBars* bars = Widget<CutBars>(form, "box_BG");
    red_cut->setSliderDown(true);
    red_cut->setSliderPosition(60);  // dragging: tracking is on, so the value follows
    QCOMPARE(form.liveShow().Call([](ShowCore& core) { return core.analysis.RedCutHigh; }), int16_t{68});
    QCOMPARE(form.liveShow().Call([](ShowCore& core) { return core.View(false, 0).cuts[0]; }), 60);
    QCOMPARE(bars->BarHeight(Cut::kRed), 68);
    red_cut->setSliderDown(false);
    const QRect bar = bars->BarRect(Cut::kRed);
    QVERIFY(std::abs(bar.center().y() - bars->height() / 2) <= 1);  // centred on the background
  }

  // Sixty buffers whose loudest sample is +100, each at a 50 ms deadline of
  // the show's clock: sixty ticks, whose average moves the cuts; the window
  // shows the peak, the average and the sliders as the show published them.
  void peakTicksFallAndAdjustTheCutsOnTheWindow() {
    testing_support::ScriptedBackend* backend = nullptr;
    auto wave = ScriptedService(&backend);
    MainWindow form(*wave, Recorder(), Boards());
    form.LoadStartupState();
    auto now = std::make_shared<std::atomic<int64_t>>(0);
    form.liveShow().SetClock([now] { return now->load(); });
    BufferCount buffers(form);
    form.onStartStopClicked();
    std::vector<uint8_t> bytes(kCaptureBufferBytes, 128);
    bytes[101] = 228;  // +100 on the right channel
    now->store(kPeakTickMicros);
    backend->Deliver(bytes);
    QVERIFY(buffers.WaitFor(1));
    for (int i = 1; i < 60; ++i) {
      now->store((i + 1) * kPeakTickMicros);
      backend->Deliver(bytes);
      QVERIFY2(buffers.WaitFor(i + 1), qPrintable(QStringLiteral("buffer %1 never finished").arg(i)));
    }
    QTRY_COMPARE(Widget<QLabel>(form, "lbl_AveragedPeaks")->text(), QStringLiteral("40"));
    QCOMPARE(Widget<QScrollBar>(form, "vsc_RedCut")->value(), 100);
    QCOMPARE(Widget<QScrollBar>(form, "vsc_YellowCut")->value(), 108);
    QCOMPARE(Widget<QScrollBar>(form, "vsc_GreenCut")->value(), 116);
    QCOMPARE(Widget<QScrollBar>(form, "vsc_CyanCut")->value(), 124);
    QCOMPARE(Widget<CutBars>(form, "box_BG")->BarHeight(Cut::kCyan), 4);
    QCOMPARE(Widget<QLabel>(form, "lbl_Peak")->text(), QStringLiteral("99"));
    const auto highs = form.liveShow().Call(
        [](ShowCore& core) { return std::pair{core.analysis.RedCutHigh, core.analysis.YellowCutHigh}; });
    QCOMPARE(highs.first, int16_t{28});
    QCOMPARE(highs.second, int16_t{20});
    Widget<QPushButton>(form, "Command1")->click();
    QVERIFY(!CapturingAfterBarrier(form));
  }

  // Idle, the show ticks on its own timer while the peak falls and rests once
  // it no longer does (no capture can raise it): nothing wakes the program.
  // A start sets the ticks going again.
  void peakTicksRestWhenIdleAndRunAgainOnStart() {
    testing_support::ScriptedBackend* backend = nullptr;
    auto wave = ScriptedService(&backend);
    MainWindow form(*wave, Recorder(), Boards());
    form.LoadStartupState();
    auto now = std::make_shared<std::atomic<int64_t>>(0);
    form.liveShow().SetClock([now] { return now->load(); });
    form.liveShow().Call([](ShowCore& core) {
      core.analysis.Peak = 65;
      core.StartTicks(0);
    });
    // Three deadlines at once: 65 and 64 fall, then the tick stops.
    now->store(3 * kPeakTickMicros);
    form.liveShow().Post([](ShowCore&) {});  // wakes the show to look at its clock
    QTRY_COMPARE(Widget<QLabel>(form, "lbl_Peak")->text(), QStringLiteral("63"));
    QVERIFY(!form.liveShow().Call([](ShowCore& core) { return core.Ticking(); }));
    form.onStartStopClicked();
    const auto [ticking, next] =
        form.liveShow().Call([](ShowCore& core) { return std::pair{core.Ticking(), core.NextTick()}; });
    QVERIFY(ticking);
    QCOMPARE(next, 4 * kPeakTickMicros);
    Widget<QPushButton>(form, "Command1")->click();
    QVERIFY(!CapturingAfterBarrier(form));
  }

  // The peak labels are drawn from pictures of their texts: pixel for pixel
  // what a plain label with the same settings shows in their place, on
  // their group's background, whatever the number.
  void peakLabelsLookLikePlainLabels() {
    auto wave = FileService();
    MainWindow form(*wave, Recorder(), Boards());
    form.LoadStartupState();
    form.show();
    for (const char* name : {"lbl_Peak", "lbl_AveragedPeaks"}) {
      auto* label = form.findChild<QLabel*>(QString::fromLatin1(name));
      QVERIFY(label != nullptr);
      QWidget* group = label->parentWidget();
      QLabel plain(group);
      plain.setFont(label->font());
      plain.setAlignment(label->alignment());
      plain.setGeometry(label->geometry());
      for (const char* text : {"0", "7", "63", "127", "-10", "99", "7"}) {
        label->setText(QString::fromLatin1(text));
        plain.setText(label->text());
        plain.hide();
        label->show();
        const QImage number = group->grab(label->geometry()).toImage();
        label->hide();
        plain.show();
        QCOMPARE(number, group->grab(label->geometry()).toImage());
      }
      label->show();
    }
  }

  void screenshot() {
    QTemporaryDir dir;
    std::unique_ptr<platform::WaveIn> wave;
    auto owned = FormOnFile(dir, &wave);
    MainWindow& form = *owned;
    form.show();
    QVERIFY(form.sizeHint().width() <= 1024 && form.sizeHint().height() <= 700);
    const char* out = std::getenv("SONOVAR_SCREENSHOT");
    if (out != nullptr) QVERIFY(form.grab().save(QString::fromLocal8Bit(out)));
    // Nothing overlaps: the named widgets' rectangles are disjoint.
    QList<QWidget*> widgets;
    for (const char* name : {"Combo1", "Command1", "Label8", "lbl_Peak", "Label10", "lbl_AveragedPeaks", "vsc_RedCut",
                             "vsc_YellowCut", "vsc_GreenCut", "vsc_CyanCut", "box_BG"})
      widgets << Widget<QWidget>(form, name);
    for (int i = 0; i < widgets.size(); ++i) {
      const QRect a(widgets[i]->mapTo(&form, QPoint(0, 0)), widgets[i]->size());
      QVERIFY2(form.rect().contains(a), qPrintable(widgets[i]->objectName() + " is cut off"));
      for (int j = i + 1; j < widgets.size(); ++j) {
        const QRect b(widgets[j]->mapTo(&form, QPoint(0, 0)), widgets[j]->size());
        QVERIFY2(!a.intersects(b), qPrintable(widgets[i]->objectName() + " overlaps " + widgets[j]->objectName()));
      }
    }
  }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
