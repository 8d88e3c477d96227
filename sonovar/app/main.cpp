// sonovar: sound to light.
#include <QApplication>

#include "platform/wavein.h"
#include "sonovar/app/form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Sonovar"));
  sonovar::Form1 form(platform::SystemWaveIn());
  form.Form_Load();
  form.show();
  return QApplication::exec();
}
