#include "TestHelpers.h"

#include "scanareas/DecimalText.h"

#include <gtest/gtest.h>

#include <limits>

TEST(DecimalText, GeneralFormatUnderBothSeparators)
{
    const std::pair<double, const char *> cases[] = {
        {2.5, "2.5"}, {0.1, "0.1"}, {100, "100"}, {-0.0, "0"}, {-2.5, "-2.5"},
        {1.0 / 3, "0.333333333333333"}, {0.1 + 0.2, "0.3"}, {123456789012345, "123456789012345"},
        {1e15, "1E15"}, {1e308, "1E308"}, {0.00001, "0.00001"}, {0.0000015, "1.5E-6"},
        {std::numeric_limits<double>::infinity(), "0"},
    };
    for (const QLocale &l : {TLocaleGuard::Point(), TLocaleGuard::Comma()}) {
        TLocaleGuard locale(l);
        for (const auto &[value, text] : cases) {
            const QString expected = QString::fromLatin1(text).replace(QLatin1Char('.'), l.decimalPoint());
            EXPECT_EQ(FormatDecimal(value), expected);
            if (std::isfinite(value)) {
                EXPECT_EQ(FormatDecimal(ParseDecimal(expected).value_or(-1)), expected);
            }
        }
    }
}

TEST(DecimalText, ReadsOnlyWhatIsANumber)
{
    TLocaleGuard locale(TLocaleGuard::Point());
    EXPECT_EQ(ParseDecimal(QStringLiteral(" 2.5 ")), 2.5);
    EXPECT_EQ(ParseDecimal(QStringLiteral("1e308")), 1e308);
    EXPECT_EQ(ParseDecimal(QStringLiteral("+7")), 7.0);
    EXPECT_EQ(ParseDecimal(QStringLiteral("5.")), 5.0);
    EXPECT_EQ(ParseDecimal(QStringLiteral(".5")), 0.5);
    EXPECT_EQ(ParseDecimal(QStringLiteral("-0")), 0.0);
    for (const char *text : {"", ".", "2,5", "nan", "inf", "-infinity", "1e400", "1e", "e5", "--1",
                             "1.2.3", "0x10", "1 2", "\xd9\xa3"})
        EXPECT_FALSE(ParseDecimal(QString::fromUtf8(text))) << text;

    TLocaleGuard comma(TLocaleGuard::Comma());
    EXPECT_EQ(ParseDecimal(QStringLiteral("2,5")), 2.5);
    EXPECT_FALSE(ParseDecimal(QStringLiteral("2.5")));
    EXPECT_FALSE(ParseDecimal(QStringLiteral("1.000,5")));
}
