#include "platform/AnsiText.h"

#include <gtest/gtest.h>

TEST(AnsiText, Utf8RoundTripKeepsEveryLetter)
{
    const QString text = QStringLiteral("Łódź – Ærø ß 日本");
    EXPECT_EQ(FromAnsi(ToAnsi(text)), text);
}

TEST(AnsiText, BytesThatAreNotUtf8AreReadAsWindows1252)
{
    // 0xE9 alone is not UTF-8; 0x80 and 0x9F are the euro sign and Y with diaeresis.
    EXPECT_EQ(FromAnsi(QByteArray("caf\xE9")), QStringLiteral("café"));
    EXPECT_EQ(FromAnsi(QByteArray("\x80\x9F")), QString(QChar(0x20AC)) + QChar(0x0178));
    // The holes of the code page become C1 controls rather than being dropped.
    EXPECT_EQ(DecodeWindows1252(QByteArray("\x81")), QString(QChar(0x81)));
}

TEST(AnsiText, OnlyLettersAToZChangeCase)
{
    EXPECT_EQ(AnsiLowerCase("ABC-xyz-\xC3\x89"), QByteArray("abc-xyz-\xC3\x89"));
    EXPECT_EQ(AnsiUpperCase("abc-XYZ-\xC3\xA9"), QByteArray("ABC-XYZ-\xC3\xA9"));
}
