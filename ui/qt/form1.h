// The program's one window on Qt: the log, the three commands and the port
// choice. What the window does, its handlers included, is MainForm's; this
// is its view.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "ui/form/form_view.h"
#include "ui/form/main_form.h"
#include "ui/qt/form_dialogs.h"
#include "ui/qt/memo_text.h"

class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// The view comes before the behaviour that is built on it.
class TForm1 : public QWidget, private FormView, public MainForm {
  Q_OBJECT

  // Declared first: the members below are built on them.
  std::unique_ptr<FormDialogs> ownDialogs_;
  FormDialogs& dialogs_;
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

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void CreateControls();

  QtMemoText memoText_;

  // FormView
  std::string Text() const override;
  void ReplaceLinesFrom(int firstLine, const std::string& lines) override;
  void ShowMemoLine(int line) override;
  void ShowSelectedPort(const std::string& portName) override;
  std::string AskFileName(const std::string& presetName) override;
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void SetCaption(const std::string& caption) override;
  void Repaint() override;
  void CloseWindow() override;
  std::string ExecutablePath() const override;
};
