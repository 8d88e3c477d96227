#include "sonovar/app/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "sonovar/app/cut_bars.h"
#include "sonovar/app/widgets.h"

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

MainWindow::MainWindow(platform::WaveIn& wave, MessageSink messages, std::unique_ptr<BoardLink> link,
                       QWidget* parent)
    : QWidget(parent), messages_(std::move(messages)), show_owns_control_(link == nullptr), show_(wave, std::move(link)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Sonovar"));
  auto* layout = new QGridLayout(this);
  layout->addWidget(BuildInputPanel(), 0, 0, 1, 2);
  layout->addWidget(BuildLevelsPanel(), 1, 0, 2, 1);
  layout->addWidget(BuildBoardsPanel(), 1, 1);
  layout->addWidget(BuildEffectsPanel(), 2, 1);
  makeDefaultButton = new QPushButton(QStringLiteral("Make Default"), this);
  makeDefaultButton->setObjectName(QStringLiteral("Command2"));
  makeDefaultButton->setToolTip(QStringLiteral("Store these settings in Sonovar.SET for the next start."));
  // Below the levels, where the window had room to spare.
  layout->addLayout(BuildLightDelayRow(makeDefaultButton), 3, 0, 1, 2);
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(2, 1);

  // Enabled by the settings load; fires once.
  startupWordsTimer = new QTimer(this);
  startupWordsTimer->setObjectName(QStringLiteral("tmr_Hide"));
  startupWordsTimer->setInterval(20);

  connect(startStopButton, &QPushButton::clicked, this, [this] { onStartStopClicked(); });
  connect(startupWordsTimer, &QTimer::timeout, this, [this] { obeyStartupWords(); });
  connect(makeDefaultButton, &QPushButton::clicked, this, [this] { onMakeDefaultClicked(); });
  for (const Cut cut : kCuts) {
    QScrollBar* slider = Slider(cut);
    connect(slider, &QScrollBar::valueChanged, this, [this, cut](int value) { CutChange(cut, value); });
    // While the thumb is dragged the bars and thresholds follow it.
    connect(slider, &QScrollBar::sliderMoved, this, [this, cut](int position) { CutChange(cut, position); });
    // An automatic adjustment that came while the thumb was held did not
    // move it: the value the user let go at is the one the show uses.
    connect(slider, &QScrollBar::sliderReleased, this, [this, cut, slider] { CutChange(cut, slider->value()); });
  }
  ConnectEffectHandlers();
  connect(autoLevelCheck, &QCheckBox::toggled, this, [this](bool on) {
    Post([on](ShowCore& core) { core.SetAutoLevel(on); });
    ShowGain(0);
  });
  ShowGain(0);
  show_.SetViewChanged([this] { ViewChanged(); });
}

MainWindow::~MainWindow() {
  // The show may publish while it ends; nothing is to reach this window then.
  show_.SetViewChanged(nullptr);
}

QWidget* MainWindow::BuildInputPanel() {
  inputList = new QComboBox(this);
  inputList->setObjectName(QStringLiteral("Combo1"));
  inputList->setToolTip(QStringLiteral("Select your Audio Output Device."));
  inputList->setMinimumContentsLength(28);
  inputList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  startStopButton = new QPushButton(kStart, this);
  startStopButton->setObjectName(QStringLiteral("Command1"));
  startStopButton->setMinimumWidth(startStopButton->fontMetrics().horizontalAdvance(kStart) * 3);
  autoLevelCheck = new QCheckBox(QStringLiteral("Auto level"), this);
  autoLevelCheck->setObjectName(QStringLiteral("chk_AutoLevel"));
  autoLevelCheck->setToolTip(
      QStringLiteral("Raise quiet sound to the range the lights work in. Off: the sound as "
                     "recorded, set by the system's recording level."));
  autoLevelCheck->setChecked(true);
  gainValue = new NumberLabel(QString(), this);
  gainValue->setObjectName(QStringLiteral("lbl_AutoLevelGain"));
  gainValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // Beside the input it acts on, in the room the list leaves: the window
  // grows neither way.
  gainValue->setFixedSize(gainValue->fontMetrics().horizontalAdvance(QStringLiteral("+30 dB")),
                          gainValue->sizeHint().height());

  auto* input = new QGroupBox(QStringLiteral("Sound input"), this);
  auto* row = new QHBoxLayout(input);
  row->addWidget(inputList, 1);
  row->addWidget(autoLevelCheck);
  row->addWidget(gainValue);
  row->addWidget(startStopButton);
  return input;
}

QWidget* MainWindow::BuildLevelsPanel() {
  peakCaption = new QLabel(QStringLiteral("Peak Audio Level"), this);
  peakCaption->setObjectName(QStringLiteral("Label8"));
  // The peak changes up to ten times a second: drawn from pictures of its texts.
  peakValue = new NumberLabel(QStringLiteral("0"), this);
  averagedPeakCaption = new QLabel(QStringLiteral("Averaged Peak "), this);
  averagedPeakCaption->setObjectName(QStringLiteral("Label10"));
  averagedPeakValue = new NumberLabel(QStringLiteral("0"), this);
  for (QLabel* value : {peakValue, averagedPeakValue}) {
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A fixed size: a new number repaints the label alone, not the layout.
    value->setFixedSize(value->fontMetrics().horizontalAdvance(QStringLiteral("-0000")), value->sizeHint().height());
  }
  peakValue->setObjectName(QStringLiteral("lbl_Peak"));
  averagedPeakValue->setObjectName(QStringLiteral("lbl_AveragedPeaks"));
  redCutSlider = MakeCutSlider(QStringLiteral("vsc_RedCut"), this);
  yellowCutSlider = MakeCutSlider(QStringLiteral("vsc_YellowCut"), this);
  greenCutSlider = MakeCutSlider(QStringLiteral("vsc_GreenCut"), this);
  cyanCutSlider = MakeCutSlider(QStringLiteral("vsc_CyanCut"), this);
  cutBars = new CutBars(this);
  cutBars->setObjectName(QStringLiteral("box_BG"));
  auto* levels = new QGroupBox(QStringLiteral("Levels"), this);
  auto* grid = new QGridLayout(levels);
  grid->addWidget(peakCaption, 0, 0);
  grid->addWidget(peakValue, 0, 1);
  grid->addWidget(averagedPeakCaption, 1, 0);
  grid->addWidget(averagedPeakValue, 1, 1);
  auto* cuts = new QHBoxLayout;
  for (QScrollBar* s : {redCutSlider, yellowCutSlider, greenCutSlider, cyanCutSlider}) cuts->addWidget(s);
  cuts->addSpacing(8);
  cuts->addWidget(cutBars, 1);
  grid->addLayout(cuts, 2, 0, 1, 2);
  grid->setRowStretch(2, 1);
  return levels;
}

bool MainWindow::LoadStartupState() {
  animation_.QraFilePath.clear();
  // Only boards 1-4 are offered, and only those the control found.
  const std::string detected = show_.Detected();
  if (detected.compare(0, kProgramBoards, std::string(kProgramBoards, '0')) == 0) {
    messages_(this, NoBoardMessage(detected, QString::fromLocal8Bit(show_.UnusableBoardsReport())));
    return false;
  }
  for (int n = 1; n <= kProgramBoards; ++n)
    boardNumbers[n]->setEnabled(static_cast<size_t>(n) <= detected.size() && detected[n - 1] == '1');
  ExplainAbsentBoards();
  ListInputDevices();
  for (size_t i = 0; i < kCuts.size(); ++i) Slider(kCuts[i])->setValue(kCutStartValues[i]);
  show_.Post([](ShowCore& core) { core.link().SetFastCom(true); });
  applySettingsFile();
  return true;
}

void MainWindow::ListInputDevices() {
  inputList->clear();
  const std::vector<InputDevice> devices = show_.ListInputDevices();
  if (devices.empty()) {
    messages_(this, NoAudioDeviceMessage());
    startStopButton->setEnabled(false);
    return;
  }
  // The system's default input first, as an entry of its own naming what it
  // is now; the inputs follow, so that the stored number of an input (its
  // place among the inputs, -1 for the default) means what it always meant.
  QString now;
  for (const InputDevice& d : devices)
    if (d.is_default) now = QStringLiteral(" (%1)").arg(QString::fromStdString(d.name));
  inputList->addItem(QStringLiteral("Default input") + now, -1);
  for (const InputDevice& d : devices) inputList->addItem(QString::fromStdString(d.name), d.device);
  inputList->setCurrentIndex(InputRow(0));
}

void MainWindow::onStartStopClicked() {
  if (startStopButton->text() == kStop) {
    show_.Stop();
    startStopButton->setText(kStart);
    return;
  }
  startStopButton->setText(kStop);
  const int device = inputList->currentIndex() < 0 ? -1 : inputList->currentData().toInt();
  int error = 0;
  if (!show_.Start(device, &error)) messages_(this, InputFailedMessage(inputList->currentText(), error));
}

void MainWindow::ViewChanged() {
  // On the show's thread: one wake-up of the window however many come first.
  if (view_pending_.exchange(true)) return;
  QMetaObject::invokeMethod(this, [this] { ShowPublishedView(); }, Qt::QueuedConnection);
}

void MainWindow::ShowPublishedView() {
  view_pending_.store(false);
  ++view_wakeups_;
  const ShowView view = show_.View();
  if (view.peak != shown_.peak) peakValue->setText(QString::number(view.peak));
  if (view.averaged_peak != shown_.averaged_peak) averagedPeakValue->setText(QString::number(view.averaged_peak));
  if (view.gain_db != shown_.gain_db) ShowGain(view.gain_db);
  if (view.speaker_delay_ms != shown_.speaker_delay_ms || view.light_offset_ms != shown_.light_offset_ms ||
      view.light_delay_ms != shown_.light_delay_ms)
    ShowLightDelay(view);
  // The show's cut values are the truth once it has every change this
  // window sent; until then they may undo a move it has not seen yet, and
  // the next view brings them again.
  if (view.adjustments != adjustments_shown_ && view.applied_changes >= last_posted_) {
    adjustments_shown_ = view.adjustments;
    for (size_t i = 0; i < kCuts.size(); ++i) {
      QScrollBar* slider = Slider(kCuts[i]);
      if (slider->isSliderDown()) continue;
      const QSignalBlocker quiet(slider);  // the show has these thresholds already
      slider->setValue(view.cuts[i]);
      cutBars->SetBarHeight(kCuts[i], CutBarHeight(slider->value()));
    }
  }
  shown_ = view;
}

void MainWindow::ShowGain(int db) {
  gainValue->setText(autoLevelCheck->isChecked() ? QStringLiteral("+%1 dB").arg(db) : QString());
}

void MainWindow::CutChange(Cut cut, int value) {
  cutBars->SetBarHeight(cut, CutBarHeight(value));
  Post([cut, value](ShowCore& core) { core.SetCut(cut, value); });
}

QScrollBar* MainWindow::Slider(Cut cut) const {
  switch (cut) {
    case Cut::kRed: return redCutSlider;
    case Cut::kYellow: return yellowCutSlider;
    case Cut::kGreen: return greenCutSlider;
    case Cut::kCyan: return cyanCutSlider;
  }
  return nullptr;
}

void MainWindow::StopBeforeClosing() {
  if (startStopButton->text() == kStop) onStartStopClicked();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  StopBeforeClosing();
  event->accept();
}

}  // namespace sonovar
