#include "download/CatalogueText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(CatalogueText, BodyDecodesByItsSignature)
{
    struct Case { QByteArray Body; QString Text; };
    const Case cases[] = {
        {"\xEF\xBB\xBF\xC5\x81" "a", u"Ła"_s},
        {"\xEF\xBB\xBF" "a\xC5\r\nb", QString()},          // a cut sequence empties all
        {"\xEF\xBB\xBF\xC0\xAF", QString()},                // overlong
        {"\xEF\xBB\xBF\xF0\x9F\x82\xA1", u"\U0001F0A1"_s},  // four bytes are a character too
        {QByteArray("\xFF\xFE" "A\0B\0C", 7), u"AB"_s},     // odd last byte dropped
        {QByteArray("\xFE\xFF\0A\xD8\0\0B", 8), u"A"_s + QChar(0xD800) + u"B"_s},
        {QByteArray("ab\0cd", 5), u"ab"_s},                 // NUL ends the text
        {"caf\xE9", u"café"_s},                             // not UTF-8: Windows-1252
        {"caf\xC3\xA9", u"café"_s},
        {QByteArray(), QString()},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DecodeCatalogueBody(c.Body), c.Text) << c.Body.toHex().constData();
}

TEST(CatalogueText, LinesEndAtEveryKindOfBreakButTheLast)
{
    struct Case { QString Text; QStringList Lines; };
    const Case cases[] = {
        {u"1,Alpha,alp\r\n"_s, {u"1,Alpha,alp"_s}},
        {u"1,Alpha,alp\r\n\r\n"_s, {u"1,Alpha,alp"_s, QString()}},
        {u"a\rb\nc\u2028d"_s, {u"a"_s, u"b"_s, u"c"_s, u"d"_s}},
        {u"a\n\r\nb"_s, {u"a"_s, QString(), u"b"_s}},
        {u"\n"_s, {QString()}},
        {QString(), {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SplitCatalogueLines(c.Text), c.Lines) << c.Text.toStdString();
}

TEST(CatalogueText, FieldsFollowQuotesCommasAndBlanks)
{
    struct Case { QString Line; QStringList Fields; };
    const Case cases[] = {
        {u"12,\"Stone Golem\",BAS"_s, {u"12"_s, u"Stone Golem"_s, u"BAS"_s}},
        {u"12,Stone Golem,BAS"_s, {u"12"_s, u"Stone"_s, u"Golem"_s, u"BAS"_s}},
        {u"a,,b"_s, {u"a"_s, QString(), u"b"_s}},
        {u"a,"_s, {u"a"_s, QString()}},
        {u"  \t "_s, {}},
        {u" a ,\t b"_s, {u"a"_s, u"b"_s}},
        {u"\"say \"\"hi\"\", ok\",x"_s, {u"say \"hi\", ok"_s, u"x"_s}},
        {u"\"open to the end"_s, {u"open to the end"_s}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SplitCatalogueFields(c.Line), c.Fields) << c.Line.toStdString();
}

TEST(CatalogueText, IntegersAcceptDecimalAndHexWithin32Bits)
{
    struct Case { QString Field; std::optional<int> Value; };
    const Case cases[] = {
        {u"5"_s, 5},          {u"-2"_s, -2},        {u"  +7"_s, 7},
        {u"$1A"_s, 26},       {u"0x1A"_s, 26},      {u"X1a"_s, 26},
        {u"-$10"_s, -16},     {u"2147483647"_s, 2147483647},
        {u"-2147483648"_s, -2147483647 - 1},
        {u"2147483648"_s, {}}, {u"$80000000"_s, {}}, {u"99999999999999999999"_s, {}},
        {u"12a"_s, {}},        {u"none"_s, {}},       {QString(), {}},
        {u"-"_s, {}},          {u"0x"_s, {}},         {u"5 "_s, {}},
        {u"\u0661"_s, {}},     // digits of other scripts are not ours
    };
    for (const Case &c : cases)
        EXPECT_EQ(ReadCatalogueInteger(c.Field), c.Value) << c.Field.toStdString();
}

TEST(CatalogueText, EntriesStopAtTheFirstUnreadableLine)
{
    const TCatalogueEntries good = ReadCatalogueEntries({u"1,Alpha,alp,extra"_s, u"2,\"B c\",bc"_s});
    ASSERT_EQ(good.Entries.size(), 2u);
    EXPECT_TRUE(good.Error.isEmpty());
    EXPECT_EQ(good.Entries[1].Name, u"B c"_s);
    EXPECT_EQ(good.Entries[1].Code, u"bc"_s);

    for (const QStringList &lines : {QStringList{u"1,Alpha,alp"_s, QString(), u"3,C,c"_s},
                                     QStringList{u"1,Alpha,alp"_s, u"x,B,b"_s, u"3,C,c"_s},
                                     QStringList{u"1,Alpha,alp"_s, u"2,B"_s}}) {
        const TCatalogueEntries read = ReadCatalogueEntries(lines);
        ASSERT_EQ(read.Entries.size(), 1u);
        EXPECT_FALSE(read.Error.isEmpty());
    }
}

TEST(CatalogueText, CardLineReadsTwelveFields)
{
    const std::optional<TGameCard> card = ReadCatalogueCard(
        SplitCatalogueFields(u"10,\"Forest Guard\",EN,none,,,R,FOIL,1,Guard,,"_s));
    ASSERT_TRUE(card);
    EXPECT_EQ(card->Id, 10);
    EXPECT_EQ(card->Name, u"Forest Guard"_s);
    EXPECT_EQ(card->Language, "EN");
    EXPECT_EQ(card->Number, 0);
    EXPECT_TRUE(card->CollectorsNo.isEmpty());
    EXPECT_TRUE(card->ScanFile.isEmpty());
    EXPECT_EQ(card->Rarity, u"R"_s);
    EXPECT_EQ(card->Foil, "FOIL");
    EXPECT_EQ(card->SubsetId, 1);
    EXPECT_EQ(card->P0, u"Guard"_s);
    EXPECT_TRUE(card->P1.isEmpty() && card->Notes.isEmpty());
    EXPECT_EQ(card->ScanStatus, 0);

    EXPECT_FALSE(ReadCatalogueCard(SplitCatalogueFields(u"1,a,EN,1,,,R,,0,,"_s)));
    const auto thirteen = ReadCatalogueCard(SplitCatalogueFields(u"1,a,EN,1,,,R,,$1A,,,n,extra"_s));
    ASSERT_TRUE(thirteen);
    EXPECT_EQ(thirteen->SubsetId, 26);
    EXPECT_EQ(thirteen->Notes, u"n"_s);
    EXPECT_EQ(ReadCatalogueCard(SplitCatalogueFields(u"1,a,EN,1,,,R,,12a,,,"_s))->SubsetId, 0);
}
