// The main window on fake ports in virtual time, with its dialogs answered
// by the test.
#pragma once

#include <QPlainTextEdit>
#include <QRadioButton>
#include <memory>

#include "dialog_script.h"
#include "fake_chip_fixture.h"
#include "ui/qt/form1.h"

class ScriptedDialogs : public FormDialogs, public DialogScript {
 public:
  QString AskFileName(QWidget* /*parent*/, const QString& presetName) override {
    return QString::fromStdString(Ask(presetName.toStdString()));
  }
  void ShowErrorBox(QWidget* /*parent*/, const QString& caption, const QString& text) override {
    ShowError(caption.toStdString(), text.toStdString());
  }
};

class WindowTest : public FakeChipTest {
 protected:
  void Start() { form_ = std::make_unique<TForm1>(&dialogs_); }
  std::string Line(int index) const { return form_->Log().GetLine(index); }

  ScriptedDialogs dialogs_;
  std::unique_ptr<TForm1> form_;
};
