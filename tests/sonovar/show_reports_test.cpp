// The fixed show of support/show_script.h, driven through the window as a
// user would: the board writes must be those of tests/data/show_reports.txt.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QtTest>

#include "platform/wavein_backend.h"
#include "sonovar/app/form1.h"
#include "support/recording_board_link.h"
#include "support/scripted_wave.h"
#include "support/show_script.h"
#include "support/window_support.h"

using namespace sonovar;
namespace script = testing_support::show_script;
using testing_support::Widget;

class ShowReportsTest : public QObject {
  Q_OBJECT

 private slots:
  void boardsReceiveTheRecordedWrites() {
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QDir(data.path()).mkpath(QStringLiteral("sonovar/animations"));
    script::WriteAnimation((data.path() + "/sonovar/animations/show-test.qra").toStdString());
    testing_support::WorkingFolder folder;  // no settings file: the defaults

    auto backend_owned = std::make_unique<testing_support::ScriptedBackend>();
    testing_support::ScriptedBackend* backend = backend_owned.get();
    backend->devices = {{"Scripted", true, true, "s"}};
    std::vector<std::unique_ptr<platform::WaveInBackend>> backends;
    backends.push_back(std::move(backend_owned));
    auto wave = platform::MakeWaveIn(std::move(backends));
    auto link_owned = std::make_unique<testing_support::RecordingBoardLink>();
    testing_support::RecordingBoardLink* link = link_owned.get();
    Form1 form(*wave, [](QWidget*, const Message&) {}, std::move(link_owned));
    QVERIFY(form.Form_Load());
    auto load = [&form] { QVERIFY(form.LoadAnimation(QStringLiteral("show-test"))); };
    // The window's own timer must not tick: the script places the ticks.
    Widget<QTimer>(form, "tmr_ResetPeak")->setInterval(1 << 30);
    script::ActAfter(-1, form, load);

    int done = 0;
    int64_t next_deadline = script::kTickMicros;
    auto deliver = [&](int i) {
      const auto bytes = script::Buffer(i);
      backend->Deliver({bytes.begin(), bytes.end()});
    };
    form.AfterAnalysis = [&] {
      const int i = done++;
      for (int t = script::TicksDueAfter(i, &next_deadline); t > 0; --t) form.tmr_ResetPeak_Timer();
      script::ActAfter(i, form, load);
      if (i + 1 < script::kBuffers) deliver(i + 1);
      else Widget<QPushButton>(form, "Command1")->click();
    };
    QTimer::singleShot(0, &form, [&] { deliver(0); });
    form.Command1_Click();
    QCOMPARE(done, script::kBuffers);

    const char* record = std::getenv("SONOVAR_RECORD_SHOW_REPORTS");
    if (record != nullptr) {
      std::ofstream out(record);
      for (const std::string& w : link->writes) out << w << '\n';
    }
    const auto want = script::ReadLines(SONOVAR_SHOW_REPORTS);
    QVERIFY(!want.empty());
    QCOMPARE(link->writes.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k)
      QVERIFY2(link->writes[k] == want[k], qPrintable(QStringLiteral("write %1: %2 instead of %3")
                                                        .arg(k)
                                                        .arg(QString::fromStdString(link->writes[k]),
                                                             QString::fromStdString(want[k]))));
  }
};

QTEST_MAIN(ShowReportsTest)
#include "show_reports_test.moc"
