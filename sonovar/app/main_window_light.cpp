// The light delay on the main window: the user's offset, and the delay the
// show uses, in the room left of "Make Default".
#include <cstdlib>

#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include "sonovar/app/main_window.h"

namespace sonovar {

static_assert(kSettingsLightOffsetMin == kLightOffsetMin && kSettingsLightOffsetMax == kLightOffsetMax,
              "the settings file keeps every offset the show takes");

QString LightDelayText(const ShowView& view) {
  const QString delay = QStringLiteral("light delay %1 ms: ").arg(view.light_delay_ms);
  if (view.speaker_delay_ms < 0) return delay + QStringLiteral("set");
  return delay + QStringLiteral("speaker %1 %2 %3 set")
                     .arg(view.speaker_delay_ms)
                     .arg(view.light_offset_ms < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                     .arg(std::abs(view.light_offset_ms));
}

QHBoxLayout* MainWindow::BuildLightDelayRow(QWidget* beside) {
  lightOffsetCaption = new QLabel(QStringLiteral("Light offset"), this);
  lightOffsetCaption->setObjectName(QStringLiteral("lbl_LightOffset"));
  lightOffsetSpin = new QSpinBox(this);
  lightOffsetSpin->setObjectName(QStringLiteral("spn_LightOffset"));
  lightOffsetSpin->setRange(kLightOffsetMin, kLightOffsetMax);
  lightOffsetSpin->setSingleStep(10);
  lightOffsetSpin->setSuffix(QStringLiteral(" ms"));
  // A value typed digit by digit reaches the show once, when it is complete.
  lightOffsetSpin->setKeyboardTracking(false);
  lightOffsetCaption->setBuddy(lightOffsetSpin);
  // A spin box is a pixel taller than a button in some styles: no taller
  // than the row's button, the window keeps its height.
  lightOffsetSpin->setMaximumHeight(beside->sizeHint().height());
  const QString why = QStringLiteral(
      "Delays the lights to match the speaker: Bluetooth and network speakers play sound late, and a receiver "
      "or TV adds more.");
  lightOffsetCaption->setToolTip(why);
  lightOffsetSpin->setToolTip(why);
  lightDelayValue = new QLabel(this);
  lightDelayValue->setObjectName(QStringLiteral("lbl_LightDelay"));
  lightDelayValue->setToolTip(
      QStringLiteral("The delay the lights get now: the speaker's own, as the sound server tells it for an input "
                     "that hears what the computer plays, plus the offset set here."));
  // It takes the room the row leaves and never asks for more, so a longer
  // text neither widens the window nor moves the layout; the room is kept
  // for a long usual text.
  lightDelayValue->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  lightDelayValue->setMinimumWidth(
      lightDelayValue->fontMetrics().horizontalAdvance(QStringLiteral("light delay 2350 ms: speaker 350 + 2000 set")));
  ShowLightDelay(shown_);

  auto* row = new QHBoxLayout;
  row->addWidget(lightOffsetCaption);
  row->addWidget(lightOffsetSpin);
  row->addSpacing(6);
  row->addWidget(lightDelayValue, 1);
  row->addWidget(beside);
  connect(lightOffsetSpin, &QSpinBox::valueChanged, this,
          [this](int ms) { Post([ms](ShowCore& core) { core.SetLightOffset(ms); }); });
  return row;
}

void MainWindow::ShowLightDelay(const ShowView& view) { lightDelayValue->setText(LightDelayText(view)); }

}  // namespace sonovar
