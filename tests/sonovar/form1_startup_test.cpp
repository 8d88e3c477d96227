// Start-up, the settings file on the window, the command-line words and the
// end of the window (offscreen, boards through a recording link).
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QtTest/QtTest>

#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
#include "sonovar/app/widgets.h"
#include "support/named_widgets.h"
#include "support/recording_board_link.h"
#include "support/scripted_wave.h"
#include "support/window_support.h"

using namespace sonovar;
using testing_support::RecordingBoardLink;
using testing_support::Widget;

class Form1StartupTest : public QObject {
  Q_OBJECT

  std::unique_ptr<testing_support::WorkingFolder> folder_;
  std::vector<Message> messages_;
  RecordingBoardLink* link_ = nullptr;
  testing_support::ScriptedBackend* backend_ = nullptr;
  std::unique_ptr<platform::WaveIn> wave_;

  // A window over `detected` boards and two scripted inputs that never fill.
  std::unique_ptr<MainWindow> MakeForm(const std::string& detected) {
    auto backend = std::make_unique<testing_support::ScriptedBackend>();
    backend->devices = {{"First", true, true, "a"}, {"Second", true, false, "b"}};
    backend_ = backend.get();
    std::vector<std::unique_ptr<platform::WaveInBackend>> list;
    list.push_back(std::move(backend));
    wave_ = platform::MakeWaveIn(std::move(list));
    auto link = std::make_unique<RecordingBoardLink>();
    link->detected = detected;
    link_ = link.get();
    return std::make_unique<MainWindow>(
        *wave_, [this](QWidget*, const Message& m) { messages_.push_back(m); }, std::move(link));
  }

  // The writes the show has made once it has applied everything posted so
  // far, read on its thread, which owns the link.
  std::vector<std::string> Writes(MainWindow& form) {
    return form.liveShow().Call([this](ShowCore&) { return link_->writes; });
  }
  static int EffectMode(MainWindow& form) {
    return form.liveShow().Call([](ShowCore& core) { return int{core.effects.EffectMode}; });
  }

  bool SettingsFileExists() const { return QFile::exists(folder_->file(kSettingsFileName)); }

 private slots:
  void init() {
    folder_ = std::make_unique<testing_support::WorkingFolder>();
    messages_.clear();
  }
  void cleanup() { folder_.reset(); }

  void noBoardOneToFourEndsWithTheMessageAndNoFile() {
    const struct {
      std::string detected;
      const char* advice;
    } rows[] = {{"0000000000000000", "\"quorel detect\""},
                {"0000100000000001", "Found board 5, 16, but Sonovar drives boards 1-4 only"}};
    for (const auto& [detected, advice] : rows) {
      messages_.clear();
      auto form = MakeForm(detected);
      QVERIFY(!form->LoadStartupState());
      QCOMPARE(messages_.size(), size_t{1});
      QCOMPARE(messages_[0].text, QStringLiteral("No Supported Quorel or Quorel+KX Detected"));
      QCOMPARE(messages_[0].title, QStringLiteral("Exiting..."));
      QVERIFY2(messages_[0].informative.contains(QString::fromLatin1(advice)), qPrintable(messages_[0].informative));
      QVERIFY(!SettingsFileExists());
      QVERIFY(Writes(*form).empty());
    }
  }

  // A greyed number says why, as the library tells it; one the library can
  // use now but the control did not find at start says to start again.
  void onlyTheDetectedBoardIsOfferedAndTheOthersSayWhy() {
    auto form = MakeForm("0100000000000000");
    BoardKnowledge knowledge;
    knowledge.absence = {"", "OLA server 127.0.0.1:9010 does not answer", "", "", "not connected"};
    form->SetBoardKnowledgeSource([&knowledge] { return knowledge; });
    QVERIFY(form->LoadStartupState());
    const char* const tips[] = {"", "Board 1: OLA server 127.0.0.1:9010 does not answer", "",
                                "Board 3 was not there when Sonovar started", "Board 4: not connected"};
    for (int n = 1; n <= 4; ++n) {
      const ClickableLabel* number = Widget<ClickableLabel>(*form, "lbl_DevNum", n);
      QCOMPARE(number->isEnabled(), n == 2);
      QVERIFY2(n == 2 ? number->toolTip().isEmpty() : number->toolTip().startsWith(QString::fromLatin1(tips[n])),
               qPrintable(number->toolTip()));
    }
  }

  // The face's report: the library's text in a window of its own, asked
  // anew at each click; Escape closes it.
  void theFaceShowsTheBoardReportUntilEscape() {
    auto form = MakeForm("1000000000000000");
    int asked = 0;
    form->SetBoardKnowledgeSource([&asked] {
      BoardKnowledge knowledge;
      knowledge.report = "report " + std::to_string(++asked);
      return knowledge;
    });
    QVERIFY(form->LoadStartupState());
    form->show();
    for (const char* want : {"report 2", "report 3"}) {  // the first was the tooltips'
      form->onControlFaceClicked();
      auto* report = form->findChild<QDialog*>(QStringLiteral("BoardReport"));
      QVERIFY(report != nullptr && report->isVisible());
      QCOMPARE(form->findChildren<QDialog*>().size(), qsizetype{1});
      QCOMPARE(Widget<QPlainTextEdit>(*report, "txt_BoardReport")->toPlainText(), QString::fromLatin1(want));
    }
    auto* report = form->findChild<QDialog*>(QStringLiteral("BoardReport"));
    QTest::keyClick(report, Qt::Key_Escape);
    QVERIFY(!report->isVisible());
  }

  // TURBO takes the report delay out of use: the slider and its value look so.
  void theReportDelayLooksOutOfUseWhileTurbo() {
    auto form = MakeForm("1000000000000000");
    QVERIFY(form->LoadStartupState());
    QCheckBox* turbo = Widget<QCheckBox>(*form, "Check1");
    for (bool on : {false, true, false}) {
      turbo->setChecked(on);
      QCOMPARE(Widget<QSlider>(*form, "Slider1")->isEnabled(), !on);
      QCOMPARE(Widget<QLabel>(*form, "lbl_ReportDelay")->isEnabled(), !on);
      QCOMPARE(Widget<QSlider>(*form, "Slider1")->graphicsEffect() != nullptr, on);
    }
  }

  void firstStartReadsAnEmptyFileAndBringsValuesIntoRange() {
    auto form = MakeForm("1111000000000000");
    QVERIFY(form->LoadStartupState());
    QVERIFY(SettingsFileExists());
    QCOMPARE(Widget<QSlider>(*form, "sld_Delay")->value(), 0);
    QCOMPARE(Widget<QSlider>(*form, "sld_Decay")->value(), 0);
    QCOMPARE(Widget<QSlider>(*form, "hsc_RedBias")->value(), 1);  // 0 is below the bias sliders' range
    QCOMPARE(Widget<QSlider>(*form, "Slider1")->value(), 0);
    QVERIFY(!Widget<QCheckBox>(*form, "Check1")->isChecked() && Widget<QSlider>(*form, "Slider1")->isEnabled());
    // No effect stored: Pulse drives, and is shown chosen; nothing is sent for it.
    for (int n = 1; n <= 3; ++n) QCOMPARE(Widget<OptionButton>(*form, "opt_Effect", n)->isChecked(), n == kPulse);
    QCOMPARE(EffectMode(*form), int{kPulse});
    QCOMPARE(Writes(*form), (std::vector<std::string>{"FastCom 1", "CompatibilityDelay 0", "FastCom 0"}));
  }

  void storedChoicesComeBackThroughTheHandlersAndAbsentOnesAreSkipped() {
    SettingsRecord r = testing_support::UsualSettings();
    r.BoardActive[2] = r.BoardActive[4] = true;  // board 4 is not there this time
    r.InputDevice = 99;
    r.EffectSelected = {false, false, true, false};
    r.Delay = 7;
    folder_->WriteSettings(r);
    auto form = MakeForm("0100000000000000");
    QVERIFY(form->LoadStartupState());
    QCOMPARE(Widget<QComboBox>(*form, "Combo1")->currentText(), QStringLiteral("First"));
    QCOMPARE(Widget<QSlider>(*form, "sld_Delay")->value(), 7);
    QVERIFY(!Widget<SelectionFrame>(*form, "shp_DevSelect", 2)->isHidden() &&
            Widget<SelectionFrame>(*form, "shp_DevSelect", 4)->isHidden());
    QCOMPARE(EffectMode(*form), 2);
    QCOMPARE(form->liveShow().Call([](ShowCore& core) { return core.active; }), (ActiveBoards{false, false, true}));
    const std::vector<std::string> want = {
        "FastCom 1",
        "DeviceNumber 2",
        "Command pba:0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0",
        "Command sba:255,255,255,255,3",
        "DeviceNumber 2",
        "Command SBA:255,255,255,255,4"};
    QCOMPARE(Writes(*form), want);
  }

  // A stored input selects what it did in earlier versions (-1 the system's
  // default, else its place among the inputs), now an entry of the list
  // that names the default; Start opens it and "Make Default" stores it again.
  void storedInputsKeepTheirMeaning() {
    const struct {
      int16_t stored;
      const char* shown;
      const char* opened;
    } rows[] = {{-1, "Default input (Second)", "b"}, {0, "First", "a"}, {1, "Second", "b"}};
    for (const auto& row : rows) {
      SettingsRecord r = testing_support::UsualSettings();
      r.InputDevice = row.stored;
      folder_->WriteSettings(r);
      auto form = MakeForm("1000000000000000");
      backend_->devices[0].is_default = false;
      backend_->devices[1].is_default = true;
      backend_->open_ok = false;  // Start returns at once
      QVERIFY(form->LoadStartupState());
      QCOMPARE(Widget<QComboBox>(*form, "Combo1")->currentText(), QString::fromLatin1(row.shown));
      form->onStartStopClicked();  // returns once the open has been tried
      QCOMPARE(backend_->opened, std::vector<std::string>{row.opened});
      QFile::remove(folder_->file(kSettingsFileName));
      form->onMakeDefaultClicked();
      QCOMPARE(LoadSettingsFile(folder_->file(kSettingsFileName).toStdString()).InputDevice, row.stored);
    }
  }

  void aMissingAnimationStillChoosesQraLink() {
    SettingsRecord r = testing_support::UsualSettings();
    r.EffectSelected = {false, false, false, true};
    r.Name = "no such animation";
    folder_->WriteSettings(r);
    auto form = MakeForm("1000000000000000");
    QVERIFY(form->LoadStartupState());
    const OptionButton* qra_link = Widget<OptionButton>(*form, "opt_Effect", 3);
    QVERIFY(qra_link->isChecked() && qra_link->isEnabled());
    QCOMPARE(EffectMode(*form), 3);
    QCOMPARE(Widget<QLabel>(*form, "lbl_File")->text(), QStringLiteral("Select File"));
    QCOMPARE(form->liveShow().Call([](ShowCore& core) { return int{core.effects.Animation.QraFramePos}; }), 1);
    QVERIFY(messages_.empty());
  }

  // A file from a newer program names an effect this one does not have:
  // Pulse drives and is shown chosen, and nothing is sent for the choice.
  void anUnknownEffectIdShowsPulseChosen() {
    SettingsRecord r = testing_support::UsualSettings();
    r.BoardActive[1] = true;
    r.EffectSelected = {false, false, true, false};
    r.EffectId = "no-such-effect";
    folder_->WriteSettings(r);
    auto form = MakeForm("1000000000000000");
    QVERIFY(form->LoadStartupState());
    QVERIFY(Widget<OptionButton>(*form, "opt_Effect", kPulse)->isChecked());
    QVERIFY(!Widget<OptionButton>(*form, "opt_Effect", kPulseSweep)->isChecked());
    QCOMPARE(EffectMode(*form), int{kPulse});
    for (const std::string& write : Writes(*form)) QVERIFY(write != "Command SBA:255,255,255,255,4");
  }

  void makeDefaultStoresTheWindowAndReportsAFailedSave() {
    folder_->WriteSettings(testing_support::UsualSettings());
    auto form = MakeForm("1111000000000000");
    QVERIFY(form->LoadStartupState());
    form->onBoardClicked(3);
    form->onEffectLabelClicked(2);
    Widget<QComboBox>(*form, "Combo1")->setCurrentIndex(2);  // "Second", after the default and "First"
    form->onMakeDefaultClicked();
    const SettingsRecord r = LoadSettingsFile(folder_->file(kSettingsFileName).toStdString());
    QVERIFY(r.BoardActive[3] && !r.BoardActive[1] && r.EffectSelected[2] && !r.EffectSelected[1] && r.Turbo);
    QCOMPARE(r.InputDevice, int16_t{1});
    QCOMPARE(r.Name, std::string("Select File"));
    // A folder in the way of the file: the reason is shown.
    QFile::remove(folder_->file(kSettingsFileName));
    QVERIFY(QDir(folder_->path()).mkdir(kSettingsFileName));
    form->onMakeDefaultClicked();
    QCOMPARE(messages_.size(), size_t{1});
    QVERIFY(!messages_[0].informative.isEmpty());
  }

  void commandLineWordsHideAndStartAfterTheLoad() {
    const struct {
      const char* line;
      bool minimised, started;
    } rows[] = {{"START", false, true}, {"-hide -start", true, true}, {"xyzhidexyz", true, false}, {"", false, false}};
    for (const auto& row : rows) {
      folder_->WriteSettings(testing_support::UsualSettings());
      auto form = MakeForm("1000000000000000");
      form->SetCommandLine(row.line);
      QVERIFY(form->LoadStartupState());
      form->show();
      QTimer* words_timer = Widget<QTimer>(*form, "tmr_Hide");
      QVERIFY(words_timer->isActive());  // the words wait for the event loop after the load
      QTRY_VERIFY_WITH_TIMEOUT(!words_timer->isActive(), 5000);
      QPushButton* command1 = Widget<QPushButton>(*form, "Command1");
      QCOMPARE(command1->text() == "Stop", row.started);
      QCOMPARE(form->isMinimized(), row.minimised);
      QCOMPARE(backend_->opened.size(), size_t{row.started ? 1u : 0u});
      if (row.started) {
        // The capture runs until the click.
        QTRY_VERIFY(form->liveShow().View().capturing);
        command1->click();
      }
      form->liveShow().Call([](ShowCore&) {});
      QVERIFY(!form->liveShow().View().capturing);
      QCOMPARE(backend_->stops, row.started ? 1 : 0);
    }
  }

  void closingDuringCaptureStopsIt() {
    folder_->WriteSettings(testing_support::UsualSettings());
    auto form = MakeForm("1000000000000000");
    QVERIFY(form->LoadStartupState());
    form->show();
    form->onStartStopClicked();  // returns once the input is open
    QTRY_VERIFY(form->liveShow().View().capturing);
    form->close();
    QVERIFY(!form->isVisible());
    form->liveShow().Call([](ShowCore&) {});  // the close's stop has been applied
    QVERIFY(!form->liveShow().View().capturing);
    QCOMPARE(backend_->stops, 1);
    QCOMPARE(Widget<QPushButton>(*form, "Command1")->text(), QStringLiteral("Start"));
    form.reset();  // the end of the show stops the capture once more, harmlessly
    QCOMPARE(backend_->stops, 1);
  }
};

QTEST_MAIN(Form1StartupTest)
#include "form1_startup_test.moc"
