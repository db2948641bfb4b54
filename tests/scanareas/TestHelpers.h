#pragma once

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

// Readable gtest output for Qt strings (found by argument-dependent lookup).
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &Text, std::ostream *Out)
{
    *Out << '"' << Text.toStdString() << '"';
}
inline void PrintTo(const QStringList &Texts, std::ostream *Out)
{
    *Out << '{' << Texts.join(QStringLiteral(" | ")).toStdString() << '}';
}
QT_END_NAMESPACE
