#include "platform/LocaleFormat.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {
struct LocaleGuard
{
    explicit LocaleGuard(const QLocale &Locale) { QLocale::setDefault(Locale); }
    ~LocaleGuard() { QLocale::setDefault(QLocale::c()); }
};
} // namespace

TEST(LocaleFormat, FieldsArePaddedAndMinutesAreNn)
{
    LocaleGuard guard(QLocale::c());
    const QDateTime when(QDate(2010, 3, 27), QTime(14, 5, 9));
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy-mm-dd hh:nn:ss"), when),
              QStringLiteral("2010-03-27 14:05:09"));
    EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy-mm-dd hhnnss"), when),
              QStringLiteral("2010-03-27 140509"));
    EXPECT_EQ(FormatDateTime(QStringLiteral("yy/mm/dd hh:nn:ss "), when),
              QStringLiteral("10/03/27 14:05:09 "));
}

TEST(LocaleFormat, SeparatorsFollowTheRegionalSettings)
{
    LocaleGuard guard(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime when(QDate(2010, 3, 27), QTime(14, 5, 9));
    EXPECT_EQ(DateSeparator(), QStringLiteral("."));
    EXPECT_EQ(DecimalSeparator(), QStringLiteral(","));
    EXPECT_EQ(FormatDateTime(QStringLiteral("yy/mm/dd hh:nn"), when), QStringLiteral("10.03.27 14:05"));
}
