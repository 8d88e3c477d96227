// The boards, effect and TURBO handlers of the main window (offscreen),
// against the board-link writes they make.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QtTest/QtTest>

#include <filesystem>
#include <fstream>

#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
#include "sonovar/app/animation_dialog.h"
#include "sonovar/app/widgets.h"
#include "support/named_widgets.h"
#include "support/recording_board_link.h"
#include "support/window_support.h"

using namespace sonovar;
using testing_support::RecordingBoardLink;
using testing_support::Widget;

namespace {
const std::string kDark = "Command pba:0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0";
const std::string kAllOn = "Command sba:255,255,255,255,3";
const std::string kChosen = "Command SBA:255,255,255,255,4";
}  // namespace

class Form1EffectsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<platform::WaveIn> wave_ = platform::MakeWaveIn({});
  RecordingBoardLink* link_ = nullptr;
  std::unique_ptr<testing_support::WorkingFolder> folder_;

  // A loaded window whose control reports `detected`; the recorder starts empty.
  std::unique_ptr<MainWindow> LoadedForm(const std::string& detected = "1111000000000000") {
    auto link = std::make_unique<RecordingBoardLink>();
    link->detected = detected;
    link_ = link.get();
    auto form = std::make_unique<MainWindow>(*wave_, [](QWidget*, const Message&) {}, std::move(link));
    form->LoadStartupState();
    form->liveShow().Call([this](ShowCore&) { link_->writes.clear(); });
    return form;
  }

  // The writes the show has made once it has applied everything posted so
  // far, read on its thread, which owns the link.
  std::vector<std::string> Writes(MainWindow& form) {
    return form.liveShow().Call([this](ShowCore&) { return link_->writes; });
  }
  static int EffectMode(MainWindow& form) {
    return form.liveShow().Call([](ShowCore& core) { return int{core.effects.EffectMode}; });
  }
  static std::string AnimationFrame(MainWindow& form, int n) {
    return form.liveShow().Call([n](ShowCore& core) { return core.effects.Animation.QraFrames[n]; });
  }

 private slots:
  void init() {
    folder_ = std::make_unique<testing_support::WorkingFolder>();
    folder_->WriteSettings(testing_support::UsualSettings());
  }
  void cleanup() { folder_.reset(); }

  void startUpOffersOnlyDetectedBoardsAndTurnsTurboOn() {
    auto link = std::make_unique<RecordingBoardLink>();
    link->detected = "0100100000000000";
    RecordingBoardLink* recorder = link.get();
    MainWindow form(*wave_, [](QWidget*, const Message&) {}, std::move(link));
    form.LoadStartupState();
    QCOMPARE(Widget<ClickableLabel>(form, "lbl_DevNum", 1)->isEnabled(), false);
    QCOMPARE(Widget<ClickableLabel>(form, "lbl_DevNum", 2)->isEnabled(), true);
    QCOMPARE(Widget<ClickableLabel>(form, "lbl_DevNum", 3)->isEnabled(), false);
    QCOMPARE(Widget<ClickableLabel>(form, "lbl_DevNum", 4)->isEnabled(), false);
    QCOMPARE(form.liveShow().Call([recorder](ShowCore&) { return recorder->writes; }),
             std::vector<std::string>{"FastCom 1"});
    QCOMPARE(EffectMode(form), 1);
    QVERIFY(Widget<QCheckBox>(form, "Check1")->isChecked() && !Widget<QSlider>(form, "Slider1")->isEnabled());
    QVERIFY(!Widget<OptionButton>(form, "opt_Effect", 3)->isEnabled() &&
            !Widget<ClickableLabel>(form, "lbl_Effect", 3)->isEnabled());
  }

  void theEffectsAreOfferedWithTheirOwnTexts() {
    auto form = LoadedForm();
    // The first three are what users know; every row of the table is offered.
    const char* const texts[][2] = {{"Pulse", "Pulse Realtime FX."},
                                    {"Pulse/Sweep", "Pulse and Sweep Realtime FX."},
                                    {"QRA Link", "Link QRA frame control to Sound."}};
    for (int n = 1; n <= kEffectCount; ++n) {
      const auto* label = form->findChild<QLabel*>(QStringLiteral("lbl_Effect%1").arg(n));
      QVERIFY(label != nullptr && form->findChild<QWidget*>(QStringLiteral("opt_Effect%1").arg(n)) != nullptr);
      const char* const* want = n <= 3 ? texts[n - 1] : nullptr;
      QCOMPARE(label->text(), QString::fromLatin1(want ? want[0] : kEffects[n - 1].caption));
      QCOMPARE(label->toolTip(), QString::fromLatin1(want ? want[1] : kEffects[n - 1].tooltip));
    }
    QVERIFY(form->findChild<QWidget*>(QStringLiteral("opt_Effect%1").arg(kEffectCount + 1)) == nullptr);
  }

  void clickingABoardTwiceSendsBothCommandsEachTimeAndTogglesIt() {
    auto form = LoadedForm();
    // Never shown: the selection is the frame not being hidden.
    Widget<ClickableLabel>(*form, "lbl_DevNum", 3)->clicked();
    QVERIFY(!Widget<SelectionFrame>(*form, "shp_DevSelect", 3)->isHidden());
    QCOMPARE(form->ActiveBoardSet()[3], true);
    QCOMPARE(form->liveShow().Call([](ShowCore& core) { return core.active[3]; }), true);
    form->onBoardClicked(3);
    QVERIFY(Widget<SelectionFrame>(*form, "shp_DevSelect", 3)->isHidden());
    QCOMPARE(form->liveShow().Call([](ShowCore& core) { return core.active[3]; }), false);
    QCOMPARE(Writes(*form), (std::vector<std::string>{"DeviceNumber 3", kDark, kAllOn, "DeviceNumber 3", kDark,
                                                      kAllOn}));
  }

  void choosingAnEffectSendsToActiveBoardsInAscendingOrder() {
    auto form = LoadedForm();
    form->onEffectLabelClicked(2);
    QCOMPARE(EffectMode(*form), 2);
    QVERIFY(Writes(*form).empty());
    form->onBoardClicked(3);
    form->onBoardClicked(1);
    form->liveShow().Call([this](ShowCore&) { link_->writes.clear(); });
    Widget<OptionButton>(*form, "opt_Effect", 1)->setChecked(true);  // an assignment runs the handler as a click does
    QCOMPARE(EffectMode(*form), 1);
    QVERIFY(!Widget<OptionButton>(*form, "opt_Effect", 2)->isChecked());
    QCOMPARE(Writes(*form), (std::vector<std::string>{"DeviceNumber 1", kChosen, "DeviceNumber 3", kChosen}));
  }

  void effectOptionsCanStandWithNoneOnAndAClickNeverTurnsOneOff() {
    auto form = LoadedForm();
    Widget<OptionButton>(*form, "opt_Effect", 1)->setChecked(false);
    for (int n = 1; n <= 3; ++n) QVERIFY(!Widget<OptionButton>(*form, "opt_Effect", n)->isChecked());
    form->show();
    OptionButton* second = Widget<OptionButton>(*form, "opt_Effect", 2);
    QTest::mouseClick(second, Qt::LeftButton);
    QTest::mouseClick(second, Qt::LeftButton);
    QVERIFY(second->isChecked());
    QCOMPARE(EffectMode(*form), 2);
    // QRA Link is disabled until a file is loaded.
    QTest::mouseClick(Widget<ClickableLabel>(*form, "lbl_Effect", 3), Qt::LeftButton);
    QCOMPARE(EffectMode(*form), 2);
  }

  void turboSwitchesFastComAndTheDelaySlider() {
    auto form = LoadedForm();
    QCheckBox* check1 = Widget<QCheckBox>(*form, "Check1");
    QSlider* slider1 = Widget<QSlider>(*form, "Slider1");
    check1->setChecked(false);
    QVERIFY(slider1->isEnabled());
    slider1->setValue(4);
    check1->setChecked(true);
    QVERIFY(!slider1->isEnabled());
    QCOMPARE(Writes(*form), (std::vector<std::string>{"FastCom 0", "CompatibilityDelay 4", "FastCom 1"}));
  }

  void slidersHaveTheirRangesAndTooltips() {
    auto form = LoadedForm();
    const struct {
      const char* name;
      int minimum, maximum, value, page;
    } rows[] = {{"hsc_RedBias", 1, 255, 128, 5}, {"hsc_YellowBias", 1, 255, 128, 5}, {"hsc_CyanBias", 1, 255, 128, 5},
                {"hsc_GreenBias", 1, 255, 100, 5}, {"sld_Delay", 0, 15, 0, 1}, {"sld_Decay", 0, 15, 3, 1},
                {"Slider1", 0, 5, 1, 1}};
    for (const auto& r : rows) {
      const QSlider* slider = Widget<QSlider>(*form, r.name);
      QCOMPARE(slider->minimum(), r.minimum);
      QCOMPARE(slider->maximum(), r.maximum);
      QCOMPARE(slider->value(), r.value);
      QCOMPARE(slider->pageStep(), r.page);
    }
    QCOMPARE(Widget<QSlider>(*form, "sld_Delay")->toolTip(),
             QStringLiteral("Controls how long lights stay lit before starting to "
                            "decay. Higher numbers give a  longer delay."));
    QCOMPARE(Widget<QLabel>(*form, "Label2")->toolTip(),
             QStringLiteral("Activating TURBO removes all compatibility delays.  May not "
                            "work with some USB cards."));
  }

  // A selected board must stand out in light and dark themes alike.
  void selectionFrameStandsOutInLightAndDarkThemes() {
    QPalette light;
    light.setColor(QPalette::Window, QColor(239, 239, 239));
    light.setColor(QPalette::WindowText, Qt::black);
    light.setColor(QPalette::Highlight, QColor(48, 140, 198));
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(45, 45, 45));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    QPalette dull = light;  // a theme whose highlight hardly differs from the window
    dull.setColor(QPalette::Highlight, QColor(220, 225, 230));
    for (const QPalette& p : {light, dark, dull}) {
      auto form = LoadedForm();
      form->setPalette(p);
      form->onBoardClicked(2);
      form->resize(form->sizeHint());
      const QImage image = Widget<SelectionFrame>(*form, "shp_DevSelect", 2)->grab().toImage();
      const QColor edge = image.pixelColor(image.width() / 2, 1);
      QVERIFY2(ContrastRatio(edge, p.color(QPalette::Window)) >= 3.0, qPrintable(edge.name()));
    }
  }

  void fileDialogListsLoadsAndCancels() {
    QTemporaryDir dir;
    AnimationFolders folders;
    for (const char* f : {"program", "user", "shipped"}) {
      QVERIFY(QDir(dir.path()).mkdir(f));
      folders.push_back((dir.path() + "/" + f).toStdString());
    }
    for (const char* file : {"program/b.qra", "user/b.qra", "user/A.QRA", "shipped/c.qra", "shipped/c.txt"})
      QFile(dir.path() + "/" + file).open(QIODevice::WriteOnly);
    QStringList loaded;
    AnimationDialog dialog(folders, "last.qra", [&](const std::string& name) { loaded << QString::fromStdString(name); });
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Form2"));
    QCOMPARE(dialog.loadButton->text(), QStringLiteral("Load"));
    QCOMPARE(dialog.nameBox->text(), QStringLiteral("last.qra"));
    QStringList listed;
    for (int i = 0; i < dialog.fileList->count(); ++i) listed << dialog.fileList->item(i)->text();
    QCOMPARE(listed, (QStringList{"A.QRA", "b.qra", "c.qra"}));
    dialog.show();
    QListWidgetItem* item = dialog.fileList->item(2);
    QTest::mouseClick(dialog.fileList->viewport(), Qt::LeftButton, {},
                      dialog.fileList->visualItemRect(item).center());
    QCOMPARE(dialog.nameBox->text(), QStringLiteral("c.qra"));
    dialog.cancelButton->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(loaded.isEmpty());
    dialog.loadButton->click();
    QCOMPARE(loaded, QStringList{"c.qra"});
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void loadingAFileMakesQraLinkAvailableWhateverTheOutcome() {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    QVERIFY(QDir(home.path()).mkpath("sonovar/animations"));
    QFile file(home.path() + "/sonovar/animations/Spin.qra");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("1\n\"QRL-PBA:1,2\"\n");
    file.close();
    auto form = LoadedForm();
    QVERIFY(!form->LoadAnimation("gone"));
    QCOMPARE(Widget<QLabel>(*form, "lbl_File")->text(), QStringLiteral("Select File"));
    QVERIFY(Widget<OptionButton>(*form, "opt_Effect", 3)->isEnabled() &&
            Widget<ClickableLabel>(*form, "lbl_Effect", 3)->isEnabled());
    QVERIFY(form->LoadAnimation("Spin"));  // typed without its extension: the caption keeps the whole name
    QCOMPARE(Widget<QLabel>(*form, "lbl_File")->text(), QStringLiteral("Spin"));
    QVERIFY(form->LoadAnimation("Spin.qra"));
    QCOMPARE(Widget<QLabel>(*form, "lbl_File")->text(), QStringLiteral("Spin"));
    QCOMPARE(AnimationFrame(*form, 1), std::string("QRL-PBA:1,2"));
    QCOMPARE(form->liveShow().Call([](ShowCore& core) { return int{core.effects.Animation.QraFramePos}; }), 1);
    // The dialog opens with the name of that file, not its path.
    QString prefilled;
    QTimer::singleShot(0, [&] {
      auto* dialog = dynamic_cast<AnimationDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      prefilled = dialog->nameBox->text();
      dialog->cancelButton->click();
    });
    form->onAnimationFileClicked();
    QCOMPARE(prefilled, QStringLiteral("Spin.qra"));
    qunsetenv("XDG_DATA_HOME");
  }

  // Whatever the dialog lists loads, and "Make Default" stores a name that
  // loads the same file after a restart.
  void listedNamesLoadAndComeBackAfterARestart() {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    const std::string folder = home.path().toStdString() + "/sonovar/animations/";
    std::filesystem::create_directories(folder);
    const std::string names[] = {"SHOW.QRA", ".qra", "\xff\xfe not UTF-8.qra"};
    for (const std::string& name : names) std::ofstream(folder + name) << "1\n\"" << name << "\"\n";
    for (const std::string& name : names) {
      auto form = LoadedForm();
      QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<AnimationDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        const auto items = dialog->fileList->findItems(QString::fromLocal8Bit(name), Qt::MatchExactly);
        if (!items.isEmpty()) dialog->fileList->setCurrentItem(items.first());
        dialog->onFileClicked();
        dialog->loadButton->click();
      });
      form->onAnimationFileClicked();
      QCOMPARE(AnimationFrame(*form, 1), name);
      const QString caption = Widget<QLabel>(*form, "lbl_File")->text();
      form->onEffectLabelClicked(3);
      QCOMPARE(EffectMode(*form), 3);
      form->onMakeDefaultClicked();
      form.reset();
      auto restarted = LoadedForm();
      QCOMPARE(AnimationFrame(*restarted, 1), name);
      QCOMPARE(EffectMode(*restarted), 3);
      QCOMPARE(Widget<QLabel>(*restarted, "lbl_File")->text(), caption);
    }
    std::filesystem::remove_all(folder);  // Qt cannot name the file that is not UTF-8 to remove it
    qunsetenv("XDG_DATA_HOME");
  }
};

QTEST_MAIN(Form1EffectsTest)
#include "form1_effects_test.moc"
