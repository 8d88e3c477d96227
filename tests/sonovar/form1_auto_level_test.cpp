// The "Auto level" check box of the main window (offscreen): on for every
// settings file but one stored off here, steering the show, stored by Make
// Default, the gain shown in the room the window has, and no larger window.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QtTest/QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
#include "support/named_widgets.h"
#include "support/recording_board_link.h"
#include "support/scripted_wave.h"
#include "support/synthetic_music.h"
#include "support/window_support.h"

using namespace sonovar;
using testing_support::Widget;

class Form1AutoLevelTest : public QObject {
  Q_OBJECT

  std::unique_ptr<platform::WaveIn> wave_ = platform::MakeWaveIn({});

  std::unique_ptr<MainWindow> LoadedForm(platform::WaveIn& wave) {
    auto form = std::make_unique<MainWindow>(
        wave, [](QWidget*, const Message&) {}, std::make_unique<testing_support::RecordingBoardLink>());
    form->LoadStartupState();
    return form;
  }
  static bool ShowOn(MainWindow& form) {
    return form.liveShow().Call([](ShowCore& core) { return core.AutoLevelOn(); });
  }

 private slots:
  void onUnlessStoredOffHere_data() {
    QTest::addColumn<int>("file");  // 0 none, 1 an earlier version's, 2 stored off, 3 stored on
    QTest::addColumn<bool>("on");
    QTest::newRow("no settings file") << 0 << true;
    QTest::newRow("an earlier version's file") << 1 << true;
    QTest::newRow("stored off") << 2 << false;
    QTest::newRow("stored on") << 3 << true;
  }
  void onUnlessStoredOffHere() {
    QFETCH(int, file);
    QFETCH(bool, on);
    testing_support::WorkingFolder folder;
    SettingsRecord r = testing_support::UsualSettings();
    r.AutoLevel = file != 2;
    std::vector<uint8_t> bytes = EncodeSettings(r);
    if (file == 1) bytes.resize(bytes.size() - kAutoLevelTailBytes - kLightOffsetTailBytes);
    if (file != 0) {
      QFile out(folder.file(kSettingsFileName));
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    auto form = LoadedForm(*wave_);
    QCOMPARE(Widget<QCheckBox>(*form, "chk_AutoLevel")->isChecked(), on);
    QCOMPARE(ShowOn(*form), on);
    QCOMPARE(Widget<QLabel>(*form, "lbl_AutoLevelGain")->text(), on ? QStringLiteral("+0 dB") : QString());
    // A click turns it the other way, and Make Default keeps that.
    Widget<QCheckBox>(*form, "chk_AutoLevel")->click();
    QCOMPARE(ShowOn(*form), !on);
    emit Widget<QPushButton>(*form, "Command2")->clicked();
    QCOMPARE(LoadSettingsFile(kSettingsFileName).AutoLevel, !on);
  }

  void theRowMakesTheWindowNoLarger() {
    testing_support::WorkingFolder folder;
    auto form = LoadedForm(*wave_);
    const QSize with = form->sizeHint();
    Widget<QCheckBox>(*form, "chk_AutoLevel")->hide();
    Widget<QLabel>(*form, "lbl_AutoLevelGain")->hide();
    form->layout()->invalidate();
    QCOMPARE(with, form->sizeHint());
  }

  // Quiet sound through the show: the gain it uses reaches the label.
  void theGainInUseIsShown() {
    // Each buffer is analysed before the next comes: none is dropped. Made
    // before the window, so that they outlast its show's thread.
    std::mutex mutex;
    std::condition_variable finished;
    size_t done = 0;
    testing_support::WorkingFolder folder;
    auto owned = std::make_unique<testing_support::ScriptedBackend>();
    testing_support::ScriptedBackend* backend = owned.get();
    backend->devices = {{"Scripted", true, true, "s"}};
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(std::move(owned));
    auto wave = platform::MakeWaveIn(std::move(backends));
    auto form = LoadedForm(*wave);
    auto now = std::make_shared<std::atomic<int64_t>>(0);
    form->liveShow().SetClock([now] { return now->load(); });
    form->liveShow().SetAfterBuffer([&] {
      {
        std::lock_guard lock(mutex);
        ++done;
      }
      finished.notify_one();
    });
    form->onStartStopClicked();
    namespace syn = testing_support::synthetic;
    const auto buffers = syn::Buffers(syn::AtRms(syn::Beat(8), -30));
    for (size_t i = 0; i < buffers.size(); ++i) {
      now->store(syn::BufferEndMicros(i));
      backend->Deliver(buffers[i]);
      std::unique_lock lock(mutex);
      QVERIFY(finished.wait_for(lock, std::chrono::seconds(10), [&] { return done > i; }));
    }
    const int gain = form->liveShow().Call([](ShowCore& core) { return int(std::lround(core.auto_level.GainDb())); });
    QVERIFY(gain > 10);
    QTRY_COMPARE(Widget<QLabel>(*form, "lbl_AutoLevelGain")->text(), QStringLiteral("+%1 dB").arg(gain));
    form->onStartStopClicked();
    form->liveShow().SetAfterBuffer(nullptr);
  }
};

QTEST_MAIN(Form1AutoLevelTest)
#include "form1_auto_level_test.moc"
