// The boards, the effects and their sliders on the main window.
#include <QCheckBox>
#include <QCoreApplication>
#include <QStandardPaths>
#include <filesystem>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "sonovar/app/form1.h"
#include "sonovar/app/frm_dialog.h"
#include "sonovar/app/widgets.h"

namespace sonovar {

namespace {

constexpr std::string_view kEffectChosen = "SBA:255,255,255,255,4";

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

QWidget* Form1::BuildBoardsPanel() {
  auto* box = new QGroupBox(QStringLiteral("Boards"), this);
  auto* grid = new QGridLayout(box);
  auto* numbers = new QHBoxLayout;
  Label1 = new QLabel(QStringLiteral("Quorel:"), box);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setToolTip(QStringLiteral("Click detected Quorel Device number to activate it."));
  numbers->addWidget(Label1);
  for (int n = 1; n <= kProgramBoards; ++n) {
    // The frame and the number share one cell; the number lies on top.
    auto* cell = new QWidget(box);
    auto* stack = new QGridLayout(cell);
    stack->setContentsMargins(0, 0, 0, 0);
    shp_DevSelect[n] = new SelectionFrame(cell);
    shp_DevSelect[n]->setObjectName(QStringLiteral("shp_DevSelect%1").arg(n));
    lbl_DevNum[n] = new ClickableLabel(QString::number(n), cell);
    lbl_DevNum[n]->setObjectName(QStringLiteral("lbl_DevNum%1").arg(n));
    lbl_DevNum[n]->setAlignment(Qt::AlignCenter);
    const int side = lbl_DevNum[n]->fontMetrics().height() * 2;
    lbl_DevNum[n]->setMinimumSize(side, side);
    lbl_DevNum[n]->setEnabled(false);
    stack->addWidget(shp_DevSelect[n], 0, 0);
    stack->addWidget(lbl_DevNum[n], 0, 0);
    shp_DevSelect[n]->hide();
    numbers->addWidget(cell);
  }
  numbers->addStretch(1);
  if (Quorel1) numbers->addWidget(Quorel1);
  grid->addLayout(numbers, 0, 0, 1, 4);

  Check1 = new QCheckBox(box);
  Check1->setObjectName(QStringLiteral("Check1"));
  Check1->setChecked(true);
  Label2 = new ClickableLabel(QStringLiteral("TURBO"), box);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setToolTip(
      QStringLiteral("Activating TURBO removes all compatibility delays.  May not work with some USB cards."));
  Slider1 = MakeSlider(box, "Slider1", Qt::Horizontal, 0, 5, 1, 1, "Report delay value when TURB is un-checked.");
  Slider1->setTickPosition(QSlider::TicksBelow);
  Slider1->setTickInterval(1);
  // TURBO is on at first, so the delay does not apply yet.
  Slider1->setEnabled(false);
  delay_shown_ = new QLabel(box);
  delay_shown_->setMinimumWidth(delay_shown_->fontMetrics().horizontalAdvance(QStringLiteral("0 ms")));
  ShowReportDelay();
  grid->addWidget(Check1, 1, 0);
  grid->addWidget(Label2, 1, 1);
  grid->addWidget(Slider1, 1, 2);
  grid->addWidget(delay_shown_, 1, 3);
  grid->setColumnStretch(2, 1);
  return box;
}

QWidget* Form1::BuildEffectsPanel() {
  auto* box = new QGroupBox(QStringLiteral("Effect"), this);
  auto* column = new QVBoxLayout(box);

  auto* choice = new QHBoxLayout;
  for (int n = 1; n <= kEffectCount; ++n) {
    const Effect& effect = kEffects[n - 1];
    opt_Effect[n] = new OptionButton(box);
    opt_Effect[n]->setObjectName(QStringLiteral("opt_Effect%1").arg(n));
    lbl_Effect[n] = new ClickableLabel(QString::fromLatin1(effect.caption), box);
    lbl_Effect[n]->setObjectName(QStringLiteral("lbl_Effect%1").arg(n));
    lbl_Effect[n]->setToolTip(QString::fromLatin1(effect.tooltip));
    // An effect that plays the animation waits for an animation file.
    opt_Effect[n]->setEnabled(!effect.needs_animation);
    lbl_Effect[n]->setEnabled(!effect.needs_animation);
    choice->addWidget(opt_Effect[n]);
    choice->addWidget(lbl_Effect[n]);
    choice->addSpacing(12);
  }
  lbl_File = new ClickableLabel(QStringLiteral("Select File"), box);
  lbl_File->setObjectName(QStringLiteral("lbl_File"));
  lbl_File->setToolTip(QStringLiteral("Click to Select QRA File."));
  lbl_File->setFrameShape(QFrame::StyledPanel);
  lbl_File->setMargin(2);
  // A long animation name is cut off rather than widening the window.
  lbl_File->setMaximumWidth(lbl_File->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 14);
  choice->addWidget(lbl_File);
  choice->addStretch(1);
  opt_Effect[kPulse]->setChecked(true);
  column->addLayout(choice);

  // The bias sliders: a low value triggers easily, hence "High" at that end.
  auto* adjust = new QGridLayout;
  Label3 = new QLabel(QStringLiteral("FX Adjust"), box);
  QFont heading = Label3->font();
  heading.setBold(true);
  Label3->setFont(heading);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label4 = new QLabel(QStringLiteral("High"), box);
  Label4->setObjectName(QStringLiteral("Label4"));
  Label5 = new QLabel(QStringLiteral("Low"), box);
  Label5->setObjectName(QStringLiteral("Label5"));
  Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  hsc_RedBias = MakeSlider(box, "hsc_RedBias", Qt::Horizontal, 1, 255, 128, 5, kBiasTooltip);
  hsc_YellowBias = MakeSlider(box, "hsc_YellowBias", Qt::Horizontal, 1, 255, 128, 5, kBiasTooltip);
  hsc_CyanBias = MakeSlider(box, "hsc_CyanBias", Qt::Horizontal, 1, 255, 128, 5, kBiasTooltip);
  // Read by no effect and not stored: kept, but not offered.
  hsc_GreenBias = MakeSlider(box, "hsc_GreenBias", Qt::Horizontal, 1, 255, 100, 5, nullptr);
  hsc_GreenBias->hide();
  adjust->addWidget(Label3, 0, 0, 1, 3);
  adjust->addWidget(Label4, 1, 1);
  adjust->addWidget(Label5, 1, 2);
  const std::pair<const char*, QSlider*> biases[] = {
      {"Red", hsc_RedBias}, {"Yellow", hsc_YellowBias}, {"Cyan", hsc_CyanBias}};
  int r = 2;
  for (const auto& [name, slider] : biases) {
    adjust->addWidget(new QLabel(QString::fromLatin1(name), box), r, 0);
    adjust->addWidget(slider, r++, 1, 1, 2);
  }
  adjust->setColumnStretch(1, 1);
  adjust->setColumnStretch(2, 1);
  adjust->setRowStretch(r, 1);

  sld_Delay = MakeSlider(box, "sld_Delay", Qt::Vertical, 0, 15, 0, 1,
                         "Controls how long lights stay lit before starting to decay. Higher numbers give a  longer "
                         "delay.");
  sld_Decay = MakeSlider(box, "sld_Decay", Qt::Vertical, 0, 15, 3, 1,
                         "Controls the speed in which lights decay.  Lower numbers give a faster decay.");
  auto* timing = new QGridLayout;
  int c = 0;
  for (auto [name, slider] : {std::pair{"Delay", sld_Delay}, std::pair{"Decay", sld_Decay}}) {
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

void Form1::ConnectEffectHandlers() {
  for (int n = 1; n <= kProgramBoards; ++n)
    connect(lbl_DevNum[n], &ClickableLabel::clicked, this, [this, n] { lbl_DevNum_Click(n); });
  for (int n = 1; n <= kEffectCount; ++n) {
    // An assignment runs the handler as a click does: the option turned on.
    connect(opt_Effect[n], &QAbstractButton::toggled, this, [this, n](bool on) {
      if (!on) return;
      for (int other = 1; other <= kEffectCount; ++other)
        if (other != n) opt_Effect[other]->setChecked(false);
      opt_Effect_Click(n);
    });
    connect(lbl_Effect[n], &ClickableLabel::clicked, this, [this, n] { lbl_Effect_Click(n); });
  }
  connect(Check1, &QAbstractButton::toggled, this, [this] { Check1_Click(); });
  connect(Label2, &ClickableLabel::clicked, Check1, &QAbstractButton::click);
  connect(Slider1, &QSlider::valueChanged, this, [this] { Slider1_Change(); });
  connect(lbl_File, &ClickableLabel::clicked, this, [this] { lbl_File_Click(); });
}

ActiveBoards Form1::ActiveBoardSet() const {
  // Settings are applied before the window is shown, so a frame counts as
  // shown when it is not hidden, whether the window is visible or not.
  ActiveBoards active{};
  for (int n = 1; n <= kProgramBoards; ++n) active[n] = !shp_DevSelect[n]->isHidden();
  return active;
}

void Form1::lbl_DevNum_Click(int n) {
  PrepareBoard(*board_link_, n);
  shp_DevSelect[n]->setVisible(shp_DevSelect[n]->isHidden());
}

void Form1::opt_Effect_Click(int n) {
  effects_.EffectMode = static_cast<int16_t>(n);
  SendToActiveBoards(*board_link_, ActiveBoardSet(), kEffectChosen);
}

void Form1::lbl_Effect_Click(int n) { opt_Effect[n]->setChecked(true); }

void Form1::Check1_Click() {
  const bool turbo = Check1->isChecked();
  board_link_->SetFastCom(turbo);
  Slider1->setEnabled(!turbo);
}

void Form1::Slider1_Change() {
  board_link_->SetCompatibilityDelay(static_cast<int16_t>(Slider1->value()));
  ShowReportDelay();
}

void Form1::ShowReportDelay() { delay_shown_->setText(QStringLiteral("%1 ms").arg(Slider1->value())); }

void Form1::lbl_File_Click() {
  // The name box starts with the name of the file last loaded or tried,
  // which is what "Load" takes.
  const std::string last = std::filesystem::path(effects_.Animation.QraFilePath).filename().string();
  FrmDialog dialog(AnimationFolderList(), last, [this](const std::string& name) { LoadAnimationName(name); }, this);
  dialog.exec();
}

bool Form1::LoadAnimation(const QString& name) { return LoadAnimationName(name.toLocal8Bit().toStdString()); }

bool Form1::LoadAnimationName(const std::string& name) {
  const bool loaded = LoadQraFile(name, AnimationFolderList(), effects_.Animation);
  // The caption, and what "Make Default" stores, name the same file again.
  if (loaded) {
    qra_name_ = QraShortName(name);
    lbl_File->setText(QString::fromLocal8Bit(qra_name_));
  }
  MakeQraLinkAvailable();
  return loaded;
}

void Form1::MakeQraLinkAvailable() {
  for (int n = 1; n <= kEffectCount; ++n) {
    if (!kEffects[n - 1].needs_animation) continue;
    lbl_Effect[n]->setEnabled(true);
    opt_Effect[n]->setEnabled(true);
  }
}

AnimationFolders Form1::AnimationFolderList() const {
  // Through UTF-16, which every system's paths convert from correctly.
  const std::filesystem::path program = QCoreApplication::applicationDirPath().toStdU16String();
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  AnimationFolders folders = {program};
  if (!data.isEmpty()) folders.push_back(std::filesystem::path(data.toStdU16String()) / "sonovar" / "animations");
  folders.push_back(program.parent_path() / "share" / "sonovar" / "animations");
  return folders;
}

void Form1::EffectStep() {
  EffectInputs in;
  in.SoundLevel = analysis_.SoundLevel;
  in.RedCount = analysis_.RedCount;
  in.YellowCount = analysis_.YellowCount;
  in.RedBias = hsc_RedBias->value();
  in.YellowBias = hsc_YellowBias->value();
  in.CyanBias = hsc_CyanBias->value();
  in.Delay = sld_Delay->value();
  in.Decay = sld_Decay->value();
  effects_.Step(in, ActiveBoardSet(), *board_link_);
}

}  // namespace sonovar
