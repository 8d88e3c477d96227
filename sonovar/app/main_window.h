// The main window: sound input, start/stop, the peak and the colour cuts,
// the boards, the effects and their sliders. It steers the show and shows
// what the show publishes; the show runs on a thread of its own, so a
// dialog, a message box or a stalled display never holds the lights.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <QPointer>
#include <QWidget>
#include <quorelctl_widget.h>

#include "platform/wavein.h"
#include "sonovar/app/messages.h"
#include "sonovar/app/settings_file.h"
#include "sonovar/effects/quorel_link.h"
#include "sonovar/show/show.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollBar;
class QSlider;
class QSpinBox;
class QTimer;

namespace sonovar {

class ClickableLabel;
class CutBars;
class OptionButton;
class SelectionFrame;

// What the light delay label says of `view`: the delay in use, then what
// it is made of, "light delay 212 ms: speaker 199 + 13 set", or without a
// speaker delay known, "light delay 13 ms: set".
QString LightDelayText(const ShowView& view);

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `link` stands for the board control; null has the show create the real
  // one on its thread (which finds the boards and sends them their start-up
  // state), with the control's face on the window.
  explicit MainWindow(platform::WaveIn& wave, MessageSink messages = ShowMessageBox,
                      std::unique_ptr<BoardLink> link = nullptr, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Start-up: the detected boards, the input list, the start values of the
  // cuts and the effects, TURBO, then the settings file. False when no board
  // 1-4 is there: the program is to end (after the message) without showing
  // the window or touching the settings file.
  bool LoadStartupState();
  // The text the program was started with; "HIDE" and "START" in it count.
  void SetCommandLine(const QString& text) { command_line_ = text; }

  // Handlers, public so that the start-up code and tests can run them as a
  // user's action would.
  void onStartStopClicked();
  void onBoardClicked(int n);
  void onEffectChosen(int n);
  void onEffectLabelClicked(int n);
  void onTurboToggled();
  void onReportDelayChanged();
  void onAnimationFileClicked();
  void onMakeDefaultClicked();
  void applySettingsFile();
  void obeyStartupWords();
  // The control's face clicked: what the library knows of the boards, in a
  // small window of its own (Escape closes it).
  void onControlFaceClicked();
  // Where the window learns what the library knows of the boards; tests
  // hand in their own.
  void SetBoardKnowledgeSource(std::function<BoardKnowledge()> source) { board_knowledge_ = std::move(source); }

  // Loads the animation file that `name` stands for, as "Load" in the file
  // dialog does: on success the file label shows its short name
  // (QraShortName), which "Make Default" stores; in any case QRA Link
  // becomes available. True when the file loaded. The second takes the
  // name's bytes as they are, so that names that are not valid text load too.
  bool LoadAnimation(const QString& name);
  bool LoadAnimationName(const std::string& name);
  // The folders an animation name is looked up in, in order: the program's
  // own, the user's, the installed program's shipped ones.
  AnimationFolders AnimationFolderList() const;

  // The boards whose selection frame is not hidden.
  ActiveBoards ActiveBoardSet() const;
  Show& liveShow() { return show_; }
  // How often the show's publications woke this window's thread.
  uint64_t ViewWakeups() const { return view_wakeups_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildInputPanel();
  QWidget* BuildLevelsPanel();
  QWidget* BuildBoardsPanel();
  QWidget* BuildEffectsPanel();
  // The light offset and the delay in use, in a row with `beside` at its end.
  QHBoxLayout* BuildLightDelayRow(QWidget* beside);
  void ShowLightDelay(const ShowView& view);
  void ConnectEffectHandlers();
  void ConnectSlider(QSlider* slider, EffectSlider role);
  void ShowReportDelay();
  void ShowReportDelayInUse(bool in_use);
  void MakeQraLinkAvailable();
  // Hands the show a copy of the animation as last loaded.
  void ShareAnimation();
  void ListInputDevices();
  // The input list's first row is the system's default input: a stored
  // input number (-1 the default) and its row differ by one.
  static int InputRow(int stored) { return stored + 1; }
  static int StoredInput(int row) { return row <= 0 ? -1 : row - 1; }
  // A greyed board number's tooltip says why the board is not usable.
  void ExplainAbsentBoards();
  // The show published a new view: shows it on the window's next turn.
  void ViewChanged();
  void ShowPublishedView();
  void ShowGain(int db);
  // The change handler of every cut slider, also while its thumb is dragged.
  void CutChange(Cut cut, int value);
  QScrollBar* Slider(Cut cut) const;
  void StopBeforeClosing();

  // Sends a change to the show, remembering its number.
  void Post(Show::Change change) { last_posted_ = show_.Post(std::move(change)); }

  MessageSink messages_;
  std::function<BoardKnowledge()> board_knowledge_ = AskLibraryAboutBoards;
  const bool show_owns_control_;  // no link was handed in: the real control
  Show show_;
  // The face of the board control on the window; the control itself is the
  // show's. Null when a link was handed in.
  quorel::ControlWidget* controlFace = nullptr;

  // The widgets; each carries its published name as its object name (an
  // array's element its index too, "lbl_DevNum1"), by which tests and tools
  // find it. Arrays are indexed from 1.
  QComboBox* inputList = nullptr;
  QPushButton* startStopButton = nullptr;
  QLabel* peakCaption = nullptr;
  QLabel* peakValue = nullptr;
  QLabel* averagedPeakCaption = nullptr;
  QLabel* averagedPeakValue = nullptr;
  QScrollBar* redCutSlider = nullptr;
  QScrollBar* yellowCutSlider = nullptr;
  QScrollBar* greenCutSlider = nullptr;
  QScrollBar* cyanCutSlider = nullptr;
  CutBars* cutBars = nullptr;
  QCheckBox* autoLevelCheck = nullptr;
  QLabel* gainValue = nullptr;  // the auto level's gain in use, "+18 dB"
  QTimer* startupWordsTimer = nullptr;
  QPushButton* makeDefaultButton = nullptr;
  QLabel* lightOffsetCaption = nullptr;
  QSpinBox* lightOffsetSpin = nullptr;  // the user's offset, ms
  QLabel* lightDelayValue = nullptr;    // the delay in use and what it is made of

  QLabel* boardsCaption = nullptr;
  std::array<ClickableLabel*, 5> boardNumbers{};
  std::array<SelectionFrame*, 5> boardFrames{};
  std::array<OptionButton*, kEffectCount + 1> effectOptions{};
  std::array<ClickableLabel*, kEffectCount + 1> effectLabels{};
  QCheckBox* turboCheck = nullptr;
  ClickableLabel* turboLabel = nullptr;
  QSlider* reportDelaySlider = nullptr;
  QLabel* reportDelayValue = nullptr;
  QLabel* adjustCaption = nullptr;
  QLabel* highCaption = nullptr;
  QLabel* lowCaption = nullptr;
  QSlider* redBiasSlider = nullptr;
  QSlider* yellowBiasSlider = nullptr;
  QSlider* cyanBiasSlider = nullptr;
  QSlider* greenBiasSlider = nullptr;
  QSlider* delaySlider = nullptr;
  QSlider* decaySlider = nullptr;
  ClickableLabel* animationFileLabel = nullptr;
  QPointer<QDialog> boardReport;  // the face's report while it is open

  QString command_line_;
  SettingsRecord settings_;  // the record as last loaded or saved
  // The animation as the window last loaded it: a load replaces only the
  // frames it reads, so each load starts from the last one; the show gets a copy.
  QraAnimation animation_;
  // The bytes of the animation name the file label shows, which its text may
  // not hold exactly (a name that is not valid UTF-8); empty until a file loads.
  std::string qra_name_;
  bool capturing_ = false;  // the button reads "Stop"
  // What the window shows of the show, as last shown.
  ShowView shown_;
  // A publication is waiting for the window's turn; set by the show's
  // thread, cleared by the window's, so that a burst wakes the window once.
  std::atomic<bool> view_pending_{false};
  uint64_t view_wakeups_ = 0;  // the window's thread only
  uint64_t last_posted_ = 0;    // the number of the last change this window sent
  uint32_t adjustments_shown_ = 0;  // the automatic adjustments the sliders show
};

}  // namespace sonovar
