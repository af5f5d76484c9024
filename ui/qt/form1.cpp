#include "ui/qt/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>

namespace {

// Outer frame of the window, and the controls within its client area, in
// pixels at 96 dpi.
constexpr QRect kWindowFrame{205, 129, 492, 308};

struct ControlPlace {
  int left, top, width, height;
};
constexpr ControlPlace kMemo1{16, 16, 449, 209};
constexpr ControlPlace kFlashHex{16, 232, 89, 25};
constexpr ControlPlace kRadioButton1{336, 240, 73, 9};
constexpr ControlPlace kRadioButton2{392, 240, 57, 9};
constexpr ControlPlace kErase{224, 232, 89, 25};
constexpr ControlPlace kFlashBin{120, 232, 89, 25};

void Place(QWidget* control, const ControlPlace& place) {
  control->setGeometry(place.left, place.top, place.width, place.height);
}

// A 9-pixel radio button cannot draw its indicator; grow it just enough,
// keeping its top-left corner.
void PlaceRadioButton(QRadioButton* button, const ControlPlace& place) {
  const QSize needed = button->sizeHint();
  button->setGeometry(place.left, place.top, std::max(place.width, needed.width()),
                      std::max(place.height, needed.height()));
}

QFont PixelFont(const QString& family, QFont::StyleHint hint) {
  QFont font(family);
  font.setPixelSize(11);
  font.setStyleHint(hint);
  font.setFixedPitch(hint == QFont::TypeWriter);
  return font;
}

FormDialogs& DialogsOrOwn(FormDialogs* dialogs, std::unique_ptr<FormDialogs>& own) {
  if (dialogs != nullptr) return *dialogs;
  own = std::make_unique<QtFormDialogs>();
  return *own;
}

}  // namespace

TForm1::TForm1(FormDialogs* dialogs, QWidget* parent)
    : QWidget(parent),
      MainForm(static_cast<FormView&>(*this)),
      dialogs_(DialogsOrOwn(dialogs, ownDialogs_)),
      // Created in tab order; later controls lie above earlier ones, so the
      // overlap of the two radio buttons belongs to RadioButton2.
      Memo1(new QPlainTextEdit(this)),
      FlashHex(new QPushButton(QStringLiteral("Flash hex"), this)),
      RadioButton1(new QRadioButton(QStringLiteral("COM1"), this)),
      RadioButton2(new QRadioButton(QStringLiteral("COM2"), this)),
      Erase(new QPushButton(QStringLiteral("Erase"), this)),
      FlashBin(new QPushButton(QStringLiteral("Flash bin"), this)),
      OpenDialog1(dialogs_),
      memoText_(Memo1) {
  CreateControls();
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  setWindowTitle(QString::fromUtf8(MainForm::kCaption));
  setFont(PixelFont(QStringLiteral("MS Sans Serif"), QFont::SansSerif));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  move(kWindowFrame.topLeft());
  resize(kWindowFrame.size());

  Memo1->setFont(PixelFont(QStringLiteral("Courier"), QFont::TypeWriter));
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setPlainText(QString::fromStdString(MainForm::InitialMemoText())
                          .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  Place(Memo1, kMemo1);
  Place(FlashHex, kFlashHex);
  Place(Erase, kErase);
  Place(FlashBin, kFlashBin);
  PlaceRadioButton(RadioButton1, kRadioButton1);
  PlaceRadioButton(RadioButton2, kRadioButton2);
  RadioButton2->setChecked(true);

  setTabOrder(FlashHex, Memo1);
  setTabOrder(Memo1, RadioButton1);
  setTabOrder(RadioButton1, RadioButton2);
  setTabOrder(RadioButton2, Erase);
  setTabOrder(Erase, FlashBin);

  // The handlers are MainForm's, which is no QObject.
  connect(FlashHex, &QPushButton::clicked, this, [this] { FlashHexClick(); });
  connect(FlashBin, &QPushButton::clicked, this, [this] { FlashBinClick(); });
  connect(Erase, &QPushButton::clicked, this, [this] { EraseClick(); });
  // A radio button's handler runs only when it becomes selected.
  connect(RadioButton1, &QRadioButton::toggled, this, [this](bool selected) {
    if (selected) RadioButton1Click();
  });
  connect(RadioButton2, &QRadioButton::toggled, this, [this](bool selected) {
    if (selected) RadioButton2Click();
  });
}

bool TForm1::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  // The table gives the outer frame, whose decoration is only known once
  // the window manager has framed the window: fit it then, once.
  if (!frameFitted_ && isVisible() &&
      (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
       event->type() == QEvent::Show)) {
    const QSize decoration = frameGeometry().size() - size();
    if (decoration.width() > 0 || decoration.height() > 0) {
      frameFitted_ = true;
      resize(kWindowFrame.size() - decoration);
      move(kWindowFrame.topLeft());
    }
  }
  return handled;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!CloseQuery()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

std::string TForm1::Text() const { return memoText_.Text(); }

void TForm1::ReplaceLinesFrom(int firstLine, const std::string& lines) {
  memoText_.ReplaceLinesFrom(firstLine, lines);
}

void TForm1::ShowMemoLine(int line) { memoText_.ShowLine(line); }

void TForm1::ShowSelectedPort(const std::string& portName) {
  QRadioButton* shown = portName == "COM1" ? RadioButton1 : RadioButton2;
  if (shown->isChecked()) return;
  const QSignalBlocker quiet(shown);
  shown->setChecked(true);
}

std::string TForm1::AskFileName(const std::string& presetName) {
  OpenDialog1.FileName = QString::fromStdString(presetName);
  if (!OpenDialog1.Execute(this)) return {};
  return OpenDialog1.FileName.toStdString();
}

void TForm1::ShowErrorBox(const std::string& caption, const std::string& text) {
  dialogs_.ShowErrorBox(this, QString::fromStdString(caption), QString::fromStdString(text));
}

void TForm1::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

void TForm1::Repaint() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void TForm1::CloseWindow() { QTimer::singleShot(0, this, &QWidget::close); }

std::string TForm1::ExecutablePath() const {
  return QCoreApplication::applicationFilePath().toStdString();
}
