// The main window on fake ports in virtual time, with its dialogs answered
// by the test.
#pragma once

#include <QPlainTextEdit>
#include <QRadioButton>
#include <deque>
#include <memory>

#include "fake_chip_fixture.h"
#include "ui/qt/form1.h"

class ScriptedDialogs : public FormDialogs {
 public:
  QString AskFileName(QWidget* /*parent*/, const QString& presetName) override {
    presets.push_back(presetName);
    if (onAsk) onAsk();
    if (answers.empty()) return {};
    QString answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowErrorBox(QWidget* /*parent*/, const QString& caption, const QString& text) override {
    errorCaptions.push_back(caption);
    errors.push_back(text);
  }

  std::deque<QString> answers;  // an empty answer is a cancelled dialog
  std::function<void()> onAsk;
  std::vector<QString> presets;
  std::vector<QString> errorCaptions;
  std::vector<QString> errors;
};

class WindowTest : public FakeChipTest {
 protected:
  void Start() { form_ = std::make_unique<TForm1>(&dialogs_); }
  std::string Line(int index) const { return form_->Log().GetLine(index); }

  ScriptedDialogs dialogs_;
  std::unique_ptr<TForm1> form_;
};
