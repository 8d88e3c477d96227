#include "sonovar/app/form1.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "sonovar/app/cut_bars.h"
#include "sonovar/app/widgets.h"
#include "sonovar/effects/quorel_link.h"

namespace sonovar {

namespace {

const QString kStart = QStringLiteral("Start");
const QString kStop = QStringLiteral("Stop");

QScrollBar* MakeCutSlider(const QString& name, QWidget* parent) {
  auto* slider = new QScrollBar(Qt::Vertical, parent);
  slider->setObjectName(name);
  slider->setRange(1, 128);
  slider->setMinimumHeight(128);
  return slider;
}

}  // namespace

Form1::Form1(platform::WaveIn& wave, MessageSink messages, std::unique_ptr<BoardLink> link, QWidget* parent)
    : QWidget(parent), board_link_(std::move(link)), messages_(std::move(messages)), capture_(wave) {
  if (!board_link_) {
    Quorel1 = new quorel::ControlWidget(this);
    Quorel1->setObjectName(QStringLiteral("Quorel1"));
    board_link_ = LinkToQuorel(Quorel1->control());
  }
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Sonovar"));

  auto* layout = new QGridLayout(this);
  layout->addWidget(BuildInputPanel(), 0, 0, 1, 2);
  layout->addWidget(BuildLevelsPanel(), 1, 0, 2, 1);
  layout->addWidget(BuildBoardsPanel(), 1, 1);
  layout->addWidget(BuildEffectsPanel(), 2, 1);
  Command2 = new QPushButton(QStringLiteral("Make Default"), this);
  Command2->setObjectName(QStringLiteral("Command2"));
  Command2->setToolTip(QStringLiteral("Store these settings in Sonovar.SET for the next start."));
  layout->addWidget(Command2, 3, 1, Qt::AlignRight);
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(2, 1);

  tmr_ResetPeak = new QTimer(this);
  tmr_ResetPeak->setObjectName(QStringLiteral("tmr_ResetPeak"));
  tmr_ResetPeak->setInterval(50);
  // Enabled by the settings load; fires once.
  tmr_Hide = new QTimer(this);
  tmr_Hide->setObjectName(QStringLiteral("tmr_Hide"));
  tmr_Hide->setInterval(20);

  // Handlers, connected by name.
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(tmr_ResetPeak, &QTimer::timeout, this, [this] { tmr_ResetPeak_Timer(); });
  connect(tmr_Hide, &QTimer::timeout, this, [this] { tmr_Hide_Timer(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  for (const Cut cut : kCuts) {
    connect(Slider(cut), &QScrollBar::valueChanged, this, [this, cut](int value) { CutChange(cut, value); });
    // While the thumb is dragged the bars and thresholds follow it.
    connect(Slider(cut), &QScrollBar::sliderMoved, this, [this, cut](int position) { CutChange(cut, position); });
  }
  ConnectEffectHandlers();

  tmr_ResetPeak->start();
}

Form1::~Form1() {
  // The end of the window: a capture still marked running is stopped.
  if (Command1->text() == kStop) Stop();
}

QWidget* Form1::BuildInputPanel() {
  Combo1 = new QComboBox(this);
  Combo1->setObjectName(QStringLiteral("Combo1"));
  Combo1->setToolTip(QStringLiteral("Select your Audio Output Device."));
  Combo1->setMinimumContentsLength(28);
  Combo1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  // Shown while no input is chosen (a stored -1), which Start takes for this.
  Combo1->setPlaceholderText(QStringLiteral("The system's default input"));
  Command1 = new QPushButton(kStart, this);
  Command1->setObjectName(QStringLiteral("Command1"));
  Command1->setMinimumWidth(Command1->fontMetrics().horizontalAdvance(QStringLiteral("Start")) * 3);
  auto* input = new QGroupBox(QStringLiteral("Sound input"), this);
  auto* row = new QHBoxLayout(input);
  row->addWidget(Combo1, 1);
  row->addWidget(Command1);
  return input;
}

QWidget* Form1::BuildLevelsPanel() {
  Label8 = new QLabel(QStringLiteral("Peak Audio Level"), this);
  Label8->setObjectName(QStringLiteral("Label8"));
  // The peak changes up to 40 times a second: drawn from pictures of its texts.
  lbl_Peak = new NumberLabel(QStringLiteral("0"), this);
  Label10 = new QLabel(QStringLiteral("Averaged Peak "), this);
  Label10->setObjectName(QStringLiteral("Label10"));
  lbl_AveragedPeaks = new NumberLabel(QStringLiteral("0"), this);
  for (QLabel* value : {lbl_Peak, lbl_AveragedPeaks}) {
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A fixed size: a new number repaints the label alone, not the layout.
    value->setFixedSize(value->fontMetrics().horizontalAdvance(QStringLiteral("-0000")), value->sizeHint().height());
  }
  lbl_Peak->setObjectName(QStringLiteral("lbl_Peak"));
  lbl_AveragedPeaks->setObjectName(QStringLiteral("lbl_AveragedPeaks"));
  vsc_RedCut = MakeCutSlider(QStringLiteral("vsc_RedCut"), this);
  vsc_YellowCut = MakeCutSlider(QStringLiteral("vsc_YellowCut"), this);
  vsc_GreenCut = MakeCutSlider(QStringLiteral("vsc_GreenCut"), this);
  vsc_CyanCut = MakeCutSlider(QStringLiteral("vsc_CyanCut"), this);
  box_BG = new CutBars(this);
  box_BG->setObjectName(QStringLiteral("box_BG"));

  auto* levels = new QGroupBox(QStringLiteral("Levels"), this);
  auto* grid = new QGridLayout(levels);
  grid->addWidget(Label8, 0, 0);
  grid->addWidget(lbl_Peak, 0, 1);
  grid->addWidget(Label10, 1, 0);
  grid->addWidget(lbl_AveragedPeaks, 1, 1);
  auto* cuts = new QHBoxLayout;
  for (QScrollBar* s : {vsc_RedCut, vsc_YellowCut, vsc_GreenCut, vsc_CyanCut}) cuts->addWidget(s);
  cuts->addSpacing(8);
  cuts->addWidget(box_BG, 1);
  grid->addLayout(cuts, 2, 0, 1, 2);
  grid->setRowStretch(2, 1);
  return levels;
}

bool Form1::Form_Load() {
  effects_.Animation.QraFilePath.clear();
  // Only boards 1-4 are offered, and only those the control found.
  const std::string detected = board_link_->Detected();
  if (detected.compare(0, kProgramBoards, std::string(kProgramBoards, '0')) == 0) {
    messages_(this, {QStringLiteral("No Supported Quorel or Quorel+KX Detected"), QStringLiteral("Exiting..."),
                     QString::fromLocal8Bit(board_link_->UnusableBoardsReport())});
    return false;
  }
  for (int n = 1; n <= kProgramBoards; ++n)
    lbl_DevNum[n]->setEnabled(static_cast<size_t>(n) <= detected.size() && detected[n - 1] == '1');
  ListInputDevices();
  for (size_t i = 0; i < kCuts.size(); ++i) Slider(kCuts[i])->setValue(kCutStartValues[i]);
  effects_.EffectMode = kPulse;
  effects_.SweepThreshold = 15;
  board_link_->SetFastCom(true);
  LoadSettings();
  return true;
}

void Form1::ListInputDevices() {
  Combo1->clear();
  for (const InputDevice& d : capture_.ListInputDevices())
    Combo1->addItem(QString::fromStdString(d.name), d.device);
  if (Combo1->count() == 0) {
    messages_(this, {QStringLiteral("No audio devices were found on your system."), {}, {}});
    Command1->setEnabled(false);
  } else {
    Combo1->setCurrentIndex(0);
  }
}

void Form1::Command1_Click() {
  if (Command1->text() == kStop) {
    Stop();
    Command1->setText(kStart);
    return;
  }
  Command1->setText(kStop);
  const int device = Combo1->currentIndex() < 0 ? -1 : Combo1->currentData().toInt();
  // The service calls this from its own thread. Waking the event wait below
  // is all it takes (no event to allocate, post and deliver), and waking
  // is safe from any thread.
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread());
  capture_.Open(device, [dispatcher] { dispatcher->wakeUp(); });
  if (capture_.CaptureHandle == 0) {
    messages_(this, {QStringLiteral("Wave input device failed to open"), {}, {}});
    return;
  }
  // Stopped while there was nothing for it to do (see tmr_ResetPeak_Timer).
  if (!tmr_ResetPeak->isActive()) tmr_ResetPeak->start();
  capture_.Start();
  capture_.CaptureLoop(
      [](const std::function<bool()>& done) {
        // Sleeps until an event arrives: a click, a timer or the buffer's wake-up.
        while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      },
      [] { QCoreApplication::processEvents(); },
      [this](std::span<const uint8_t, kCaptureBufferBytes> buffer) { AnalyseBuffer(buffer); });
}

void Form1::Stop() { capture_.Stop(); }

void Form1::AnalyseBuffer(std::span<const uint8_t, kCaptureBufferBytes> buffer) {
  if (analysis_.Analyze(buffer)) lbl_Peak->setText(QString::number(analysis_.Peak));
  EffectStep();
  if (AfterAnalysis) AfterAnalysis();
}

void Form1::tmr_ResetPeak_Timer() {
  if (!analysis_.PeakFalls()) {
    // Without a capture nothing can raise the peak again, so the timer would
    // only wake the program for nothing: it rests until the next start.
    if (capture_.CaptureHandle == 0) tmr_ResetPeak->stop();
    return;
  }
  tmr_ResetPeak->stop();
  // Each slider assignment runs that slider's change handler.
  if (analysis_.PeakTick([this](Cut cut, int value) { Slider(cut)->setValue(value); }))
    lbl_AveragedPeaks->setText(QString::number(analysis_.AveragedPeak));
  lbl_Peak->setText(QString::number(analysis_.Peak));
  tmr_ResetPeak->start();
}

void Form1::CutChange(Cut cut, int value) {
  box_BG->SetBarHeight(cut, CutBarHeight(value));
  analysis_.CutChanged(cut, value);
}

QScrollBar* Form1::Slider(Cut cut) const {
  switch (cut) {
    case Cut::kRed: return vsc_RedCut;
    case Cut::kYellow: return vsc_YellowCut;
    case Cut::kGreen: return vsc_GreenCut;
    case Cut::kCyan: return vsc_CyanCut;
  }
  return nullptr;
}

void Form1::Form_QueryUnload() {
  Stop();
  QCoreApplication::processEvents();
}

void Form1::closeEvent(QCloseEvent* event) {
  Form_QueryUnload();
  event->accept();
}

}  // namespace sonovar
