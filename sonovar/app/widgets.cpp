#include "sonovar/app/widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <cmath>
#include <memory>

namespace sonovar {

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setFocusPolicy(Qt::TabFocus);
  setCursor(Qt::PointingHandCursor);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  QLabel::mouseReleaseEvent(event);
}

void ClickableLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    emit clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

void ClickableLabel::changeEvent(QEvent* event) {
  // A disabled label gets no events, so only an enabled one shows the hand.
  if (event->type() == QEvent::EnabledChange) setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
  QLabel::changeEvent(event);
}

void ClickableLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

NumberLabel::NumberLabel(const QString& text, QWidget* parent) : QLabel(text, parent), twin_(new QLabel(this)) {
  // Digits, never markup: the text is not searched for tags at every change.
  setTextFormat(Qt::PlainText);
  // Every pixel comes from its pictures, the background included: the
  // toolkit then repaints neither a background of its own nor the parent's.
  setAttribute(Qt::WA_OpaquePaintEvent);
  twin_->setAttribute(Qt::WA_DontShowOnScreen);
  twin_->hide();
}

NumberLabel::Look NumberLabel::CurrentLook() const {
  const QWidget* parent = parentWidget();
  return {size(),      devicePixelRatioF(), alignment(), margin(), indent(), textFormat(), frameStyle(),
          lineWidth(), pos(),               parent != nullptr ? parent->size() : QSize()};
}

void NumberLabel::paintEvent(QPaintEvent* event) {
  if (textFormat() == Qt::RichText || wordWrap()) {
    // Opaque: the background is this label's to paint.
    QPainter(this).fillRect(rect(), palette().brush(backgroundRole()));
    QLabel::paintEvent(event);
    return;
  }
  if (const Look look = CurrentLook(); !(look == look_)) {
    pictures_.clear();
    background_ = QPixmap();
    look_ = look;
    twin_->resize(look.size);
    twin_->setAlignment(look.alignment);
    twin_->setMargin(look.margin);
    twin_->setIndent(look.indent);
    twin_->setTextFormat(look.format);
    twin_->setFrameStyle(look.frame);
    twin_->setLineWidth(look.line_width);
  }
  if (!pictures_.contains(text())) {
    if (background_.isNull()) {
      background_ = QPixmap(look_.size * look_.ratio);
      background_.setDevicePixelRatio(look_.ratio);
      // The parent's own background under the label (not its children, this
      // label among them): the number lies on its group's background, which
      // is often a shade off the window's colour. Drawn once: a group's frame
      // is the dearest part of a new picture.
      background_.fill(palette().color(QPalette::Window));
      if (QWidget* parent = parentWidget())
        parent->render(&background_, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
    }
    auto picture = std::make_unique<QPixmap>(background_);
    twin_->setText(text());
    twin_->render(picture.get(), QPoint(), QRegion(), {});
    pictures_.insert(text(), picture.release());
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, *pictures_.object(text()));
}

void NumberLabel::changeEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::EnabledChange:
    case QEvent::LayoutDirectionChange:
      pictures_.clear();
      background_ = QPixmap();
      break;
    default:
      break;
  }
  QLabel::changeEvent(event);
}

OptionButton::OptionButton(QWidget* parent) : QRadioButton(parent) { setAutoExclusive(false); }

void OptionButton::nextCheckState() {
  if (!isChecked()) setChecked(true);
}

SelectionFrame::SelectionFrame(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SelectionFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor colour = SelectionColour(palette());
  QColor fill = colour;
  fill.setAlpha(64);
  constexpr double kPen = 3.0;
  painter.setPen(QPen(colour, kPen));
  painter.setBrush(fill);
  painter.drawRoundedRect(QRectF(rect()).adjusted(kPen / 2, kPen / 2, -kPen / 2, -kPen / 2), 5, 5);
}

namespace {

double Luminance(const QColor& c) {
  auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor SelectionColour(const QPalette& palette) {
  // 3:1 is what a graphical object needs to be seen against its background.
  const QColor window = palette.color(QPalette::Window);
  const QColor highlight = palette.color(QPalette::Highlight);
  return ContrastRatio(highlight, window) >= 3.0 ? highlight : palette.color(QPalette::WindowText);
}

}  // namespace sonovar
