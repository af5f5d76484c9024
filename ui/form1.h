// The program's one window: the log, the three commands and the port choice.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "ui/form_dialogs.h"
#include "ui/memo_log.h"

class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class TForm1 : public QWidget {
  Q_OBJECT

  // Declared first: the dialog members below are built on them, and the
  // controls created below already send their events to the window.
  std::unique_ptr<FormDialogs> ownDialogs_;
  FormDialogs& dialogs_;
  bool commandRunning_ = false;
  bool closeRequested_ = false;
  bool frameFitted_ = false;

 public:
  // Creates the controls and runs FormCreate. dialogs answers the open-file
  // dialog and the error box; null means the real ones.
  explicit TForm1(FormDialogs* dialogs = nullptr, QWidget* parent = nullptr);
  ~TForm1() override;

  QPlainTextEdit* Memo1;
  QPushButton* FlashHex;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QPushButton* Erase;
  QPushButton* FlashBin;
  OpenFileDialog OpenDialog1;

  // 1 for COM1, 2 for COM2: the port every command opens.
  int SelectedPort = 2;

  MemoLog& Log() { return log_; }
  bool CommandRunning() const { return commandRunning_; }

  void FormCreate();
  void RadioButton1Click();
  void RadioButton2Click();
  void FlashHexClick();
  void FlashBinClick();
  void EraseClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void CreateControls();
  void ProbePort(int port);
  void ShowSelectedPort();
  void RunCommand(const std::function<void()>& command);
  std::string ChooseFile(const QString& presetName);

  MemoLog log_;
};
