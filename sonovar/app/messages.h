// The program's message boxes (all with the error icon and an OK button),
// behind one seam so that tests can see them without a modal box blocking.
#pragma once

#include <functional>
#include <string>
#include <QString>

class QWidget;

namespace sonovar {

struct Message {
  QString text;
  QString title;        // empty: the program's name
  QString informative;  // more detail below the text, may be empty
};

// Shows a message and returns when the user has closed it.
using MessageSink = std::function<void(QWidget* parent, const Message& message)>;

// The real one: a modal QMessageBox.
void ShowMessageBox(QWidget* parent, const Message& message);

// The messages of a start or a failed capture. Each keeps the program's own
// text and says below it what to do, since the text alone leaves a newcomer
// with nothing but an OK button.
Message NoAudioDeviceMessage();
// `input` as the list names it; `error` the service's reason (platform::kWaveError...).
Message InputFailedMessage(const QString& input, int error);
// `detected` as the control gives it, a "1" or "0" for each board 1-16;
// `unusable` what the library says of boards it found but cannot use.
Message NoBoardMessage(const std::string& detected, const QString& unusable);

}  // namespace sonovar
