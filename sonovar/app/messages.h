// The program's message boxes (all with the error icon and an OK button),
// behind one seam so that tests can see them without a modal box blocking.
#pragma once

#include <functional>
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

}  // namespace sonovar
