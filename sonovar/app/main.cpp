// sonovar: sound to light.
#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/stop_signal.h"
#include "platform/wavein.h"
#include "sonovar/app/animation_folders.h"
#include "sonovar/app/main_window.h"
#include "sonovar/app/no_window.h"

namespace {

constexpr const char* kOffscreenAdvice =
    "to run Sonovar without a display, start it as sonovar --no-window (the show from Sonovar.SET in "
    "this folder, until Ctrl+C)";

bool Set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// The toolkit's warnings while it looks for a display; the first one names
// the cause when it then gives up.
std::string g_startup_warning;

void StartupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtFatalMsg) {
    if (g_startup_warning.empty()) g_startup_warning = message.toStdString();
    return;
  }
  const std::string why = g_startup_warning.empty() ? message.toStdString() : g_startup_warning;
  std::fprintf(stderr, "sonovar: no display could be opened (%s); %s\n", why.c_str(), kOffscreenAdvice);
  std::_Exit(1);
}

bool WithoutWindow(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--no-window") return true;
  return false;
}

int RunWithoutWindow(int argc, char** argv) {
  // Before any thread starts, so that every thread leaves the signals to the wait.
  platform::HoldStopSignals();
  // The program's folders only: no display, no platform plugin.
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Sonovar"));
  return sonovar::RunWithoutWindow(platform::SystemWaveIn(), sonovar::ProgramAnimationFolders(), stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (WithoutWindow(argc, argv)) return RunWithoutWindow(argc, argv);
  // Without a display the toolkit would abort the program; say so instead.
  if (!Set("QT_QPA_PLATFORM") && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
    std::fprintf(stderr, "sonovar: no display found (DISPLAY is not set); %s\n", kOffscreenAdvice);
    return 1;
  }
  // On X, the window's repaints are small (a number, a bar) and come about 25
  // times a second while sound plays. Through shared memory each one makes
  // the toolkit wait for the X server's completion event before the next
  // paint, waking two threads a repaint; sent over the connection they cost
  // a few kilobytes and no wait. The user's own choice stands.
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  qInstallMessageHandler(StartupMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(nullptr);
  QApplication::setApplicationName(QStringLiteral("Sonovar"));
  sonovar::MainWindow form(platform::SystemWaveIn());
  // The words after the program's name, as one text (Qt's own options removed).
  form.SetCommandLine(QApplication::arguments().mid(1).join(QLatin1Char(' ')));
  if (!form.LoadStartupState()) return 1;
  form.show();
  return QApplication::exec();
}
