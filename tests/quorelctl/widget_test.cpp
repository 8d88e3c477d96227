// The control's widget offscreen on virtual board 1, once at 100 % and once
// at 200 % (QT_SCALE_FACTOR): its size, a resize that snaps back, and one
// signal per property write.
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QtTest/QtTest>
#include <quorelctl_widget.h>

class ControlWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void isThreeEighthsOfAnInchDrawnAtTheDevicesResolution() {
    const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    QWidget host;
    auto* w = new quorel::ControlWidget(&host);
    (new QHBoxLayout(&host))->addWidget(w, 1);
    host.resize(400, 300);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QCOMPARE(w->logicalDpiX(), 96);
    QCOMPARE(w->devicePixelRatioF(), scale);
    QCOMPARE(w->toolTip(), QStringLiteral("Allows direct calls to state and profile Quorel commands."));
    for (QSize forced : {QSize(100, 20), QSize(90, 90)}) {
      QCOMPARE(w->size(), QSize(36, 36));
      w->setFixedSize(forced);
    }
    QCOMPARE(w->size(), QSize(36, 36));
    const QImage face = w->grab().toImage();
    QCOMPARE(face.size(), QSize(36, 36) * scale);
    const QColor lamp = face.pixelColor(QPoint(10, 13) * scale);  // the red lamp of the logo
    QVERIFY2(lamp.red() > 200 && lamp.green() < lamp.red() / 2 && lamp.blue() < lamp.red() / 2,
             qPrintable(lamp.name()));
    // Not a smaller picture blown up: some 2 x 2 block of device pixels is not of one colour.
    bool detail = scale == 1;
    for (int y = 0; y + 1 < face.height() && !detail; y += 2)
      for (int x = 0; x + 1 < face.width() && !detail; x += 2)
        detail = face.pixel(x, y) != face.pixel(x + 1, y + 1) || face.pixel(x + 1, y) != face.pixel(x, y + 1);
    QVERIFY(detail);
  }

  void eachWriteSignalsItsPropertyOnce() {
    quorel::ControlWidget w;
    QVERIFY(w.control() != nullptr);
    QSignalSpy spy(&w, &quorel::ControlWidget::propertyChanged);
    quorel::Control& control = *w.control();
    control.Send(1, "SBA:255,255,255,255,4");
    control.SetFastCom(true);
    control.SetCompatibilityDelay(2);
    control.SetCommand("SBA:0,0,0,0,3");
    QVERIFY_THROWS_EXCEPTION(quorel::Error, control.SetDeviceNumber(17));  // refused: no change
    QStringList names;
    for (const QList<QVariant>& signal : spy) names << signal.at(0).toString();
    QCOMPARE(names, (QStringList{"DeviceNumber", "Command", "FastCom", "CompatibilityDelay", "Command"}));
  }
};

QTEST_MAIN(ControlWidgetTest)
#include "widget_test.moc"
