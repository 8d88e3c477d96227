// The light offset on the main window (offscreen): from the settings file to
// the show and back with Make Default, the delay in use as the show
// publishes it, and no larger window.
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest/QtTest>

#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
#include "support/named_widgets.h"
#include "support/recording_board_link.h"
#include "support/scripted_wave.h"
#include "support/window_support.h"

using namespace sonovar;
using testing_support::Widget;

namespace {

ShowView ViewOf(int speaker, int offset, int delay) {
  ShowView view;
  view.speaker_delay_ms = speaker;
  view.light_offset_ms = offset;
  view.light_delay_ms = delay;
  return view;
}

}  // namespace

class Form1LightDelayTest : public QObject {
  Q_OBJECT

  static int ShowOffset(MainWindow& form) {
    return form.liveShow().Call([](ShowCore& core) { return core.LightOffset(); });
  }

 private slots:
  void theTextSaysWhatTheDelayIsMadeOf_data() {
    QTest::addColumn<int>("speaker");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("delay");
    QTest::addColumn<QString>("text");
    QTest::newRow("speaker known") << 199 << 13 << 212 << "light delay 212 ms: speaker 199 + 13 set";
    QTest::newRow("negative offset") << 199 << -13 << 186 << "light delay 186 ms: speaker 199 - 13 set";
    QTest::newRow("no offset") << 250 << 0 << 250 << "light delay 250 ms: speaker 250 + 0 set";
    QTest::newRow("speaker unknown") << -1 << 13 << 13 << "light delay 13 ms: set";
    QTest::newRow("speaker unknown, negative offset") << -1 << -130 << 0 << "light delay 0 ms: set";
  }
  void theTextSaysWhatTheDelayIsMadeOf() {
    QFETCH(int, speaker);
    QFETCH(int, offset);
    QFETCH(int, delay);
    QFETCH(QString, text);
    QCOMPARE(LightDelayText(ViewOf(speaker, offset, delay)), text);
  }

  void fromTheFileToTheShowAndBack_data() {
    QTest::addColumn<int>("file");  // 0 none, 1 an earlier version's, 2 with the offset's tail
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("no settings file") << 0 << 0 << 0;
    QTest::newRow("an earlier version's file") << 1 << 250 << 0;
    QTest::newRow("stored") << 2 << 250 << 250;
    QTest::newRow("stored beyond the range") << 2 << 3000 << 2000;
  }
  void fromTheFileToTheShowAndBack() {
    QFETCH(int, file);
    QFETCH(int, stored);
    QFETCH(int, shown);
    testing_support::WorkingFolder folder;
    SettingsRecord r = testing_support::UsualSettings();
    r.LightOffset = static_cast<int16_t>(stored);
    std::vector<uint8_t> bytes = EncodeSettings(r);
    if (file == 1) bytes.resize(bytes.size() - kLightOffsetTailBytes);
    if (file != 0) {
      QFile out(folder.file(kSettingsFileName));
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    auto form = std::make_unique<MainWindow>(
        *wave_, [](QWidget*, const Message&) {}, std::make_unique<testing_support::RecordingBoardLink>());
    form->LoadStartupState();
    auto* spin = Widget<QSpinBox>(*form, "spn_LightOffset");
    QCOMPARE(spin->value(), shown);
    QCOMPARE(ShowOffset(*form), shown);
    // The user's value reaches the show, and Make Default keeps it.
    spin->setValue(-40);
    QCOMPARE(ShowOffset(*form), -40);
    emit Widget<QPushButton>(*form, "Command2")->clicked();
    QCOMPARE(LoadSettingsFile(kSettingsFileName).LightOffset, -40);
  }

  // The label shows the delay the show publishes (at each start of the
  // capture, among other times), not the box's value.
  void theLabelFollowsTheShow() {
    testing_support::WorkingFolder folder;
    auto backend = std::make_unique<testing_support::ScriptedBackend>();
    backend->devices = {{"Scripted", true, true, "s"}};
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(std::move(backend));
    auto wave = platform::MakeWaveIn(std::move(backends));
    MainWindow form(
        *wave, [](QWidget*, const Message&) {}, std::make_unique<testing_support::RecordingBoardLink>());
    form.LoadStartupState();
    auto* label = Widget<QLabel>(form, "lbl_LightDelay");
    QCOMPARE(label->text(), QStringLiteral("light delay 0 ms: set"));
    const struct {
      int offset;
      const char* text;
    } rows[] = {{130, "light delay 130 ms: set"}, {-20, "light delay 0 ms: set"}, {2000, "light delay 2000 ms: set"}};
    for (const auto& row : rows) {
      Widget<QSpinBox>(form, "spn_LightOffset")->setValue(row.offset);
      form.onStartStopClicked();
      QTRY_COMPARE(label->text(), QString::fromLatin1(row.text));
      form.onStartStopClicked();
    }
  }

  void theRowMakesTheWindowNoLarger() {
    testing_support::WorkingFolder folder;
    MainWindow form(
        *wave_, [](QWidget*, const Message&) {}, std::make_unique<testing_support::RecordingBoardLink>());
    form.LoadStartupState();
    const QSize with = form.sizeHint();
    for (const char* name : {"lbl_LightOffset", "spn_LightOffset", "lbl_LightDelay"})
      Widget<QWidget>(form, name)->hide();
    // The row is a layout within the window's: each keeps its own sizes.
    for (QLayout* layout : form.findChildren<QLayout*>()) layout->invalidate();
    QCOMPARE(with, form.sizeHint());
  }

 private:
  std::unique_ptr<platform::WaveIn> wave_ = platform::MakeWaveIn({});
};

QTEST_MAIN(Form1LightDelayTest)
#include "form1_light_delay_test.moc"
