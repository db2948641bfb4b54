#pragma once

#include <QDateTime>
#include <QString>

// Regional settings come from QLocale() (the system's unless a test set another
// default), so every reader of them agrees.

QString DateSeparator();
QString TimeSeparator();
QString DecimalSeparator();

// Formats with the letters yyyy, yy, mm (month), dd, hh (24-hour), nn (minutes)
// and ss, all zero-padded; "/" and ":" stand for the regional date and time
// separators; every other character is copied.
QString FormatDateTime(const QString &Format, const QDateTime &When);
