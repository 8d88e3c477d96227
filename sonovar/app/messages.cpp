#include "sonovar/app/messages.h"

#include <QMessageBox>

namespace sonovar {

void ShowMessageBox(QWidget* parent, const Message& message) {
  QMessageBox box(QMessageBox::Critical, message.title.isEmpty() ? QStringLiteral("Sonovar") : message.title,
                  message.text, QMessageBox::Ok, parent);
  box.setInformativeText(message.informative);
  box.exec();
}

}  // namespace sonovar
