#include "download/CatalogueText.h"
#include "download/DownloadCards.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(CatalogueText, BodyDecodesByItsSignatureIntoLines)
{
    struct Case { QByteArray Body; QStringList Lines; };
    const Case cases[] = {
        {"\xEF\xBB\xBF\xC5\x81" "a", {u"Ła"_s}},
        {"\xEF\xBB\xBF" "a\xC5\r\nb", {}},                 // a cut sequence empties all
        {QByteArray("\xEF\xBB\xBF" "a\nb\n\0\xC0\xAF", 10), {}}, // even one past a NUL
        {"\xEF\xBB\xBF\xF0\x9F\x82\xA1", {u"\U0001F0A1"_s}}, // four bytes are a character too
        {QByteArray("\xFF\xFE" "A\0\n\0B\0C", 9), {u"A"_s, u"B"_s}},   // odd last byte dropped
        {QByteArray("\xFE\xFF\0A\xD8\0\x20\x28\0B", 10), {u"A"_s + QChar(0xD800), u"B"_s}},
        {QByteArray("ab\0c\nd", 6), {u"ab"_s}},                  // NUL ends the text
        {"caf\xE9\n\xC3\xA9", {u"café"_s, u"Ã©"_s}},           // not UTF-8: Windows-1252, all of it
        {"caf\xC3\xA9", {u"café"_s}},
        {"1,Alpha,alp\r\n", {u"1,Alpha,alp"_s}},
        {"1,Alpha,alp\r\n\r\n", {u"1,Alpha,alp"_s, QString()}},
        {"a\rb\nc\xE2\x80\xA8" "d", {u"a"_s, u"b"_s, u"c"_s, u"d"_s}},
        {"a\xE2\x80\xA8\r\nb\xE2\x80\xA8", {u"a"_s, QString(), u"b"_s}},
        {"a\n\r\nb", {u"a"_s, QString(), u"b"_s}},
        {"\n", {QString()}},
        {QByteArray(), {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CatalogueLines(c.Body), c.Lines) << c.Body.toHex().constData();
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
    const TCatalogueEntries good = ReadCatalogueEntries("1,Alpha,alp,extra\r\n2,\"B c\",bc", 2);
    ASSERT_EQ(good.Entries.size(), 2u);
    EXPECT_TRUE(good.Error.isEmpty());
    EXPECT_EQ(good.Entries[1].Name, u"B c"_s);
    EXPECT_EQ(good.Entries[1].Code, u"bc"_s);

    for (const QByteArray &body : {QByteArray("1,Alpha,alp\n\n3,C,c"), QByteArray("1,Alpha,alp\nx,B,b\n3,C,c"),
                                   QByteArray("1,Alpha,alp\n2,B"), QByteArray("1,Alpha,alp\n2,B,b")}) {
        const TCatalogueEntries read = ReadCatalogueEntries(body, 1);
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

TEST(CatalogueText, AColumnOfTooManyValuesOffersNoFilterList)
{
    QByteArray body;
    for (int i = 0; i <= kMaxFilterValues; ++i)
        body += QByteArray::number(i) + ",Card," + (i % 2 ? "EN" : "DE") + ",1,,,R" + QByteArray::number(i)
                + ",,0,,,\n";
    const TCatalogueCards read = ReadCatalogueCards(body, kMaxFilterValues + 1);
    EXPECT_EQ(read.Cards.Count(), kMaxFilterValues + 1);
    EXPECT_TRUE(read.Distinct.Rarities.isEmpty());
    EXPECT_EQ(read.Distinct.Languages, QStringList({"DE", "EN"}));
}
