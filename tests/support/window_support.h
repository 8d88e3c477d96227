// What the window tests share: a working folder of their own (the settings
// file lies in the working folder) and settings files to start from.
#pragma once

#include <QDir>
#include <QTemporaryDir>

#include "sonovar/app/settings_file.h"

namespace testing_support {

// The settings a user has who never moved anything: what the window shows
// before a settings file is applied.
inline sonovar::SettingsRecord UsualSettings() {
  sonovar::SettingsRecord r;
  r.Decay = 3;
  r.CyanBias = r.YellowBias = r.RedBias = 128;
  r.Turbo = true;
  r.NonTurboDelay = 1;
  r.EffectSelected[1] = true;
  r.Name = "Select File";
  return r;
}

// Makes a fresh folder the working folder for the life of the object.
class WorkingFolder {
 public:
  WorkingFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~WorkingFolder() { QDir::setCurrent(previous_); }
  QString path() const { return dir_.path(); }
  QString file(const QString& name) const { return dir_.filePath(name); }
  // Writes the settings file the window reads at start.
  void WriteSettings(const sonovar::SettingsRecord& record) const {
    sonovar::SaveSettingsFile(file(sonovar::kSettingsFileName).toStdString(), record);
  }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

}  // namespace testing_support
