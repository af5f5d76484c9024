// The modal dialogs of the window, behind one small interface so that
// tests can answer them without a dialog blocking.
#pragma once

#include <QString>

class QWidget;

class FormDialogs {
 public:
  virtual ~FormDialogs() = default;
  // The chosen file's name, or an empty text when the user cancelled.
  virtual QString AskFileName(QWidget* parent, const QString& presetName) = 0;
  virtual void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) = 0;
};

class QtFormDialogs : public FormDialogs {
 public:
  QString AskFileName(QWidget* parent, const QString& presetName) override;
  void ShowErrorBox(QWidget* parent, const QString& caption, const QString& text) override;
};

// The open-file dialog of the window: preset to a name pattern, no filter
// list, no default extension.
class OpenFileDialog {
 public:
  explicit OpenFileDialog(FormDialogs& dialogs) : dialogs_(dialogs) {}
  QString FileName;
  // True when a file was chosen; FileName then holds it.
  bool Execute(QWidget* parent);

 private:
  FormDialogs& dialogs_;
};
