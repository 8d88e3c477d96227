// The Quorel control's surface for Qt 6 hosts: a widget that owns one control
// (created by its class name through the C interface) and shows its face, a
// fixed square of 540 x 540 twips (3/8 inch) with the control's logo. Link
// against quorelctl_widget (and so quorelctl and Qt6::Widgets).
//
//   auto* quorel = new quorel::ControlWidget(window);
//   layout->addWidget(quorel);
//   if (quorel->control()) quorel->control()->Send(1, "SBA:255,255,255,255,4");
//
// The control belongs to the thread of the widget (the GUI thread).
#pragma once

#include <memory>
#include <QWidget>

class QSvgRenderer;

#include "quorelctl.hpp"

#if defined(_WIN32)
#  if defined(QUORELCTL_WIDGET_BUILDING)
#    define QUORELCTL_WIDGET_API __declspec(dllexport)
#  else
#    define QUORELCTL_WIDGET_API __declspec(dllimport)
#  endif
#else
#  define QUORELCTL_WIDGET_API __attribute__((visibility("default")))
#endif

namespace quorel {

class QUORELCTL_WIDGET_API ControlWidget : public QWidget {
  Q_OBJECT

 public:
  // Creates the control: it finds the boards and sends them their start-up
  // state before this returns. The tooltip is the control's description.
  explicit ControlWidget(QWidget* parent = nullptr);
  // The face alone, with no control of its own: for a host whose control
  // lives on another thread (a control belongs to the thread that made it).
  struct FaceOnly {};
  static constexpr FaceOnly kFaceOnly{};
  explicit ControlWidget(FaceOnly, QWidget* parent = nullptr);
  ~ControlWidget() override;

  // The control, driven through its properties; null when it could not be
  // created (memory ran out), or for the face alone.
  Control* control() const noexcept { return control_.get(); }

  // 540 twips at the widget's screen density: 36 px at 96 dpi.
  int side() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // After every successful property write, from within that write: "Command",
  // "DeviceNumber", "FastCom" or "CompatibilityDelay". A slot may read the
  // control but must not delete the widget at once (deleteLater() is fine).
  void propertyChanged(const QString& property);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  static void Changed(void* container, const char* property);
  void KeepSize();

  std::unique_ptr<Control> control_;
  QSvgRenderer* logo_;  // a child of the widget
};

}  // namespace quorel
