// The main window under the offscreen platform, with the file backend and
// with scripted devices: start, analysis, stop, failed open, no device.
#include "sonovar/app/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QtTest>

#include <cstdlib>
#include <filesystem>

#include "platform/wavein_backend.h"
#include "sonovar/app/cut_bars.h"
#include "support/scripted_wave.h"
#include "support/named_widgets.h"
#include "support/recording_board_link.h"
#include "support/sound_files.h"
#include "support/window_support.h"

using namespace sonovar;
using testing_support::Widget;

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

  // A loaded form whose one input is the test file (kept alive by `dir`).
  std::unique_ptr<Form1> FormOnFile(const QTemporaryDir& dir, std::unique_ptr<platform::WaveIn>* wave) {
    ::setenv("SONOVAR_INPUT_FILE", WriteFile(dir.path()).c_str(), 1);
    *wave = FileService();
    auto form = std::make_unique<Form1>(**wave, Recorder(), Boards());
    form->Form_Load();
    ::unsetenv("SONOVAR_INPUT_FILE");
    return form;
  }

  // One device whose buffers never fill.
  static std::unique_ptr<platform::WaveIn> NeverFillingService() {
    auto backend = std::make_unique<testing_support::ScriptedBackend>();
    backend->devices = {{"Never fills", true, true, "x"}};
    std::vector<std::unique_ptr<platform::WaveInBackend>> list;
    list.push_back(std::move(backend));
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
    Form1 form(*wave, Recorder(), Boards());
    form.Form_Load();
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Start"));
    QCOMPARE(Widget<QComboBox>(form, "Combo1")->toolTip(), QStringLiteral("Select your Audio Output Device."));
    QCOMPARE(Widget<QLabel>(form, "Label8")->text(), QStringLiteral("Peak Audio Level"));
    QCOMPARE(Widget<QLabel>(form, "Label10")->text(), QStringLiteral("Averaged Peak "));
    QCOMPARE(Widget<QLabel>(form, "lbl_Peak")->text(), QStringLiteral("0"));
    QCOMPARE(Widget<QScrollBar>(form, "vsc_RedCut")->value(), 25);
    QCOMPARE(Widget<QScrollBar>(form, "vsc_CyanCut")->value(), 100);
    QCOMPARE(form.analysis().RedCutHigh, int16_t{103});
    QCOMPARE(form.analysis().YellowCutLow, int16_t{-78});
    QCOMPARE(Widget<CutBars>(form, "box_BG")->BarHeight(Cut::kGreen), 53);
    const QTimer* reset_peak = Widget<QTimer>(form, "tmr_ResetPeak");
    QVERIFY(reset_peak->isActive());
    QCOMPARE(reset_peak->interval(), 50);
  }

  void noDeviceGivesTheMessageAndDisablesStart() {
    ::unsetenv("SONOVAR_INPUT_FILE");
    auto wave = FileService();
    Form1 form(*wave, Recorder(), Boards());
    form.Form_Load();
    QCOMPARE(messages_.size(), size_t{1});
    QCOMPARE(messages_[0].text, QStringLiteral("No audio devices were found on your system."));
    QVERIFY(!Widget<QPushButton>(form, "Command1")->isEnabled());
    QCOMPARE(Widget<QComboBox>(form, "Combo1")->count(), 0);
  }

  void capturesAFileAndShowsItsPeak() {
    QTemporaryDir dir;
    std::unique_ptr<platform::WaveIn> wave;
    auto owned = FormOnFile(dir, &wave);
    Form1& form = *owned;
    const QComboBox* combo1 = Widget<QComboBox>(form, "Combo1");
    QCOMPARE(combo1->count(), 1);
    QCOMPARE(combo1->currentText(), QStringLiteral("File: peak100.wav"));
    QPushButton* command1 = Widget<QPushButton>(form, "Command1");
    int buffers = 0;
    form.AfterAnalysis = [&] { ++buffers; };
    // The stop click comes from the event queue while the loop runs.
    QString caption_while_running;
    QTimer::singleShot(400, &form, [&] {
      caption_while_running = command1->text();
      command1->click();
    });
    form.Command1_Click();  // returns when the capture has stopped
    QCOMPARE(caption_while_running, QStringLiteral("Stop"));
    QCOMPARE(command1->text(), QStringLiteral("Start"));
    QCOMPARE(form.capture().CaptureHandle, platform::WaveInHandle{0});
    QVERIFY2(buffers >= 8 && buffers <= 30, qPrintable(QString::number(buffers)));
    // The loudest sample of the file, less what the 50 ms timer took off meanwhile.
    const QString peak_text = Widget<QLabel>(form, "lbl_Peak")->text();
    const int peak = peak_text.toInt();
    QVERIFY2(peak >= 100 - 10 && peak <= 100, qPrintable(peak_text));
    QVERIFY(messages_.empty());
  }

  void stopWhileWaitingAnalysesNothing() {
    auto wave = NeverFillingService();
    Form1 form(*wave, Recorder(), Boards());
    form.Form_Load();
    int buffers = 0;
    form.AfterAnalysis = [&] { ++buffers; };
    QTimer::singleShot(150, &form, [&] { Widget<QPushButton>(form, "Command1")->click(); });
    form.Command1_Click();
    QCOMPARE(buffers, 0);
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Start"));
  }

  void closingTheWindowDuringCaptureEndsTheLoop() {
    QTemporaryDir dir;
    std::unique_ptr<platform::WaveIn> wave;
    auto owned = FormOnFile(dir, &wave);
    Form1& form = *owned;
    form.show();
    QTimer::singleShot(200, &form, [&] { form.close(); });
    form.Command1_Click();  // returns once the close request has stopped the capture
    QCOMPARE(form.capture().CaptureHandle, platform::WaveInHandle{0});
    QVERIFY(!form.isVisible());
  }

  void failedOpenLeavesStopThenOneClickShowsStart() {
    auto backend = std::make_unique<testing_support::ScriptedBackend>();
    backend->devices = {{"Refuses", true, true, "x"}};
    backend->open_ok = false;
    std::vector<std::unique_ptr<platform::WaveInBackend>> list;
    list.push_back(std::move(backend));
    auto wave = platform::MakeWaveIn(std::move(list));
    Form1 form(*wave, Recorder(), Boards());
    form.Form_Load();
    form.Command1_Click();
    QCOMPARE(messages_.size(), size_t{1});
    QCOMPARE(messages_[0].text, QStringLiteral("Wave input device failed to open"));
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Stop"));
    QCOMPARE(form.capture().CaptureHandle, platform::WaveInHandle{0});
    form.Command1_Click();
    QCOMPARE(Widget<QPushButton>(form, "Command1")->text(), QStringLiteral("Start"));
    QCOMPARE(messages_.size(), size_t{1});
  }

  void cutSlidersMoveBarsAndThresholdsAlsoWhileDragged() {
    auto wave = FileService();
    Form1 form(*wave, Recorder(), Boards());
    form.Form_Load();
    form.resize(800, 600);
    form.show();
    QScrollBar* red_cut = Widget<QScrollBar>(form, "vsc_RedCut");
    const CutBars* bars = Widget<CutBars>(form, "box_BG");
    red_cut->setSliderDown(true);
    red_cut->setSliderPosition(60);  // dragging: tracking is on, so the value follows
    QCOMPARE(form.analysis().RedCutHigh, int16_t{68});
    QCOMPARE(bars->BarHeight(Cut::kRed), 68);
    red_cut->setSliderDown(false);
    const QRect bar = bars->BarRect(Cut::kRed);
    QVERIFY(std::abs(bar.center().y() - bars->height() / 2) <= 1);  // centred on the background
  }

  void peakTimerFallsAndAdjustsTheCuts() {
    auto wave = FileService();
    Form1 form(*wave, Recorder(), Boards());
    form.Form_Load();
    // 60 ticks at peak 100: the peak is held up before each tick.
    for (int i = 0; i < 60; ++i) {
      form.analysis().Peak = 100;
      form.tmr_ResetPeak_Timer();
    }
    QCOMPARE(Widget<QLabel>(form, "lbl_AveragedPeaks")->text(), QStringLiteral("40"));
    QCOMPARE(Widget<QScrollBar>(form, "vsc_RedCut")->value(), 100);
    QCOMPARE(Widget<QScrollBar>(form, "vsc_YellowCut")->value(), 108);
    QCOMPARE(Widget<QScrollBar>(form, "vsc_GreenCut")->value(), 116);
    QCOMPARE(Widget<QScrollBar>(form, "vsc_CyanCut")->value(), 124);
    QCOMPARE(form.analysis().RedCutHigh, int16_t{28});
    QCOMPARE(form.analysis().YellowCutHigh, int16_t{20});
    QCOMPARE(Widget<QLabel>(form, "lbl_Peak")->text(), QStringLiteral("99"));
    QVERIFY(Widget<QTimer>(form, "tmr_ResetPeak")->isActive());
  }

  // Idle, the peak timer stops once the peak no longer falls (no capture can
  // raise it): nothing wakes the program. A start sets it going again.
  void peakTimerRestsWhenIdleAndRunsAgainOnStart() {
    auto wave = NeverFillingService();
    Form1 form(*wave, Recorder(), Boards());
    form.Form_Load();
    auto* timer = form.findChild<QTimer*>(QStringLiteral("tmr_ResetPeak"));
    auto* peak = form.findChild<QLabel*>(QStringLiteral("lbl_Peak"));
    QVERIFY(timer != nullptr && peak != nullptr);
    form.analysis().Peak = 65;
    for (const char* want : {"64", "63"}) {
      form.tmr_ResetPeak_Timer();
      QCOMPARE(peak->text(), QString::fromLatin1(want));
      QVERIFY(timer->isActive());
    }
    form.tmr_ResetPeak_Timer();
    QVERIFY(!timer->isActive());
    bool running = false;
    QTimer::singleShot(120, &form, [&] {
      running = timer->isActive();
      form.tmr_ResetPeak_Timer();  // below 64 while capturing: nothing to do, but it keeps going
      running = running && timer->isActive();
      form.Command1_Click();
    });
    form.Command1_Click();
    QVERIFY(running);
    QCOMPARE(timer->interval(), 50);
  }

  // The peak labels are drawn from pictures of their texts: pixel for pixel
  // what a plain label with the same settings shows, whatever the number.
  void peakLabelsLookLikePlainLabels() {
    auto wave = FileService();
    Form1 form(*wave, Recorder(), Boards());
    form.Form_Load();
    form.show();
    for (const char* name : {"lbl_Peak", "lbl_AveragedPeaks"}) {
      auto* label = form.findChild<QLabel*>(QString::fromLatin1(name));
      QVERIFY(label != nullptr);
      QLabel plain;
      plain.setFont(label->font());
      plain.setPalette(label->palette());
      plain.setAlignment(label->alignment());
      plain.setAutoFillBackground(true);
      plain.setFixedSize(label->size());
      for (const char* text : {"0", "7", "63", "127", "-10", "99", "7"}) {
        label->setText(QString::fromLatin1(text));
        plain.setText(label->text());
        QCOMPARE(label->grab().toImage(), plain.grab().toImage());
      }
    }
  }

  void screenshot() {
    QTemporaryDir dir;
    std::unique_ptr<platform::WaveIn> wave;
    auto owned = FormOnFile(dir, &wave);
    Form1& form = *owned;
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
