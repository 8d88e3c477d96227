#include "sonovar/app/frm_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace sonovar {

FrmDialog::FrmDialog(const AnimationFolders& folders, const std::string& name,
                     std::function<void(const std::string&)> load, QWidget* parent)
    : QDialog(parent), folders_(folders), load_(std::move(load)) {
  setObjectName(QStringLiteral("frmDialog"));
  setWindowTitle(QStringLiteral("Form2"));
  Label1 = new QLabel(QStringLiteral("Select a File to Load and click OK"), this);
  filDialog = new QListWidget(this);
  filDialog->setObjectName(QStringLiteral("filDialog"));
  txt_FileName = new QLineEdit(this);
  txt_FileName->setObjectName(QStringLiteral("txt_FileName"));
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setDefault(true);
  cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(filDialog, 1);
  layout->addWidget(txt_FileName);
  layout->addLayout(buttons);

  Choose(name);

  connect(filDialog, &QListWidget::itemClicked, this, [this] { filDialog_Click(); });
  // A double click is a click and "Load".
  connect(filDialog, &QListWidget::itemActivated, this, [this] {
    filDialog_Click();
    cmdOK_Click();
  });
  connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  Form_Load();
}

void FrmDialog::Form_Load() {
  cmdOK->setText(QStringLiteral("Load"));
  filDialog->clear();
  for (const std::string& file : ListQraFiles(folders_)) {
    auto* item = new QListWidgetItem(QString::fromLocal8Bit(file), filDialog);
    item->setData(Qt::UserRole, QByteArray::fromStdString(file));
  }
}

void FrmDialog::Choose(const std::string& name) {
  chosen_name_ = name;
  chosen_text_ = QString::fromLocal8Bit(name);
  txt_FileName->setText(chosen_text_);
}

void FrmDialog::filDialog_Click() {
  if (QListWidgetItem* item = filDialog->currentItem()) Choose(item->data(Qt::UserRole).toByteArray().toStdString());
}

void FrmDialog::cmdOK_Click() {
  // Closed whatever the outcome of the load. A name typed or changed is
  // taken as the text shows it.
  const QString text = txt_FileName->text();
  if (load_) load_(text == chosen_text_ ? chosen_name_ : text.toLocal8Bit().toStdString());
  accept();
}

void FrmDialog::cmdCancel_Click() { reject(); }

}  // namespace sonovar
