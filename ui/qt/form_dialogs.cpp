#include "ui/qt/form_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

QString QtFormDialogs::AskFileName(QWidget* parent, const QString& presetName) {
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(presetName);
  dialog.selectFile(presetName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

void QtFormDialogs::ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

bool OpenFileDialog::Execute(QWidget* parent) {
  const QString chosen = dialogs_.AskFileName(parent, FileName);
  if (chosen.isEmpty()) return false;
  FileName = chosen;
  return true;
}
