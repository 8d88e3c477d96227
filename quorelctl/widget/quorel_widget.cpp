#include "quorelctl_widget.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QSvgRenderer>

namespace quorel {

namespace {

constexpr double kSideTwips = 540;
constexpr double kTwipsPerInch = 1440;
// The logo is 32 px on the 36 px face, centred.
constexpr double kLogoShare = 32.0 / 36.0;

}  // namespace

ControlWidget::ControlWidget(FaceOnly, QWidget* parent)
    : QWidget(parent), logo_(new QSvgRenderer(QStringLiteral(":/quorelctl/quorel_logo.svg"), this)) {
  setToolTip(QStringLiteral(QUOREL_CLASS_DESCRIPTION));
  setAccessibleName(QStringLiteral("Quorel"));
  setAccessibleDescription(QStringLiteral(QUOREL_CLASS_DESCRIPTION));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  KeepSize();
}

ControlWidget::ControlWidget(QWidget* parent) : ControlWidget(kFaceOnly, parent) {
  try {
    control_ = std::make_unique<Control>(&ControlWidget::Changed, this);
  } catch (const Error&) {
    // Only memory running out stops the creation; the host sees no control.
  }
}

ControlWidget::~ControlWidget() = default;

int ControlWidget::side() const { return qRound(kSideTwips * logicalDpiX() / kTwipsPerInch); }

QSize ControlWidget::sizeHint() const { return {side(), side()}; }

QSize ControlWidget::minimumSizeHint() const { return sizeHint(); }

void ControlWidget::Changed(void* container, const char* property) {
  emit static_cast<ControlWidget*>(container)->propertyChanged(QString::fromLatin1(property));
}

void ControlWidget::KeepSize() {
  const int s = side();
  if (minimumSize() != QSize(s, s) || maximumSize() != QSize(s, s)) setFixedSize(s, s);
  if (size() != QSize(s, s)) resize(s, s);
}

bool ControlWidget::event(QEvent* event) {
  // Another screen may have another density: 540 twips are then another
  // number of pixels.
  if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show) KeepSize();
  return QWidget::event(event);
}

void ControlWidget::resizeEvent(QResizeEvent* event) {
  // A host or a layout that forces another size gets the square back.
  QWidget::resizeEvent(event);
  KeepSize();
}

void ControlWidget::paintEvent(QPaintEvent*) {
  // Drawn from the vectors at the device's own resolution: crisp at any scale.
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const double s = side();
  const double logo = s * kLogoShare;
  logo_->render(&painter, QRectF((s - logo) / 2, (s - logo) / 2, logo, logo));
}

}  // namespace quorel
