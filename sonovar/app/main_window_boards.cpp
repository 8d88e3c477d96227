// What the window tells of the boards: why a board number is greyed, and the
// library's report behind the control's face.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "sonovar/app/main_window.h"
#include "sonovar/app/widgets.h"

namespace sonovar {

namespace {

QDialog* MakeBoardReport(QWidget* parent) {
  auto* dialog = new QDialog(parent);
  dialog->setObjectName(QStringLiteral("BoardReport"));
  dialog->setWindowTitle(QStringLiteral("Boards: what quorel devices says"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  auto* text = new QPlainTextEdit(dialog);
  text->setObjectName(QStringLiteral("txt_BoardReport"));
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text->setMinimumSize(text->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 72,
                       text->fontMetrics().lineSpacing() * 12);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  auto* column = new QVBoxLayout(dialog);
  column->addWidget(text);
  column->addWidget(buttons);
  return dialog;
}

}  // namespace

void MainWindow::ExplainAbsentBoards() {
  bool greyed = false;
  for (int n = 1; n <= kProgramBoards; ++n) greyed = greyed || !boardNumbers[n]->isEnabled();
  if (!greyed) return;  // nothing to explain: the library is not asked
  const BoardKnowledge knowledge = board_knowledge_();
  for (int n = 1; n <= kProgramBoards; ++n) {
    if (boardNumbers[n]->isEnabled()) continue;
    const std::string& why = knowledge.absence[n];
    // The library can use it now, but the control did not find it at start.
    boardNumbers[n]->setToolTip(why.empty() ? QStringLiteral("Board %1 was not there when Sonovar started: start "
                                                             "Sonovar again to use it.").arg(n)
                                            : QStringLiteral("Board %1: %2").arg(n).arg(QString::fromLocal8Bit(why)));
  }
}

void MainWindow::onControlFaceClicked() {
  // Asked anew at each click: a board plugged in or a server started since
  // shows up. The show goes on meanwhile; only this window waits.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const BoardKnowledge knowledge = board_knowledge_();
  QApplication::restoreOverrideCursor();
  if (boardReport.isNull()) boardReport = MakeBoardReport(this);
  boardReport->findChild<QPlainTextEdit*>()->setPlainText(QString::fromLocal8Bit(knowledge.report));
  boardReport->show();
  boardReport->raise();
  boardReport->activateWindow();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == controlFace && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && controlFace->rect().contains(mouse->position().toPoint()))
      onControlFaceClicked();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace sonovar
