// The window: its controls, and the port choice reaching the form.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QPushButton>

#include "qt_environment.h"
#include "window_fixture.h"

using fake_serial::DeviceState;

namespace {
testing::Environment* const qt = testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);
}  // namespace

TEST_F(WindowTest, ControlsStandWhereTheLayoutPutsThem) {
  Start();
  EXPECT_EQ(form_->windowTitle(), "VU74/Flash AT89S8253");
  EXPECT_EQ(form_->Memo1->geometry(), QRect(16, 16, 449, 209));
  EXPECT_EQ(form_->FlashHex->geometry(), QRect(16, 232, 89, 25));
  EXPECT_EQ(form_->FlashBin->geometry(), QRect(120, 232, 89, 25));
  EXPECT_EQ(form_->Erase->geometry(), QRect(224, 232, 89, 25));
  EXPECT_EQ(form_->FlashHex->text(), "Flash hex");
  EXPECT_EQ(form_->FlashBin->text(), "Flash bin");
  EXPECT_EQ(form_->Erase->text(), "Erase");
  EXPECT_EQ(form_->RadioButton1->text(), "COM1");
  EXPECT_EQ(form_->RadioButton2->text(), "COM2");
  // Radio buttons keep their corner and grow only to draw whole.
  for (QRadioButton* button : {form_->RadioButton1, form_->RadioButton2}) {
    EXPECT_GE(button->height(), button->sizeHint().height());
    EXPECT_GE(button->width(), button->sizeHint().width());
  }
  EXPECT_EQ(form_->RadioButton1->pos(), QPoint(336, 240));
  EXPECT_EQ(form_->RadioButton2->pos(), QPoint(392, 240));
  EXPECT_EQ(form_->RadioButton1->width(), 73);

  form_->show();
  EXPECT_EQ(form_->frameGeometry().size(), QSize(492, 308));
  form_->resize(700, 500);
  EXPECT_EQ(form_->Erase->geometry(), QRect(224, 232, 89, 25));
}

TEST_F(WindowTest, TabOrderRunsFromFlashHexToFlashBin) {
  Start();
  const std::vector<const QWidget*> controls{form_->FlashHex,     form_->Memo1, form_->RadioButton1,
                                             form_->RadioButton2, form_->Erase, form_->FlashBin};
  // The focus chain also holds the memo's inner widgets; keep the controls.
  std::vector<const QWidget*> chain{form_->FlashHex};
  for (const QWidget* w = form_->FlashHex->nextInFocusChain(); w != form_->FlashHex;
       w = w->nextInFocusChain()) {
    if (std::find(controls.begin(), controls.end(), w) != controls.end()) chain.push_back(w);
  }
  EXPECT_EQ(chain, controls);
}

TEST_F(WindowTest, LogIsAnEditableWrappingMemoWithoutScrollBars) {
  Start();
  QPlainTextEdit* memo = form_->Memo1;
  EXPECT_FALSE(memo->isReadOnly());
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch());
  EXPECT_EQ(memo->font().pixelSize(), 11);
  EXPECT_EQ(form_->font().pixelSize(), 11);
  EXPECT_EQ(form_->Log().LineCount(), 148);
}

// The start-up probe and the port choice are the form's; the window shows
// the port they settle on as its checked radio button.
TEST_F(WindowTest, RadioButtonsShowThePortTheFormSettlesOn) {
  fake_serial::SetDevice("COM1", DeviceState::Present);
  Start();
  EXPECT_EQ(Line(1), "COM1 geöffnet");
  EXPECT_TRUE(form_->RadioButton1->isChecked());

  form_->RadioButton2->click();
  EXPECT_EQ(Line(1), "COM2 nicht bereit");
  EXPECT_TRUE(form_->RadioButton1->isChecked());

  fake_serial::SetDevice("COM2", DeviceState::Present);
  form_->RadioButton2->click();
  EXPECT_EQ(form_->SelectedPort, "COM2");
  EXPECT_TRUE(form_->RadioButton2->isChecked());
}

TEST_F(WindowTest, ChoosingTheSelectedPortAgainDoesNothing) {
  fake_serial::SetDevice("COM2", DeviceState::Present);
  Start();
  const int opens = fake_serial::Counts("COM2").opens;
  form_->RadioButton2->click();
  EXPECT_EQ(fake_serial::Counts("COM2").opens, opens);
  EXPECT_EQ(Line(1), "");
}
