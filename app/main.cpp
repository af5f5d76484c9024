#include <QApplication>

#include "ui/qt/form1.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  TForm1 Form1;
  Form1.show();
  return QApplication::exec();
}
