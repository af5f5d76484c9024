#pragma once

#include <QString>

// The application's title: the executable's file name without directory,
// cut at its first full stop, every letter after the first in lower case.
QString ErrorBoxCaption(const QString& executablePath);

// The error's text, with a full stop appended when its last character's
// code is greater than that of the full stop.
QString ErrorBoxText(const QString& errorText);
