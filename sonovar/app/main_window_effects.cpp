// The boards, the effects and their sliders on the main window.
#include <QCheckBox>
#include <QCoreApplication>
#include <filesystem>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "sonovar/app/animation_folders.h"
#include "sonovar/app/main_window.h"
#include "sonovar/app/animation_dialog.h"
#include "sonovar/app/widgets.h"

namespace sonovar {

namespace {

const char* const kBiasTooltip = "Function will vary based on FX Selection.";

QSlider* MakeSlider(QWidget* parent, const char* name, Qt::Orientation orientation, int minimum, int maximum,
                    int value, int page_step, const char* tooltip) {
  auto* slider = new QSlider(orientation, parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(minimum, maximum);
  slider->setValue(value);
  slider->setSingleStep(1);
  slider->setPageStep(page_step);
  if (tooltip != nullptr) slider->setToolTip(QString::fromLatin1(tooltip));
  return slider;
}

}  // namespace

QWidget* MainWindow::BuildBoardsPanel() {
  auto* box = new QGroupBox(QStringLiteral("Boards"), this);
  auto* grid = new QGridLayout(box);
  auto* numbers = new QHBoxLayout;
  boardsCaption = new QLabel(QStringLiteral("Quorel:"), box);
  boardsCaption->setObjectName(QStringLiteral("Label1"));
  boardsCaption->setToolTip(QStringLiteral("Click detected Quorel Device number to activate it."));
  numbers->addWidget(boardsCaption);
  for (int n = 1; n <= kProgramBoards; ++n) {
    // The frame and the number share one cell; the number lies on top.
    auto* cell = new QWidget(box);
    auto* stack = new QGridLayout(cell);
    stack->setContentsMargins(0, 0, 0, 0);
    boardFrames[n] = new SelectionFrame(cell);
    boardFrames[n]->setObjectName(QStringLiteral("shp_DevSelect%1").arg(n));
    boardNumbers[n] = new ClickableLabel(QString::number(n), cell);
    boardNumbers[n]->setObjectName(QStringLiteral("lbl_DevNum%1").arg(n));
    boardNumbers[n]->setAlignment(Qt::AlignCenter);
    const int side = boardNumbers[n]->fontMetrics().height() * 2;
    boardNumbers[n]->setMinimumSize(side, side);
    boardNumbers[n]->setEnabled(false);
    stack->addWidget(boardFrames[n], 0, 0);
    stack->addWidget(boardNumbers[n], 0, 0);
    boardFrames[n]->hide();
    numbers->addWidget(cell);
  }
  numbers->addStretch(1);
  if (show_owns_control_) {
    controlFace = new quorel::ControlWidget(quorel::ControlWidget::kFaceOnly, box);
    controlFace->setObjectName(QStringLiteral("Quorel1"));
    controlFace->installEventFilter(this);  // a click shows the board report
    controlFace->setCursor(Qt::PointingHandCursor);
    numbers->addWidget(controlFace);
  }
  grid->addLayout(numbers, 0, 0, 1, 4);

  turboCheck = new QCheckBox(box);
  turboCheck->setObjectName(QStringLiteral("Check1"));
  turboCheck->setChecked(true);
  turboLabel = new ClickableLabel(QStringLiteral("TURBO"), box);
  turboLabel->setObjectName(QStringLiteral("Label2"));
  turboLabel->setToolTip(
      QStringLiteral("Activating TURBO removes all compatibility delays.  May not work with some USB cards."));
  reportDelaySlider = MakeSlider(box, "Slider1", Qt::Horizontal, 0, 5, 1, 1, "Report delay value when TURB is un-checked.");
  reportDelaySlider->setTickPosition(QSlider::TicksBelow);
  reportDelaySlider->setTickInterval(1);

  reportDelayValue = new QLabel(box);
  reportDelayValue->setObjectName(QStringLiteral("lbl_ReportDelay"));
  // TURBO is on at first, so the delay does not apply yet.
  ShowReportDelayInUse(false);
  reportDelayValue->setMinimumWidth(reportDelayValue->fontMetrics().horizontalAdvance(QStringLiteral("0 ms")));
  ShowReportDelay();
  grid->addWidget(turboCheck, 1, 0);
  grid->addWidget(turboLabel, 1, 1);
  grid->addWidget(reportDelaySlider, 1, 2);
  grid->addWidget(reportDelayValue, 1, 3);
  grid->setColumnStretch(2, 1);
  return box;
}

QWidget* MainWindow::BuildEffectsPanel() {
  auto* box = new QGroupBox(QStringLiteral("Effect"), this);
  auto* column = new QVBoxLayout(box);

  auto* choice = new QHBoxLayout;
  for (int n = 1; n <= kEffectCount; ++n) {
    const Effect& effect = kEffects[n - 1];
    effectOptions[n] = new OptionButton(box);
    effectOptions[n]->setObjectName(QStringLiteral("opt_Effect%1").arg(n));
    effectLabels[n] = new ClickableLabel(QString::fromLatin1(effect.caption), box);
    effectLabels[n]->setObjectName(QStringLiteral("lbl_Effect%1").arg(n));
    effectLabels[n]->setToolTip(QString::fromLatin1(effect.tooltip));
    // An effect that plays the animation waits for an animation file.
    effectOptions[n]->setEnabled(!effect.needs_animation);
    effectLabels[n]->setEnabled(!effect.needs_animation);
    choice->addWidget(effectOptions[n]);
    choice->addWidget(effectLabels[n]);
    choice->addSpacing(12);
  }
  animationFileLabel = new ClickableLabel(QStringLiteral("Select File"), box);
  animationFileLabel->setObjectName(QStringLiteral("lbl_File"));
  animationFileLabel->setToolTip(QStringLiteral("Click to Select QRA File."));
  animationFileLabel->setFrameShape(QFrame::StyledPanel);
  animationFileLabel->setMargin(2);
  // A long animation name is cut off rather than widening the window.
  animationFileLabel->setMaximumWidth(animationFileLabel->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 14);
  choice->addWidget(animationFileLabel);
  choice->addStretch(1);
  effectOptions[kPulse]->setChecked(true);
  column->addLayout(choice);

  // The bias sliders: a low value triggers easily, hence "High" at that end.
  auto* adjust = new QGridLayout;
  adjustCaption = new QLabel(QStringLiteral("FX Adjust"), box);
  QFont heading = adjustCaption->font();
  heading.setBold(true);
  adjustCaption->setFont(heading);
  adjustCaption->setObjectName(QStringLiteral("Label3"));
  highCaption = new QLabel(QStringLiteral("High"), box);
  highCaption->setObjectName(QStringLiteral("Label4"));
  lowCaption = new QLabel(QStringLiteral("Low"), box);
  lowCaption->setObjectName(QStringLiteral("Label5"));
  lowCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  redBiasSlider = MakeSlider(box, "hsc_RedBias", Qt::Horizontal, 1, 255, 128, 5, kBiasTooltip);
  yellowBiasSlider = MakeSlider(box, "hsc_YellowBias", Qt::Horizontal, 1, 255, 128, 5, kBiasTooltip);
  cyanBiasSlider = MakeSlider(box, "hsc_CyanBias", Qt::Horizontal, 1, 255, 128, 5, kBiasTooltip);
  // Read by no effect and not stored: kept, but not offered.
  greenBiasSlider = MakeSlider(box, "hsc_GreenBias", Qt::Horizontal, 1, 255, 100, 5, nullptr);
  greenBiasSlider->hide();
  adjust->addWidget(adjustCaption, 0, 0, 1, 3);
  adjust->addWidget(highCaption, 1, 1);
  adjust->addWidget(lowCaption, 1, 2);
  const std::pair<const char*, QSlider*> biases[] = {
      {"Red", redBiasSlider}, {"Yellow", yellowBiasSlider}, {"Cyan", cyanBiasSlider}};
  int r = 2;
  for (const auto& [name, slider] : biases) {
    adjust->addWidget(new QLabel(QString::fromLatin1(name), box), r, 0);
    adjust->addWidget(slider, r++, 1, 1, 2);
  }
  adjust->setColumnStretch(1, 1);
  adjust->setColumnStretch(2, 1);
  adjust->setRowStretch(r, 1);

  delaySlider = MakeSlider(box, "sld_Delay", Qt::Vertical, 0, 15, 0, 1,
                         "Controls how long lights stay lit before starting to decay. Higher numbers give a  longer "
                         "delay.");
  decaySlider = MakeSlider(box, "sld_Decay", Qt::Vertical, 0, 15, 3, 1,
                         "Controls the speed in which lights decay.  Lower numbers give a faster decay.");
  auto* timing = new QGridLayout;
  int c = 0;
  for (auto [name, slider] : {std::pair{"Delay", delaySlider}, std::pair{"Decay", decaySlider}}) {
    slider->setTickPosition(QSlider::TicksRight);
    slider->setMinimumHeight(96);
    timing->addWidget(new QLabel(QString::fromLatin1(name), box), 0, c, Qt::AlignHCenter);
    timing->addWidget(slider, 1, c++, Qt::AlignHCenter);
  }

  auto* sliders = new QHBoxLayout;
  sliders->addLayout(adjust, 1);
  sliders->addSpacing(12);
  sliders->addLayout(timing);
  column->addLayout(sliders, 1);
  return box;
}

void MainWindow::ConnectEffectHandlers() {
  for (int n = 1; n <= kProgramBoards; ++n)
    connect(boardNumbers[n], &ClickableLabel::clicked, this, [this, n] { onBoardClicked(n); });
  for (int n = 1; n <= kEffectCount; ++n) {
    // An assignment runs the handler as a click does: the option turned on.
    connect(effectOptions[n], &QAbstractButton::toggled, this, [this, n](bool on) {
      if (!on) return;
      for (int other = 1; other <= kEffectCount; ++other)
        if (other != n) effectOptions[other]->setChecked(false);
      onEffectChosen(n);
    });
    connect(effectLabels[n], &ClickableLabel::clicked, this, [this, n] { onEffectLabelClicked(n); });
  }
  connect(turboCheck, &QAbstractButton::toggled, this, [this] { onTurboToggled(); });
  connect(turboLabel, &ClickableLabel::clicked, turboCheck, &QAbstractButton::click);
  connect(reportDelaySlider, &QSlider::valueChanged, this, [this] { onReportDelayChanged(); });
  connect(animationFileLabel, &ClickableLabel::clicked, this, [this] { onAnimationFileClicked(); });
  ConnectSlider(redBiasSlider, EffectSlider::kRedBias);
  ConnectSlider(yellowBiasSlider, EffectSlider::kYellowBias);
  ConnectSlider(cyanBiasSlider, EffectSlider::kCyanBias);
  ConnectSlider(delaySlider, EffectSlider::kDelay);
  ConnectSlider(decaySlider, EffectSlider::kDecay);
}

void MainWindow::ConnectSlider(QSlider* slider, EffectSlider role) {
  // The show's effect reads the value from the next buffer on.
  connect(slider, &QSlider::valueChanged, this,
          [this, role](int value) { Post([role, value](ShowCore& core) { core.SetEffectSlider(role, value); }); });
}

ActiveBoards MainWindow::ActiveBoardSet() const {
  // Settings are applied before the window is shown, so a frame counts as
  // shown when it is not hidden, whether the window is visible or not.
  ActiveBoards active{};
  for (int n = 1; n <= kProgramBoards; ++n) active[n] = !boardFrames[n]->isHidden();
  return active;
}

void MainWindow::onBoardClicked(int n) {
  const bool active = boardFrames[n]->isHidden();
  boardFrames[n]->setVisible(active);
  Post([n, active](ShowCore& core) { core.ClickBoard(n, active); });
}

void MainWindow::onEffectChosen(int n) {
  Post([n](ShowCore& core) { core.ChooseEffect(n); });
}

void MainWindow::onEffectLabelClicked(int n) { effectOptions[n]->setChecked(true); }

void MainWindow::onTurboToggled() {
  const bool turbo = turboCheck->isChecked();
  Post([turbo](ShowCore& core) { core.link().SetFastCom(turbo); });
  ShowReportDelayInUse(!turbo);
}

void MainWindow::ShowReportDelayInUse(bool in_use) {
  reportDelaySlider->setEnabled(in_use);
  reportDelayValue->setEnabled(in_use);
  // A disabled slider of most styles differs from a usable one by a shade
  // only: out of use it is also drawn faded. The slider owns the effect and
  // deletes the one it replaces.
  QGraphicsOpacityEffect* faded = nullptr;
  if (!in_use) {
    faded = new QGraphicsOpacityEffect(reportDelaySlider);
    faded->setOpacity(0.4);
  }
  reportDelaySlider->setGraphicsEffect(faded);
}

void MainWindow::onReportDelayChanged() {
  const auto delay = static_cast<int16_t>(reportDelaySlider->value());
  Post([delay](ShowCore& core) { core.link().SetCompatibilityDelay(delay); });
  ShowReportDelay();
}

void MainWindow::ShowReportDelay() { reportDelayValue->setText(QStringLiteral("%1 ms").arg(reportDelaySlider->value())); }

void MainWindow::onAnimationFileClicked() {
  // The name box starts with the name of the file last loaded or tried,
  // which is what "Load" takes.
  const std::string last = std::filesystem::path(animation_.QraFilePath).filename().string();
  AnimationDialog dialog(AnimationFolderList(), last, [this](const std::string& name) { LoadAnimationName(name); }, this);
  dialog.exec();
}

bool MainWindow::LoadAnimation(const QString& name) { return LoadAnimationName(name.toLocal8Bit().toStdString()); }

bool MainWindow::LoadAnimationName(const std::string& name) {
  // Read here, not on the show's thread: a large file never holds the lights.
  const bool loaded = LoadQraFile(name, AnimationFolderList(), animation_);
  ShareAnimation();
  // The caption, and what "Make Default" stores, name the same file again.
  if (loaded) {
    qra_name_ = QraShortName(name);
    animationFileLabel->setText(QString::fromLocal8Bit(qra_name_));
  }
  MakeQraLinkAvailable();
  return loaded;
}

void MainWindow::ShareAnimation() {
  auto copy = std::make_shared<QraAnimation>(animation_);
  Post([copy](ShowCore& core) { core.SetAnimation(std::move(*copy)); });
}

void MainWindow::MakeQraLinkAvailable() {
  for (int n = 1; n <= kEffectCount; ++n) {
    if (!kEffects[n - 1].needs_animation) continue;
    effectLabels[n]->setEnabled(true);
    effectOptions[n]->setEnabled(true);
  }
}

AnimationFolders MainWindow::AnimationFolderList() const { return ProgramAnimationFolders(); }

}  // namespace sonovar
