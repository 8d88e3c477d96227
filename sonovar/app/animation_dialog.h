// The dialog that picks an animation file: the files of the animation
// folders, a name box, "Load" and "Cancel".
#pragma once

#include <functional>
#include <string>
#include <QDialog>

#include "sonovar/animation/qra_file.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sonovar {

class AnimationDialog : public QDialog {
 public:
  // `load` runs on "Load" with the name in the name box: the bytes of the
  // listed (or pre-filled) name when the box still shows it, so that a name
  // that is not valid text loads too. `name` pre-fills it.
  AnimationDialog(const AnimationFolders& folders, const std::string& name, std::function<void(const std::string&)> load,
            QWidget* parent = nullptr);

  void ListFiles();
  void onFileClicked();
  void onLoadClicked();
  void onCancelClicked();

  QLabel* promptLabel = nullptr;
  QListWidget* fileList = nullptr;
  QLineEdit* nameBox = nullptr;
  QPushButton* loadButton = nullptr;
  QPushButton* cancelButton = nullptr;

 private:
  AnimationFolders folders_;
  std::function<void(const std::string&)> load_;
  // The name last put in the box, as shown and as its bytes.
  QString chosen_text_;
  std::string chosen_name_;
  void Choose(const std::string& name);
};

}  // namespace sonovar
