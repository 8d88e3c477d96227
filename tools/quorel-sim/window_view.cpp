// The lamp window as the simulator's view. The simulator's loop waits in a Qt
// event loop here, woken by socket notifiers on its descriptors (board nodes,
// signal pipe), so the window stays live while the loop sleeps and nothing
// polls while the boards are idle.
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "lamp_window.h"
#include "view.h"

namespace quorel_sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrameMilliseconds = 17;  // at most 60 redraws a second

class SimWindow final : public LampWindow {
 protected:
  // Closing the window ends the simulator as Ctrl-C does.
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    ::raise(SIGINT);
  }
};

class WindowView final : public View {
 public:
  WindowView() : app_(argc_, argv_) {
    QApplication::setQuitOnLastWindowClosed(false);
    window_.setWindowTitle(QStringLiteral("quorel-sim"));
    rate_timer_.setSingleShot(true);
    QObject::connect(&rate_timer_, &QTimer::timeout, [this] { UpdateRates(); });
    // For the figures in bench/: one line per redraw, the steady clock in
    // microseconds and the reports shown of each board.
    if (const char* path = std::getenv("QUOREL_SIM_PAINT_LOG"); path != nullptr && *path != '\0') {
      paint_log_ = std::fopen(path, "w");
      if (paint_log_ == nullptr) std::fprintf(stderr, "quorel-sim: cannot write %s: %s\n", path, std::strerror(errno));
    }
    window_.OnPainted([this] { LogPaint(); });
  }
  ~WindowView() override {
    if (paint_log_ != nullptr) std::fclose(paint_log_);
  }

  // The window opens with the first drawing, when the boards are known.
  void Begin() override {}
  void End() override {
    QCoreApplication::processEvents();  // the last drawing
    window_.hide();
  }

  int MillisecondsToNextFrame() const override {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_frame_).count();
    return std::max<int>(0, kFrameMilliseconds - static_cast<int>(elapsed));
  }

  void Draw(const std::vector<ViewBoard>& boards, double seconds) override {
    const bool first = boards.size() != rates_.size();
    if (first) {
      rates_.assign(boards.size(), ReportRate());
      QStringList numbers;
      for (const ViewBoard& b : boards) numbers << QString::number(b.number);
      window_.setWindowTitle(QStringLiteral("quorel-sim: boards ") + numbers.join(QStringLiteral(", ")));
    }
    std::vector<LampWindow::Row> rows;
    rows.reserve(boards.size());
    for (size_t i = 0; i < boards.size(); ++i) {
      rates_[i].Update(boards[i].model->reports, seconds);
      rows.push_back({boards[i].number, *boards[i].model, rates_[i].value(), boards[i].unplugged});
    }
    window_.Show(std::move(rows), seconds);
    if (first) {
      window_.resize(window_.sizeHint());
      window_.show();
    }
    seconds_at_draw_ = seconds;
    clock_at_draw_ = last_frame_ = Clock::now();
    ArmRateTimer();
  }

  int Wait(std::vector<pollfd>& fds, int timeout_ms) override {
    QCoreApplication::processEvents();  // redraws and window-system events waiting now
    int ready = ::poll(fds.data(), fds.size(), 0);
    if (ready != 0 || timeout_ms == 0) return ready;
    WatchOnly(fds);
    QEventLoop loop;
    loop_ = &loop;
    QTimer timeout;
    if (timeout_ms > 0) {
      timeout.setSingleShot(true);
      timeout.setTimerType(Qt::PreciseTimer);
      QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
      timeout.start(timeout_ms);
    }
    loop.exec();
    loop_ = nullptr;
    return ::poll(fds.data(), fds.size(), 0);
  }

 private:
  // One read notifier per descriptor of the loop; they only wake the loop,
  // poll(2) then says what is ready.
  void WatchOnly(const std::vector<pollfd>& fds) {
    std::map<int, std::unique_ptr<QSocketNotifier>> kept;
    for (const pollfd& p : fds) {
      if (p.fd < 0 || kept.count(p.fd) != 0) continue;
      auto it = notifiers_.find(p.fd);
      if (it != notifiers_.end()) {
        kept[p.fd] = std::move(it->second);
        continue;
      }
      auto notifier = std::make_unique<QSocketNotifier>(p.fd, QSocketNotifier::Read);
      QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
        if (loop_ != nullptr) loop_->quit();
      });
      kept[p.fd] = std::move(notifier);
    }
    notifiers_ = std::move(kept);  // notifiers of descriptors no longer watched go
  }

  void ArmRateTimer() {
    double due = std::numeric_limits<double>::infinity();
    for (const ReportRate& r : rates_) due = std::min(due, r.due());
    if (std::isinf(due)) {
      rate_timer_.stop();
      return;
    }
    const double wait = due - seconds_at_draw_;
    rate_timer_.start(std::max(0, static_cast<int>(std::ceil(wait * 1000))));
  }

  // The rates change without a report (they fall to 0 after the last one):
  // recounted once a second until they settle, within the frame limit.
  void UpdateRates() {
    if (const int wait = MillisecondsToNextFrame(); wait > 0) {
      rate_timer_.start(wait);
      return;
    }
    const double seconds = seconds_at_draw_ + std::chrono::duration<double>(Clock::now() - clock_at_draw_).count();
    bool changed = false;
    std::vector<double> values;
    const auto& rows = window_.rows();
    for (size_t i = 0; i < rates_.size() && i < rows.size(); ++i) {
      changed = rates_[i].Update(rows[i].model.reports, seconds) || changed;
      values.push_back(rates_[i].value());
    }
    if (changed) {
      window_.ShowRates(values);
      last_frame_ = Clock::now();
    }
    seconds_at_draw_ = seconds;
    clock_at_draw_ = Clock::now();
    ArmRateTimer();
  }

  void LogPaint() {
    if (paint_log_ == nullptr) return;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
    std::fprintf(paint_log_, "%lld", static_cast<long long>(us));
    for (const LampWindow::Row& row : window_.rows())
      std::fprintf(paint_log_, " %d:%llu", row.number, static_cast<unsigned long long>(row.model.reports));
    std::fputc('\n', paint_log_);
    std::fflush(paint_log_);
  }

  // Qt's own options are not the simulator's: it sees only a program name.
  int argc_ = 1;
  char name_[11] = "quorel-sim";
  char* argv_[2] = {name_, nullptr};
  QApplication app_;
  SimWindow window_;
  QTimer rate_timer_;
  std::vector<ReportRate> rates_;
  std::map<int, std::unique_ptr<QSocketNotifier>> notifiers_;
  QEventLoop* loop_ = nullptr;  // the loop of the current Wait, else null
  Clock::time_point last_frame_{}, clock_at_draw_{};
  double seconds_at_draw_ = 0;
  std::FILE* paint_log_ = nullptr;
};

// Qt ends the program when it cannot open its platform (no display): say
// so in our words instead, before anything of the simulator exists.
std::string g_startup_warnings;

void StartupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtFatalMsg) {
    if (g_startup_warnings.empty()) g_startup_warnings = message.toStdString();  // the cause comes first
    return;
  }
  const std::string why = g_startup_warnings.empty() ? message.toStdString() : g_startup_warnings;
  std::fprintf(stderr, "quorel-sim: cannot open a window (%s); use --view terminal or --view none\n", why.c_str());
  std::_Exit(1);
}

}  // namespace

std::unique_ptr<View> MakeWindowView() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const bool default_platform = platform == nullptr || *platform == '\0';
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (default_platform && (display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
    std::fprintf(stderr, "quorel-sim: --view window needs a display, and DISPLAY is not set; "
                         "use --view terminal or --view none\n");
    return nullptr;
  }
  qInstallMessageHandler(StartupMessages);
  auto view = std::make_unique<WindowView>();
  qInstallMessageHandler(nullptr);
  g_startup_warnings.clear();
  return view;
}

}  // namespace quorel_sim
