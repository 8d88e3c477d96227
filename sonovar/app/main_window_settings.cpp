// The settings file on the main window ("Make Default" and the load at
// start), and the command-line words.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include "sonovar/app/main_window.h"
#include "sonovar/app/widgets.h"

namespace sonovar {

void MainWindow::onMakeDefaultClicked() {
  SettingsRecord& r = settings_;
  r.Delay = static_cast<int16_t>(delaySlider->value());
  r.Decay = static_cast<int16_t>(decaySlider->value());
  r.CyanBias = static_cast<int16_t>(cyanBiasSlider->value());
  r.YellowBias = static_cast<int16_t>(yellowBiasSlider->value());
  r.RedBias = static_cast<int16_t>(redBiasSlider->value());
  r.InputDevice = static_cast<int16_t>(StoredInput(inputList->currentIndex()));
  r.Turbo = turboCheck->checkState() != Qt::Unchecked;
  r.NonTurboDelay = static_cast<int16_t>(reportDelaySlider->value());
  r.Name = qra_name_.empty() ? animationFileLabel->text().toLocal8Bit().toStdString() : qra_name_;
  r.BoardActive = ActiveBoardSet();
  r.AutoLevel = autoLevelCheck->isChecked();
  r.LightOffset = static_cast<int16_t>(lightOffsetSpin->value());
  int chosen = 0;
  for (int n = 1; n <= kEffectCount; ++n)
    if (effectOptions[n]->isChecked()) chosen = n;
  StoreEffectChoice(r, chosen);
  const std::string error = SaveSettingsFile(kSettingsFileName, r);
  if (!error.empty())
    messages_(this, {QStringLiteral("The settings could not be stored in %1.").arg(kSettingsFileName), {},
                     QString::fromLocal8Bit(error)});
}

void MainWindow::applySettingsFile() {
  QCoreApplication::processEvents();
  settings_ = LoadSettingsFile(kSettingsFileName);
  const SettingsRecord& r = settings_;
  // Each assignment runs the control's own change handler; the sliders keep
  // a stored value within their range.
  delaySlider->setValue(r.Delay);
  decaySlider->setValue(r.Decay);
  cyanBiasSlider->setValue(r.CyanBias);
  yellowBiasSlider->setValue(r.YellowBias);
  redBiasSlider->setValue(r.RedBias);
  // -1 is the system's default input. A device that is no longer in the
  // list leaves the selection as it is.
  if (const int row = InputRow(r.InputDevice); row >= 0 && row < inputList->count()) inputList->setCurrentIndex(row);
  reportDelaySlider->setValue(r.NonTurboDelay);
  turboCheck->setChecked(r.Turbo);
  autoLevelCheck->setChecked(r.AutoLevel);
  lightOffsetSpin->setValue(r.LightOffset);
  // A stored board that is not there this time is left alone.
  for (int n = 1; n <= kProgramBoards; ++n)
    if (r.BoardActive[n] && boardNumbers[n]->isEnabled()) onBoardClicked(n);
  // In the order of the options, as a user's clicks would: the chosen one
  // turned on runs its handler; an effect that plays the animation brings
  // back the stored animation.
  const int chosen = ChosenEffect(r);
  if (chosen == 0) {
    // None stored: Pulse drives, as it always did, and is shown so. Nothing
    // is sent for it, as nothing was.
    for (int n = 1; n <= kEffectCount; ++n) {
      const QSignalBlocker quiet(effectOptions[n]);
      effectOptions[n]->setChecked(n == kPulse);
    }
  }
  for (int n = 1; chosen != 0 && n <= kEffectCount; ++n) {
    effectOptions[n]->setChecked(n == chosen);
    if (n != chosen || !kEffects[n - 1].needs_animation) continue;
    if (LoadQraFile(r.Name, AnimationFolderList(), animation_)) {
      qra_name_ = r.Name;
      animationFileLabel->setText(QString::fromLocal8Bit(r.Name));
    }
    ShareAnimation();
    MakeQraLinkAvailable();
  }
  startupWordsTimer->start();
}

void MainWindow::obeyStartupWords() {
  startupWordsTimer->stop();
  const QString words = command_line_.toUpper();
  if (words.contains(QStringLiteral("HIDE"))) showMinimized();
  if (words.contains(QStringLiteral("START"))) onStartStopClicked();
}

}  // namespace sonovar
