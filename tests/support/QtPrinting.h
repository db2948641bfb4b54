#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

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
