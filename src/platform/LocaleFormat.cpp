#include "platform/LocaleFormat.h"

#include <QLocale>

namespace {

// The first run of non-letters between two fields of the locale's own format.
QString separatorIn(const QString &Format, const QString &Fallback)
{
    int i = 0;
    while (i < Format.size() && !Format[i].isLetter())
        ++i;
    while (i < Format.size() && Format[i].isLetter())
        ++i;
    QString separator;
    while (i < Format.size() && !Format[i].isLetter() && Format[i] != QLatin1Char('\'')) {
        separator += Format[i];
        ++i;
    }
    separator = separator.trimmed();
    return separator.isEmpty() ? Fallback : separator.left(1);
}

QString twoDigits(int Value)
{
    return QStringLiteral("%1").arg(Value % 100, 2, 10, QLatin1Char('0'));
}

} // namespace

QString DateSeparator()
{
    return separatorIn(QLocale().dateFormat(QLocale::ShortFormat), QStringLiteral("/"));
}

QString TimeSeparator()
{
    return separatorIn(QLocale().timeFormat(QLocale::ShortFormat), QStringLiteral(":"));
}

QString DecimalSeparator()
{
    return QLocale().decimalPoint();
}

QString FormatDateTime(const QString &Format, const QDateTime &When)
{
    const QDate date = When.date();
    const QTime time = When.time();
    const QString dateSep = DateSeparator();
    const QString timeSep = TimeSeparator();
    QString out;
    for (int i = 0; i < Format.size();) {
        const QStringView rest = QStringView(Format).mid(i);
        if (rest.startsWith(u"yyyy", Qt::CaseInsensitive)) {
            out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
            i += 4;
        } else if (rest.startsWith(u"yy", Qt::CaseInsensitive)) {
            out += twoDigits(date.year());
            i += 2;
        } else if (rest.startsWith(u"mm", Qt::CaseInsensitive)) {
            out += twoDigits(date.month());
            i += 2;
        } else if (rest.startsWith(u"dd", Qt::CaseInsensitive)) {
            out += twoDigits(date.day());
            i += 2;
        } else if (rest.startsWith(u"hh", Qt::CaseInsensitive)) {
            out += twoDigits(time.hour());
            i += 2;
        } else if (rest.startsWith(u"nn", Qt::CaseInsensitive)) {
            out += twoDigits(time.minute());
            i += 2;
        } else if (rest.startsWith(u"ss", Qt::CaseInsensitive)) {
            out += twoDigits(time.second());
            i += 2;
        } else if (Format[i] == QLatin1Char('/')) {
            out += dateSep;
            ++i;
        } else if (Format[i] == QLatin1Char(':')) {
            out += timeSep;
            ++i;
        } else {
            out += Format[i];
            ++i;
        }
    }
    return out;
}
