// sonovar: sound to light.
#include <QApplication>
#include <QStringList>

#include "platform/wavein.h"
#include "sonovar/app/form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Sonovar"));
  sonovar::Form1 form(platform::SystemWaveIn());
  // The words after the program's name, as one text (Qt's own options removed).
  form.SetCommandLine(QApplication::arguments().mid(1).join(QLatin1Char(' ')));
  if (!form.Form_Load()) return 1;
  form.show();
  return QApplication::exec();
}
