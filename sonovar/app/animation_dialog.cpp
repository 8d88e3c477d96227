#include "sonovar/app/animation_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace sonovar {

AnimationDialog::AnimationDialog(const AnimationFolders& folders, const std::string& name,
                     std::function<void(const std::string&)> load, QWidget* parent)
    : QDialog(parent), folders_(folders), load_(std::move(load)) {
  setObjectName(QStringLiteral("frmDialog"));
  setWindowTitle(QStringLiteral("Form2"));
  promptLabel = new QLabel(QStringLiteral("Select a File to Load and click OK"), this);
  fileList = new QListWidget(this);
  fileList->setObjectName(QStringLiteral("filDialog"));
  nameBox = new QLineEdit(this);
  nameBox->setObjectName(QStringLiteral("txt_FileName"));
  loadButton = new QPushButton(QStringLiteral("OK"), this);
  loadButton->setObjectName(QStringLiteral("cmdOK"));
  loadButton->setDefault(true);
  cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  cancelButton->setObjectName(QStringLiteral("cmdCancel"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(loadButton);
  buttons->addWidget(cancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(promptLabel);
  layout->addWidget(fileList, 1);
  layout->addWidget(nameBox);
  layout->addLayout(buttons);

  Choose(name);

  connect(fileList, &QListWidget::itemClicked, this, [this] { onFileClicked(); });
  // A double click is a click and "Load".
  connect(fileList, &QListWidget::itemActivated, this, [this] {
    onFileClicked();
    onLoadClicked();
  });
  connect(loadButton, &QPushButton::clicked, this, [this] { onLoadClicked(); });
  connect(cancelButton, &QPushButton::clicked, this, [this] { onCancelClicked(); });
  ListFiles();
}

void AnimationDialog::ListFiles() {
  loadButton->setText(QStringLiteral("Load"));
  fileList->clear();
  for (const std::string& file : ListQraFiles(folders_)) {
    auto* item = new QListWidgetItem(QString::fromLocal8Bit(file), fileList);
    item->setData(Qt::UserRole, QByteArray::fromStdString(file));
  }
}

void AnimationDialog::Choose(const std::string& name) {
  chosen_name_ = name;
  chosen_text_ = QString::fromLocal8Bit(name);
  nameBox->setText(chosen_text_);
}

void AnimationDialog::onFileClicked() {
  if (QListWidgetItem* item = fileList->currentItem()) Choose(item->data(Qt::UserRole).toByteArray().toStdString());
}

void AnimationDialog::onLoadClicked() {
  // Closed whatever the outcome of the load. A name typed or changed is
  // taken as the text shows it.
  const QString text = nameBox->text();
  if (load_) load_(text == chosen_text_ ? chosen_name_ : text.toLocal8Bit().toStdString());
  accept();
}

void AnimationDialog::onCancelClicked() { reject(); }

}  // namespace sonovar
