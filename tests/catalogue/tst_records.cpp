#include "catalogue/Card.h"
#include "catalogue/Flags.h"
#include "catalogue/OfflineRecords.h"
#include "catalogue/WideText.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QSet>

TEST(CardRecords, DefaultCardIsBlankAndCopyKeepsScanStatus)
{
    const TGameCard blank;
    EXPECT_EQ(blank.ScanStatus, ScanNone);
    EXPECT_EQ(blank.Number, 0);
    EXPECT_TRUE(blank.Name.isEmpty());
    EXPECT_EQ(TGameCard::SubsetName(blank.SubsetId), QByteArray("Normal"));
    EXPECT_TRUE(TGameCard::SubsetCode(blank.SubsetId).isEmpty());

    TGameCard card;
    card.Id = 77;
    card.Name = QStringLiteral("Łódź");
    card.Language = "PL";
    card.Foil = "FOIL";
    card.Notes = QStringLiteral("n");
    card.ScanStatus = ScanHQ;
    const TGameCard copy(card);
    EXPECT_EQ(copy.Id, 77);
    EXPECT_EQ(copy.Name, card.Name);
    EXPECT_EQ(copy.Language, QByteArray("PL"));
    EXPECT_EQ(copy.Notes, QStringLiteral("n"));
    EXPECT_EQ(copy.ScanStatus, ScanHQ);
    EXPECT_TRUE(copy.IsFoil());
}

TEST(CardRecords, FoilIsExactlyCapitalFoil)
{
    TGameCard card;
    card.Foil = "foil";
    EXPECT_FALSE(card.IsFoil());
    card.Foil = "FOIL ";
    EXPECT_FALSE(card.IsFoil());
}

TEST(CardRecords, SubsetTable)
{
    // Codes name folders of existing stores: a sample across the whole table.
    EXPECT_EQ(TGameCard::SubsetCode(1), QByteArray("foil"));
    EXPECT_EQ(TGameCard::SubsetCode(10), QByteArray("1st"));
    EXPECT_EQ(TGameCard::SubsetCode(21), QByteArray("token"));
    EXPECT_EQ(TGameCard::SubsetCode(35), QByteArray("leagu"));
    EXPECT_EQ(TGameCard::SubsetCode(51), QByteArray("tokef"));
    EXPECT_EQ(TGameCard::SubsetName(8), QByteArray("Clan War Saga foils"));
    EXPECT_EQ(TGameCard::SubsetName(51), QByteArray("Token Foil"));
    for (int id : {9, 19, 20, 22, 27, 52, -1, -3, 1000}) {
        EXPECT_TRUE(TGameCard::SubsetCode(id).isEmpty()) << id;
        EXPECT_EQ(TGameCard::SubsetName(id), QByteArray::number(id)) << id;
    }
    for (int id = 0; id <= 51; ++id)
        EXPECT_LE(TGameCard::SubsetCode(id).size(), 5) << id;
}

TEST(CardRecords, ScanStatusColours)
{
    EXPECT_EQ(ScanStatusColor(ScanNone), QColor(255, 0, 0));
    EXPECT_EQ(ScanStatusColor(ScanWeb), QColor(0, 0, 0));
    EXPECT_EQ(ScanStatusColor(ScanMQ), QColor(0, 128, 0));
    EXPECT_EQ(ScanStatusColor(ScanHQ), QColor(0, 128, 128));
    EXPECT_EQ(ScanStatusColor(ScanVHQ), QColor(128, 0, 128));
}

TEST(Flags, IndexIsThePlaceInTheAlphabeticalCodeList)
{
    EXPECT_EQ(FlagImageIndex("BE"), 0);
    EXPECT_EQ(FlagImageIndex("EN"), 5);
    EXPECT_EQ(FlagImageIndex("HE"), 10);
    EXPECT_EQ(FlagImageIndex("PL"), 17);
    EXPECT_EQ(FlagImageIndex("US"), 23);
    EXPECT_EQ(FlagImageIndex("en"), -1);
    EXPECT_EQ(FlagImageIndex(""), -1);
    EXPECT_EQ(FlagImageIndex("ENG"), -1);
}

TEST(Flags, TwentyFourDistinctPictures)
{
    const QList<QImage> flags = DrawFlagImages();
    ASSERT_EQ(flags.size(), kFlagCount);
    QSet<QByteArray> seen;
    for (int i = 0; i < flags.size(); ++i) {
        EXPECT_EQ(flags[i].size(), QSize(18, 12)) << i;
        // Fully painted: no transparent pixel left in the corners.
        EXPECT_EQ(qAlpha(flags[i].pixel(0, 0)), 255) << i;
        EXPECT_EQ(qAlpha(flags[i].pixel(17, 11)), 255) << i;
        const QImage image = flags[i];
        seen.insert(QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes()));
    }
    // EN and UK share the United Kingdom's flag; every other picture differs.
    EXPECT_EQ(seen.size(), kFlagCount - 1);
    EXPECT_EQ(flags[FlagImageIndex("EN")], flags[FlagImageIndex("UK")]);
}

TEST(WideText, CountAndReplace)
{
    EXPECT_EQ(WideCharCount(QLatin1Char('-'), QString()), 0);
    EXPECT_EQ(WideCharCount(QLatin1Char('-'), QStringLiteral("a-b-c")), 2);

    QString text = QStringLiteral("a-b--c");
    WideReplaceChar(QLatin1Char('-'), QString(), text);
    EXPECT_EQ(text, QStringLiteral("abc"));

    text = QStringLiteral("Ærø Æ");
    WideReplaceChar(QChar(0x00C6), QStringLiteral("AE"), text);
    EXPECT_EQ(text, QStringLiteral("AErø AE"));

    text = QStringLiteral("---");
    WideReplaceChar(QLatin1Char('-'), QString(), text);
    EXPECT_TRUE(text.isEmpty());

    text = QStringLiteral("abc");
    WideReplaceChar(QLatin1Char('x'), QStringLiteral("yy"), text);
    EXPECT_EQ(text, QStringLiteral("abc"));
}

TEST(OfflineRecords, GameAndTimeNamedSet)
{
    QLocale::setDefault(QLocale::c());
    const TGame game = OfflineGame();
    EXPECT_EQ(game.Id, 0);
    EXPECT_EQ(game.Name, QStringLiteral("Offline"));
    EXPECT_EQ(game.Code, QStringLiteral("OFFLINE"));

    const TExpansion set = TimeNamedExpansion(QDateTime(QDate(2010, 3, 27), QTime(14, 5, 9)));
    EXPECT_EQ(set.Id, 0);
    EXPECT_EQ(set.Name, QStringLiteral("2010-03-27 14:05:09"));
    EXPECT_EQ(set.Code, QStringLiteral("2010-03-27 140509"));
    const TExpansion later = TimeNamedExpansion(QDateTime(QDate(2010, 3, 27), QTime(14, 6, 9)));
    EXPECT_NE(later.Code, set.Code);
}
