// A window's widgets found by their object names, as its users know them;
// an array's element carries its index after the name ("lbl_DevNum3").
#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <typeinfo>

namespace testing_support {

// The child of `window` named `name`, as a T. A missing or differently typed
// one ends the run at once, naming it, rather than failing later on a null.
// dynamic_cast, since not every widget class of the window declares Q_OBJECT.
template <typename T>
T* Widget(const QObject& window, const QString& name) {
  T* found = dynamic_cast<T*>(window.findChild<QObject*>(name));
  if (found == nullptr)
    qFatal("%s has no %s named %s", qPrintable(window.objectName()), typeid(T).name(), qPrintable(name));
  return found;
}

template <typename T>
T* Widget(const QObject& window, const QString& name, int index) {
  return Widget<T>(window, name + QString::number(index));
}

}  // namespace testing_support
