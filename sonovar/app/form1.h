// The main window: sound input, start/stop, the peak and the colour cuts.
#pragma once

#include <array>
#include <memory>
#include <QWidget>

#include "platform/wavein.h"
#include "sonovar/app/messages.h"
#include "sonovar/capture/capture_session.h"
#include "sonovar/capture/level_analysis.h"

class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QTimer;

namespace sonovar {

class CutBars;

class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(platform::WaveIn& wave, MessageSink messages = ShowMessageBox, QWidget* parent = nullptr);
  ~Form1() override;

  // Start-up: the input list and the start values of the cuts.
  void Form_Load();

  // Handlers, public so that the start-up code and tests can run them as a
  // user's action would.
  void Command1_Click();
  void tmr_ResetPeak_Timer();

  // The effect step's place: once per analysed buffer. Tests count it.
  std::function<void()> AfterAnalysis;

  LevelAnalysis& analysis() { return analysis_; }
  CaptureSession& capture() { return capture_; }

  // The widgets, by their names.
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

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ListInputDevices();
  void Stop();
  void AnalyseBuffer(std::span<const uint8_t, kCaptureBufferBytes> buffer);
  void CutChange(Cut cut, int value);
  void vsc_RedCut_Change();
  void vsc_YellowCut_Change();
  void vsc_GreenCut_Change();
  void vsc_CyanCut_Change();
  void vsc_RedCut_Scroll();
  void vsc_YellowCut_Scroll();
  void vsc_GreenCut_Scroll();
  void vsc_CyanCut_Scroll();
  QScrollBar* Slider(Cut cut) const;
  void Form_QueryUnload();

  MessageSink messages_;
  CaptureSession capture_;
  LevelAnalysis analysis_;
};

}  // namespace sonovar
