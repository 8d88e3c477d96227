// Small widgets the main window is built from: a label that can be clicked,
// an option button that stays on when clicked again, and the frame drawn
// around a selected board number.
#pragma once

#include <QCache>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

namespace sonovar {

// A label with a click: mouse release inside it, or Space/Enter when it has
// the focus. A disabled label cannot be clicked.
class ClickableLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ClickableLabel(const QString& text, QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

// A label whose text changes many times a second (the peak): each text is
// drawn once, by a hidden twin label with the same settings (so exactly as
// the label itself would draw it), and shown from then on as a picture,
// which costs a copy instead of laying the text out anew at every change.
// It looks see-through, as a plain label: each picture holds the parent's
// background under it and the text. Yet it paints every pixel itself, so a
// new number repaints the label alone, not the group behind it. A change of
// size, place, palette, font, style, state or alignment starts the pictures
// afresh.
class NumberLabel : public QLabel {
 public:
  explicit NumberLabel(const QString& text, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // What the pictures depend on besides the palette, font and style, which
  // the twin takes from this label as its child.
  struct Look {
    QSize size;
    qreal ratio = 0;
    Qt::Alignment alignment;
    int margin = 0, indent = 0;
    Qt::TextFormat format = Qt::AutoText;
    int frame = 0, line_width = 0;
    // Where it lies on its parent, and the parent's size: the background
    // under it is the parent's (a group's, a shade off the window's).
    QPoint position;
    QSize parent_size;
    bool operator==(const Look&) const = default;
  };
  Look CurrentLook() const;

  QLabel* twin_;                           // never shown
  // By text, room for every number the peak can show (0-255): a picture
  // drawn anew costs more than the plain label would. The least used go first.
  QCache<QString, QPixmap> pictures_{256};
  QPixmap background_;  // under every picture
  Look look_;           // of the pictures and the background
};

// An option button of a group whose members are kept apart by their owner,
// so that the group can also stand with none on. A click turns it on, never off.
class OptionButton : public QRadioButton {
 public:
  explicit OptionButton(QWidget* parent = nullptr);

 protected:
  void nextCheckState() override;
};

// The frame around a selected board number: shown means selected.
class SelectionFrame : public QWidget {
 public:
  explicit SelectionFrame(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The colour of the selection frame: the palette's highlight, unless that
// hardly stands out from the window, then the text colour.
QColor SelectionColour(const QPalette& palette);

// WCAG contrast ratio of two colours, 1 (same) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

}  // namespace sonovar
