#include "sonovar/app/messages.h"

#include <QMessageBox>
#include <QStringList>

#include "platform/wavein.h"

namespace sonovar {

void ShowMessageBox(QWidget* parent, const Message& message) {
  QMessageBox box(QMessageBox::Critical, message.title.isEmpty() ? QStringLiteral("Sonovar") : message.title,
                  message.text, QMessageBox::Ok, parent);
  box.setInformativeText(message.informative);
  box.exec();
}

Message NoAudioDeviceMessage() {
#if defined(_WIN32)
  const QString advice = QStringLiteral(
      "Enable a recording device (Sound settings, Recording: \"Stereo Mix\" plays what the computer plays), "
      "then start Sonovar again.");
#else
  const QString advice = QStringLiteral(
      "Start the sound server (PipeWire or PulseAudio) and start Sonovar again, or name a sound file to play "
      "instead: SONOVAR_INPUT_FILE=song.wav sonovar");
#endif
  return {QStringLiteral("No audio devices were found on your system."), {}, advice};
}

Message InputFailedMessage(const QString& input, int error) {
  QString reason;
  switch (error) {
    case platform::kWaveErrorBadDevice: reason = QStringLiteral("it is no longer there"); break;
    case platform::kWaveErrorBadFormat:
      reason = QStringLiteral("it cannot deliver 11025 Hz stereo 8-bit sound");
      break;
    default:
      reason = QStringLiteral("the sound system refused it (error %1: the sound server did not answer, or the "
                              "device is busy)").arg(error);
  }
  return {QStringLiteral("Wave input device failed to open"), {},
          QStringLiteral("\"%1\" could not be opened: %2. Choose another input, or restart the sound server, "
                         "then click Start again.").arg(input, reason)};
}

Message NoBoardMessage(const std::string& detected, const QString& unusable) {
  QStringList others;
  for (size_t k = 4; k < detected.size(); ++k)
    if (detected[k] == '1') others << QString::number(k + 1);
  QString advice;
  if (!others.isEmpty()) {
    advice = QStringLiteral("Found board %1, but Sonovar drives boards 1-4 only: use a board numbered 1-4, or bind "
                            "the DMX universe to a number 1-4 in the bindings file.")
                 .arg(others.join(QStringLiteral(", ")));
  } else {
    advice = QStringLiteral(
        "Plug in a board (\"quorel detect\" lists what is found), install the udev rule when a board cannot be "
        "opened, bind a number 1-4 to a DMX universe in ~/.config/quorelctl/boards.conf, or try Sonovar on "
        "virtual boards with scripts/run.sh.");
  }
  if (!unusable.isEmpty()) advice += QStringLiteral("\n\n") + unusable;
  return {QStringLiteral("No Supported Quorel or Quorel+KX Detected"), QStringLiteral("Exiting..."), advice};
}

}  // namespace sonovar
