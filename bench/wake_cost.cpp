// What one wake-up of a window's thread costs, and what one new number in a
// peak label adds to it: the floor under Sonovar's own CPU. A window about
// the size of Sonovar's, a timer at a fixed period and, at each tick,
// nothing ("wake"), a new text in a peak label ("number"), or in a plain
// label of the same look ("plain"). Prints the thread's CPU per tick.
//
//   wake_cost [MS] [TICKS]   (run it on the display to measure: Xvfb, a desktop)
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>
#include <ctime>

#include "sonovar/app/widgets.h"

namespace {

double ThreadMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Microseconds of this thread's CPU per tick of a `period_ms` timer, over
// `ticks` ticks after a warm-up; `change` runs at each tick.
double PerTick(int period_ms, int ticks, const std::function<void(int)>& change) {
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  timer.setInterval(period_ms);
  constexpr int kWarmUp = 200;  // every number once: the pictures are drawn
  int tick = 0;
  double start = 0;
  QEventLoop loop;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (++tick == kWarmUp) start = ThreadMilliseconds();
    if (tick == kWarmUp + ticks) loop.quit();
    change(tick);
  });
  timer.start();
  loop.exec();
  return (ThreadMilliseconds() - start) * 1e3 / ticks;
}

}  // namespace

int main(int argc, char** argv) {
  // As Sonovar runs on X.
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  QApplication app(argc, argv);
  const int period = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const int ticks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 400;

  QWidget window;
  window.resize(630, 458);
  auto* grid = new QGridLayout(&window);
  for (int i = 0; i < 9; ++i) grid->addWidget(new QPushButton(QStringLiteral("Button %1").arg(i)), i / 3, i % 3);
  auto* levels = new QGroupBox(QStringLiteral("Levels"));
  auto* inner = new QGridLayout(levels);
  grid->addWidget(levels, 3, 0, 1, 3);
  auto* number = new sonovar::NumberLabel(QStringLiteral("0"));
  auto* plain = new QLabel(QStringLiteral("0"));
  plain->setAutoFillBackground(true);
  for (QLabel* label : {static_cast<QLabel*>(number), plain}) {
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFixedSize(label->fontMetrics().horizontalAdvance(QStringLiteral("-0000")), label->sizeHint().height());
  }
  inner->addWidget(new QLabel(QStringLiteral("Peak Audio Level")), 0, 0);
  inner->addWidget(number, 0, 1);
  inner->addWidget(new QLabel(QStringLiteral("Averaged Peak")), 1, 0);
  inner->addWidget(plain, 1, 1);
  for (int i = 0; i < 4; ++i) inner->addWidget(new QScrollBar(Qt::Vertical), 2, i);
  window.show();

  std::printf("wake_cost: one tick every %d ms, %d ticks each, on %s\n", period, ticks,
              qPrintable(QGuiApplication::platformName()));
  const double wake = PerTick(period, ticks, [](int) {});
  const double with_number = PerTick(period, ticks, [&](int t) { number->setText(QString::number(t % 192 + 64)); });
  const double with_plain = PerTick(period, ticks, [&](int t) { plain->setText(QString::number(t % 192 + 64)); });
  std::printf("wake alone          %7.1f us a tick\n", wake);
  std::printf("new peak number     %7.1f us a tick (%+.1f)\n", with_number, with_number - wake);
  std::printf("new plain label     %7.1f us a tick (%+.1f)\n", with_plain, with_plain - wake);
  return 0;
}
