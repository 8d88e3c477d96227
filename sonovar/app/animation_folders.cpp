#include "sonovar/app/animation_folders.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace sonovar {

AnimationFolders ProgramAnimationFolders() {
  // Through UTF-16, which every system's paths convert from correctly.
  const std::filesystem::path program = QCoreApplication::applicationDirPath().toStdU16String();
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  AnimationFolders folders = {program};
  if (!data.isEmpty()) folders.push_back(std::filesystem::path(data.toStdU16String()) / "sonovar" / "animations");
  folders.push_back(program.parent_path() / "share" / "sonovar" / "animations");
  return folders;
}

}  // namespace sonovar
