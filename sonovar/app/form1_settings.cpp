// The settings file on the main window ("Make Default" and the load at
// start), and the command-line words.
#include <algorithm>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "sonovar/app/form1.h"
#include "sonovar/app/widgets.h"

namespace sonovar {

static_assert(std::ranges::all_of(kEffects, [](const Effect& e) { return e.stored_as <= kStoredEffects; }),
              "an effect's choice is stored in a field the settings file has");

void Form1::Command2_Click() {
  SettingsRecord& r = settings_;
  r.Delay = static_cast<int16_t>(sld_Delay->value());
  r.Decay = static_cast<int16_t>(sld_Decay->value());
  r.CyanBias = static_cast<int16_t>(hsc_CyanBias->value());
  r.YellowBias = static_cast<int16_t>(hsc_YellowBias->value());
  r.RedBias = static_cast<int16_t>(hsc_RedBias->value());
  r.InputDevice = static_cast<int16_t>(Combo1->currentIndex());
  r.Turbo = Check1->checkState() != Qt::Unchecked;
  r.NonTurboDelay = static_cast<int16_t>(Slider1->value());
  r.Name = qra_name_.empty() ? lbl_File->text().toLocal8Bit().toStdString() : qra_name_;
  r.BoardActive = ActiveBoardSet();
  for (int n = 1; n <= kEffectCount; ++n)
    if (const int field = kEffects[n - 1].stored_as; field != 0) r.EffectSelected[field] = opt_Effect[n]->isChecked();
  const std::string error = SaveSettingsFile(kSettingsFileName, r);
  if (!error.empty())
    messages_(this, {QStringLiteral("The settings could not be stored in %1.").arg(kSettingsFileName), {},
                     QString::fromLocal8Bit(error)});
}

void Form1::LoadSettings() {
  QCoreApplication::processEvents();
  settings_ = LoadSettingsFile(kSettingsFileName);
  const SettingsRecord& r = settings_;
  // Each assignment runs the control's own change handler; the sliders keep
  // a stored value within their range.
  sld_Delay->setValue(r.Delay);
  sld_Decay->setValue(r.Decay);
  hsc_CyanBias->setValue(r.CyanBias);
  hsc_YellowBias->setValue(r.YellowBias);
  hsc_RedBias->setValue(r.RedBias);
  // -1 is no input chosen: Start then records from the system's default
  // input. A device that is no longer in the list leaves the selection as it is.
  if (r.InputDevice >= -1 && r.InputDevice < Combo1->count()) Combo1->setCurrentIndex(r.InputDevice);
  Slider1->setValue(r.NonTurboDelay);
  Check1->setChecked(r.Turbo);
  // A stored board that is not there this time is left alone.
  for (int n = 1; n <= kProgramBoards; ++n)
    if (r.BoardActive[n] && lbl_DevNum[n]->isEnabled()) lbl_DevNum_Click(n);
  // In the order of the options; an effect that plays the animation brings
  // back the stored animation when it is the chosen one.
  for (int n = 1; n <= kEffectCount; ++n) {
    const Effect& effect = kEffects[n - 1];
    if (effect.stored_as == 0) continue;
    const bool chosen = r.EffectSelected[effect.stored_as];
    opt_Effect[n]->setChecked(chosen);
    if (chosen && effect.needs_animation) {
      if (LoadQraFile(r.Name, AnimationFolderList(), effects_.Animation)) {
        qra_name_ = r.Name;
        lbl_File->setText(QString::fromLocal8Bit(r.Name));
      }
      MakeQraLinkAvailable();
    }
  }
  tmr_Hide->start();
}

void Form1::tmr_Hide_Timer() {
  tmr_Hide->stop();
  const QString words = command_line_.toUpper();
  if (words.contains(QStringLiteral("HIDE"))) showMinimized();
  if (words.contains(QStringLiteral("START"))) Command1_Click();
}

}  // namespace sonovar
