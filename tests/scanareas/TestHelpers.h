#pragma once

#include "support/QtPrinting.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <ostream>

// Sets the default locale for one test and restores the previous one.
class TLocaleGuard
{
public:
    explicit TLocaleGuard(const QLocale &Locale) { QLocale::setDefault(Locale); }
    ~TLocaleGuard() { QLocale::setDefault(saved_); }
    TLocaleGuard(const TLocaleGuard &) = delete;
    TLocaleGuard &operator=(const TLocaleGuard &) = delete;

    static QLocale Comma() { return QLocale(QLocale::German, QLocale::Germany); }
    static QLocale Point() { return QLocale(QLocale::English, QLocale::UnitedStates); }

private:
    QLocale saved_;
};
