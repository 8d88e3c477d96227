// The dialog that picks an animation file: the files of the animation
// folders, a name box, "Load" and "Cancel".
#pragma once

#include <functional>
#include <QDialog>

#include "sonovar/animation/qra_file.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sonovar {

class FrmDialog : public QDialog {
 public:
  // `load` runs on "Load" with the text of the name box. `name` pre-fills it.
  FrmDialog(const AnimationFolders& folders, const QString& name, std::function<void(const QString&)> load,
            QWidget* parent = nullptr);

  void Form_Load();
  void filDialog_Click();
  void cmdOK_Click();
  void cmdCancel_Click();

  QLabel* Label1 = nullptr;
  QListWidget* filDialog = nullptr;
  QLineEdit* txt_FileName = nullptr;
  QPushButton* cmdOK = nullptr;
  QPushButton* cmdCancel = nullptr;

 private:
  AnimationFolders folders_;
  std::function<void(const QString&)> load_;
};

}  // namespace sonovar
