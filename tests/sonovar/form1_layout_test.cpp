// The window at the scale QT_SCALE_FACTOR sets (one run per scale): every
// visible widget lies inside its parent and no two visible siblings overlap,
// so nothing is cut or hidden. SONOVAR_SCREENSHOT names a file for the picture.
#include <QtTest/QtTest>

#include "platform/wavein_backend.h"
#include "sonovar/app/main_window.h"
#include "sonovar/app/widgets.h"
#include "support/recording_board_link.h"
#include "support/scripted_wave.h"
#include "support/window_support.h"

using namespace sonovar;

namespace {

QString Name(const QWidget* w) {
  return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

// The faults of `parent`'s visible children, and of theirs, one line each.
void FindCuts(const QWidget* parent, QStringList* faults) {
  QList<const QWidget*> shown;
  for (const QObject* o : parent->children()) {
    const auto* w = qobject_cast<const QWidget*>(o);
    if (w == nullptr || w->isWindow() || !w->isVisible()) continue;
    shown << w;
    if (!parent->rect().contains(w->geometry()))
      *faults << Name(w) + " is cut by " + Name(parent);
    FindCuts(w, faults);
  }
  for (int i = 0; i < shown.size(); ++i)
    for (int j = i + 1; j < shown.size(); ++j)
      if (shown[i]->geometry().intersects(shown[j]->geometry()))
        *faults << Name(shown[i]) + " overlaps " + Name(shown[j]);
}

}  // namespace

class Form1LayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void nothingIsCutOrHidden() {
    testing_support::WorkingFolder folder;
    folder.WriteSettings(testing_support::UsualSettings());
    auto backend = std::make_unique<testing_support::ScriptedBackend>();
    backend->devices = {{"Monitor of Built-in Audio Analog Stereo", true, true, "m"}, {"Built-in Audio Analog Stereo", true, false, "i"}};
    std::vector<std::unique_ptr<platform::WaveInBackend>> list;
    list.push_back(std::move(backend));
    auto wave = platform::MakeWaveIn(std::move(list));
    auto link = std::make_unique<testing_support::RecordingBoardLink>();
    link->detected = "1010000000000000";
    MainWindow form(*wave, [](QWidget*, const Message& m) { QFAIL(qPrintable(m.text)); }, std::move(link));
    form.SetBoardKnowledgeSource([] { return BoardKnowledge{}; });
    QVERIFY(form.LoadStartupState());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList faults;
    FindCuts(&form, &faults);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    if (const char* out = std::getenv("SONOVAR_SCREENSHOT")) QVERIFY(form.grab().save(QString::fromLocal8Bit(out)));
  }
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
