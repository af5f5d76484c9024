#include "ui/error_box.h"

#include <QFileInfo>

QString ErrorBoxCaption(const QString& executablePath) {
  QString name = QFileInfo(executablePath).fileName();
  name = name.left(name.indexOf(QLatin1Char('.')));
  if (name.isEmpty()) return name;
  return name.left(1) + name.mid(1).toLower();
}

QString ErrorBoxText(const QString& errorText) {
  if (!errorText.isEmpty() && errorText.back().unicode() > u'.')
    return errorText + QLatin1Char('.');
  return errorText;
}
