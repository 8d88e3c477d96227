// The main window: sound input, start/stop, the peak and the colour cuts,
// the boards, the effects and their sliders.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <QWidget>
#include <quorelctl_widget.h>

#include "platform/wavein.h"
#include "sonovar/app/messages.h"
#include "sonovar/app/settings_file.h"
#include "sonovar/capture/capture_session.h"
#include "sonovar/capture/level_analysis.h"
#include "sonovar/effects/board_link.h"
#include "sonovar/effects/effect_engine.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSlider;
class QTimer;

namespace sonovar {

class ClickableLabel;
class CutBars;
class OptionButton;
class SelectionFrame;

class Form1 : public QWidget {
  Q_OBJECT

 public:
  // `link` stands for the board control; null places the real one on the
  // window (which finds the boards and sends them their start-up state).
  explicit Form1(platform::WaveIn& wave, MessageSink messages = ShowMessageBox,
                 std::unique_ptr<BoardLink> link = nullptr, QWidget* parent = nullptr);
  ~Form1() override;

  // Start-up: the detected boards, the input list, the start values of the
  // cuts and the effects, TURBO, then the settings file. False when no board
  // 1-4 is there: the program is to end (after the message) without showing
  // the window or touching the settings file.
  bool Form_Load();
  // The text the program was started with; "HIDE" and "START" in it count.
  void SetCommandLine(const QString& text) { command_line_ = text; }

  // Handlers, public so that the start-up code and tests can run them as a
  // user's action would.
  void Command1_Click();
  void tmr_ResetPeak_Timer();
  void lbl_DevNum_Click(int n);
  void opt_Effect_Click(int n);
  void lbl_Effect_Click(int n);
  void Check1_Click();
  void Slider1_Change();
  void lbl_File_Click();
  void Command2_Click();
  void LoadSettings();
  void tmr_Hide_Timer();

  // Loads the animation file that `name` stands for, as "Load" in the file
  // dialog does: on success lbl_File shows its short name (QraShortName),
  // which "Make Default" stores; in any case QRA Link becomes available. True
  // when the file loaded. The second takes the name's bytes as they are, so
  // that names that are not valid text load too.
  bool LoadAnimation(const QString& name);
  bool LoadAnimationName(const std::string& name);
  // The folders an animation name is looked up in, in order: the program's
  // own, the user's, the installed program's shipped ones.
  AnimationFolders AnimationFolderList() const;

  // Runs after the effect step of every buffer. Tests count it.
  std::function<void()> AfterAnalysis;

  LevelAnalysis& analysis() { return analysis_; }
  CaptureSession& capture() { return capture_; }
  EffectEngine& effects() { return effects_; }
  // The boards whose selection frame is not hidden.
  ActiveBoards ActiveBoardSet() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildInputPanel();
  QWidget* BuildLevelsPanel();
  QWidget* BuildBoardsPanel();
  QWidget* BuildEffectsPanel();
  void ConnectEffectHandlers();
  void ShowReportDelay();
  void MakeQraLinkAvailable();

  void ListInputDevices();
  void Stop();
  void AnalyseBuffer(std::span<const uint8_t, kCaptureBufferBytes> buffer);
  void EffectStep();
  // The change handler of every cut slider, also while its thumb is dragged.
  void CutChange(Cut cut, int value);
  QScrollBar* Slider(Cut cut) const;
  void Form_QueryUnload();

  // The board control on the window, shown in the "Boards" group; null when
  // a link was handed in, which then stands for it.
  quorel::ControlWidget* Quorel1 = nullptr;

  // The widgets; each carries its name as its object name (an array's
  // element its index too, "lbl_DevNum1"), by which tests find it. Arrays
  // are indexed from 1.
  QComboBox* Combo1 = nullptr;
  QPushButton* Command1 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* lbl_Peak = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* lbl_AveragedPeaks = nullptr;
  QScrollBar* vsc_RedCut = nullptr;
  QScrollBar* vsc_YellowCut = nullptr;
  QScrollBar* vsc_GreenCut = nullptr;
  QScrollBar* vsc_CyanCut = nullptr;
  CutBars* box_BG = nullptr;
  QTimer* tmr_ResetPeak = nullptr;
  QTimer* tmr_Hide = nullptr;
  QPushButton* Command2 = nullptr;

  QLabel* Label1 = nullptr;
  std::array<ClickableLabel*, 5> lbl_DevNum{};
  std::array<SelectionFrame*, 5> shp_DevSelect{};
  std::array<OptionButton*, kEffectCount + 1> opt_Effect{};
  std::array<ClickableLabel*, kEffectCount + 1> lbl_Effect{};
  QCheckBox* Check1 = nullptr;
  ClickableLabel* Label2 = nullptr;
  QSlider* Slider1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QSlider* hsc_RedBias = nullptr;
  QSlider* hsc_YellowBias = nullptr;
  QSlider* hsc_CyanBias = nullptr;
  QSlider* hsc_GreenBias = nullptr;
  QSlider* sld_Delay = nullptr;
  QSlider* sld_Decay = nullptr;
  ClickableLabel* lbl_File = nullptr;

  // The control's properties: the window's only way to the boards.
  std::unique_ptr<BoardLink> board_link_;
  MessageSink messages_;
  CaptureSession capture_;
  LevelAnalysis analysis_;
  EffectEngine effects_;
  QLabel* delay_shown_ = nullptr;  // Slider1's value, beside it
  QString command_line_;
  SettingsRecord settings_;  // the record as last loaded or saved
  // The bytes of the animation name lbl_File shows, which its text may not
  // hold exactly (a name that is not valid UTF-8); empty until a file loads.
  std::string qra_name_;
};

}  // namespace sonovar
